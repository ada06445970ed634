// SPDX-License-Identifier: GPL-3.0-or-later
// Window calibration and peak frequency over every window, sample length and rate: full-scale
// sines read 0 dB and the peak lies where the tone is.
#include "CoreTestRig.h"

#include "core/PeakRefinement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

// The rates of the sample-rate combo, samples/s.
const double kRates[] = {6000, 8000, 12000, 18000, 24000, 36000, 48000, 96000, 192000};
const char* const kWindowNames[] = {"Rect",    "Blackman", "Blackman2",
                                    "Hanning", "Hamming",  "Flat Top"};

// The spectrum part of the pipeline alone (no band filter, which the levels do not need), with
// meters that follow every block and the whole band selected.
struct SpectrumRig {
    MeasurementState state;
    TDSXFastFourier fft;
    TPipelineComponents parts;
    TBlockPipeline pipeline{state, parts};

    SpectrumRig() {
        parts.FFT = &fft;
        state.MeterAlpha = 1.0;
    }
    // Changes N, the rate and the window as the window's controls do: only the state changes.
    void Set(int windowKind, int n, double rateHz) {
        state.WindowKind = windowKind;
        state.BlockLength = n;
        state.SampleRate = rateHz;
        state.LowerBin = 0;
        state.UpperBin = n / 2;
        state.ResetSmoothing = true;
    }
    void Analyse(const std::vector<float>& samples) {
        state.ResetSmoothing = true;
        pipeline.AnalyseBlock(samples, samples);
    }
};

double Db(double amplitude) {
    return 20.0 * std::log10(amplitude);
}

} // namespace

// After any change of N, rate or window (without picking the window again) a full-scale sine
// reads 0 dB on S+N and S with every tapered window, on a bin and between bins.
TEST(WindowCalibration, FullScaleSineReadsZeroDbAtEveryLengthRateAndWindow) {
    SpectrumRig rig;
    double worst = 0.0;
    for (int window = 1; window < WindowKindCount; ++window) {
        for (int n = 64, order = 6; n <= 1048576; n *= 2, ++order) {
            for (std::size_t r = 0; r < std::size(kRates); ++r) {
                const double rate = kRates[r];
                rig.Set(window, n, rate);
                // On a bin, and between bins (half way, or a quarter on by turns).
                std::vector<double> bins = {std::round(0.3 * n),
                                            std::round(0.15 * n) + (r % 2 == 0 ? 0.5 : 0.25)};
                if (n >= 16384) {
                    // Long blocks: every rate is set (and calibrated for), two of them, which
                    // change with the window and N, also measure a tone on a bin and between bins.
                    EnsureWindowCalibrated(rig.state, rig.fft);
                    const std::size_t first = static_cast<std::size_t>(2 * window + order) % 9;
                    if (r == first) {
                        bins = {bins[0]};
                    } else if (r == (first + 4) % 9) {
                        bins = {bins[1]};
                    } else {
                        bins.clear();
                    }
                }
                for (const double bin : bins) {
                    rig.Analyse(SineSamples(static_cast<std::size_t>(n), bin * rate / n, rate));
                    const double sn = Db(rig.state.BandTotal);
                    const double s = Db(rig.state.PeakAmplitude);
                    worst = std::max({worst, std::abs(sn), std::abs(s)});
                    ASSERT_NEAR(sn, 0.0, 0.005)
                        << kWindowNames[window] << " N " << n << " rate " << rate << " bin " << bin;
                    ASSERT_NEAR(s, 0.0, 0.005)
                        << kWindowNames[window] << " N " << n << " rate " << rate << " bin " << bin;
                }
            }
        }
    }
    std::printf("largest calibration error of the tapered windows: %.5f dB\n", worst);
}

// The rectangular window's lobe width follows N (it used to stay at 70 bins).
TEST(WindowCalibration, LobeWidthFollowsTheSampleLength) {
    SpectrumRig rig;
    std::vector<int> widths;
    for (const int n : {64, 1024, 16384}) {
        rig.Set(0, n, 48000.0);
        EnsureWindowCalibrated(rig.state, rig.fft);
        EXPECT_LT(rig.state.PeakHalfWidth, n / 4) << n;
        widths.push_back(rig.state.PeakHalfWidth);
    }
    EXPECT_LT(widths[0], widths[1]);
    EXPECT_LT(widths[1], widths[2]);
    // A tapered window's lobe is a few bins wide whatever N is.
    for (const int n : {64, 1048576}) {
        rig.Set(2, n, 192000.0);
        EnsureWindowCalibrated(rig.state, rig.fft);
        EXPECT_GE(rig.state.PeakHalfWidth, 3) << n;
        EXPECT_LE(rig.state.PeakHalfWidth, 12) << n;
    }
    EXPECT_FALSE(EnsureWindowCalibrated(rig.state, rig.fft)); // nothing changed: kept
}

// With the tone anywhere in the band and 60 dB SNR, the peak frequency is within 0.01 bin of
// the tone for every window, at any offset from a bin.
TEST(PeakFrequency, UnbiasedForEveryWindowLengthRateAndOffset) {
    SpectrumRig rig;
    std::mt19937 random(12);
    std::normal_distribution<double> gauss;
    const double offsets[] = {0.0, 0.1, 0.25, 0.37, 0.5, 0.63, 0.75, 0.9};
    for (int window = 0; window < WindowKindCount; ++window) {
        const double tolerance = 0.01;
        double worst = 0.0;
        for (const int n : {64, 1024, 65536}) {
            for (const double rate : {6000.0, 48000.0, 192000.0}) {
                rig.Set(window, n, rate);
                // Base bins from the lowest to the highest that keep the lobe clear of the ends.
                const int margin = 8;
                const int span = n / 2 - 2 * margin - 1;
                for (const double where : {0.0, 0.33, 0.71, 1.0}) {
                    const int base = margin + static_cast<int>(where * span);
                    for (const double offset : offsets) {
                        const double bin = base + offset;
                        const double amplitude = 0.5 * kFullScaleSine;
                        auto samples = SineSamples(static_cast<std::size_t>(n), bin * rate / n,
                                                   rate, amplitude, 0.7 * offset + 0.2);
                        // White noise 60 dB below the tone's power (amplitude^2 / 2).
                        const double sigma = amplitude / std::sqrt(2.0) * 1e-3;
                        for (auto& v : samples) {
                            v += static_cast<float>(sigma * gauss(random));
                        }
                        rig.Analyse(samples);
                        const double error = rig.state.PeakBinFine - bin;
                        worst = std::max(worst, std::abs(error));
                        EXPECT_NEAR(rig.state.PeakBinFine, bin, tolerance)
                            << kWindowNames[window] << " N " << n << " rate " << rate << " bin "
                            << bin;
                    }
                }
            }
        }
        std::printf("%-9s largest peak-frequency error %.4f bin\n", kWindowNames[window], worst);
    }
}

// The bias of each window's fit without noise, on a bin and between bins (the figures the
// correction removes): the raw fit is off, the corrected one is not.
TEST(PeakFrequency, CorrectionRemovesTheFitsBias) {
    SpectrumRig rig;
    for (int window = 0; window < WindowKindCount; ++window) {
        double rawWorst = 0.0;
        double worst = 0.0;
        for (const double offset : {0.0, 0.1, 0.2, 0.3, 0.4, 0.5}) {
            rig.Set(window, 1024, 48000.0);
            const double bin = 200 + offset;
            rig.Analyse(SineSamples(1024, bin * 48000.0 / 1024, 48000.0));
            const int k = rig.state.PeakBin;
            const double raw =
                k + PeakFitOffset(rig.state.Spectrum, k, rig.state.PeakFit.Kind).value_or(0.0);
            rawWorst = std::max(rawWorst, std::abs(raw - bin));
            worst = std::max(worst, std::abs(rig.state.PeakBinFine - bin));
        }
        std::printf("%-9s fit bias %.4f bin, corrected %.5f bin\n", kWindowNames[window], rawWorst,
                    worst);
        EXPECT_LT(worst, 0.002) << kWindowNames[window];
    }
}

TEST(PeakRefinement, FitsAndTheirGuards) {
    // A Gaussian lobe exp(-(j - 10.3)^2 / 4): the logarithmic parabola is exact.
    std::vector<double> y(32);
    for (std::size_t j = 0; j < y.size(); ++j) {
        y[j] = std::exp(-(j - 10.3) * (j - 10.3) / 4.0);
    }
    EXPECT_NEAR(RefinePeak(y, 10), 10.3, 1e-9);
    // The rectangular window's lobe |sin(pi d) / (pi d)|: the neighbour ratio is exact.
    std::vector<double> sinc(32);
    for (std::size_t j = 0; j < sinc.size(); ++j) {
        const double d = (j - 20.3) * std::numbers::pi;
        sinc[j] = std::abs(std::sin(d) / d);
    }
    TPeakFitTable ratio;
    ratio.Kind = TPeakFitKind::NeighbourRatio;
    EXPECT_NEAR(RefinePeak(sinc, 20, ratio), 20.3, 1e-9);

    std::vector<double> flat(32, 1.0);
    EXPECT_EQ(RefinePeak(flat, 10), 10.0); // zero curvature in both fits: k
    std::vector<double> holed = y;
    holed[11] = 0.0; // no logarithm of 0: the parabola through the amplitudes
    const double threePoint = 10 + ((y[9] - 0.0) / 2) / (y[9] - 2 * y[10] + 0.0);
    EXPECT_DOUBLE_EQ(RefinePeak(holed, 10), threePoint);
    EXPECT_EQ(RefinePeak(y, 0), 0.0);
    EXPECT_EQ(RefinePeak(y, 31), 31.0);
    EXPECT_EQ(RefinePeak(y, 40), 40.0);

    // The table is inverted piecewise linearly, odd in the offset, slope 1 beyond its end.
    TPeakFitTable table;
    table.Response = {0.0, 0.1, 0.5}; // offsets 0, 0.25, 0.5
    EXPECT_DOUBLE_EQ(InvertPeakFit(table, 0.05), 0.125);
    EXPECT_DOUBLE_EQ(InvertPeakFit(table, -0.3), -0.375);
    EXPECT_DOUBLE_EQ(InvertPeakFit(table, 0.6), 0.6);
}
