// SPDX-License-Identifier: GPL-3.0-or-later
// Peak frequency accuracy of every window: a tone on a bin reads that bin within 0.001 bin, a
// tone anywhere between bins within 0.01 bin with white noise 60 dB below it.
#include "CoreTestRig.h"

#include "core/PeakRefinement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <complex>
#include <cstdio>
#include <random>

namespace {

const char* const kWindowNames[] = {"Rect",    "Blackman", "Blackman2",
                                    "Hanning", "Hamming",  "Flat Top"};

// The spectrum part of the pipeline on one block, every reading taken from that block alone.
struct PeakRig {
    MeasurementState state;
    TDSXFastFourier fft;
    TPipelineComponents parts;
    TBlockPipeline pipeline{state, parts};

    PeakRig() { parts.FFT = &fft; }
    double Peak(int window, int n, double rateHz, const std::vector<float>& samples) {
        state.WindowKind = window;
        state.BlockLength = n;
        state.SampleRate = rateHz;
        state.LowerBin = 0;
        state.UpperBin = n / 2;
        state.ResetSmoothing = true;
        pipeline.AnalyseBlock(samples, samples);
        return state.PeakBinFine;
    }
};

// One case of the table: the tone's bin as a fraction of N/2 (clear of both ends by the widest
// lobe) plus an offset in bins, and its phase.
struct TTone {
    double where;
    double offset;
    double phase;
};

} // namespace

TEST(PeakAccuracy, OnABinWithinAThousandthBetweenBinsWithinAHundredthAt60dB) {
    PeakRig rig;
    std::mt19937 random(29);
    std::normal_distribution<double> gauss;
    // Tones at a quarter of the rate (the coherent sine's favourite) and across the band, on a
    // bin and at offsets from it (the latter with noise).
    const TTone onBin[] = {
        {0.5, 0.0, 0.3}, {0.5, 0.0, 1.9}, {0.0, 0.0, 0.7}, {0.37, 0.0, 2.5}, {1.0, 0.0, 0.0}};
    const double offsets[] = {0.05, 0.13, 0.25, 0.38, 0.5, 0.62, 0.77, 0.93};
    std::printf("window     worst on-bin error   worst off-bin error at 60 dB SNR (bins)\n");
    for (int window = 0; window < WindowKindCount; ++window) {
        double worstOn = 0.0;
        double worstOff = 0.0;
        for (const int n : {64, 1024, 65536}) {
            for (const double rate : {48000.0, 192000.0}) {
                const int margin = 8;
                const int span = n / 2 - 2 * margin - 1;
                const auto bin = [&](const TTone& t) {
                    return std::round(margin + t.where * span) + t.offset;
                };
                for (const TTone& t : onBin) {
                    const double b = t.where == 0.5 ? n / 4 : bin(t);
                    const auto samples = SineSamples(static_cast<std::size_t>(n), b * rate / n,
                                                     rate, 0.5 * kFullScaleSine, t.phase);
                    const double error = rig.Peak(window, n, rate, samples) - b;
                    worstOn = std::max(worstOn, std::abs(error));
                    EXPECT_NEAR(error, 0.0, 0.001)
                        << kWindowNames[window] << " N " << n << " rate " << rate << " bin " << b;
                }
                for (std::size_t k = 0; k < std::size(offsets); ++k) {
                    const TTone t{static_cast<double>(k % 4) / 3.0, offsets[k], 0.4 * k};
                    const double b = bin(t);
                    const double amplitude = 0.5 * kFullScaleSine;
                    auto samples = SineSamples(static_cast<std::size_t>(n), b * rate / n, rate,
                                               amplitude, t.phase);
                    const double sigma = amplitude / std::sqrt(2.0) * 1e-3; // 60 dB below
                    for (auto& v : samples) {
                        v += static_cast<float>(sigma * gauss(random));
                    }
                    const double error = rig.Peak(window, n, rate, samples) - b;
                    worstOff = std::max(worstOff, std::abs(error));
                    EXPECT_NEAR(error, 0.0, 0.01)
                        << kWindowNames[window] << " N " << n << " rate " << rate << " bin " << b;
                }
            }
        }
        std::printf("%-9s  %.6f             %.6f\n", kWindowNames[window], worstOn, worstOff);
    }
}

// The real-tone fit on bins summed directly: exact near 0 Hz, mid-band and near fs/2, where the
// mirror image is closest; and its guards.
TEST(PeakAccuracy, RealTonePositionIsExactForALoneTone) {
    const struct {
        int n;
        int k;
        double d;
        double phase;
    } cases[] = {{64, 2, 0.3, 1.1},  {64, 16, 0.0, 0.2},   {64, 16, -0.45, 2.0},
                 {64, 29, 0.4, 0.7}, {1024, 5, -0.2, 3.0}, {1024, 300, 0.5, 0.0}};
    for (const auto& c : cases) {
        std::array<TComplex, 3> bins;
        for (int j = -1; j <= 1; ++j) {
            std::complex<double> sum = 0.0;
            for (int i = 0; i < c.n; ++i) {
                const double s = std::cos(2.0 * std::numbers::pi * (c.k + c.d) * i / c.n + c.phase);
                sum += s * std::polar(1.0, 2.0 * std::numbers::pi * (c.k + j) * i / c.n);
            }
            bins[static_cast<std::size_t>(j + 1)] = {sum.real(), sum.imag()};
        }
        const auto position = RealTonePosition(bins, c.k, c.n);
        ASSERT_TRUE(position.has_value()) << c.n << " " << c.k;
        EXPECT_NEAR(*position, c.k + c.d, 1e-6) << c.n << " " << c.k << " " << c.d;
    }
    const std::array<TComplex, 3> some = {TComplex{1.0, 0.0}, TComplex{2.0, 1.0}, TComplex{}};
    EXPECT_FALSE(RealTonePosition(some, 0, 64).has_value());  // no bin below
    EXPECT_FALSE(RealTonePosition(some, 31, 64).has_value()); // none above within N/2
    EXPECT_FALSE(RealTonePosition({TComplex{1.0, 0.0}, TComplex{}, TComplex{}}, 9, 64));
    EXPECT_FALSE(RealTonePosition({TComplex{NAN, 0.0}, TComplex{1.0, 0.0}, TComplex{}}, 9, 64));
}
