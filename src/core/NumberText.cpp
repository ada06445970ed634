// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing and formatting of the numbers shown in and read from the window's edits and labels.
#include "core/NumberText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Drops a leading '+' (from_chars accepts only '-').
std::string_view WithoutPlus(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return {};
        }
    }
    return text;
}

} // namespace

std::optional<double> ParseNumber(std::string_view text) {
    const std::string_view body = WithoutPlus(Trimmed(text));
    if (body.empty()) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] =
        std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    if (error != std::errc() || end != body.data() + body.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> ParseWholeNumber(std::string_view text) {
    const std::string_view body = WithoutPlus(Trimmed(text));
    if (body.empty()) {
        return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (error != std::errc() || end != body.data() + body.size()) {
        return std::nullopt;
    }
    return value;
}

double NumberOrThrow(std::string_view text) {
    if (const auto value = ParseNumber(text)) {
        return *value;
    }
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

std::int32_t WholeNumberOrThrow(std::string_view text) {
    if (const auto value = ParseWholeNumber(text)) {
        return *value;
    }
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

std::string FormatGeneral(double x) {
    if (std::isnan(x)) {
        return "NAN";
    }
    if (std::isinf(x)) {
        return x > 0 ? "INF" : "-INF";
    }
    if (x == 0.0) {
        return "0";
    }
    // 15 significant digits as d.dddddddddddddde+XX (printf's "%.14e", without its locale); the
    // exponent is that of the rounded value.
    std::array<char, 40> buffer{};
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size() - 1, x,
                                       std::chars_format::scientific, 14);
    const std::string_view scientific(buffer.data(),
                                      static_cast<std::size_t>(written.ptr - buffer.data()));
    const auto ePos = scientific.find('e');
    const int exponent = std::atoi(scientific.data() + ePos + 1);
    std::string digits; // the 15 digits without sign and point, trailing zeros dropped
    for (std::size_t i = 0; i < ePos; ++i) {
        if (scientific[i] >= '0' && scientific[i] <= '9') {
            digits.push_back(scientific[i]);
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    std::string out = x < 0 ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        out += digits.substr(0, 1);
        if (digits.size() > 1) {
            out += "." + digits.substr(1);
        }
        out += "E" + std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits + std::string(whole - digits.size(), '0');
        } else {
            out += digits.substr(0, whole) + "." + digits.substr(whole);
        }
    }
    return out;
}

std::string FormatFixed(double x, int decimals) {
    std::array<char, 400> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, x);
    return buffer.data();
}

TEngineeringValue FormatEngineering(double x) {
    static const std::array<const char*, 17> kPrefixes = {
        "y", "z", "a", "f", "p", "n", "\xC2\xB5", "m", "", "k", "M", "G", "T", "P", "E", "Z", "Y"};
    if (!std::isfinite(x)) {
        return {std::numeric_limits<double>::quiet_NaN(), ""};
    }
    if (x == 0.0) {
        return {0.0, ""};
    }
    // 10^(3k) for k = -8 ... 8, as std::pow gives them.
    static const std::array<double, 17> kScales = [] {
        std::array<double, 17> scales{};
        for (int k = -8; k <= 8; ++k) {
            scales[static_cast<std::size_t>(k + 8)] = std::pow(10.0, 3 * k);
        }
        return scales;
    }();
    // The first k with |x| / 10^(3k) < 1000. As |x| >= 2^e, e the binary exponent of x, no k
    // below floor(log10(2) e / 3) - 1 qualifies (by a factor of ten at least): start there.
    const int binaryExponent = std::ilogb(x);
    const int below = static_cast<int>(std::floor(0.30103 * binaryExponent / 3.0)) - 1;
    for (int k = std::clamp(below, -8, 8); k <= 8; ++k) {
        const double scale = kScales[static_cast<std::size_t>(k + 8)];
        if (std::fabs(x) / scale < 1000.0) {
            return {x / scale, kPrefixes[static_cast<std::size_t>(k + 8)]};
        }
    }
    return {x, ""};
}

std::string EngineeringText(double x) {
    const TEngineeringValue value = FormatEngineering(x);
    return FormatGeneral(value.Mantissa) + value.Prefix;
}

double TruncSignificant(double x, int d) {
    if (x == 0.0 || !std::isfinite(x)) {
        return x;
    }
    const double e = std::floor(std::log10(std::fabs(x))) - d + 1;
    const double scale = std::pow(10.0, e);
    const double kept = std::trunc(1.000000000001 * std::fabs(x) / scale) * scale;
    return x < 0 ? -kept : kept;
}
