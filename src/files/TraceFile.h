// SPDX-License-Identifier: GPL-3.0-or-later
// Trace files of any kind this program reads and writes: Touchstone, CSV and FRD, told apart.
#pragma once

#include "files/LevelFile.h"
#include "files/Touchstone.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class TTraceFileFormat : std::uint8_t { tfTouchstone, tfCsv, tfFrd };

// The format a file name asks for by its extension, in any case: ".s1p" Touchstone, ".csv"
// CSV, ".frd" and ".txt" FRD; nothing for another or no extension.
std::optional<TTraceFileFormat> TraceFormatOfName(std::string_view path);
// The extension written for a format: ".s1p", ".csv", ".frd".
const char* TraceFileExtension(TTraceFileFormat format);

// A name typed into a save dialog with the extension of the file type chosen there appended:
// the first "*.ext" of `fileType` ("CSV files (*.csv)": ".csv"), unless the name's extension is
// one of the "*.ext" patterns in `filters` (the dialog's whole filter list; any case) or the
// type lists none. "sweep" and "sweep.dat" become "sweep.csv" and "sweep.dat.csv"; "sweep.FRD"
// stays.
std::string NameWithTypeExtension(std::string_view path, std::string_view fileType,
                                  std::string_view filters);

// Whether text holds a Touchstone option line: before its first line that starts with a number,
// a line starting with "#" whose words are all option words ("hz", "khz", "mhz", "ghz", "s",
// "y", "z", "g", "h", "db", "ma", "ri", "r", "n1" or numbers, up to a "!" comment; "#" alone is
// one), or a "[Version]" keyword line. Other "#" lines are comments of an FRD file. Streamed:
// reads no further than needed, in bounded memory.
bool LooksLikeTouchstone(const TByteSource& source);

// The level of a record in dB, from the table's unit: units starting with "db" and no unit are
// dB already; "vpp" and "veff" (or "vrms") are the volts of a sine into 50 Ohms, turned back
// into dBm: 10 log10(20 Veff^2), Veff = Vpp / sqrt(8). Nothing for any other unit or for volts
// that are not positive.
std::optional<double> LevelToDb(const std::string& unit, double level);

// "File => Mem" for any file: by content, a Touchstone file (LooksLikeTouchstone) is read as
// ReadTouchstone reads it; any other as a CSV or FRD file (ReadLevelFile), magnitude =
// 10^(LevelToDb / 20), phase and extra columns left out. The outcome is that of ReadTouchstone:
// a missing file is not Exists; a file that cannot be read, a level in another unit, or a level
// above 6000 dB gives one message naming the file (and the line) and leaves the memory
// unchanged.
TTouchstoneRead ReadTraceFile(const std::string& path);
// The same on text in memory; `name` stands for the file in messages.
TTouchstoneRead ReadTraceText(std::string_view text, const std::string& name);
