// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the FIR band filter against a direct convolution with an independently built kernel.
#include "dsp/TBDSP.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using Cx = std::complex<double>;
constexpr double kPi = std::numbers::pi;

struct Design {
    TFilterType type;
    TWindowType window;
    int fftOrder;
    int kernelLength;
    double startHz;
    double stopHz;
};
constexpr int kRate = 48000;

TTBDSP MakeFilter(const Design& d, double gain = 1.0, TSetCustomFilterEvent handler = {}) {
    TTBDSP filter;
    filter.SetCustomFilter(std::move(handler));
    filter.SetAmplification(gain);
    filter.SetFilterType(d.type);
    filter.SetWindowType(d.window);
    filter.SetSamplesPerSecond(kRate);
    filter.SetStartFrequency(d.startHz);
    filter.SetStopFrequency(d.stopHz);
    filter.SetKernelLength(d.kernelLength);
    filter.SetFFT_Order(d.fftOrder);
    filter.CreateFilter();
    return filter;
}

double WindowValue(TWindowType w, int i, int m) {
    const double c = std::cos(2 * kPi * i / m);
    const double blackman = 0.42 - 0.5 * c + 0.08 * std::cos(4 * kPi * i / m);
    switch (w) {
    case Blackman:
        return blackman;
    case Blackman2:
        return blackman * blackman;
    case Hanning:
        return 0.5 * (1 - c);
    case Hamming:
        return 0.54 - 0.46 * c;
    default:
        return 1.0;
    }
}

// Band edges in bins, desired 0/1 response with real parts mirrored, naive inverse DFT, rotation
// by K/2, window over taps 0 ... K-1.
std::vector<double> ExpectedKernel(const Design& d, double gain) {
    const int n = 1 << d.fftOrder;
    const int lo = std::max(int(std::nearbyint(n * d.startHz / kRate)), 0);
    const int hi = std::min(int(std::nearbyint(n * d.stopHz / kRate)), n / 2);
    std::vector<double> desired(std::size_t(n), d.type == BandPass ? 0.0 : 1.0);
    for (int k = lo; k <= hi; ++k)
        desired[std::size_t(k)] = d.type == BandPass ? 1.0 : 0.0;
    for (int m = 1; m <= n / 2; ++m)
        desired[std::size_t(n - m)] = desired[std::size_t(m)];
    std::vector<double> kernel(std::size_t(d.kernelLength));
    const int half = d.kernelLength / 2;
    for (int t = 0; t < d.kernelLength; ++t) {
        Cx sum;
        for (int k = 0; k < n; ++k)
            sum += desired[std::size_t(k)] * std::polar(1.0, -2 * kPi * double((t - half) * k) / n);
        kernel[std::size_t(t)] =
            gain * sum.real() / n * WindowValue(d.window, t, d.kernelLength - 1);
    }
    return kernel;
}

std::vector<double> Noise(std::size_t n) {
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x)
        v = dist(gen);
    return x;
}

// Runs x through the filter in blocks of count; returns output and in-phase output.
std::pair<std::vector<double>, std::vector<double>>
RunBlocks(TTBDSP& f, const std::vector<double>& x, int count) {
    std::vector<double> out(x.size()), inPhase(x.size());
    for (std::size_t at = 0; at + std::size_t(count) <= x.size(); at += std::size_t(count)) {
        f.Filter(std::span(x).subspan(at, std::size_t(count)),
                 std::span(out).subspan(at, std::size_t(count)), count,
                 std::span(inPhase).subspan(at, std::size_t(count)));
    }
    return {out, inPhase};
}

std::string ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no exception)";
}

TEST(BandFilterConvolution, ConsecutiveBlocksEqualDirectConvolutionWithWindowedKernel) {
    const Design designs[] = {
        {BandPass, Hamming, 7, 63, 3000, 9000}, {BandStop, Blackman, 7, 41, 1000, 20000},
        {BandPass, Hanning, 6, 33, 0, 12000},   {BandPass, Blackman2, 8, 129, 500, 2000},
        {BandStop, Rect, 6, 31, 6000, 6000},
    };
    const auto x = Noise(600);
    for (const Design& d : designs) {
        const auto kernel = ExpectedKernel(d, 0.5);
        const int n = 1 << d.fftOrder;
        for (int count : {n - d.kernelLength, d.kernelLength / 2, 5, 1}) {
            TTBDSP filter = MakeFilter(d, 0.5);
            const auto [out, inPhase] = RunBlocks(filter, x, count);
            const std::size_t covered = x.size() / std::size_t(count) * std::size_t(count);
            for (std::size_t i = 0; i < covered; ++i) {
                double want = 0.0;
                for (std::size_t m = 0; m < kernel.size() && m <= i; ++m)
                    want += kernel[m] * x[i - m];
                ASSERT_NEAR(out[i], want, 1e-9)
                    << "sample " << i << " count " << count << " K " << d.kernelLength;
            }
        }
    }
}

TEST(BandFilterConvolution, FullBandIsAPureDelayAndInPlaceFilteringWorks) {
    TTBDSP filter = MakeFilter({BandPass, Blackman, 8, 101, 0, kRate / 2}, 2.0);
    auto x = Noise(512);
    const auto original = x;
    for (std::size_t at = 0; at < x.size(); at += 128) {
        std::span block = std::span(x).subspan(at, 128);
        filter.Filter(block, block, 128);
    }
    for (std::size_t i = 0; i < x.size(); ++i)
        EXPECT_NEAR(x[i], i < 50 ? 0.0 : 2.0 * original[i - 50], 1e-9);
}

TEST(BandFilterDesigns, HilbertWithThreeTapsAndItsInPhaseDelay) {
    TTBDSP filter = MakeFilter({Hilbert, Rect, 4, 3, 0, 0}, 5.0); // Amplification not applied
    const auto x = Noise(64);
    const auto [out, inPhase] = RunBlocks(filter, x, 13);
    for (std::size_t i = 0; i < 52; ++i) {
        const double x1 = i >= 1 ? x[i - 1] : 0.0, x2 = i >= 2 ? x[i - 2] : 0.0;
        EXPECT_NEAR(out[i], 2 / kPi * (x2 - x[i]), 1e-12);
        EXPECT_EQ(inPhase[i], x1);
    }
}

TEST(BandFilterDesigns, HilbertInPhaseDelayHoldsAcrossBlocksShorterThanTheDelay) {
    TTBDSP filter = MakeFilter({Hilbert, Hamming, 6, 21, 0, 0});
    const auto x = Noise(60);
    const auto [out, inPhase] = RunBlocks(filter, x, 3);
    for (std::size_t i = 0; i < x.size(); ++i)
        EXPECT_EQ(inPhase[i], i >= 10 ? x[i - 10] : 0.0);
}

TEST(BandFilterDesigns, SingleTapIsTheMeanOfTheDesiredResponseForEveryWindow) {
    // Bins 1 ... 4 of 16 and their mirrors: 8 of 16 bins pass.
    for (TWindowType w : {Rect, Hamming, Blackman}) {
        TTBDSP filter = MakeFilter({BandPass, w, 4, 1, 3000, 12000}, 3.0);
        const std::vector<double> x{1.0, -2.0, 0.5};
        std::vector<double> y(3);
        filter.Filter(x, y, 3);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(y[i], 3.0 * 0.5 * x[i], 1e-12);
    }
}

TEST(BandFilterDesigns, CustomHandlerMatchesTheBandDesignAndEmptyBandGivesZeros) {
    const Design band{BandPass, Hamming, 6, 31, 3000, 9000};
    TTBDSP reference = MakeFilter(band);
    TTBDSP custom = MakeFilter({Custom, Hamming, 6, 31, 0, 0}, 0.0, [](int i) {
        return TComplex{i >= 4 && i <= 12 ? 1.0 : 0.0, 0.0};
    });
    custom.SetAmplification(1.0); // redesigns at once
    ASSERT_TRUE(custom.FilterCreated());
    for (std::size_t k = 0; k < 64; ++k) {
        EXPECT_NEAR(custom.Response()[k].Re, reference.Response()[k].Re, 1e-12);
        EXPECT_NEAR(custom.Response()[k].Im, reference.Response()[k].Im, 1e-12);
    }
    TTBDSP empty = MakeFilter({BandPass, Rect, 6, 31, 9000, 3000});
    const auto [out, inPhase] = RunBlocks(empty, Noise(66), 33);
    for (double v : out)
        EXPECT_EQ(v, 0.0);
}

TEST(BandFilterLimits, BlockLengthAndBufferChecks) {
    TTBDSP filter = MakeFilter({BandPass, Rect, 6, 31, 0, 24000});
    std::vector<double> x(40, 1.0), y(40, -7.0);
    EXPECT_NO_THROW(filter.Filter(x, y, 33));
    EXPECT_EQ(y[33], -7.0); // sentinel past count
    EXPECT_EQ(ErrorText([&] { filter.Filter(x, y, 34); }), "Data Block too long for filtering.");
    EXPECT_THROW(filter.Filter(x, y, -1), EDSPError);
    EXPECT_THROW(filter.Filter(std::span(x).first(10), y, 11), EDSPError);
    TTBDSP hilbert = MakeFilter({Hilbert, Rect, 6, 31, 0, 0});
    EXPECT_THROW(hilbert.Filter(x, y, 20), EDSPError); // no in-phase buffer
}

TEST(BandFilterState, PropertyWritesAndTheirSideEffects) {
    TTBDSP filter;
    EXPECT_EQ(ErrorText([&] { filter.CreateFilter(); }),
              "NumSamples is not a positive integer power of 2");
    filter.SetKernelLength(32768);
    EXPECT_EQ(filter.KernelLength(), 32769);
    filter.SetKernelLength(32767);
    EXPECT_EQ(filter.KernelLength(), 32767);
    filter.SetFFT_Order(0);
    EXPECT_EQ(filter.FFTSize(), 1);
    EXPECT_THROW(filter.CreateFilter(), EFastFourierError);
    EXPECT_THROW(filter.SetFFT_Order(31), EFastFourierError);
    filter.SetFFT_Order(-1);
    EXPECT_EQ(filter.FFTSize(), 0);

    TTBDSP delay = MakeFilter({BandPass, Rect, 5, 3, 0, 24000});
    EXPECT_EQ(delay.FFT_Order(), 5);
    delay.SetFilterType(BandStop); // stored only: still the delay
    EXPECT_TRUE(delay.FilterCreated());
    std::vector<double> x{1, 2, 3, 4}, y(4);
    delay.Filter(x, y, 4);
    EXPECT_NEAR(y[1], 1.0, 1e-12);
    delay.CreateFilter();
    delay.Filter(x, y, 4);
    EXPECT_NEAR(y[1], 0.0, 1e-12); // band stop over the full band: nothing passes

    delay.SetSamplesPerSecond(kRate);
    EXPECT_EQ(ErrorText([&] { delay.Filter(x, y, 4); }),
              "You must run CreateFilter before filtering.");
    delay.SetStopFrequency(12000); // N > 0: redesigned at once
    EXPECT_TRUE(delay.FilterCreated());
    delay.SetSamplesPerSecond(0);
    EXPECT_THROW(delay.SetStartFrequency(100), EDSPError);
    delay.SetFilterType(Custom);
    EXPECT_EQ(ErrorText([&] { delay.CreateFilter(); }),
              "You must specify a SetCustomFilter handler");
}

} // namespace
