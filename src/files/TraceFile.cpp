// SPDX-License-Identifier: GPL-3.0-or-later
// Telling trace files apart by name and content, and reading any of them into a memory.
#include "files/TraceFile.h"

#include "files/TextNumbers.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string LowerText(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

// Every word after "#" is one of the option line's.
bool IsOptionLine(std::string_view text) {
    constexpr std::array<std::string_view, 14> words{"hz", "khz", "mhz", "ghz", "s",  "y", "z",
                                                     "g",  "h",   "db",  "ma",  "ri", "r", "n1"};
    text.remove_prefix(1);
    text = text.substr(0, text.find('!')); // a comment to the end of the line
    for (;;) {
        text = TrimLeft(text);
        if (text.empty())
            return true;
        std::size_t end = 0;
        while (end < text.size() && !IsBlank(text[end]))
            ++end;
        const std::string word = LowerText(text.substr(0, end));
        double number = 0.0;
        if (std::find(words.begin(), words.end(), word) == words.end() && !ParseReal(word, number))
            return false;
        text.remove_prefix(end);
    }
}

constexpr double MaxLevelDb = 6000.0; // 10^(6000/20) = 1e300, still a double

std::string CheckLevel(const TLevelTable& table, const TLevelRecord& record) {
    const std::optional<double> db = LevelToDb(table.LevelUnit, record.Level);
    if (!db) {
        if (table.LevelUnit == "vpp" || table.LevelUnit == "veff" || table.LevelUnit == "vrms")
            return "the level " + FormatReal(record.Level) + " " + table.LevelUnit +
                   " is not a positive voltage.";
        return "the level unit \"" + table.LevelUnit + "\" is not one of dB, Vpp or Veff.";
    }
    if (*db > MaxLevelDb)
        return "the level " + FormatReal(*db) + " dB is out of range.";
    return {};
}

TTouchstoneRead FromLevels(const std::function<TLevelTable(const TLevelRecordCheck&)>& read) {
    TTouchstoneRead result;
    result.Exists = true;
    try {
        const TLevelTable table = read(&CheckLevel);
        result.Records.resize(table.Records.size());
        for (std::size_t i = 0; i < table.Records.size(); ++i) {
            const TLevelRecord& record = table.Records[i];
            const double db = LevelToDb(table.LevelUnit, record.Level).value_or(0.0);
            result.Records[i] = {record.FrequencyHz, std::pow(10.0, db / 20.0)};
        }
        result.Counted = result.Records.size();
        result.Apply = true;
    } catch (const ELevelFileError& error) {
        result.Messages.push_back(
            {ErrorCaption, std::string(error.what()) + " The memory is unchanged."});
    }
    return result;
}

} // namespace

std::optional<TTraceFileFormat> TraceFormatOfName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    const std::string extension = LowerText(name.substr(dot));
    if (extension == ".s1p")
        return TTraceFileFormat::tfTouchstone;
    if (extension == ".csv")
        return TTraceFileFormat::tfCsv;
    if (extension == ".frd" || extension == ".txt")
        return TTraceFileFormat::tfFrd;
    return std::nullopt;
}

const char* TraceFileExtension(TTraceFileFormat format) {
    switch (format) {
    case TTraceFileFormat::tfCsv:
        return ".csv";
    case TTraceFileFormat::tfFrd:
        return ".frd";
    case TTraceFileFormat::tfTouchstone:
        break;
    }
    return ".s1p";
}

std::string NameWithTypeExtension(std::string_view path, std::string_view fileType,
                                  std::string_view filters) {
    const std::string lowerFilters = LowerText(filters);
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string_view::npos && dot + 1 < name.size()) {
        const std::string pattern = "*" + LowerText(name.substr(dot));
        for (std::size_t at = lowerFilters.find(pattern); at != std::string::npos;
             at = lowerFilters.find(pattern, at + 1)) {
            const std::size_t after = at + pattern.size();
            if (after == lowerFilters.size() || lowerFilters[after] == ' ' ||
                lowerFilters[after] == ')' || lowerFilters[after] == ';')
                return std::string(path);
        }
    }
    const std::size_t star = fileType.find("*.");
    if (star == std::string_view::npos || name.empty())
        return std::string(path);
    std::size_t end = star + 2;
    while (end < fileType.size() && fileType[end] != ' ' && fileType[end] != ')' &&
           fileType[end] != ';' && fileType[end] != '*')
        ++end;
    if (end == star + 2)
        return std::string(path);
    return std::string(path) + std::string(fileType.substr(star + 1, end - star - 1));
}

bool LooksLikeTouchstone(const TByteSource& source) {
    TTextLineReader lines(source, MaxLevelLine);
    std::string line;
    while (lines.Next(line)) {
        const std::string_view text = TrimLeft(line);
        if (text.empty())
            continue;
        if (text.front() == '#') {
            if (IsOptionLine(text))
                return true;
            continue; // a comment of an FRD file
        }
        if (LowerText(text.substr(0, 9)) == "[version]")
            return true;
        if (StartsWithNumber(text))
            return false;
    }
    return false;
}

std::optional<double> LevelToDb(const std::string& unit, double level) {
    if (unit.empty() || unit.rfind("db", 0) == 0)
        return level;
    if (unit == "vpp" || unit == "veff" || unit == "vrms") {
        if (!(level > 0.0))
            return std::nullopt;
        const double veff = unit == "vpp" ? level / std::sqrt(8.0) : level;
        return 10.0 * std::log10(20.0 * veff * veff);
    }
    return std::nullopt;
}

TTouchstoneRead ReadTraceFile(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        const int error = errno;
        TTouchstoneRead result;
        if (error == ENOENT || error == ENOTDIR)
            return result;
        result.Exists = true;
        result.Messages.push_back(
            {ErrorCaption, "Could not read " + path + ": " + std::strerror(error) + "."});
        return result;
    }
    if (LooksLikeTouchstone(FileByteSource(file.get())))
        return ReadTouchstone(path);
    std::rewind(file.get());
    return FromLevels([&](const TLevelRecordCheck& check) {
        return ReadLevelStream(FileByteSource(file.get()), path, check);
    });
}

TTouchstoneRead ReadTraceText(std::string_view text, const std::string& name) {
    if (LooksLikeTouchstone(TextByteSource(text)))
        return ReadTouchstoneText(text, name);
    return FromLevels(
        [&](const TLevelRecordCheck& check) { return ReadLevelText(text, name, check); });
}
