// SPDX-License-Identifier: GPL-3.0-or-later
// Bounded line reading of text files, shared by the readers of frequency-level and trace files.
#include "files/TextLineReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

TTextLineReader::TTextLineReader(TByteSource source, std::size_t maxLine)
    : Source_(std::move(source)), MaxLine_(maxLine) {}

bool TTextLineReader::Fill() {
    if (AtEnd_ || Failed())
        return false;
    Pos_ = 0;
    Size_ = Source_(Buffer_.data(), Buffer_.size(), Error_);
    if (Size_ == 0)
        AtEnd_ = true;
    return Size_ > 0;
}

bool TTextLineReader::Next(std::string& line) {
    line.clear();
    if (Failed())
        return false;
    bool any = false;
    // The first line may carry a byte-order mark, which is not counted against the limit.
    const std::size_t limit = LineNumber_ == 0 ? MaxLine_ + 3 : MaxLine_;
    for (;;) {
        if (Pos_ == Size_ && !Fill()) {
            if (Failed() || !any)
                return false;
            break; // the last line has no line break
        }
        // Copy up to the next line break in one go.
        const char* start = Buffer_.data() + Pos_;
        const std::size_t available = Size_ - Pos_;
        const char* stop = start + available;
        const char* end = std::find_if(start, stop, [](char c) { return c == '\n' || c == '\r'; });
        const std::size_t count = static_cast<std::size_t>(end - start);
        if (end == stop)
            end = nullptr;
        any = true;
        if (line.size() + count > limit) {
            ++LineNumber_;
            TooLong_ = true;
            line.clear();
            return false;
        }
        line.append(start, count);
        Pos_ += count;
        if (end == nullptr)
            continue;
        ++Pos_; // the break itself
        if (*end == '\r') {
            if (Pos_ == Size_)
                Fill();
            if (Pos_ < Size_ && Buffer_[Pos_] == '\n')
                ++Pos_;
        }
        break;
    }
    ++LineNumber_;
    if (LineNumber_ == 1) {
        if (line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        else if (line.rfind("\xFF\xFE", 0) == 0 || line.rfind("\xFE\xFF", 0) == 0)
            Utf16_ = true;
        if (line.size() > MaxLine_) {
            TooLong_ = true;
            line.clear();
            return false;
        }
    }
    return true;
}

TByteSource FileByteSource(std::FILE* file) {
    return [file](char* buffer, std::size_t size, int& error) {
        const std::size_t count = std::fread(buffer, 1, size, file);
        if (count == 0 && std::ferror(file))
            error = errno != 0 ? errno : EIO;
        return count;
    };
}

TByteSource TextByteSource(std::string_view text) {
    return [text](char* buffer, std::size_t size, int&) mutable {
        const std::size_t count = std::min(size, text.size());
        if (count > 0)
            std::memcpy(buffer, text.data(), count);
        text.remove_prefix(count);
        return count;
    };
}
