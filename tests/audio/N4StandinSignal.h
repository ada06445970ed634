// SPDX-License-Identifier: GPL-3.0-or-later
// The signal the stand-in four-ADC library synthesises, shared with the tests that check it.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <sstream>
#include <string>

namespace n4standin {

// Channel c (0..3) at sample n of a run at fs: round(A_c cos(2 pi f n / fs + phi_c) + noise),
// limited to the 32-bit range. The noise is a deterministic function of (n, c): the sum of four
// uniform values in [-0.5, 0.5) times Noise x sqrt(3) (RMS Noise steps), so a test can compute
// every sample the library sent.
struct TSignal {
    double FrequencyHz = 1000.0;
    std::array<double, 4> Amplitude = {1.0e6, 2.0e6, 3.0e6, 4.0e6}; // steps
    std::array<double, 4> PhaseDegrees = {0.0, 30.0, -60.0, 135.0};
    double Noise = 0.0; // RMS, steps
};

// "f a1 p1 a2 p2 a3 p3 a4 p4 [noise]" as in N4STANDIN_SIGNAL; missing values keep the defaults.
inline TSignal ParseSignal(const char* text) {
    TSignal signal;
    if (text == nullptr)
        return signal;
    std::istringstream in(text);
    in >> signal.FrequencyHz;
    for (int c = 0; c < 4 && in; ++c)
        in >> signal.Amplitude[static_cast<std::size_t>(c)] >>
            signal.PhaseDegrees[static_cast<std::size_t>(c)];
    if (in)
        in >> signal.Noise;
    return signal;
}

inline double Uniform(std::uint64_t n, int c, int k) {
    std::uint64_t z = n * 0x9E3779B97F4A7C15ull +
                      static_cast<std::uint64_t>(c * 4 + k + 1) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0 - 0.5;
}

inline std::int32_t Sample(const TSignal& s, int c, std::uint64_t n, double rateHz) {
    // The phase from the fraction of whole cycles, so that it stays exact over long runs.
    const double cycles = std::fmod(s.FrequencyHz * static_cast<double>(n), rateHz) / rateHz;
    double v = s.Amplitude[static_cast<std::size_t>(c)] *
               std::cos(2.0 * std::numbers::pi * cycles +
                        s.PhaseDegrees[static_cast<std::size_t>(c)] * std::numbers::pi / 180.0);
    if (s.Noise > 0.0) {
        double sum = 0.0;
        for (int k = 0; k < 4; ++k)
            sum += Uniform(n, c, k);
        v += sum * s.Noise * std::sqrt(3.0);
    }
    v = std::nearbyint(v);
    if (v > 2147483647.0)
        return 2147483647;
    if (v < -2147483648.0)
        return -2147483647 - 1;
    return static_cast<std::int32_t>(v);
}

} // namespace n4standin
