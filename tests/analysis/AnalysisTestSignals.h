// SPDX-License-Identifier: GPL-3.0-or-later
// Test signals for the analysers and the transform that turns a block into the pipeline's bins.
#pragma once

#include "dsp/DSXFastFourier.h"
#include "dsp/FloatTypes.h"
#include "dsp/WindowFunctions.h"

#include <cmath>
#include <numbers>
#include <random>
#include <span>
#include <vector>

namespace analysistest {

// Full scale of the sample floats: a full-scale sine has this amplitude.
inline constexpr double kFullScale = 2147483647.0;

inline double WindowWeight(int kind, int i, int length) {
    switch (kind) {
    case 0:
        return WindowRect(i, length);
    case 3:
        return WindowHanning(i, length);
    default:
        return WindowBlackman2(i, length);
    }
}

// Windows a block of samples (full-scale units: 1.0 = the peak of a full-scale sine) as the
// pipeline does, w(i, N - 1), and transforms it: the bins X[0 ... N/2 - 1] it hands on.
class TBlockTransform {
public:
    TBlockTransform(int n, int windowKind) : N(n), WindowKind(windowKind), Window(n) {
        fft_.SetNumSamples(n);
        for (int i = 0; i < n; ++i)
            Window[static_cast<std::size_t>(i)] = WindowWeight(windowKind, i, n - 1);
    }
    std::span<const TComplex> Bins(std::span<const double> block) {
        auto input = fft_.RealInput();
        for (std::size_t i = 0; i < input.size(); ++i)
            input[i] = Window[i] * block[i] * kFullScale;
        fft_.RealFourierTransformLowerHalf();
        return std::span<const TComplex>(fft_.ComplexOutput())
            .first(static_cast<std::size_t>(N / 2));
    }
    const int N;
    const int WindowKind;
    std::vector<double> Window;

private:
    TDSXFastFourier fft_;
};

// `count` samples of A sin(2 pi f t + phase) from sample `start` on.
inline std::vector<double> Sine(std::size_t count, double freqHz, double rateHz, double amplitude,
                                double phase = 0.3, std::size_t start = 0) {
    std::vector<double> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double cycles = freqHz * static_cast<double>(start + i) / rateHz;
        out[i] =
            amplitude * std::sin(2.0 * std::numbers::pi * (cycles - std::floor(cycles)) + phase);
    }
    return out;
}

} // namespace analysistest
