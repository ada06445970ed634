// SPDX-License-Identifier: GPL-3.0-or-later
// The streaming reader of CSV and FRD/TXT frequency-level files.
#include "files/LevelFile.h"

#include "files/TextNumbers.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = Lower(c);
    return lower;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool IsCommentMark(char c) {
    return c == '*' || c == ';' || c == '!' || c == '#' || c == '"';
}

// The text after a leading run of comment marks (not the double quote, which may open a name)
// and blanks.
std::string_view AfterCommentMarks(std::string_view text) {
    while (!text.empty() &&
           ((IsCommentMark(text.front()) && text.front() != '"') || IsBlank(text.front())))
        text.remove_prefix(1);
    return text;
}

// "Sens Factor =-1.2dB", "Sensitivity: -38.5 dBV", also behind comment marks.
std::optional<TSensitivity> SensitivityOf(std::string_view line) {
    std::string_view text = line;
    while (!text.empty() && (IsCommentMark(text.front()) || IsBlank(text.front())))
        text.remove_prefix(1);
    std::size_t word = 0;
    while (word < text.size() && Lower(text[word]) >= 'a' && Lower(text[word]) <= 'z')
        ++word;
    const std::string first = LowerText(text.substr(0, word));
    if (first != "sens" && first != "sensitivity")
        return std::nullopt;
    const std::size_t mark = text.find_first_of("=:");
    if (mark == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = Trim(text.substr(mark + 1));
    std::string number(rest.substr(0, 64));
    std::size_t skipped = 0;
    if (!number.empty() && number.front() == '+') {
        number.erase(0, 1);
        skipped = 1;
    }
    for (char& c : number)
        if (c == ',')
            c = '.';
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || !std::isfinite(value))
        return std::nullopt;
    TSensitivity sensitivity;
    sensitivity.Value = value;
    sensitivity.Unit =
        std::string(Trim(rest.substr(skipped + static_cast<std::size_t>(end - number.data()))));
    sensitivity.Line = std::string(Trim(line));
    return sensitivity;
}

std::string Unquoted(std::string_view name) {
    name = Trim(name);
    if (!name.empty() && name.front() == '"')
        name.remove_prefix(1);
    if (!name.empty() && name.back() == '"')
        name.remove_suffix(1);
    return std::string(Trim(name));
}

// Names of a header line (see ReadLevelStream); `separated` tells whether "," or ";" separated
// them.
std::vector<std::string> HeaderNames(std::string_view text, bool& separated) {
    std::vector<std::string> names;
    char separator = 0;
    for (const char c : {';', '\t', ','})
        if (text.find(c) != std::string_view::npos) {
            separator = c;
            break;
        }
    separated = separator == ';' || separator == ',';
    if (separator != 0) {
        for (;;) {
            const std::size_t at = text.find(separator);
            names.push_back(Unquoted(text.substr(0, at)));
            if (at == std::string_view::npos || names.size() > MaxLevelColumns)
                break;
            text.remove_prefix(at + 1);
        }
        while (!names.empty() && names.back().empty())
            names.pop_back();
        return names;
    }
    for (;;) {
        text = Trim(text);
        if (text.empty() || names.size() > MaxLevelColumns)
            break;
        std::size_t end = 0;
        while (end < text.size() && !IsBlank(text[end]))
            ++end;
        const std::string name = Unquoted(text.substr(0, end));
        if (!names.empty() && (text.front() == '(' || text.front() == '['))
            names.back() += " " + name; // "Frequency [Hz]"
        else
            names.push_back(name);
        text.remove_prefix(end);
    }
    return names;
}

bool NamesFrequency(const std::string& name) {
    const std::string lower = LowerText(name);
    if (lower.find("freq") != std::string::npos || lower == "f" || lower == "hz")
        return true;
    return lower.size() > 1 && lower[0] == 'f' &&
           (lower[1] == '_' || lower[1] == ' ' || lower[1] == '(' || lower[1] == '[');
}

bool NamesPhase(const std::string& name) {
    const std::string lower = LowerText(name);
    return lower.find("phase") != std::string::npos || lower.find("deg") != std::string::npos;
}

// "level_dbfs": "dbfs"; "SPL (dB)": "db"; "mag_db": "db"; "level": "".
std::string UnitOfName(const std::string& name) {
    const std::string lower = LowerText(name);
    if (lower.rfind("level_", 0) == 0)
        return lower.substr(6);
    const std::size_t open = lower.find_last_of("([");
    const std::size_t close = lower.find_last_of(")]");
    if (open != std::string::npos && close != std::string::npos && close > open)
        return std::string(Trim(std::string_view(lower).substr(open + 1, close - open - 1)));
    const std::size_t underscore = lower.rfind('_');
    if (underscore != std::string::npos)
        return lower.substr(underscore + 1);
    return {};
}

std::string Quoted(std::string_view token) {
    constexpr std::size_t shown = 40;
    if (token.size() <= shown)
        return "\"" + std::string(token) + "\"";
    return "\"" + std::string(token.substr(0, shown)) + "...\"";
}

// The reading of one file.
class TLevelParser {
public:
    TLevelParser(TTextLineReader& lines, std::string name, const TLevelRecordCheck& check)
        : Lines_(lines), Name_(std::move(name)), Check_(check) {}

    TLevelTable Run() {
        std::string line;
        while (Lines_.Next(line)) {
            if (Lines_.Utf16())
                throw ELevelFileError(
                    Name_ + " is UTF-16 text; save it as UTF-8 and read it again.", 0);
            const std::string_view text = Trim(line);
            if (text.empty())
                continue;
            if (!IsCommentMark(text.front()) && StartsWithNumber(text)) {
                Record(text);
                continue;
            }
            if (!Table_.Sensitivity) {
                if (auto sensitivity = SensitivityOf(text)) {
                    Table_.Sensitivity = std::move(sensitivity);
                    continue;
                }
            }
            if (Columns_ == 0)
                Candidate(text);
        }
        if (Lines_.TooLong())
            throw ELevelFileError(LineText() + " is longer than " + std::to_string(MaxLevelLine) +
                                      " characters.",
                                  Lines_.LineNumber());
        if (Lines_.Error() != 0)
            throw ELevelFileError(
                "Could not read " + Name_ + ": " + std::strerror(Lines_.Error()) + ".", 0);
        if (Table_.Records.empty())
            throw ELevelFileError("No frequency and level records found in " + Name_ + ".", 0);
        return std::move(Table_);
    }

private:
    std::string LineText() const {
        return "Line " + std::to_string(Lines_.LineNumber()) + " of " + Name_;
    }

    [[noreturn]] void Fail(const std::string& what) const {
        throw ELevelFileError(LineText() + ": " + what, Lines_.LineNumber());
    }

    // A line before the first record that may be the header.
    void Candidate(std::string_view text) {
        bool separated = false;
        std::vector<std::string> names = HeaderNames(AfterCommentMarks(text), separated);
        if (names.size() < 2 || names.size() > MaxLevelColumns || !NamesFrequency(names.front()))
            return;
        Header_ = std::move(names);
        HeaderSeparated_ = separated;
        HeaderLine_ = Lines_.LineNumber();
    }

    // Splits a record line into Fields_ (views into Work_); true when "," or ";" separated.
    bool Split(std::string_view text) {
        Fields_.clear();
        Work_.assign(text);
        const auto isSeparator = [](char c) { return c == ' ' || c == '\t' || c == ';'; };
        const bool spaced = Work_.find_first_of(" \t;") != std::string::npos;
        bool separated = Work_.find(';') != std::string::npos;
        if (spaced) {
            // A "," touching a separator belongs to it ("1000, -3.2").
            for (std::size_t i = 0; i < Work_.size(); ++i)
                if (Work_[i] == ',' && ((i > 0 && isSeparator(Work_[i - 1])) ||
                                        (i + 1 < Work_.size() && isSeparator(Work_[i + 1])))) {
                    Work_[i] = ' ';
                    separated = true;
                }
            std::size_t i = 0;
            while (i < Work_.size()) {
                while (i < Work_.size() && isSeparator(Work_[i]))
                    ++i;
                if (i == Work_.size())
                    break;
                std::size_t end = i;
                while (end < Work_.size() && !isSeparator(Work_[end]))
                    ++end;
                Fields_.emplace_back(Work_.data() + i, end - i);
                i = end;
                if (Fields_.size() > MaxLevelColumns)
                    break;
            }
            return separated;
        }
        std::string_view rest = Work_;
        for (;;) {
            const std::size_t at = rest.find(',');
            Fields_.push_back(rest.substr(0, at));
            if (at == std::string_view::npos || Fields_.size() > MaxLevelColumns)
                break;
            rest.remove_prefix(at + 1);
        }
        while (!Fields_.empty() && Fields_.back().empty())
            Fields_.pop_back();
        return Fields_.size() > 1;
    }

    // The first record fixes the columns, and whether the candidate was the header.
    void FirstRecord(bool separated) {
        Columns_ = Fields_.size();
        FirstLine_ = Lines_.LineNumber();
        const bool header = Header_.size() == Columns_;
        HasPhase_ = Columns_ >= 3 && (!header || NamesPhase(Header_[2]));
        Table_.Format = (separated || (header && HeaderSeparated_)) ? TLevelFileFormat::lfCsv
                                                                    : TLevelFileFormat::lfFrd;
        Table_.LevelUnit = header ? UnitOfName(Header_[1]) : "db";
        for (std::size_t k = HasPhase_ ? 3 : 2; k < Columns_; ++k)
            Table_.Extra.push_back(
                {header ? Header_[k] : "column" + std::to_string(k + 1), std::vector<double>{}});
        if (!header)
            HeaderLine_ = 0;
    }

    void Record(std::string_view text) {
        const bool separated = Split(text);
        if (Fields_.size() > MaxLevelColumns)
            Fail("more than " + std::to_string(MaxLevelColumns) + " columns.");
        if (Fields_.size() < 2)
            Fail("a record needs a frequency and a level.");
        if (Columns_ == 0)
            FirstRecord(separated);
        else if (Fields_.size() != Columns_)
            Fail(std::to_string(Fields_.size()) + " columns where " +
                 (HeaderLine_ > 0 ? "the header on line " + std::to_string(HeaderLine_) + " names "
                                  : "line " + std::to_string(FirstLine_) + " has ") +
                 std::to_string(Columns_) + ".");
        Values_.resize(Columns_);
        for (std::size_t k = 0; k < Columns_; ++k) {
            if (Fields_[k].empty())
                Fail("column " + std::to_string(k + 1) + " is empty.");
            if (!ParseReal(Fields_[k], Values_[k]))
                Fail(Quoted(Fields_[k]) + " is not a number.");
        }
        TLevelRecord record;
        record.FrequencyHz = Values_[0];
        record.Level = Values_[1];
        if (HasPhase_)
            record.PhaseDeg = Values_[2];
        if (record.FrequencyHz < 0.0)
            Fail("the frequency " + FormatReal(record.FrequencyHz) + " Hz is negative.");
        if (!Table_.Records.empty() && !(record.FrequencyHz > Table_.Records.back().FrequencyHz))
            Fail("the frequency " + FormatReal(record.FrequencyHz) +
                 " Hz is not above the one before (" +
                 FormatReal(Table_.Records.back().FrequencyHz) +
                 " Hz); the frequencies must rise from line to line.");
        if (Table_.Records.size() >= MaxLevelRecords)
            Fail("more than " + std::to_string(MaxLevelRecords) + " records.");
        if (Check_) {
            const std::string why = Check_(Table_, record);
            if (!why.empty())
                Fail(why);
        }
        Table_.Records.push_back(record);
        const std::size_t first = HasPhase_ ? 3 : 2;
        for (std::size_t k = first; k < Columns_; ++k)
            Table_.Extra[k - first].Values.push_back(Values_[k]);
    }

    TTextLineReader& Lines_;
    std::string Name_;
    const TLevelRecordCheck& Check_;
    TLevelTable Table_;
    std::vector<std::string> Header_; // the header candidate's names
    bool HeaderSeparated_ = false;
    long long HeaderLine_ = 0;
    std::size_t Columns_ = 0; // 0 until the first record
    long long FirstLine_ = 0;
    bool HasPhase_ = false;
    std::string Work_;
    std::vector<std::string_view> Fields_;
    std::vector<double> Values_;
};

} // namespace

bool StartsWithNumber(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (i < text.size() && text[i] == '.')
        ++i;
    return i < text.size() && IsDigit(text[i]);
}

TLevelTable ReadLevelStream(const TByteSource& source, const std::string& name,
                            const TLevelRecordCheck& check) {
    TTextLineReader lines(source, MaxLevelLine);
    return TLevelParser(lines, name, check).Run();
}

TLevelTable ReadLevelText(std::string_view text, const std::string& name,
                          const TLevelRecordCheck& check) {
    return ReadLevelStream(TextByteSource(text), name, check);
}

TLevelTable ReadLevelFile(const std::string& path, const TLevelRecordCheck& check) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file)
        throw ELevelFileError("Could not read " + path + ": " + std::strerror(errno) + ".", 0);
    return ReadLevelStream(FileByteSource(file.get()), path, check);
}
