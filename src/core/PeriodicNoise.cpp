// SPDX-License-Identifier: GPL-3.0-or-later
// Periodic noise: a multisine on every bin of its period, built by one inverse transform.
#include "core/PeriodicNoise.h"

#include "dsp/DSXFastFourier.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>

std::vector<double> PeriodicNoisePeriod(TStimulusKind kind, int p, double rateHz,
                                        std::uint64_t seed, double peak) {
    if (p < 3 || p > 20)
        throw std::invalid_argument("Periodic noise needs a period of 2^3 to 2^20 samples");
    const int period = 1 << p;
    TDSXFastFourier fft;
    fft.SetNumSamples(period);
    auto spectrum = fft.ComplexInput();
    std::fill(spectrum.begin(), spectrum.end(), TComplex{0.0, 0.0});
    std::mt19937_64 random(seed);
    const double floorHz = 20.0;
    for (int k = 1; k < period / 2; ++k) {
        // 53 random bits as a fraction of a turn: the same on every standard library.
        const double turn = static_cast<double>(random() >> 11) * 0x1.0p-53;
        const double theta = 2.0 * std::numbers::pi * turn;
        double a = 1.0;
        if (kind == TStimulusKind::PinkNoise)
            a = 1.0 / std::sqrt(std::max(k * rateHz / period, floorHz));
        spectrum[static_cast<std::size_t>(k)] = {a * std::cos(theta), a * std::sin(theta)};
    }
    std::vector<double> samples(static_cast<std::size_t>(period));
    // output[j] = (1/P) sum_k X[k] exp(-i 2 pi j k / P) over the Hermitian spectrum: the
    // cosines of the header, (2 a_k / P) cos(2 pi k j / P - theta_k).
    fft.InverseRealFourierTransform(samples);
    double largest = 0.0;
    for (const double s : samples)
        largest = std::max(largest, std::abs(s));
    const double scale = largest > 0.0 ? peak / largest : 0.0;
    for (double& s : samples)
        s *= scale;
    return samples;
}
