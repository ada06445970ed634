// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the measurement rows of a set-up file through the settings file reader.
#include "measure/MeasureSetup.h"

#include "core/LevelUnits.h"
#include "core/NumberText.h"
#include "core/SampleRates.h"
#include "files/SettingsFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The rate of the window's rate list item that a set-up rate r = round(v) selects; 0 for 200001
// and above (the selection is left unchanged).
std::int32_t ListedRate(long long r) {
    const int item = SampleRateItem(r);
    return item < 0 ? 0 : ListedSampleRates[static_cast<std::size_t>(item)];
}

// An item index from 0 to count - 1, or nothing.
bool FoundItem(TSettingsReader& reader, const char* key, std::int32_t count, std::int32_t& item) {
    std::int32_t v = 0;
    if (reader.FindInt(key, v) != TLookup::Found || v < 0 || v >= count)
        return false;
    item = v;
    return true;
}

// A whole Hz slider position from a real value, as the sliders round it.
std::int32_t SliderHz(double v) {
    return static_cast<std::int32_t>(std::clamp(std::nearbyint(v), -1e9, 1e9));
}

// The keys that ApplySetup reads, in file order.
constexpr const char* SetupKeys[] = {"FrameRate=",    "ADCResolution=",
                                     "SampleLength=", "Averaging=",
                                     "Channels=",     "Display=",
                                     "RefLeveldB=",   "RefLevel=",
                                     "RefV=",         "Normalized=",
                                     "CutOn=",        "CutOff=",
                                     "WinType=",      "Offset=",
                                     "UDigs=",        "SpecTMode=",
                                     "T1=",           "T2=",
                                     "T3=",           "T4=",
                                     "T5=",           "T6=",
                                     "FWeight="};

} // namespace

void ApplySetup(TSettingsReader& reader, TMeasureOptions& o) {
    double real = 0.0;
    std::int32_t item = 0;

    if (reader.FindReal("FrameRate=", real) == TLookup::Found && real > 0 && real <= 1e9)
        if (const std::int32_t rate = ListedRate(std::llround(real)); rate > 0)
            o.Rate = rate;
    if (FoundItem(reader, "ADCResolution=", 2, item))
        o.Bits = 16 + 8 * item;
    if (FoundItem(reader, "SampleLength=", 15, item))
        o.Length = 1 << (item + 6);
    if (reader.FindReal("Averaging=", real) == TLookup::Found)
        o.TimeConstant = FormatGeneral(real);
    if (FoundItem(reader, "Channels=", 4, item))
        o.Channel = item;
    if (FoundItem(reader, "Display=", 8, item))
        o.Units = item;

    if (reader.FindReal("RefLeveldB=", real) == TLookup::Found)
        o.CalLevelText = FormatGeneral(real);
    reader.FindReal("RefLevel=", o.RefLevel);
    reader.FindReal("RefV=", o.RefV);
    if (std::int32_t v = 0; reader.FindInt("Normalized=", v) == TLookup::Found)
        o.Calibrated = v == 1;

    // The cut-off goes to the top of its range first, so that any cut-on fits.
    if (reader.FindReal("CutOn=", real) == TLookup::Found && std::isfinite(real)) {
        o.BandLow = SliderHz(real);
        o.BandHigh.reset();
        o.BandFromSetup = true;
    }
    if (reader.FindReal("CutOff=", real) == TLookup::Found && std::isfinite(real)) {
        o.BandHigh = SliderHz(real);
        o.BandFromSetup = true;
    }

    std::int32_t window = 2; // the window type when the key is missing
    reader.FindInt("WinType=", window);
    if (window >= 0 && window < 6)
        o.WindowKind = window;
    reader.FindReal("Offset=", o.YOffset);
    // The digits are stored even from a malformed value (its leading digits), as the window does.
    if (std::int32_t v = 0; reader.FindInt("UDigs=", v) != TLookup::Missing && v >= 2 && v <= 7)
        o.Digits = v;
    if (FoundItem(reader, "SpecTMode=", 3, item))
        o.SpectrumTimeMode = item;
    static const char* const customKeys[] = {"T1=", "T2=", "T3=", "T4=", "T5=", "T6="};
    for (std::size_t k = 0; k < o.CustomTimes.size(); ++k)
        if (const auto text = reader.FindText(customKeys[k]))
            o.CustomTimes[k] = *text;
    if (std::int32_t v = 0; reader.FindInt("FWeight=", v) != TLookup::Missing && v >= 0 && v <= 5)
        o.Weighting = v;
    // The SPL calibration and the correction files (an empty text: none).
    if (const auto text = reader.FindText("SplSensitivity=")) {
        double sensitivity = 0.0;
        if (ParseSplSensitivity(*text, sensitivity) == TSplEntry::Value)
            o.SplSensitivityDb = sensitivity;
    }
    for (const char* key : {"MicCorrection=", "IfaceCorrection="})
        if (const auto file = reader.FindText(key); file && !file->empty())
            o.Corrections.push_back(*file);
}

void ApplySetupFile(const std::string& path, TMeasureOptions& options) {
    TSettingsFileRead file = TSettingsReader::Open(path);
    if (!file.Reader)
        throw ESetupError("Cannot read set-up file " + path +
                          (file.Missing ? std::string() : ": " + file.Reason));
    auto& reader = file.Reader;
    // A file without any of the keys is not a set-up (a sound file given by mistake, say):
    // measuring with the defaults would pass for measuring with it.
    TSettingsReader probe = *reader;
    bool any = false;
    for (const char* key : SetupKeys)
        any = any || probe.FindText(key).has_value();
    if (!any)
        throw ESetupError("Cannot read set-up file " + path +
                          ": it holds none of the measurement settings");
    ApplySetup(*reader, options);
}
