// SPDX-License-Identifier: GPL-3.0-or-later
// Two-tone test signals for intermodulation: the kinds, their default tones, and where a tone
// falls on the period of the coherent generator.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

// The intermodulation test: none, SMPTE/DIN (a low tone modulating a high one) or the twin-tone
// difference-frequency test (two high tones close together).
enum class TImdKind : std::uint8_t { None = 0, Smpte = 1, Twin = 2 };

// The two tones of a test: frequencies in Hz and the amplitude of tone 1 over that of tone 2.
struct TTwoTones {
    double F1Hz = 0.0;
    double F2Hz = 0.0;
    double Ratio = 1.0;
};

// The default tones of each kind: SMPTE/DIN 60 Hz and 7 kHz at 4:1, twin-tone 18 kHz and
// 20 kHz at 1:1; none for TImdKind::None.
inline TTwoTones DefaultTwoTones(TImdKind kind) {
    switch (kind) {
    case TImdKind::Smpte:
        return {60.0, 7000.0, 4.0};
    case TImdKind::Twin:
        return {18000.0, 20000.0, 1.0};
    case TImdKind::None:
    default:
        return {};
    }
}

// The whole numbers of cycles m1, m2 that a period of `period` samples holds of each tone at
// rateHz: m = round(f * period / rate), limited to 1 ... period / 2 - 1; when both round to the
// same number, tone 2 takes the next one up (or down at the top). The tones are then at
// m * rate / period Hz, exactly on the bins of every transform of a multiple of `period`
// samples. Needs period >= 8 (three cycle numbers below period / 2).
inline std::pair<std::int64_t, std::int64_t>
CoherentToneCycles(const TTwoTones& tones, double rateHz, std::int64_t period) {
    const std::int64_t top = std::max<std::int64_t>(period / 2 - 1, 1);
    const auto cycles = [&](double hz) {
        const double m = std::nearbyint(hz * static_cast<double>(period) / rateHz);
        return std::clamp<std::int64_t>(static_cast<std::int64_t>(std::clamp(m, 1.0, 1e15)), 1,
                                        top);
    };
    const std::int64_t m1 = cycles(tones.F1Hz);
    std::int64_t m2 = cycles(tones.F2Hz);
    if (m2 == m1)
        m2 = m1 < top ? m1 + 1 : m1 - 1;
    return {m1, m2};
}

// The amplitudes of the two tones for a peak of `peak`: peak * r / (1 + r) and peak / (1 + r)
// with r = Ratio (at least 0), so that their sum, the highest value the signal can reach, is
// `peak`.
inline std::pair<double, double> TwoToneAmplitudes(const TTwoTones& tones, double peak) {
    const double r = std::max(tones.Ratio, 0.0);
    return {peak * r / (1.0 + r), peak / (1.0 + r)};
}
