// SPDX-License-Identifier: GPL-3.0-or-later
// The detector test calculator's four result lines.
#include "instruments/DetectorTest.h"

#include "instruments/PeakRecorder.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

// A whole number in 32-bit range, the whole text (an optional leading "+" or "-").
std::optional<std::int32_t> WholeNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::string> DetectorTestText(double fs, std::string_view periodText,
                                            std::string_view countText) {
    const auto p = WholeNumber(periodText);
    const auto n = WholeNumber(countText);
    if (!p || !n || *p == 0 || *n == 0)
        return std::nullopt;
    const double periods = static_cast<double>(*p) * static_cast<double>(*n);
    const double reduction = 10.0 * std::log10(2.0 / periods);
    if (!std::isfinite(reduction) || !std::isfinite(fs))
        return std::nullopt;
    return "Analysis Frequency = " + FixedText(fs / *p / 1000.0, 7, 1) + " kHz\n" +
           "Analysis Time = " + FixedText(periods * (1.0 / fs) * 1000.0, 8, 2) + " ms\n" +
           "Analysis Bandwidth = " + FixedText(fs / periods, 7, 1) + " Hz\n" +
           "Expected noise reduction from rms = " + FixedText(reduction, 7, 1) + " dB";
}
