// SPDX-License-Identifier: GPL-3.0-or-later
// Frequency-level text files other tools read and write: CSV and FRD/TXT, reader and writers.
#pragma once

#include "files/TextLineReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Records a file may hold; one more is an error.
constexpr std::size_t MaxLevelRecords = 1000000;
// Characters of one line; a longer line is an error, so an endless line costs bounded memory.
constexpr std::size_t MaxLevelLine = 65536;
// Columns of one record: frequency, level, phase and up to five more.
constexpr std::size_t MaxLevelColumns = 8;

enum class TLevelFileFormat : std::uint8_t {
    lfCsv, // a header line, columns separated by ","
    lfFrd  // whitespace-separated columns: frequency, dB, optionally phase; "*" comments
};

// One line of a file: a frequency, a level and, when the file has a phase column, the phase.
struct TLevelRecord {
    double FrequencyHz = 0.0;
    double Level = 0.0;             // in the table's LevelUnit
    std::optional<double> PhaseDeg; // degrees
};

// A column beyond frequency, level and phase (coherence of a response, for instance).
struct TExtraColumn {
    std::string Name;           // as the header names it; "column4".. in a file without header
    std::vector<double> Values; // one per record
};

// A line such as "Sens Factor =-1.2dB" or "Sensitivity: -38.5 dBV" (a microphone's or a
// correction file's overall offset).
struct TSensitivity {
    double Value = 0.0; // the number after "=" or ":"
    std::string Unit;   // the text after the number as written ("dB", "dBV"), may be empty
    std::string Line;   // the whole line, blanks trimmed
};

// The contents of a CSV or FRD file: records in rising frequency order, all with a phase or
// none, and any extra columns with one value per record.
struct TLevelTable {
    TLevelFileFormat Format = TLevelFileFormat::lfCsv;
    // Unit of the level column in lower case: from a header "level_<unit>" ("dbfs", "dbm",
    // "vpp", "veff"), or in brackets ("SPL (dB)": "db"), or after the last "_"; "db" for a file
    // without header; empty when a header names none.
    std::string LevelUnit = "db";
    std::vector<TLevelRecord> Records;
    std::vector<TExtraColumn> Extra;
    std::optional<TSensitivity> Sensitivity; // the first such line of the file
    // Written as comment lines at the top of an FRD file ("* " before each); CSV files carry
    // none (their first line is the header). Not filled by the reader.
    std::vector<std::string> Notes;

    bool HasPhase() const { return !Records.empty() && Records.front().PhaseDeg.has_value(); }
};

// A file that cannot be read: the text names the file and, where there is one, the line; the
// caller's data stay as they were.
class ELevelFileError : public std::runtime_error {
public:
    ELevelFileError(const std::string& text, long long line)
        : std::runtime_error(text), Line_(line) {}
    long long Line() const { return Line_; } // 0 when the fault has no line
private:
    long long Line_;
};

// Checks a record as it is read: an empty text takes it, any other text refuses the file with
// that reason after "Line <n> of <file>: ". `table` holds the header's findings (LevelUnit).
using TLevelRecordCheck =
    std::function<std::string(const TLevelTable& table, const TLevelRecord& record)>;

// Whether a line of text starts with a number as these files write one: a digit, or "+", "-" or
// "." (or a sign and ".") before one. Lines that do not are comments or a header.
bool StartsWithNumber(std::string_view text);

// Reads a CSV or FRD/TXT file as a stream (memory bounded by MaxLevelRecords records and one
// line of MaxLevelLine characters, whatever the file).
// - Text: UTF-8 with or without a byte-order mark; lines end in LF, CR LF or CR; blanks and
//   tabs at either end of a line are ignored.
// - Empty lines are skipped. Lines starting with "*", ";", "!", "#" or a double quote, and lines
//   that do not start with a number (a digit, or "+", "-" or "." before one), are comments,
//   except for:
//   - the sensitivity line: after any of those comment marks, a text starting with "sens"
//     (any case), then "=" or ":", a number and an optional unit;
//   - the header: the last line before the first record, after any comment marks, whose first
//     name contains "freq" (or is "f"); it counts only when it names as many columns as the
//     first record has (else it was a comment). Names are separated by ";" if the line has
//     one, else by tabs, else by ",", else by blanks (a "(unit)" or "[unit]" then joins the
//     name before it); double quotes around a name are dropped. Column 1 is the frequency in
//     Hz, column 2 the level, column 3 the phase in degrees when its name holds "phase" or
//     "deg", the others extra columns.
// - Records: columns are separated by ";", tabs or blanks (a "," touching such a separator is
//   part of it), and then a "," inside a number is its decimal comma; a line with none of these
//   separators has its columns separated by "," and "." decimals. Separators at the end of the
//   line are ignored. Without a header, column 3 is the phase in degrees.
// - Every record has the same number of columns (2 to MaxLevelColumns); the frequency is not
//   negative and rises from record to record; every value is a finite number.
// - The format is lfCsv when the header or the records are separated by "," or ";", else lfFrd.
// Raises ELevelFileError naming the file (`name`) and the line: a file that cannot be opened or
// read, a UTF-16 file, a line over MaxLevelLine characters, a value that is not a number, a
// record of another column count, a frequency that does not rise, more than MaxLevelRecords
// records, a record `check` refuses, or a file without records.
TLevelTable ReadLevelFile(const std::string& path, const TLevelRecordCheck& check = {});
// The same on text in memory, or on any byte source; `name` stands for the file in messages.
TLevelTable ReadLevelText(std::string_view text, const std::string& name,
                          const TLevelRecordCheck& check = {});
TLevelTable ReadLevelStream(const TByteSource& source, const std::string& name,
                            const TLevelRecordCheck& check = {});

// The CSV text: a header "frequency_hz,level_<unit>" (an empty unit written as "db"), then
// ",phase_deg" when the records have a phase, then the extra columns' names; one line per
// record, columns separated by ","; every line ends in CR LF. Frequencies in the shortest "."
// form that reads back exactly; levels whose unit starts with "db" and phases with 6 decimals;
// other levels and extra columns with 9 significant digits. At most MaxLevelRecords records.
// Names keep letters, digits and "_.-()[]" only (others become "_"), so that the header reads
// back, and an extra column in the phase's place whose name would read as a phase is called
// "column3". "." decimals whatever the locale. A record without a phase in a table with phases
// is written with phase 0, a value that is not finite as 0.
std::string LevelCsvText(const TLevelTable& table);
// The FRD text: "* Data written by TALVOR Phonoscale", each note as "* " + note, then a comment
// naming the columns ("* frequency_hz level_<unit> phase_deg"); one record per line: frequency,
// level and (with phases) phase, separated by one blank, numbers as in the CSV text; extra
// columns are not written. Lines end in CR LF.
std::string LevelFrdText(const TLevelTable& table);
// Writes the table as `format` through the atomic writer (EFileWriteError on failure, the old
// file unchanged).
void WriteLevelFile(const std::string& path, const TLevelTable& table, TLevelFileFormat format);
