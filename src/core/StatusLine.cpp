// SPDX-License-Identifier: GPL-3.0-or-later
// The window's status line: engine, device, rate and resolution, N and resolution bandwidth, gaps.
#include "core/StatusLine.h"

#include "core/NumberText.h"
#include "core/SampleRates.h"

#include <cmath>

double EquivalentNoiseBins(std::span<const double> window) {
    double sum = 0.0;
    double squares = 0.0;
    for (const double w : window) {
        sum += w;
        squares += w * w;
    }
    if (window.empty() || sum == 0.0)
        return 1.0;
    return static_cast<double>(window.size()) * squares / (sum * sum);
}

namespace {

// x rounded to three significant digits (17.578 -> 17.6, 11309 -> 11300).
double ThreeDigits(double x) {
    if (!(x > 0.0))
        return x;
    const double step = std::pow(10.0, std::floor(std::log10(x)) - 2.0);
    return std::round(x / step) * step;
}

} // namespace

std::string FormatStatusLine(const TStatusFields& fields) {
    const double rbw = fields.N > 0 ? fields.EnbwBins * fields.RateHz / fields.N : 0.0;
    std::string line = fields.Engine;
    if (!fields.Device.empty())
        line += ": " + fields.Device;
    line += " | " + SampleRateCaption(fields.RateHz) + ", " + std::to_string(fields.Bits) + " bit";
    line +=
        " | N = " + std::to_string(fields.N) + ", RBW " + FormatGeneral(ThreeDigits(rbw)) + " Hz";
    line += " | gaps: " + std::to_string(fields.Gaps);
    return line;
}
