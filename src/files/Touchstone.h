// SPDX-License-Identifier: GPL-3.0-or-later
// One-port Touchstone files (".s1p"): the saved spectrum, the memory-trace files and the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A trace record: frequency in Hz and linear magnitude (1.0 = full-scale sine). Phase is
// neither kept nor written.
struct TTraceRecord {
    double Frequency = 0.0;
    double Magnitude = 0.0;
};
using TTrace = std::vector<TTraceRecord>;

// Records a trace may hold when read, and records any writer writes.
constexpr std::size_t MaxTouchstonePoints = 65000;
// Characters of one line kept for reading, comments ("!" to the end of the line) not counted.
// A longer line ends the reading with a message, so an endless line costs bounded memory.
constexpr std::size_t MaxTouchstoneLine = 65536;

// File name of memory trace k = 1..4: "mem1.s1p" .. "mem4.s1p".
std::string MemoryFileName(int k);

// Text of "Save Data to File": the header, "# Hz S DB R 50", then the records of `spectrum`
// from index 1 (the 0 Hz record is left out) up to index min(count - 1, 65000), each as
// frequency "%11.7f", blank, dB "%11.7f", blank, angle 0 "%11.7f", blank. The dB value is the
// level as displayed: 20 log10(max(1e-100, magnitude)) - refLevel + yOffset. CR LF before each
// record, none after the last; "." as the decimal separator.
std::string SpectrumFileText(std::span<const TTraceRecord> spectrum, double refLevel,
                             double yOffset);
// Text of a memory file: the header, "# Hz S MA R 50", then at most the first 65000 records,
// frequency "%11.7f" and magnitude and angle 0 "%14.10f" (a magnitude that is not finite is
// written as 0, so that the file reads back).
std::string MemoryFileText(std::span<const TTraceRecord> memory);
// Writes these texts through a temporary file and a rename; EFileWriteError on failure, the old
// file then unchanged.
void WriteSpectrumFile(const std::string& path, std::span<const TTraceRecord> spectrum,
                       double refLevel, double yOffset);
void WriteMemoryFile(const std::string& path, std::span<const TTraceRecord> memory);

// ---------------------------------------------------------------------------------------------
// Tokenizer of the reader (exposed for tests and the fuzz target).

// Tabs to blanks, runs of blanks collapsed to one, then one leading and one trailing blank
// removed.
std::string NormaliseLine(std::string_view line);
// Takes the next token off the front of `rest`: leading blanks and tabs skipped; a token
// starting with a double quote runs to the next double quote (or the end of the line) and is
// returned without the quotes and unchanged; any other token runs to the next blank or tab and
// is returned in lower case. Empty when the line has no more tokens.
std::string NextToken(std::string_view& rest);

// Format of the numbers after the frequency.
enum class TTouchstoneFormat : std::uint8_t { tfDB, tfMA, tfRI };

// What the option line says.
struct TTouchstoneOptions {
    int UnitIndex = 3; // frequency factor 10^(3 * UnitIndex): 0 Hz, 1 kHz, 2 MHz, 3 GHz
    TTouchstoneFormat Format = TTouchstoneFormat::tfMA;
    double Reference = 50.0;    // Ohms, read but not used
    bool PortExtension = false; // "n1" with its two "# port" lines
};

// A message for the user: the text and the caption of its box.
struct TTouchstoneMessage {
    std::string Caption;
    std::string Text;
};

// Outcome of ReadTouchstone.
struct TTouchstoneRead {
    bool Exists = false;     // the file was there (a missing file: nothing else is set)
    bool Apply = false;      // the memory takes Records; false leaves the memory as it was
    TTrace Records;          // at most MaxTouchstonePoints
    std::size_t Counted = 0; // one-port records read, also beyond the limit
    // The reading ended before the end of the file (an error, a record it could not take) or
    // records beyond the limit were left out: Records hold less than the file, so writing them
    // back would cut the file short.
    bool Partial = false;
    std::vector<TTouchstoneMessage> Messages; // to show, in order
};

// Message texts and captions.
inline constexpr const char* NotSupportedText = "Data format not supported! ";
inline constexpr const char* ErrorCaption = "ERROR!";
inline constexpr const char* TooManyText = "Max. allowed number of Datapoints = 65000";
inline constexpr const char* TooManyCaption = "ERROR: Too many Datapoints! ";

// Reads a one-port Touchstone file. The option line is the first line starting with "#" (the last
// line if none does); its fields, in this order and each optional: unit (hz, khz, mhz, ghz; default
// GHz), parameter (s; y, z, g and h refuse the file), format (db, ma, ri; default MA), "r" and a
// number (a lone "r" reads as 50 Ohms), then optionally "n1" followed by the lines "# port 1 a 0"
// and "# port 2 b 0". Then records of three numbers are read (values may be split over lines; empty
// lines, "!" comments and "[" keyword lines are skipped; text after "!" is a comment) until one
// cannot be: a line of more numbers, the end of the file inside a record, or a keyword line inside
// a record end the reading quietly; a token that is not a number or a line over MaxTouchstoneLine
// ends it with a message naming the line. Frequency = first number * 10^(3 * unit); magnitude =
// 10^(v / 20) (DB), v (MA) or sqrt(re^2 + im^2) (RI). Both "." and "," are read as the decimal
// separator. The memory takes the records read, the first 65000 of more (with a message), and stays
// unchanged, with a message naming the file, when the option line is refused, the file cannot be
// read or no record was read. The file is streamed: memory stays bounded whatever its size.
TTouchstoneRead ReadTouchstone(const std::string& path);
// The same on text in memory; `name` stands for the file in messages.
TTouchstoneRead ReadTouchstoneText(std::string_view text, const std::string& name);
