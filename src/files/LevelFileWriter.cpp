// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV and FRD writers of frequency-level tables.
#include "files/AtomicFile.h"
#include "files/LevelFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr const char* LineBreak = "\r\n";

// A value that is not finite is written as 0, so that every file written reads back.
double Finite(double value) {
    return std::isfinite(value) ? value : 0.0;
}

std::string Chars(const char* first, const char* last) {
    std::string text(first, last);
    // "-0.000000" and "-0" read back as 0 and are written as such.
    if (text.front() == '-' && text.find_first_of("123456789") == std::string::npos)
        text.erase(0, 1);
    return text;
}

// The shortest fixed form that reads back to the same double: "46.875", "100000".
std::string ExactNumber(double value) {
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, Finite(value), std::chars_format::fixed);
    return error == std::errc() ? Chars(buffer, end) : std::string("0");
}

std::string FixedNumber(double value, int decimals) {
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, Finite(value),
                                            std::chars_format::fixed, decimals);
    return error == std::errc() ? Chars(buffer, end) : std::string("0");
}

std::string SignificantNumber(double value, int digits) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, Finite(value),
                                            std::chars_format::general, digits);
    return error == std::errc() ? Chars(buffer, end) : std::string("0");
}

// Letters, digits and "_.-()[]" kept, anything else "_"; `empty` for an empty name.
std::string SafeName(const std::string& name, const std::string& empty) {
    if (name.empty())
        return empty;
    std::string safe = name;
    for (char& c : safe) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') ||
                          std::string_view("_.-()[]").find(c) != std::string_view::npos;
        if (!keep)
            c = '_';
    }
    return safe;
}

bool NamesPhase(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name.find("phase") != std::string::npos || name.find("deg") != std::string::npos;
}

std::string LevelNumber(const TLevelTable& table, double value) {
    return table.LevelUnit.rfind("db", 0) == 0 || table.LevelUnit.empty()
               ? FixedNumber(value, 6)
               : SignificantNumber(value, 9);
}

std::string LevelName(const TLevelTable& table) {
    return "level_" + SafeName(table.LevelUnit, "db");
}

std::size_t Count(const TLevelTable& table) {
    return std::min(table.Records.size(), MaxLevelRecords);
}

} // namespace

std::string LevelCsvText(const TLevelTable& table) {
    const bool phase = table.HasPhase();
    std::string text = "frequency_hz," + LevelName(table);
    if (phase)
        text += ",phase_deg";
    for (std::size_t k = 0; k < table.Extra.size(); ++k) {
        const std::string fallback = "column" + std::to_string(k + (phase ? 4 : 3));
        std::string name = SafeName(table.Extra[k].Name, fallback);
        if (!phase && k == 0 && NamesPhase(name))
            name = fallback; // it would read back as the phase
        text += "," + name;
    }
    text += LineBreak;
    const std::size_t count = Count(table);
    text.reserve(text.size() + count * (phase ? 48 : 32));
    for (std::size_t i = 0; i < count; ++i) {
        const TLevelRecord& record = table.Records[i];
        text += ExactNumber(record.FrequencyHz);
        text += ',';
        text += LevelNumber(table, record.Level);
        if (phase) {
            text += ',';
            text += FixedNumber(record.PhaseDeg.value_or(0.0), 6);
        }
        for (const TExtraColumn& column : table.Extra) {
            text += ',';
            text += SignificantNumber(i < column.Values.size() ? column.Values[i] : 0.0, 9);
        }
        text += LineBreak;
    }
    return text;
}

std::string LevelFrdText(const TLevelTable& table) {
    const bool phase = table.HasPhase();
    std::string text = "* Data written by TALVOR Phonoscale";
    text += LineBreak;
    for (std::string note : table.Notes) {
        std::replace(note.begin(), note.end(), '\r', ' ');
        std::replace(note.begin(), note.end(), '\n', ' ');
        text += "* " + note + LineBreak;
    }
    text += "* frequency_hz " + LevelName(table) + (phase ? " phase_deg" : "") + LineBreak;
    const std::size_t count = Count(table);
    text.reserve(text.size() + count * (phase ? 48 : 32));
    for (std::size_t i = 0; i < count; ++i) {
        const TLevelRecord& record = table.Records[i];
        text += ExactNumber(record.FrequencyHz);
        text += ' ';
        text += LevelNumber(table, record.Level);
        if (phase) {
            text += ' ';
            text += FixedNumber(record.PhaseDeg.value_or(0.0), 6);
        }
        text += LineBreak;
    }
    return text;
}

void WriteLevelFile(const std::string& path, const TLevelTable& table, TLevelFileFormat format) {
    WriteFileAtomically(path, format == TLevelFileFormat::lfCsv ? LevelCsvText(table)
                                                                : LevelFrdText(table));
}
