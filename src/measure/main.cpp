// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure: the instrument's measurement of a sound file or device, printed for scripts.
#include "measure/MeasureAddOn.h"
#include "measure/MeasureOptions.h"
#include "measure/MeasureRun.h"
#include "measure/MeasureSetup.h"
#include "measure/SoundFileSource.h"

#include "audio/EngineFactory.h"
#include "audio/MainThreadDispatcher.h"
#include "audio/PcmDeviceList.h"
#include "audio/Quibex_Strm.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int ExitMeasured = 0;
constexpr int ExitUsage = 2;
constexpr int ExitFile = 3;
constexpr int ExitGaps = 4; // stream gaps, or blocks left out for samples that are no numbers

// x with `decimals` digits after ".", whatever the locale; "null" when not finite.
std::string Fixed(double x, int decimals) {
    if (!std::isfinite(x))
        return "null";
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof(buffer), x, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buffer, end) : std::string("null");
}

// A reading in the chosen unit: 9 significant digits (volts span many decades), "null" when
// not finite.
std::string Value(double x) {
    if (!std::isfinite(x))
        return "null";
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof(buffer), x, std::chars_format::general, 9);
    return ec == std::errc() ? std::string(buffer, end) : std::string("null");
}

// A CSV field: quoted, inner quotes doubled.
std::string CsvText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

// Texts of the meters without the blanks the labels pad them with.
std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

using TAddOns = std::vector<std::unique_ptr<TMeasureAddOn>>;

// The CSV header line: the meters' columns, then each analyser's.
std::string CsvHeader(const TAddOns& addOns) {
    std::string header = "kind,blocks,gaps,sn_db,s_db,peak_hz,sn_text,s_text,peak_text,"
                         "invalid_blocks,clipped_samples,sn_value,s_value,unit";
    for (const auto& addOn : addOns)
        for (const std::string& column : addOn->CsvColumns())
            header += "," + column;
    return header;
}

// One output line: `final` marks the settled readings after the last block.
std::string ReadingLine(TOutputFormat format, const TMeasureReading& r, bool final,
                        const TAddOns& addOns) {
    const std::string sn = Trimmed(r.SNText), s = Trimmed(r.SText), sp = Trimmed(r.SpecialText);
    switch (format) {
    case TOutputFormat::ofJson: {
        TReportLine line;
        line["final"] = final;
        line["blocks"] = r.Blocks;
        line["gaps"] = r.Gaps;
        line["invalid_blocks"] = r.InvalidBlocks;
        line["clipped_samples"] = r.ClippedSamples;
        line["sn_db"] = ReportNumber(r.SNdB);
        line["s_db"] = ReportNumber(r.SdB);
        line["peak_hz"] = ReportNumber(r.PeakHz);
        line["sn_text"] = sn;
        line["s_text"] = s;
        line["peak_text"] = sp;
        line["sn_value"] = ReportNumber(r.SNValue, 9);
        line["s_value"] = ReportNumber(r.SValue, 9);
        line["unit"] = r.Unit;
        for (const auto& addOn : addOns)
            addOn->AddJson(line, final);
        // Texts from devices need not be UTF-8: such bytes become U+FFFD, never an exception.
        return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    case TOutputFormat::ofCsv: {
        std::string line = std::string(final ? "final" : "block") + "," + std::to_string(r.Blocks) +
                           "," + std::to_string(r.Gaps) + "," + Fixed(r.SNdB, 6) + "," +
                           Fixed(r.SdB, 6) + "," + Fixed(r.PeakHz, 6) + "," + CsvText(sn) + "," +
                           CsvText(s) + "," + CsvText(sp) + "," + std::to_string(r.InvalidBlocks) +
                           "," + std::to_string(r.ClippedSamples) + "," + Value(r.SNValue) + "," +
                           Value(r.SValue) + "," + CsvText(r.Unit);
        for (const auto& addOn : addOns)
            for (const std::string& value : addOn->CsvValues(final))
                line += "," + value;
        return line;
    }
    case TOutputFormat::ofText:
    default: {
        std::string line =
            std::string(final ? "final" : "block ") +
            (final ? std::string() : std::to_string(r.Blocks)) + ": S+N " + sn + "  " + s +
            "  peak " + sp +
            (final ? "  (" + std::to_string(r.Blocks) + " blocks, " + std::to_string(r.Gaps) +
                         " gaps, " + std::to_string(r.InvalidBlocks) + " invalid blocks, " +
                         std::to_string(r.ClippedSamples) + " clipped samples)"
                   : std::string());
        for (const auto& addOn : addOns)
            line += addOn->Text(final);
        return line;
    }
    }
}

// The analysers the options ask for, fed by `run`.
TAddOns AttachAddOns(const TMeasureOptions& options, int sampleRateHz, TMeasureRun& run) {
    TAddOns addOns = MakeMeasureAddOns(options, sampleRateHz);
    for (const auto& addOn : addOns)
        run.AddConsumer(addOn->Consumer());
    return addOns;
}

// The progress line on standard error: shown only when that is a terminal and once the run has
// lasted a second, rewritten in place, wiped at the end. Main thread only.
class TProgressLine {
public:
    TProgressLine() : terminal_(isatty(STDERR_FILENO) != 0) {}
    ~TProgressLine() { Finish(); }
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;

    // `done` of `total` (blocks or samples); redrawn when the whole percentage changes.
    void Show(std::int64_t done, std::int64_t total) {
        if (!terminal_ || total <= 0 ||
            std::chrono::steady_clock::now() - started_ < std::chrono::seconds(1))
            return;
        const std::int64_t percent = std::min<std::int64_t>(100, 100 * done / total);
        if (percent == shownPercent_)
            return;
        shownPercent_ = percent;
        std::cerr << "\rphonoscale-measure: " << percent << " % measured" << std::flush;
    }
    void Finish() {
        if (shownPercent_ >= 0)
            std::cerr << "\r" << std::string(40, ' ') << "\r" << std::flush;
        shownPercent_ = -1;
    }

private:
    bool terminal_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::int64_t shownPercent_ = -1;
};

int Run(const TMeasureOptions& options) {
    TSoundFile file(options.Input);
    TMeasureRun run(options, file.SampleRate());
    const TAddOns addOns = AttachAddOns(options, file.SampleRate(), run);

    // Frames to measure: the whole file, or as --seconds / --blocks say.
    const std::size_t engineBlock = run.EngineBlockLength();
    std::int64_t limit = file.Frames();
    if (options.Seconds)
        limit = std::min<std::int64_t>(
            limit, static_cast<std::int64_t>(std::llround(*options.Seconds * file.SampleRate())));
    if (options.Blocks)
        limit =
            std::min<std::int64_t>(limit, *options.Blocks * static_cast<std::int64_t>(engineBlock));
    if (limit < options.Length)
        throw ESoundFileError("Cannot measure " + options.Input + ": it holds " +
                              std::to_string(file.Frames()) + " samples, fewer than one block of " +
                              std::to_string(options.Length));

    if (options.Format == TOutputFormat::ofCsv)
        std::cout << CsvHeader(addOns) << '\n';
    TProgressLine progress;
    TDataBufferF block;
    std::int64_t done = 0;
    while (done < limit) {
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(engineBlock), limit - done));
        const std::size_t got = file.Read(block, want);
        if (got == 0)
            break;
        done += static_cast<std::int64_t>(got);
        if (got < static_cast<std::size_t>(options.Length))
            break;
        if (!run.Feed(block, got))
            throw std::runtime_error("Measurement failed: " + run.State().StreamErrors.Summary());
        TMeasureReading r = run.Reading();
        r.ClippedSamples = file.ClippedSamples();
        std::cout << ReadingLine(options.Format, r, false, addOns) << '\n';
        progress.Show(done, limit);
    }
    progress.Finish();
    TMeasureReading final = run.Reading();
    final.ClippedSamples = file.ClippedSamples();
    std::cout << ReadingLine(options.Format, final, true, addOns) << '\n' << std::flush;
    if (!options.SaveSpectrum.empty())
        run.SaveSpectrum(options.SaveSpectrum);
    for (const auto& addOn : addOns)
        addOn->Finish();
    if (done < limit || file.Truncated()) {
        // The header promised more samples than the file holds.
        std::cerr << "phonoscale-measure: " << options.Input
                  << " is truncated: its header announces more samples than the file holds; "
                  << done << " samples were measured\n";
        return ExitFile;
    }
    return final.Gaps > 0 || final.InvalidBlocks > 0 ? ExitGaps : ExitMeasured;
}

// The capture entry that `wanted` names: the entry itself, the text after its "NN  " number, or
// the number (from 1). Empty when none does.
std::string FindDeviceEntry(const std::vector<std::string>& entries, const std::string& wanted) {
    for (const std::string& entry : entries)
        if (entry == wanted || (entry.size() > 4 && entry.substr(4) == wanted))
            return entry;
    std::size_t number = 0;
    const auto [end, ec] = std::from_chars(wanted.data(), wanted.data() + wanted.size(), number);
    if (ec == std::errc() && end == wanted.data() + wanted.size() && number >= 1 &&
        number <= entries.size())
        return entries[number - 1];
    return {};
}

int ListDevices() {
    TQueuedDispatcher dispatcher;
    auto devices = std::make_shared<const std::vector<TPcmDevice>>(TAlsaDeviceLister().List());
    TQuibexStream stream(MakeEngineFactory(devices, &dispatcher));
    std::cout << "Capture devices:\n";
    for (const std::string& entry : stream.InputDeviceNames())
        std::cout << entry << '\n';
    std::cout << "Playback devices:\n";
    for (const std::string& entry : stream.OutputDeviceNames())
        std::cout << entry << '\n';
    return ExitMeasured;
}

// Measures a capture device through the sound-card engine, with the coherent sine on the
// playback device when --generator asks for it. The engine hands its blocks to the queued
// dispatcher; this (main) thread runs them, and with them the pipeline (which writes the sine
// into the engine's output block), between short sleeps until enough blocks were measured.
int RunDevice(const TMeasureOptions& options) {
    TQueuedDispatcher dispatcher;
    auto devices = std::make_shared<const std::vector<TPcmDevice>>(TAlsaDeviceLister().List());
    TQuibexStream stream(MakeEngineFactory(devices, &dispatcher));
    std::string entry = FindDeviceEntry(stream.InputDeviceNames(), options.Device);
    if (entry.empty())
        throw EUsageError("No capture device \"" + options.Device + "\" (see --list-devices)");
    std::string outEntry;
    if (PlaysOutput(options)) {
        outEntry = FindDeviceEntry(stream.OutputDeviceNames(), options.OutputDevice);
        if (outEntry.empty())
            throw EUsageError("No playback device \"" + options.OutputDevice +
                              "\" (see --list-devices)");
    }
    TMeasureRun run(options, options.Rate);
    const TAddOns addOns = AttachAddOns(options, options.Rate, run);
    const auto engineBlock = static_cast<int>(run.EngineBlockLength());
    const std::int64_t target =
        options.Blocks ? *options.Blocks
                       : std::max<std::int64_t>(
                             1, static_cast<std::int64_t>(std::ceil(options.Seconds.value_or(5.0) *
                                                                    options.Rate / engineBlock)));

    stream.Directions = PlaysOutput(options) ? ddBoth : ddCapture;
    stream.InputDevice = TDeviceSettings(0, 2, options.Rate, options.Bits, engineBlock);
    stream.OutputDevice = stream.InputDevice;
    stream.BufferCount = 3;
    stream.SelectInputDevice(entry);
    if (PlaysOutput(options))
        stream.SelectOutputDevice(outEntry);
    std::string failure;
    std::string blockError;
    std::int64_t seen = 0;
    // Gaps of the capture and, while the sine plays, of the playback: either spoils the reading.
    const auto gaps = [&options](const TStreamHealth& health) {
        return static_cast<std::int64_t>(health.CaptureGaps +
                                         (PlaysOutput(options) ? health.RenderGaps : 0));
    };
    run.SetStreamGaps([&] { return static_cast<std::uint64_t>(gaps(stream.Health())); });
    stream.OnData = [&](void*, TDataBufferI&, TDataBufferF& in, TDataBufferF& out) {
        if (seen >= target || !failure.empty()) {
            for (auto& row : out) // the blocks after the last one measured play silence
                std::fill(row.begin(), row.end(), 0.0f);
            return;
        }
        if (!run.Feed(in, in.empty() ? 0 : in[0].size(), &out) && blockError.empty())
            blockError = run.State().StreamErrors.Summary();
        ++seen;
        TMeasureReading r = run.Reading();
        r.Gaps = gaps(stream.Health());
        std::cout << ReadingLine(options.Format, r, false, addOns) << '\n';
    };
    stream.OnFailure = [&](const std::string& reason) { failure = reason; };
    if (PlaysOutput(options))
        std::cerr << "phonoscale-measure: playing " << run.GeneratorCaption() << " on " << outEntry
                  << '\n';
    if (options.Format == TOutputFormat::ofCsv)
        std::cout << CsvHeader(addOns) << '\n';
    stream.Start();
    const auto started = std::chrono::steady_clock::now();
    TProgressLine progress;
    // A stalled device ends the run: twice the expected time and 5 s more.
    const auto limit = std::chrono::duration<double>(
        2.0 * static_cast<double>(target) * engineBlock / options.Rate + 5.0);
    while (seen < target && failure.empty()) {
        dispatcher.RunPending();
        progress.Show(seen, target);
        if (std::chrono::steady_clock::now() - started > limit) {
            failure = "The device delivered no more blocks";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stream.Stop();
    dispatcher.RunPending();
    progress.Finish();
    TMeasureReading final = run.Reading();
    const TStreamHealth health = stream.Health();
    final.Gaps = gaps(health);
    std::cout << ReadingLine(options.Format, final, true, addOns) << '\n' << std::flush;
    if (!options.SaveSpectrum.empty())
        run.SaveSpectrum(options.SaveSpectrum);
    for (const auto& addOn : addOns)
        addOn->Finish();
    if (!failure.empty())
        throw std::runtime_error("Capture from " + entry + " failed: " + failure);
    if (!blockError.empty())
        throw std::runtime_error("Measurement failed: " + blockError);
    return final.Gaps > 0 || final.InvalidBlocks > 0 ? ExitGaps : ExitMeasured;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    TMeasureOptions options;
    try {
        options = ParseMeasureOptions(args);
    } catch (const EUsageError& e) {
        std::cerr << "phonoscale-measure: " << e.what() << "\n\n" << MeasureUsage();
        return ExitUsage;
    }
    if (options.Help) {
        std::cout << MeasureUsage();
        return ExitMeasured;
    }
    try {
        if (!options.Setup.empty()) {
            // The set-up file first, then the command line over it.
            TMeasureOptions fromSetup;
            ApplySetupFile(options.Setup, fromSetup);
            options = ParseMeasureOptions(args, fromSetup);
        }
        if (options.ListDevices)
            return ListDevices();
        return options.Device.empty() ? Run(options) : RunDevice(options);
    } catch (const EUsageError& e) {
        std::cerr << "phonoscale-measure: " << e.what() << "\n\n" << MeasureUsage();
        return ExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "phonoscale-measure: " << e.what() << '\n';
        return ExitFile;
    }
}
