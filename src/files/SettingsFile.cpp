// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file format: composing and writing entries, indexing and looking up keys.
#include "files/SettingsFile.h"

#include "files/TextNumbers.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

std::string FormatSettingsReal(double value) {
    if (!std::isfinite(value) || value == 0.0)
        value = 0.0;
    char buffer[64];
    // d.ddddddddddddddE±x..x; to_chars is locale-free.
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                            std::chars_format::scientific, 14);
    if (error != std::errc())
        return " 0.00000000000000E+0000";
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    const std::size_t e = text.find('e');
    const std::string_view mantissa = text.substr(0, e);
    const char expSign = text[e + 1];
    std::string_view expDigits = text.substr(e + 2);
    std::string result;
    result.reserve(23);
    result += value < 0 ? '-' : ' ';
    result += mantissa;
    result += 'E';
    result += expSign;
    for (std::size_t k = expDigits.size(); k < 4; ++k)
        result += '0';
    result += expDigits;
    return result;
}

std::string ComposeSettings(const std::vector<TSettingsEntry>& entries) {
    std::string text;
    for (const auto& entry : entries) {
        text += entry.Key;
        for (const char c : entry.Value)
            text += (c == '\r' || c == '\n') ? ' ' : c;
        text += "\r\n";
    }
    return text;
}

void WriteSettingsFile(const std::string& path, const std::vector<TSettingsEntry>& entries,
                       const TBeforeRenameHook& beforeRename) {
    WriteFileAtomically(path, ComposeSettings(entries), beforeRename);
}

namespace {

// FNV-1a over the key's bytes, "=" included.
std::uint32_t KeyHash(std::string_view key) {
    std::uint32_t hash = 2166136261u;
    for (const char c : key) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

std::string TooLarge() {
    return "it is larger than " + std::to_string(MaxSettingsFileBytes >> 20) +
           " MB, too large for a settings file";
}

} // namespace

TSettingsFileRead TSettingsReader::Open(const std::string& path) {
    TSettingsFileRead result;
    // Not blocking: a named pipe without a writer reads as empty instead of hanging the start.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            result.Missing = true; // also a dangling link, or a folder on the way that is a file
        else
            result.Reason = std::strerror(errno);
        return result;
    }
    struct TClose {
        int fd;
        ~TClose() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        if (static_cast<std::uintmax_t>(status.st_size) > MaxSettingsFileBytes) {
            result.Reason = TooLarge();
            return result;
        }
    }
    std::string contents;
    if (S_ISREG(status.st_mode))
        contents.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                break; // a pipe or device with nothing to read now: what came is the file
            result.Reason = std::strerror(errno);
            return result;
        }
        if (count == 0)
            break;
        if (contents.size() + static_cast<std::size_t>(count) > MaxSettingsFileBytes) {
            result.Reason = TooLarge(); // it grew while being read, or it is a device
            return result;
        }
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    result.Reader.emplace(std::move(contents));
    return result;
}

TSettingsReader::TSettingsReader(std::string contents) : Contents_(std::move(contents)) {
    // Offsets are kept in 32 bits: a text beyond that reads as its first 4 GB.
    if (Contents_.size() > 0xFFFFFFFFu)
        Contents_.resize(0xFFFFFFFFu);
    // Two passes over the lines: count the lines with a key, then index them into a vector of
    // exactly that size, so that building the index never holds two copies of it.
    const auto forEachKeyLine = [this](const auto& visit) {
        std::size_t begin = 0;
        std::size_t lines = 0;
        const char* data = Contents_.data();
        const std::size_t size = Contents_.size();
        while (begin < size) {
            const void* newline = std::memchr(data + begin, '\n', size - begin);
            const std::size_t end =
                newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - data) : size;
            const void* equals = std::memchr(data + begin, '=', end - begin);
            if (equals != nullptr && equals != data + begin) {
                const auto keyEnd =
                    static_cast<std::size_t>(static_cast<const char*>(equals) - data) + 1;
                visit(begin, std::string_view(data + begin, keyEnd - begin));
            }
            ++lines;
            begin = end + 1;
        }
        return lines;
    };
    std::size_t keyLines = 0;
    LineCount_ = forEachKeyLine([&keyLines](std::size_t, std::string_view) { ++keyLines; });
    Index_.reserve(keyLines);
    forEachKeyLine([this](std::size_t begin, std::string_view key) {
        Index_.push_back(std::uint64_t{KeyHash(key)} << 32 | begin);
    });
    std::sort(Index_.begin(), Index_.end());
}

bool TSettingsReader::HoldsKey(std::size_t offset, std::string_view key) const {
    return Contents_.compare(offset, key.size(), key) == 0;
}

std::optional<std::size_t> TSettingsReader::Locate(std::string_view key) {
    // A key ends in its only "="; anything else names no line.
    if (key.size() < 2 || key.find('=') != key.size() - 1)
        return std::nullopt;
    const std::uint64_t hash = std::uint64_t{KeyHash(key)} << 32;
    const auto first = std::lower_bound(Index_.begin(), Index_.end(), hash);
    const auto last = std::lower_bound(first, Index_.end(), hash + (std::uint64_t{1} << 32));
    const auto offsetOf = [](std::uint64_t entry) {
        return static_cast<std::size_t>(entry & 0xFFFFFFFFu);
    };
    // Forward from the read position; failing that, once more from the start of the file.
    const auto from = std::lower_bound(first, last, hash | Position_);
    std::optional<std::size_t> hit;
    for (auto it = from; it != last && !hit; ++it)
        if (HoldsKey(offsetOf(*it), key))
            hit = offsetOf(*it);
    for (auto it = first; it != from && !hit; ++it)
        if (HoldsKey(offsetOf(*it), key))
            hit = offsetOf(*it);
    if (hit)
        Position_ = *hit + 1;
    return hit;
}

std::optional<std::string> TSettingsReader::FindText(std::string_view key) {
    const auto begin = Locate(key);
    if (!begin)
        return std::nullopt;
    std::size_t end = Contents_.find('\n', *begin);
    if (end == std::string::npos)
        end = Contents_.size();
    if (end > *begin && Contents_[end - 1] == '\r')
        --end;
    const std::size_t valueBegin = *begin + key.size();
    return Contents_.substr(valueBegin, end > valueBegin ? end - valueBegin : 0);
}

bool ParseSettingsInt(std::string_view text, std::int32_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t firstDigit = i;
    std::int64_t magnitude = 0;
    bool overflow = false;
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (!overflow)
            magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit) {
            overflow = true;
            magnitude = limit;
        }
    }
    std::int64_t signedValue = negative ? -magnitude : magnitude;
    signedValue = std::clamp<std::int64_t>(signedValue, std::numeric_limits<std::int32_t>::min(),
                                           std::numeric_limits<std::int32_t>::max());
    value = static_cast<std::int32_t>(signedValue);
    const bool whole = i == text.size() && i > firstDigit;
    const bool inRange = !overflow && (negative ? magnitude <= limit : magnitude < limit);
    return whole && inRange;
}

TLookup TSettingsReader::FindInt(std::string_view key, std::int32_t& value) {
    const auto text = FindText(key);
    if (!text)
        return TLookup::Missing;
    return ParseSettingsInt(*text, value) ? TLookup::Found : TLookup::Malformed;
}

TLookup TSettingsReader::FindReal(std::string_view key, double& value) {
    const auto text = FindText(key);
    if (!text)
        return TLookup::Missing;
    return ParseReal(*text, value) ? TLookup::Found : TLookup::Malformed;
}
