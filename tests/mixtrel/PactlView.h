// SPDX-License-Identifier: GPL-3.0-or-later
// The sound server's own view of its sources, read through pactl, for the level tests.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

namespace mixtreltest {

// Output of a shell command (stdout only).
inline std::string Run(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return output;
    std::array<char, 512> chunk{};
    while (std::fgets(chunk.data(), chunk.size(), pipe) != nullptr)
        output += chunk.data();
    pclose(pipe);
    return output;
}

// Runs pactl with `args`; true when it succeeds.
inline bool Pactl(const std::string& args) {
    return std::system(("pactl " + args + " >/dev/null 2>&1").c_str()) == 0;
}

// The level of each channel of a source in dB, as pactl prints it ("… / -6.00 dB").
inline std::vector<double> ChannelDb(const std::string& source) {
    const std::string text = Run("pactl get-source-volume '" + source + "'");
    std::vector<double> levels;
    static const std::regex dbPattern(R"(/\s*(-?[0-9.]+|-inf) dB)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), dbPattern);
         it != std::sregex_iterator(); ++it) {
        const std::string value = (*it)[1];
        levels.push_back(value == "-inf" ? -1e9 : std::stod(value));
        if (levels.size() == 32)
            break;
    }
    return levels;
}

// The per-channel raw volumes (0 .. 65536 = 100 %) of a source.
inline std::vector<long> ChannelRaw(const std::string& source) {
    const std::string text = Run("pactl get-source-volume '" + source + "'");
    std::vector<long> raw;
    static const std::regex rawPattern(R"(:\s*([0-9]+)\s*/)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), rawPattern);
         it != std::sregex_iterator(); ++it)
        raw.push_back(std::stol((*it)[1]));
    return raw;
}

inline bool Muted(const std::string& source) {
    return Run("pactl get-source-mute '" + source + "'").find("yes") != std::string::npos;
}

// The sample format column of "pactl list short sources" for `source`
// ("s16le 2ch 48000Hz"), or "".
inline std::string SampleSpec(const std::string& source) {
    const std::string text = Run("pactl list short sources");
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        std::vector<std::string> fields;
        std::size_t f = 0;
        while (f <= line.size()) {
            const auto tab = line.find('\t', f);
            fields.push_back(line.substr(f, tab - f));
            if (tab == std::string::npos)
                break;
            f = tab + 1;
        }
        if (fields.size() >= 4 && fields[1] == source)
            return fields[3];
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

} // namespace mixtreltest
