// SPDX-License-Identifier: GPL-3.0-or-later
// Parser of the command line of phonoscale-measure.
#include "measure/MeasureOptions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace {

// The whole text as a whole number, or nothing.
std::optional<std::int64_t> WholeNumber(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// The whole text as a finite number with "." as the decimal separator, or nothing.
std::optional<double> RealNumber(std::string_view text) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Index of `text` in `names`, or of a whole number 0 .. names.size() - 1; nothing otherwise.
template <std::size_t Count>
std::optional<std::int32_t> Choice(std::string_view text,
                                   const std::array<std::string_view, Count>& names) {
    for (std::size_t i = 0; i < Count; ++i)
        if (text == names[i])
            return static_cast<std::int32_t>(i);
    if (const auto n = WholeNumber(text); n && *n >= 0 && *n < static_cast<std::int64_t>(Count))
        return static_cast<std::int32_t>(*n);
    return std::nullopt;
}

constexpr std::array<std::string_view, 4> ChannelNames = {"left", "right", "sum", "diff"};
constexpr std::array<std::string_view, 6> WindowNames = {"rect",    "blackman", "blackman2",
                                                         "hanning", "hamming",  "flattop"};
constexpr std::array<std::string_view, 6> WeightingNames = {
    "flat", "psophometric", "cmessage", "a", "c", "z"};
constexpr std::array<std::string_view, 8> UnitNames = {"db",  "vpp", "veff", "dbfs",
                                                       "dbu", "dbv", "vrms", "spl"};
constexpr std::array<std::string_view, 3> FormatNames = {"text", "json", "csv"};
constexpr std::array<std::string_view, 3> ImdNames = {"none", "smpte", "twin"};
constexpr std::array<std::string_view, 3> ReferenceNames = {"left", "right", "output"};
constexpr std::array<std::string_view, 3> StimulusNames = {"none", "white", "pink"};

// "A:B" or "A:B:C" as numbers; nothing when malformed or when a part is not a number.
std::vector<double> Numbers(std::string_view text) {
    std::vector<double> out;
    while (true) {
        const auto colon = text.find(':');
        const auto number = RealNumber(text.substr(0, colon));
        if (!number)
            return {};
        out.push_back(*number);
        if (colon == std::string_view::npos)
            return out;
        text.remove_prefix(colon + 1);
    }
}

} // namespace

std::string MeasureUsage() {
    return "Usage: phonoscale-measure --input FILE | --device NAME [options]\n"
           "       phonoscale-measure --list-devices\n"
           "Measures a sound file (WAV, FLAC, ... as libsndfile reads them) or a capture device\n"
           "block by block with the instrument's pipeline and prints the meter readings.\n"
           "  --input FILE          sound file to measure\n"
           "  --device NAME         capture device: its entry in --list-devices, the text after\n"
           "                        the number, or the number\n"
           "  --rate R              device sample rate (48000)\n"
           "  --bits B              device resolution, 16 or 24 (16)\n"
           "  --list-devices        print the capture and playback lists\n"
           "  --length N            FFT length, a power of 2 from 64 to 1048576 (1024)\n"
           "  --channel C           left, right, sum, diff or 0..3 (left)\n"
           "  --window W            rect, blackman, blackman2, hanning, hamming, flattop\n"
           "                        or 0..5 (blackman2)\n"
           "  --weighting W         flat, psophometric, cmessage, a, c, z or 0..5 (flat)\n"
           "  --band LO:HI          measured band in whole Hz (0 to half the sample rate)\n"
           "  --units U             units of the meter texts: db (dBm when calibrated), vpp,\n"
           "                        veff, dbfs, dbu, dbv, vrms or spl (db); dbu, dbv and vrms\n"
           "                        need --cal-volts, spl --spl-sensitivity (else dBFS)\n"
           "  --cal-volts V         calibration: RMS volts of a full-scale sine\n"
           "  --spl-sensitivity DB  dB SPL of a full-scale sine (-200..200)\n"
           "  --correction FILE     correction curve (FRD/TXT or CSV, frequency and dB),\n"
           "                        subtracted from the spectrum; the first for the\n"
           "                        microphone, a second for the interface\n"
           "  --time-constant S     meter time constant in seconds (0.5)\n"
           "  --digits D            significant digits of the meter texts, 2..7 (3)\n"
           "  --blocks K            measure the first K engine blocks only\n"
           "  --seconds S           measure the first S seconds only (a device: 5)\n"
           "  --format F            text, json or csv (text)\n"
           "  --save-spectrum FILE  write the final spectrum as \"Save Data to File\" does,\n"
           "                        by extension: .csv CSV, .frd or .txt FRD, else Touchstone\n"
           "  --setup FILE          read the measurement settings of a set-up file saved by\n"
           "                        the window (rate, resolution, length, channel, window,\n"
           "                        weighting, band, time constants, calibration, units,\n"
           "                        digits); the options given here override it\n"
           "  --generator P         play the coherent sine of period 2^P samples (P 2..14,\n"
           "                        rate / 2^P Hz) on --output-device while measuring --device\n"
           "  --output-device NAME  playback device of the sine: its entry, name or number\n"
           "  --distortion          also measure distortion: THD, THD+N, SINAD, SNR, ENOB,\n"
           "                        SFDR and harmonics of the strongest tone (of the\n"
           "                        generator's tone with --generator)\n"
           "  --harmonics K         harmonics 2..K, K from 2 to 20 (10)\n"
           "  --dist-band LO:HI     the distortion analyser's band in Hz (20 to 20000, at most\n"
           "                        half the sample rate)\n"
           "  --averages K          average over K blocks, 1..1000 (distortion 1, response\n"
           "                        16)\n"
           "  --imd KIND            intermodulation: smpte (60 Hz and 7 kHz, 4:1) or twin\n"
           "                        (18 and 20 kHz, 1:1); the generator plays both tones\n"
           "  --imd-tones F1:F2[:RATIO]  the two tones in Hz and the amplitude ratio F1:F2\n"
           "  --octave B            add the 1/B octave band levels averaged over the run\n"
           "                        (B 1, 3, 6, 12 or 24)\n"
           "  --response            also measure the frequency response: delay, coherence,\n"
           "                        magnitude and phase of the response against a reference\n"
           "  --reference R         left (response right), right (response left) or output\n"
           "                        (what we play, against --channel) (left)\n"
           "  --smoothing 1/B       smooth the response over 1/B octave (B 1, 2, 3, 6, 12, 24,\n"
           "                        48) or off (off)\n"
           "  --save-response FILE  write the final response: .csv CSV (frequency, dB,\n"
           "                        degrees, coherence), else FRD (frequency, dB, degrees)\n"
           "  --stimulus S          play periodic noise of period --length, white or pink, on\n"
           "                        --output-device while measuring --device\n"
           "  --slm                 add the sound level meter: LxF, LxS, LxEQ, LxFmax, LxFmin\n"
           "                        and LCpeak, x the --weighting's letter (a, c or z; A\n"
           "                        otherwise); dB SPL with --spl-sensitivity\n"
           "  --loudness            add the loudness meter: momentary and short-term maxima,\n"
           "                        integrated loudness (LUFS), loudness range (LU), true peak\n"
           "                        (dBTP) and sample peak (dBFS); block lines carry the\n"
           "                        momentary loudness\n"
           "  --help                print this text\n"
           "Exit codes: 0 measured, 2 bad arguments, 3 device or file error, 4 stream gaps "
           "occurred or blocks holding samples that are not finite numbers were left out.\n";
}

TMeasureOptions ParseMeasureOptions(const std::vector<std::string>& args,
                                    const TMeasureOptions& base) {
    TMeasureOptions o = base;
    std::string distortionOption; // the first option that needs --distortion
    bool correctionGiven = false;
    std::string responseOption;   // the first option that needs --response
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            o.Help = true;
            continue;
        }
        if (name == "--list-devices") {
            o.ListDevices = true;
            continue;
        }
        if (name.rfind("--", 0) != 0)
            throw EUsageError("Unexpected argument \"" + name + "\"");
        if (name == "--distortion") {
            o.Distortion = true;
            continue;
        }
        if (name == "--slm" || name == "--loudness") {
            (name == "--slm" ? o.Slm : o.Loudness) = true;
            continue;
        }
        if (name == "--response") {
            o.Response = true;
            continue;
        }
        static constexpr std::array<std::string_view, 32> Known = {
            "--device",        "--rate",          "--bits",
            "--input",         "--length",        "--channel",
            "--window",        "--weighting",     "--band",
            "--units",         "--time-constant", "--digits",
            "--blocks",        "--seconds",       "--format",
            "--save-spectrum", "--setup",         "--generator",
            "--output-device", "--harmonics",     "--dist-band",
            "--averages",      "--imd",           "--imd-tones",
            "--octave",        "--cal-volts",     "--spl-sensitivity",
            "--correction",    "--reference",     "--smoothing",
            "--save-response", "--stimulus"};
        bool known = false;
        for (const auto k : Known)
            known = known || name == k;
        if (!known)
            throw EUsageError("Unknown option \"" + name + "\"");
        if (i + 1 >= args.size())
            throw EUsageError("Option " + name + " needs a value");
        const std::string& value = args[++i];
        if (distortionOption.empty() &&
            (name == "--harmonics" || name == "--dist-band" || name == "--imd"))
            distortionOption = name;
        if (responseOption.empty() &&
            (name == "--reference" || name == "--smoothing" || name == "--save-response"))
            responseOption = name;
        if (name == "--averages")
            o.AveragesGiven = true;
        const auto bad = [&](const std::string& why) {
            return EUsageError("Bad value \"" + value + "\" for " + name + ": " + why);
        };

        if (name == "--input") {
            o.Input = value;
        } else if (name == "--device") {
            if (value.empty())
                throw bad("a device entry, name or number is needed");
            o.Device = value;
        } else if (name == "--rate") {
            const auto r = WholeNumber(value);
            if (!r || *r < 6000 || *r > 192000)
                throw bad("a sample rate from 6000 to 192000 is needed");
            o.Rate = static_cast<std::int32_t>(*r);
        } else if (name == "--bits") {
            const auto b = WholeNumber(value);
            if (!b || (*b != 16 && *b != 24))
                throw bad("16 or 24 is needed");
            o.Bits = static_cast<std::int32_t>(*b);
        } else if (name == "--length") {
            const auto n = WholeNumber(value);
            if (!n || *n < 64 || *n > (1 << 20) || (*n & (*n - 1)) != 0)
                throw bad("a power of 2 from 64 to 1048576 is needed");
            o.Length = static_cast<std::int32_t>(*n);
        } else if (name == "--channel") {
            const auto c = Choice(value, ChannelNames);
            if (!c)
                throw bad("left, right, sum, diff or 0..3 is needed");
            o.Channel = *c;
        } else if (name == "--window") {
            const auto w = Choice(value, WindowNames);
            if (!w)
                throw bad("rect, blackman, blackman2, hanning, hamming, flattop or 0..5 is needed");
            o.WindowKind = *w;
        } else if (name == "--weighting") {
            const auto w = Choice(value, WeightingNames);
            if (!w)
                throw bad("flat, psophometric, cmessage, a, c, z or 0..5 is needed");
            o.Weighting = *w;
        } else if (name == "--band") {
            const auto colon = value.find(':');
            const auto lo = colon == std::string::npos
                                ? std::nullopt
                                : WholeNumber(std::string_view(value).substr(0, colon));
            const auto hi = colon == std::string::npos
                                ? std::nullopt
                                : WholeNumber(std::string_view(value).substr(colon + 1));
            if (!lo || !hi || *lo < 0 || *hi > 10'000'000)
                throw bad("LO:HI in whole Hz is needed");
            if (*lo >= *hi)
                throw bad("the cut-on LO must lie below the cut-off HI");
            o.BandLow = static_cast<std::int32_t>(*lo);
            o.BandHigh = static_cast<std::int32_t>(*hi);
            o.BandFromSetup = false;
        } else if (name == "--units") {
            const auto u = Choice(value, UnitNames);
            if (!u)
                throw bad("db, vpp, veff, dbfs, dbu, dbv, vrms, spl or 0..7 is needed");
            o.Units = *u;
        } else if (name == "--cal-volts") {
            const auto v = RealNumber(value);
            if (!v || *v <= 0.0)
                throw bad("the RMS volts of a full-scale sine, above 0, are needed");
            o.CalVolts = *v;
        } else if (name == "--spl-sensitivity") {
            const auto db = RealNumber(value);
            if (!db || std::fabs(*db) > 200.0)
                throw bad("dB SPL of a full-scale sine from -200 to 200 is needed");
            o.SplSensitivityDb = *db;
        } else if (name == "--correction") {
            if (value.empty())
                throw bad("a file name is needed");
            if (!correctionGiven)
                o.Corrections.clear(); // the command line's files replace the set-up's
            correctionGiven = true;
            if (o.Corrections.size() >= 2)
                throw bad("at most two correction files (microphone, interface) are taken");
            o.Corrections.push_back(value);
        } else if (name == "--time-constant") {
            const auto t = RealNumber(value);
            if (!t || *t < 0.0)
                throw bad("a number of seconds, 0 or more, is needed");
            o.TimeConstant = value;
        } else if (name == "--digits") {
            const auto d = WholeNumber(value);
            if (!d || *d < 2 || *d > 7)
                throw bad("a whole number from 2 to 7 is needed");
            o.Digits = static_cast<std::int32_t>(*d);
        } else if (name == "--blocks") {
            const auto k = WholeNumber(value);
            if (!k || *k < 1)
                throw bad("a whole number of blocks, 1 or more, is needed");
            o.Blocks = *k;
        } else if (name == "--seconds") {
            const auto s = RealNumber(value);
            if (!s || *s <= 0.0)
                throw bad("a number of seconds above 0 is needed");
            o.Seconds = *s;
        } else if (name == "--format") {
            const auto f = Choice(value, FormatNames);
            if (!f || value.size() == 1)
                throw bad("text, json or csv is needed");
            o.Format = static_cast<TOutputFormat>(*f);
        } else if (name == "--save-spectrum") {
            o.SaveSpectrum = value;
        } else if (name == "--setup") {
            o.Setup = value;
        } else if (name == "--generator") {
            const auto p = WholeNumber(value);
            if (!p || *p < 2 || *p > 14)
                throw bad("an exponent p from 2 to 14 is needed (a period of 2^p samples)");
            o.Generator = static_cast<std::int32_t>(*p);
        } else if (name == "--harmonics") {
            const auto k = WholeNumber(value);
            if (!k || *k < 2 || *k > 20)
                throw bad("a whole number from 2 to 20 is needed");
            o.Harmonics = static_cast<std::int32_t>(*k);
        } else if (name == "--dist-band") {
            const std::vector<double> band = Numbers(value);
            if (band.size() != 2 || band[0] < 0.0)
                throw bad("LO:HI in Hz is needed");
            if (band[0] >= band[1])
                throw bad("LO must lie below HI");
            o.DistBandLow = band[0];
            o.DistBandHigh = band[1];
        } else if (name == "--averages") {
            const auto k = WholeNumber(value);
            if (!k || *k < 1 || *k > 1000)
                throw bad("a whole number from 1 to 1000 is needed");
            o.Averages = static_cast<std::int32_t>(*k);
        } else if (name == "--imd") {
            const auto kind = Choice(value, ImdNames);
            if (!kind || *kind == 0 || value.size() == 1)
                throw bad("smpte or twin is needed");
            o.Imd = *kind;
        } else if (name == "--imd-tones") {
            const std::vector<double> tones = Numbers(value);
            if ((tones.size() != 2 && tones.size() != 3) || tones[0] <= 0.0 || tones[1] <= 0.0 ||
                (tones.size() == 3 && tones[2] <= 0.0))
                throw bad("F1:F2 or F1:F2:RATIO with numbers above 0 is needed");
            if (tones[0] == tones[1])
                throw bad("the two tones must differ");
            o.ImdF1 = tones[0];
            o.ImdF2 = tones[1];
            o.ImdRatio = tones.size() == 3 ? std::optional<double>(tones[2]) : std::nullopt;
        } else if (name == "--output-device") {
            if (value.empty())
                throw bad("a device entry, name or number is needed");
            o.OutputDevice = value;
        } else if (name == "--octave") {
            const auto b = WholeNumber(value);
            if (!b || (*b != 1 && *b != 3 && *b != 6 && *b != 12 && *b != 24))
                throw bad("1, 3, 6, 12 or 24 is needed (1/B octave bands)");
            o.Octave = static_cast<std::int32_t>(*b);
        } else if (name == "--reference") {
            const auto r = Choice(value, ReferenceNames);
            if (!r || value.size() == 1)
                throw bad("left, right or output is needed");
            o.Reference = *r;
        } else if (name == "--smoothing") {
            const auto b = value.rfind("1/", 0) == 0 ? WholeNumber(value.substr(2)) : std::nullopt;
            const bool listed =
                b && (*b == 1 || *b == 2 || *b == 3 || *b == 6 || *b == 12 || *b == 24 || *b == 48);
            if (value != "off" && !listed)
                throw bad("off or 1/B with B 1, 2, 3, 6, 12, 24 or 48 is needed");
            o.Smoothing = value == "off" ? 0 : static_cast<std::int32_t>(*b);
        } else if (name == "--save-response") {
            if (value.empty())
                throw bad("a file name is needed");
            o.SaveResponse = value;
        } else if (name == "--stimulus") {
            const auto s = Choice(value, StimulusNames);
            if (!s || *s == 0 || value.size() == 1)
                throw bad("white or pink is needed");
            o.Stimulus = *s;
        }
    }
    if (!o.Help && !o.ListDevices && o.Input.empty() && o.Device.empty())
        throw EUsageError("No input: --input FILE or --device NAME is needed");
    if (!o.Input.empty() && !o.Device.empty())
        throw EUsageError("Give --input or --device, not both");
    if (o.Blocks && o.Seconds)
        throw EUsageError("Give --blocks or --seconds, not both");
    if (!o.Help && !o.ListDevices && o.Generator && (o.Device.empty() || o.OutputDevice.empty()))
        throw EUsageError("--generator plays on --output-device while measuring --device");
    if (!o.Help && !o.ListDevices && o.Stimulus != 0 &&
        (o.Device.empty() || o.OutputDevice.empty()))
        throw EUsageError("--stimulus plays on --output-device while measuring --device");
    if (o.Generator && o.Stimulus != 0)
        throw EUsageError("Give --generator or --stimulus, not both");
    if (!o.Help && !o.ListDevices && !PlaysOutput(o) && !o.OutputDevice.empty())
        throw EUsageError("--output-device needs --generator or --stimulus");
    if (!o.Distortion && !distortionOption.empty())
        throw EUsageError(distortionOption + " needs --distortion");
    if (!o.Response && !responseOption.empty())
        throw EUsageError(responseOption + " needs --response");
    if (o.AveragesGiven && !o.Distortion && !o.Response)
        throw EUsageError("--averages needs --distortion or --response");
    if (o.Response && o.Reference == 2 && o.Stimulus == 0)
        throw EUsageError("--reference output needs --stimulus (what we play)");
    if (o.ImdF1 && o.Imd == 0)
        throw EUsageError("--imd-tones needs --imd");
    return o;
}
