// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file format: key-equals-value lines, the one writer and the key lookup of the
// readers.
#pragma once

#include "files/AtomicFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One line of a settings file: the key (always ending in "=") and its value text.
struct TSettingsEntry {
    std::string Key;
    std::string Value;
};

// The fixed scientific form of width 23 for reals: a sign position (blank or "-"), one digit,
// ".", 14 digits, "E", the exponent's sign and four digits; 48000 -> " 4.80000000000000E+0004".
// Always "." whatever the locale. Values that are not finite are written as 0.
std::string FormatSettingsReal(double value);

// The file text of `entries` in their order: "key" + "value" + CR LF per entry. Line breaks inside
// a value would start a new entry, so CR and LF in values are written as blanks.
std::string ComposeSettings(const std::vector<TSettingsEntry>& entries);

// Writes ComposeSettings(entries) to `path` through the atomic writer (the old file stays whole
// on any failure; EFileWriteError names the file and the reason).
void WriteSettingsFile(const std::string& path, const std::vector<TSettingsEntry>& entries,
                       const TBeforeRenameHook& beforeRename = {});

// How a lookup ended.
enum class TLookup {
    Missing,   // no line holds the key
    Found,     // the value was converted and stored
    Malformed, // the line is there but its value does not convert (see each lookup)
};

// Settings files larger than this are not read: the program writes a few kilobytes, so such a
// file is something else, and reading it would cost memory for nothing.
constexpr std::size_t MaxSettingsFileBytes = std::size_t{64} << 20;

struct TSettingsFileRead;

// Reads one settings file and looks keys up as the readers need them. A line belongs to a key
// when it starts with the whole key (the text up to and including its first "="), so "Top=" never
// takes the line "FTop=". A lookup searches forward from the line after the last hit; when it
// reaches the end it searches once more from the start, so a key that occurs twice
// ("Averaging=") is found first at its first and then at its second occurrence, and a key that
// occurs once is found by both lookups. Lines end in LF; a CR before the LF is dropped. Any
// bytes are accepted (values are taken as UTF-8 by the window). Lookups cost O(log n) through an
// index built once, so a huge file of garbage loads in linear time. Memory: the text itself and
// 8 bytes for each line that holds a key (at most 8/3 of the text, for lines such as "a=" LF),
// no more than 3.7 times the text whatever it holds. Not thread-safe; one owner.
class TSettingsReader {
public:
    // Reads the file at `path` (see TSettingsFileRead). Never throws for what the file holds or
    // for a file that cannot be read.
    static TSettingsFileRead Open(const std::string& path);
    explicit TSettingsReader(std::string contents);

    // The rest of the key's line, or nothing when the key is missing.
    std::optional<std::string> FindText(std::string_view key);
    // Integer lookup: Found when the whole value is a decimal integer of 32 bits (an optional
    // "-" or "+" and digits); otherwise Malformed and `value` receives the partial result, the
    // number formed by the leading sign and digits (0 when there are none, limited to 32 bits).
    TLookup FindInt(std::string_view key, std::int32_t& value);
    // Real lookup with "." or "," as the decimal separator; Malformed leaves `value` unchanged.
    TLookup FindReal(std::string_view key, double& value);

    std::size_t LineCount() const { return LineCount_; }

private:
    // Offset of the first byte of the line that holds `key` by the search rule above; the read
    // position moves past it. A miss leaves the position where it was, so in a file that lacks
    // some keys the second "Averaging=" lookup still finds the second occurrence.
    std::optional<std::size_t> Locate(std::string_view key);
    // True when the line starting at `offset` holds `key` (which ends in its only "=").
    bool HoldsKey(std::size_t offset, std::string_view key) const;

    std::string Contents_;
    // One entry per line with a key: the key's 32-bit hash in the high half, the offset of the
    // line's first byte in the low half; sorted, so the lines of one hash follow in file order.
    std::vector<std::uint64_t> Index_;
    std::size_t LineCount_ = 0;
    std::size_t Position_ = 0; // the next search starts at the line starting at or after this
};

// What TSettingsReader::Open found.
struct TSettingsFileRead {
    std::optional<TSettingsReader> Reader; // the file's keys; empty when it was not read
    bool Missing = false;                  // no such file: not an error, the defaults stand
    // Why a file that is there was not read: the system's reason ("Is a directory",
    // "Input/output error", "Permission denied") or "it is larger than 64 MB, too large for a
    // settings file" (MaxSettingsFileBytes). Empty when it was read or is missing.
    std::string Reason;
};

// The integer conversion of FindInt on its own: true for a whole 32-bit decimal integer; false
// with the partial result in `value` otherwise.
bool ParseSettingsInt(std::string_view text, std::int32_t& value);
