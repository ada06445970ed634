// SPDX-License-Identifier: GPL-3.0-or-later
// Streams the lines of a text file of any size in bounded memory: BOM, CR LF and long lines.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

// Fills `buffer` with at most `size` bytes and returns the count, 0 at the end of the input; sets
// `error` to an errno value on a read error.
using TByteSource = std::function<std::size_t(char* buffer, std::size_t size, int& error)>;

// Reads lines from a byte source. A line ends at LF, CR LF or a lone CR; the line break is not
// kept. A UTF-8 byte-order mark at the very start is skipped. A line longer than `maxLine`
// characters ends the reading (TooLong()), so an endless line costs `maxLine` bytes, not the
// line. Owned by one reader; any thread, one at a time.
class TTextLineReader {
public:
    TTextLineReader(TByteSource source, std::size_t maxLine);

    // The next line into `line`. False at the end of the input, after a read error (Error()) or
    // at an over-long line (TooLong(); LineNumber() is then that line's number).
    bool Next(std::string& line);

    // Number of the line last returned (or refused as too long), from 1.
    long long LineNumber() const { return LineNumber_; }
    int Error() const { return Error_; }
    bool TooLong() const { return TooLong_; }
    bool Failed() const { return Error_ != 0 || TooLong_; }
    // The first two bytes of the input were a UTF-16 byte-order mark (FF FE or FE FF).
    bool Utf16() const { return Utf16_; }

private:
    bool Fill();

    TByteSource Source_;
    std::size_t MaxLine_;
    std::array<char, 65536> Buffer_{};
    std::size_t Pos_ = 0;
    std::size_t Size_ = 0;
    bool AtEnd_ = false;
    int Error_ = 0;
    bool TooLong_ = false;
    bool Utf16_ = false;
    long long LineNumber_ = 0;
};

// A byte source over an open C file, and one over text in memory (which must outlive it).
TByteSource FileByteSource(std::FILE* file);
TByteSource TextByteSource(std::string_view text);
