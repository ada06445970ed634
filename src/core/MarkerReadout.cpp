// SPDX-License-Identifier: GPL-3.0-or-later
// Levels of spectrum traces at the marker frequencies and the marker read-out texts.
#include "core/MarkerReadout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// printf's "%<width>.<decimals>f" of the value, with "." whatever the locale says.
std::string Fixed(int width, int decimals, double value) {
    char text[352]; // room for the widest double in fixed notation
    std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
    std::string result(text);
    std::replace(result.begin(), result.end(), ',', '.');
    return result;
}

} // namespace

double MagnitudeDb(double magnitude, double offsetDb) {
    return 20.0 * std::log10(std::max(1e-100, magnitude)) + offsetDb;
}

double MarkerLevelDb(std::span<const TSpectrumPoint> trace, double frequencyHz, double offsetDb) {
    if (trace.empty() || std::isnan(frequencyHz))
        return 0.0;
    // Bisection for the first record above f; the one before it is the last not above f.
    std::size_t low = 0;
    std::size_t high = trace.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (trace[middle].x <= frequencyHz)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0) // f below the first record
        return MagnitudeDb(trace.front().y, offsetDb);
    const std::size_t i = low - 1;
    const TSpectrumPoint& a = trace[i];
    if (a.x == frequencyHz || i + 1 == trace.size())
        return MagnitudeDb(a.y, offsetDb);
    const TSpectrumPoint& b = trace[i + 1]; // b.x > f >= a.x: no division by zero
    const double la = MagnitudeDb(a.y, offsetDb);
    const double lb = MagnitudeDb(b.y, offsetDb);
    return la + (lb - la) * (frequencyHz - a.x) / (b.x - a.x);
}

TMarkerTexts BuildMarkerTexts(std::span<const TMarker> markers, const TMarkerTraces& traces) {
    TMarkerTexts texts;
    for (const TMarker& marker : markers) {
        if (!marker.Checked)
            continue;
        texts.AnyChecked = true;
        const double f = marker.FrequencyHz;
        texts.Main += Fixed(6, 0, f) + " Hz:"; // "%6.0f Hz:"
        texts.Main +=
            Fixed(7, 1, MarkerLevelDb(traces.Main, f, traces.MainOffsetDb)) + " " + traces.Unit;
        texts.Main += "\r\n";
        for (std::size_t k = 0; k < 4; ++k) {
            if (traces.MemoryChecked[k])
                texts.Memory[k] +=
                    Fixed(7, 1, MarkerLevelDb(traces.Memory[k], f, 0.0)) + " " + traces.Unit;
            texts.Memory[k] += "\r\n";
        }
    }
    return texts;
}
