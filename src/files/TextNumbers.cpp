// SPDX-License-Identifier: GPL-3.0-or-later
// Locale-free reading and writing of reals in text files.
#include "files/TextNumbers.h"

#include <charconv>
#include <cmath>
#include <string>

bool ParseReal(std::string_view text, double& value) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return false;

    std::string number(text);
    if (number.size() > 1 && number[0] == '+' && number[1] != '+' && number[1] != '-')
        number.erase(0, 1);
    for (char& c : number)
        if (c == ',')
            c = '.';
    double result = 0.0;
    const char* first = number.data();
    const char* last = first + number.size();
    const auto [end, error] = std::from_chars(first, last, result, std::chars_format::general);
    if (error != std::errc() || end != last || std::isnan(result) || std::isinf(result))
        return false;
    value = result;
    return true;
}

std::string FormatReal(double value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc())
        return "nan";
    return std::string(buffer, end);
}

std::string FormatFixed(double value, int width, int decimals) {
    std::string text;
    if (!std::isfinite(value)) {
        text = FormatReal(value);
    } else {
        // The largest double has 309 digits before the point.
        char buffer[400];
        const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                                std::chars_format::fixed, decimals);
        text = error == std::errc() ? std::string(buffer, end) : FormatReal(value);
    }
    if (width > 0 && text.size() < static_cast<std::size_t>(width))
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    return text;
}
