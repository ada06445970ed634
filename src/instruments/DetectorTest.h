// SPDX-License-Identifier: GPL-3.0-or-later
// The detector test calculator: analysis frequency, time, bandwidth and noise reduction.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The four result lines for an analysis period of `periodText` samples (p) and `countText`
// periods (n) at fs samples/s, joined by "\n" (none after the last):
// "Analysis Frequency = %7.1f kHz" of fs / p / 1000, "Analysis Time = %8.2f ms" of
// n p / fs x 1000, "Analysis Bandwidth = %7.1f Hz" of fs / (p n) and
// "Expected noise reduction from rms = %7.1f dB" of 10 log10(2 / (p n)).
// Nothing when a text is not a whole number or a figure cannot be computed (p or n 0, p n < 0).
std::optional<std::string> DetectorTestText(double fs, std::string_view periodText,
                                            std::string_view countText);
