// The settings file format: composing and writing entries, indexing and looking up keys.
#include "files/SettingsFile.h"

#include "files/TextNumbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

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

std::optional<TSettingsReader> TSettingsReader::Open(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string contents((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        return std::nullopt;
    return TSettingsReader(std::move(contents));
}

TSettingsReader::TSettingsReader(std::string contents) : Contents_(std::move(contents)) {
    std::size_t begin = 0;
    while (begin < Contents_.size()) {
        std::size_t end = Contents_.find('\n', begin);
        const std::size_t next = end == std::string::npos ? Contents_.size() : end + 1;
        if (end == std::string::npos)
            end = Contents_.size();
        if (end > begin && Contents_[end - 1] == '\r')
            --end;
        Lines_.push_back({begin, end});
        begin = next;
    }
    for (std::size_t i = 0; i < Lines_.size(); ++i) {
        const std::string_view line(Contents_.data() + Lines_[i].Begin,
                                    Lines_[i].End - Lines_[i].Begin);
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos)
            ByKey_[std::string(line.substr(0, equals + 1))].push_back(i);
    }
}

std::optional<std::size_t> TSettingsReader::Locate(std::string_view key) {
    const auto it = ByKey_.find(std::string(key));
    if (it == ByKey_.end() || it->second.empty())
        return std::nullopt;
    const auto& lines = it->second;
    // Forward from the read position; failing that, once more from the start of the file.
    const auto after = std::lower_bound(lines.begin(), lines.end(), Position_);
    const std::size_t hit = after != lines.end() ? *after : lines.front();
    Position_ = hit + 1;
    return hit;
}

std::optional<std::string> TSettingsReader::FindText(std::string_view key) {
    const auto line = Locate(key);
    if (!line)
        return std::nullopt;
    const TLine& l = Lines_[*line];
    return Contents_.substr(l.Begin + key.size(), l.End - l.Begin - key.size());
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
