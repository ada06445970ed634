// SPDX-License-Identifier: GPL-3.0-or-later
// Sine output: the p = 2 pattern, channel modes, phase across blocks, frequency caption.
#include "core/SineOutput.h"
#include "dsp/DSXFastFourier.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <numbers>

namespace {

constexpr float kA = static_cast<float>(TSineOutput::Amplitude);

} // namespace

TEST(SineOutput, ShortestPeriodRepeatsFourValues) {
    TSineOutput gen;
    gen.CheckOut = true;
    TDataBufferF out;
    AllocateBlock(out, 2, 2048);
    FillOutBuffer(gen, out);
    for (std::size_t i = 0; i < 2048; i += 4) {
        EXPECT_NEAR(out[0][i], 0.0f, 1.0f);
        EXPECT_EQ(out[0][i + 1], kA);
        EXPECT_NEAR(out[0][i + 2], 0.0f, 1.0f);
        EXPECT_EQ(out[0][i + 3], -kA);
        EXPECT_EQ(out[1][i + 1], kA);
    }
    EXPECT_EQ(TrackFChange(gen, 2, 48000.0), "12000 Hz");
}

TEST(SineOutput, ChannelModes) {
    TSineOutput gen;
    gen.CheckOut = true;
    gen.TrackF = 6;
    TDataBufferF out;
    AllocateBlock(out, 2, 2048);
    gen.COutChan = 1; // "+L/-R"
    FillOutBuffer(gen, out);
    for (std::size_t i = 0; i < 2048; ++i) {
        EXPECT_EQ(out[1][i], -out[0][i]);
    }
    gen.COutChan = 3; // "R only"
    FillOutBuffer(gen, out);
    EXPECT_EQ(out[0][16], 0.0f);
    EXPECT_EQ(out[1][16], kA);
    gen.CheckOut = false; // switched off: the block is left alone
    out[0][16] = 5.0f;
    FillOutBuffer(gen, out);
    EXPECT_EQ(out[0][16], 5.0f);
}

TEST(SineOutput, PhaseRunsOnAcrossBlocks) {
    TSineOutput gen;
    gen.CheckOut = true;
    TDataBufferF first;
    TDataBufferF second;
    AllocateBlock(first, 2, 2048);
    AllocateBlock(second, 2, 2048);
    gen.TrackF = 11; // the period divides the block: every block starts at phase 0
    FillOutBuffer(gen, first);
    FillOutBuffer(gen, second);
    EXPECT_EQ(first[0], second[0]);

    ResetPhase(gen);
    gen.TrackF = 13; // 8192 samples: the second block continues the first
    FillOutBuffer(gen, first);
    FillOutBuffer(gen, second);
    for (std::size_t i : {0u, 1u, 1000u, 2047u}) {
        const double expected =
            TSineOutput::Amplitude * std::sin(2.0 * std::numbers::pi * (2048.0 + i) / 8192.0);
        EXPECT_NEAR(second[0][i], expected, 256.0);
    }
}

// Two tones: the whole cycles per period nearest to each, amplitudes that add up to the sine's
// (so the sum never clips), each alone on its bin of a transform of one period. Switched off,
// the single sine is back bit for bit.
TEST(SineOutput, TwoTonesSitOnTheirBinsAndNeverExceedTheSine) {
    struct TCase {
        TImdKind Kind;
        std::size_t Cycles1, Cycles2; // per period of 16384 samples at 48 kHz
        double Share1, Share2;        // of the sine's amplitude
        const char* Caption;
    };
    const TCase cases[] = {
        {TImdKind::Smpte, 20, 2389, 0.8, 0.2, "58.59375 Hz + 6999.0234375 Hz"},
        {TImdKind::Twin, 6144, 6827, 0.5, 0.5, "18000 Hz + 20000.9765625 Hz"},
    };
    constexpr std::size_t period = 16384;
    for (const TCase& c : cases) {
        TSineOutput gen;
        gen.CheckOut = true;
        gen.TrackF = 14;
        gen.Tones = DefaultTwoTones(c.Kind);
        TDataBufferF out;
        AllocateBlock(out, 2, static_cast<int>(period));
        FillOutBuffer(gen, out, 48000.0);
        EXPECT_EQ(TwoToneCaption(gen, 48000.0), c.Caption);
        float peak = 0.0f;
        for (const float v : out[0])
            peak = std::max(peak, std::abs(v));
        EXPECT_LE(peak, kA);
        EXPECT_GT(peak, 0.99f * kA);

        std::vector<double> x(out[0].begin(), out[0].end());
        std::vector<TComplex> bins(period);
        ReferenceFourierTransform(x, bins, 2.0 * std::numbers::pi);
        double rest = 0.0;
        for (std::size_t k = 0; k < period / 2; ++k) {
            const double amplitude = 2.0 * std::hypot(bins[k].Re, bins[k].Im) / period / kA;
            if (k == c.Cycles1)
                EXPECT_NEAR(amplitude, c.Share1, 1e-6);
            else if (k == c.Cycles2)
                EXPECT_NEAR(amplitude, c.Share2, 1e-6);
            else
                rest = std::max(rest, amplitude);
        }
        EXPECT_LT(20.0 * std::log10(rest), -130.0); // float rounding only
    }

    TSineOutput gen;
    gen.CheckOut = true;
    gen.TrackF = 6;
    gen.Tones = DefaultTwoTones(TImdKind::Twin);
    TDataBufferF out;
    AllocateBlock(out, 2, 2048);
    FillOutBuffer(gen, out, 48000.0);
    gen.Tones = {};
    FillOutBuffer(gen, out, 48000.0);
    TSineOutput fresh;
    fresh.CheckOut = true;
    fresh.TrackF = 6;
    TDataBufferF single;
    AllocateBlock(single, 2, 2048);
    FillOutBuffer(fresh, single);
    EXPECT_EQ(out, single);
    EXPECT_EQ(TwoToneCaption(gen, 48000.0), "");
}

// Periodic noise: the output repeats every 2^p samples, its peak is the sine's, and one period
// through a transform holds every bin from 1 to 2^p / 2 - 1 at one level (white) or at a level
// falling as 1 / sqrt(f) above 20 Hz (pink), nothing at DC; the seed fixes the samples.
TEST(SineOutput, PeriodicNoiseIsFlatOrPinkOnEveryBinOfItsPeriod) {
    constexpr double rate = 48000.0;
    constexpr int p = 12;
    constexpr std::size_t period = std::size_t{1} << p;
    for (const TStimulusKind kind : {TStimulusKind::WhiteNoise, TStimulusKind::PinkNoise}) {
        TSineOutput gen;
        gen.CheckOut = true;
        gen.Stimulus = kind;
        gen.NoisePower = p;
        gen.NoiseSeed = 9;
        TDataBufferF out;
        AllocateBlock(out, 2, 3 * period);
        FillOutBuffer(gen, out, rate);
        float peak = 0.0f;
        for (std::size_t i = 0; i < 2 * period; ++i) {
            ASSERT_EQ(out[0][i], out[0][i + period]);
            peak = std::max(peak, std::abs(out[0][i]));
        }
        EXPECT_EQ(peak, kA);
        EXPECT_EQ(out[1], out[0]);

        TDSXFastFourier fft;
        fft.SetNumSamples(static_cast<int>(period));
        std::copy_n(out[0].begin(), period, fft.RealInput().begin());
        fft.RealFourierTransform();
        const auto bins = fft.ComplexOutput();
        const auto level = [&](std::size_t k) {
            const double f = static_cast<double>(k) * rate / period;
            const double pink =
                kind == TStimulusKind::PinkNoise ? std::sqrt(std::max(f, 20.0)) : 1.0;
            return std::hypot(bins[k].Re, bins[k].Im) * pink;
        };
        EXPECT_LT(std::hypot(bins[0].Re, bins[0].Im), 1e-6 * level(1));
        for (std::size_t k = 2; k < period / 2; ++k)
            ASSERT_NEAR(level(k) / level(1), 1.0, 1e-5) << k;

        TSineOutput again = gen;
        again.PhaseIndex = 0;
        again.TablePower = -1;
        TDataBufferF same;
        AllocateBlock(same, 2, period);
        FillOutBuffer(again, same, rate);
        EXPECT_TRUE(std::equal(same[0].begin(), same[0].end(), out[0].begin()));
        again.NoiseSeed = 10;
        FillOutBuffer(again, same, rate);
        EXPECT_FALSE(std::equal(same[0].begin(), same[0].end(), out[0].begin()));
    }
}
