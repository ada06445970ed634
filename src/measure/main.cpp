// phonoscale-measure: the instrument's measurement of a sound file, printed for scripts.
#include "measure/MeasureOptions.h"
#include "measure/MeasureRun.h"
#include "measure/SoundFileSource.h"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int ExitMeasured = 0;
constexpr int ExitUsage = 2;
constexpr int ExitFile = 3;
constexpr int ExitGaps = 4;

// x with `decimals` digits after ".", whatever the locale; "null" when not finite.
std::string Fixed(double x, int decimals) {
    if (!std::isfinite(x))
        return "null";
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof(buffer), x, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buffer, end) : std::string("null");
}

// A JSON string literal of `text`.
std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof(esc), "\\u%04x", static_cast<unsigned>(c));
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
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

// One output line: `final` marks the settled readings after the last block.
std::string ReadingLine(TOutputFormat format, const TMeasureReading& r, bool final) {
    const std::string sn = Trimmed(r.SNText), s = Trimmed(r.SText), sp = Trimmed(r.SpecialText);
    switch (format) {
    case TOutputFormat::ofJson:
        return std::string("{\"final\":") + (final ? "true" : "false") +
               ",\"blocks\":" + std::to_string(r.Blocks) + ",\"gaps\":" + std::to_string(r.Gaps) +
               ",\"sn_db\":" + Fixed(r.SNdB, 6) + ",\"s_db\":" + Fixed(r.SdB, 6) +
               ",\"peak_hz\":" + Fixed(r.PeakHz, 6) + ",\"sn_text\":" + JsonText(sn) +
               ",\"s_text\":" + JsonText(s) + ",\"peak_text\":" + JsonText(sp) + "}";
    case TOutputFormat::ofCsv:
        return std::string(final ? "final" : "block") + "," + std::to_string(r.Blocks) + "," +
               std::to_string(r.Gaps) + "," + Fixed(r.SNdB, 6) + "," + Fixed(r.SdB, 6) + "," +
               Fixed(r.PeakHz, 6) + "," + CsvText(sn) + "," + CsvText(s) + "," + CsvText(sp);
    case TOutputFormat::ofText:
    default:
        return std::string(final ? "final" : "block ") +
               (final ? std::string() : std::to_string(r.Blocks)) + ": S+N " + sn + "  " + s +
               "  peak " + sp +
               (final ? "  (" + std::to_string(r.Blocks) + " blocks, " + std::to_string(r.Gaps) +
                            " gaps)"
                      : std::string());
    }
}

int Run(const TMeasureOptions& options) {
    TSoundFile file(options.Input);
    TMeasureRun run(options, file.SampleRate());

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
        std::cout << "kind,blocks,gaps,sn_db,s_db,peak_hz,sn_text,s_text,peak_text\n";
    const bool progress = isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
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
        std::cout << ReadingLine(options.Format, run.Reading(), false) << '\n';
        if (progress && std::chrono::steady_clock::now() - started > std::chrono::seconds(1))
            std::cerr << "\r" << (100 * done / limit) << " %" << std::flush;
    }
    if (progress && std::chrono::steady_clock::now() - started > std::chrono::seconds(1))
        std::cerr << "\r     \r" << std::flush;
    const TMeasureReading final = run.Reading();
    std::cout << ReadingLine(options.Format, final, true) << '\n' << std::flush;
    if (!options.SaveSpectrum.empty())
        run.SaveSpectrum(options.SaveSpectrum);
    if (done < limit || file.Truncated()) {
        // The header promised more samples than the file holds.
        std::cerr << "phonoscale-measure: " << options.Input
                  << " is truncated: its header announces more samples than the file holds; "
                  << done << " samples were measured\n";
        return ExitFile;
    }
    return final.Gaps > 0 ? ExitGaps : ExitMeasured;
}

} // namespace

int main(int argc, char** argv) {
    TMeasureOptions options;
    try {
        options = ParseMeasureOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const EUsageError& e) {
        std::cerr << "phonoscale-measure: " << e.what() << "\n\n" << MeasureUsage();
        return ExitUsage;
    }
    if (options.Help) {
        std::cout << MeasureUsage();
        return ExitMeasured;
    }
    try {
        return Run(options);
    } catch (const EUsageError& e) {
        std::cerr << "phonoscale-measure: " << e.what() << "\n\n" << MeasureUsage();
        return ExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "phonoscale-measure: " << e.what() << '\n';
        return ExitFile;
    }
}
