// SPDX-License-Identifier: GPL-3.0-or-later
// Loudness meter: the EBU loudness and loudness-range test sequences built from their definitions.
#include "analysis/LoudnessMeter.h"
#include "analysis/TruePeakInterpolator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

struct TSegment {
    double Seconds;
    double Dbfs; // peak of the sine re full scale, each channel
};

// A 1 kHz sine (or freqHz, starting at phaseDeg) in segments of given length and level.
std::vector<double> Segments(double rate, const std::vector<TSegment>& segments,
                             double freqHz = 1000.0, double phaseDeg = 0.0) {
    std::vector<double> x;
    for (const TSegment& s : segments) {
        const double a = std::pow(10.0, s.Dbfs / 20.0);
        const auto n = static_cast<std::size_t>(std::llround(s.Seconds * rate));
        for (std::size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(x.size()) / rate;
            x.push_back(a * std::sin(2.0 * kPi * freqHz * t + phaseDeg * kPi / 180.0));
        }
    }
    return x;
}

// The same samples on both channels, in blocks of an odd length.
std::unique_ptr<TLoudnessMeter> Measure(const std::vector<double>& x, double rate) {
    auto meter = std::make_unique<TLoudnessMeter>();
    constexpr std::size_t kBlock = 4097;
    for (std::size_t i = 0; i < x.size(); i += kBlock) {
        const auto part = std::span(x).subspan(i, std::min(kBlock, x.size() - i));
        meter->Process(part, part, rate, 1.0);
    }
    return meter;
}

std::vector<TSegment> Repeat(int times, std::vector<TSegment> pattern) {
    std::vector<TSegment> out;
    for (int i = 0; i < times; ++i)
        out.insert(out.end(), pattern.begin(), pattern.end());
    return out;
}

} // namespace

struct TLevelCase {
    const char* Name;
    double Rate;
    std::vector<TSegment> Signal;
    double Lufs;
};

// Steady sines at -23 and -33 dBFS: momentary, short-term, its maximum and the integrated
// loudness within 0.1 LU of the sine's level, at every rate.
TEST(LoudnessMeter, SteadySines) {
    const TLevelCase cases[] = {
        {"-23 dBFS", 48000.0, {{20.0, -23.0}}, -23.0},
        {"-33 dBFS", 48000.0, {{20.0, -33.0}}, -33.0},
        {"-23 dBFS 44.1k", 44100.0, {{5.0, -23.0}}, -23.0},
        {"-23 dBFS 96k", 96000.0, {{5.0, -23.0}}, -23.0},
        {"-23 dBFS 192k", 192000.0, {{5.0, -23.0}}, -23.0},
    };
    for (const TLevelCase& c : cases) {
        const TLoudnessReadings r = Measure(Segments(c.Rate, c.Signal), c.Rate)->Readings();
        EXPECT_NEAR(r.IntegratedLufs, c.Lufs, 0.1) << c.Name;
        EXPECT_NEAR(r.MomentaryLufs, c.Lufs, 0.1) << c.Name;
        EXPECT_NEAR(r.ShortTermLufs, c.Lufs, 0.1) << c.Name;
        EXPECT_NEAR(r.MomentaryMaxLufs, c.Lufs, 0.1) << c.Name;
    }
}

// The gating sequences (relative gate, absolute gate, a louder middle part): integrated loudness
// -23 LUFS within 0.1 LU.
TEST(LoudnessMeter, GatingSequences) {
    const TLevelCase cases[] = {
        {"relative gate", 48000.0, {{10.0, -36.0}, {60.0, -23.0}, {10.0, -36.0}}, -23.0},
        {"absolute gate",
         48000.0,
         {{10.0, -72.0}, {10.0, -36.0}, {60.0, -23.0}, {10.0, -36.0}, {10.0, -72.0}},
         -23.0},
        {"-26/-20/-26", 48000.0, {{20.0, -26.0}, {20.1, -20.0}, {20.0, -26.0}}, -23.0},
    };
    for (const TLevelCase& c : cases)
        EXPECT_NEAR(Measure(Segments(c.Rate, c.Signal), c.Rate)->Readings().IntegratedLufs, c.Lufs,
                    0.1)
            << c.Name;
}

// Sequences whose short-term (20 x 1.34 s at -20 and 1.66 s at -30 dBFS) or momentary
// (20 x 0.18 s at -20 and 0.22 s at -30 dBFS) loudness stays at -23 LUFS once its window is full:
// every point of the history within 0.1 LU, and so the maximum.
TEST(LoudnessMeter, ShortTermAndMomentarySequences) {
    constexpr double kRate = 48000.0;
    const auto shortTerm =
        Measure(Segments(kRate, Repeat(20, {{1.34, -20.0}, {1.66, -30.0}})), kRate);
    for (const TLoudnessPoint& p : shortTerm->History()) {
        if (p.Seconds >= 3.0) {
            EXPECT_NEAR(p.ShortTermLufs, -23.0, 0.1) << p.Seconds;
        }
    }
    EXPECT_NEAR(shortTerm->Readings().ShortTermMaxLufs, -23.0, 0.1);

    const auto momentary =
        Measure(Segments(kRate, Repeat(20, {{0.18, -20.0}, {0.22, -30.0}})), kRate);
    for (const TLoudnessPoint& p : momentary->History()) {
        if (p.Seconds >= 0.4) {
            EXPECT_NEAR(p.MomentaryLufs, -23.0, 0.1) << p.Seconds;
        }
    }
    EXPECT_NEAR(momentary->Readings().MomentaryMaxLufs, -23.0, 0.1);
    EXPECT_EQ(momentary->History().size(), 80u); // 8 s at 10 points a second
}

// Loudness range of the stepped sequences: within 1 LU.
TEST(LoudnessMeter, LoudnessRangeSequences) {
    constexpr double kRate = 48000.0;
    const std::pair<std::vector<TSegment>, double> cases[] = {
        {{{20.0, -20.0}, {20.0, -30.0}}, 10.0},
        {{{20.0, -20.0}, {20.0, -15.0}}, 5.0},
        {{{20.0, -40.0}, {20.0, -20.0}}, 20.0},
        {{{20.0, -50.0}, {20.0, -35.0}, {20.0, -20.0}, {20.0, -35.0}, {20.0, -50.0}}, 15.0},
    };
    for (const auto& [signal, lra] : cases)
        EXPECT_NEAR(Measure(Segments(kRate, signal), kRate)->Readings().RangeLu, lra, 1.0) << lra;
}

// Sines whose peaks fall between samples (-6 dBFS): true peak -6 dBTP within +0.2 and -0.4 dB;
// the sample peak is that of the sample nearest the crest. At 192 ksps the 24 kHz sine's crest
// lies halfway between samples, 0.69 dB above them. Faded in and out over 20 ms, so that no step
// at the ends rings in the oversampling filter.
TEST(LoudnessMeter, TruePeakSines) {
    struct TCase {
        double Rate, Hz, PhaseDeg, CrestOffsetDeg;
    };
    const TCase cases[] = {{48000.0, 12000.0, 0.0, 0.0},
                           {48000.0, 12000.0, 45.0, 45.0},
                           {48000.0, 8000.0, 60.0, 30.0},
                           {48000.0, 6000.0, 67.5, 22.5},
                           {192000.0, 24000.0, 67.5, 22.5}};
    for (const TCase& c : cases) {
        std::vector<double> x = Segments(c.Rate, {{1.0, -6.0}}, c.Hz, c.PhaseDeg);
        const auto fadeLength = static_cast<std::size_t>(0.02 * c.Rate);
        for (std::size_t i = 0; i < fadeLength; ++i) {
            const double fade = 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) /
                                                     static_cast<double>(fadeLength));
            x[i] *= fade;
            x[x.size() - 1 - i] *= fade;
        }
        const TLoudnessReadings r = Measure(x, c.Rate)->Readings();
        const double samplePeakDb =
            -6.0 + 20.0 * std::log10(std::cos(c.CrestOffsetDeg * kPi / 180.0));
        EXPECT_LE(r.TruePeakDbtp, -6.0 + 0.2) << c.Rate << " " << c.Hz << " " << c.PhaseDeg;
        EXPECT_GE(r.TruePeakDbtp, -6.0 - 0.4) << c.Rate << " " << c.Hz << " " << c.PhaseDeg;
        EXPECT_NEAR(r.SamplePeakDbfs, samplePeakDb, 0.01) << c.Rate << " " << c.Hz;
    }
}

// Through the pipeline's block: with the left channel selected only it is measured, as one
// channel (a -23 dBFS sine reads 10 lg 2 below the same sine on both channels); Restart forgets.
TEST(LoudnessMeter, OneSelectedChannelAndRestart) {
    constexpr double kRate = 48000.0;
    constexpr double kFullScale = 2147483647.0;
    const std::vector<double> x = Segments(kRate, {{5.0, -23.0}});
    std::vector<float> left(x.size()), loud(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        left[i] = static_cast<float>(x[i] * kFullScale);
        loud[i] = static_cast<float>(0.9 * kFullScale * std::sin(0.3 * static_cast<double>(i)));
    }
    TLoudnessMeter meter;
    meter.Channel = [] { return 0; };
    TEngineBlockView block;
    block.SampleRate = kRate;
    block.FullScale = kFullScale;
    block.Left = left;
    block.Right = loud;
    meter.EngineBlock(block);
    TLoudnessReadings r = meter.Readings();
    EXPECT_EQ(r.Channels, 1);
    EXPECT_NEAR(r.IntegratedLufs, -23.0 - 10.0 * std::log10(2.0), 0.1);

    meter.Restart();
    r = meter.Readings();
    EXPECT_TRUE(std::isnan(r.IntegratedLufs));
    EXPECT_TRUE(meter.History().empty());
}

// The true-peak interpolator, with every instruction set this processor runs, against a plain
// full interpolation: the chunks it skips never change the peaks. The signal is noise with one
// sample of 1.5, then a burst of 16 samples of the weights' signs whose value halfway exceeds
// both it and the burst's samples (some just so), at every offset within a chunk: all samples
// alike, or those weighed by the outer weights on one side or both louder than the two in the
// middle; blocks of odd lengths.
TEST(TruePeakInterpolator, SkippedChunksKeepThePeaksOfFullInterpolation) {
    constexpr std::size_t kHalf = TTruePeakInterpolator::kHalfTaps;
    // The filter's weights from their definition: a Kaiser-windowed (beta 7) sinc, sum 1.
    const auto besselI0 = [](double x) {
        double term = 1.0, sum = 1.0;
        for (int k = 1; k < 200; ++k) {
            term *= (0.5 * x / k) * (0.5 * x / k);
            sum += term;
        }
        return sum;
    };
    std::vector<double> taps(kHalf);
    double sum = 0.0;
    for (std::size_t k = 0; k < kHalf; ++k) {
        const double t = static_cast<double>(k) + 0.5, r = t / kHalf;
        taps[k] = std::sin(kPi * t) / (kPi * t) * besselI0(7.0 * std::sqrt(1.0 - r * r));
        sum += 2.0 * taps[k];
    }
    for (double& tap : taps)
        tap /= sum;

    struct TBurst {
        double Inner, OuterLeft, OuterRight; // magnitudes of the samples of the weights k = 0,
                                             // and k > 0 before and after the value halfway
    };
    const TBurst bursts[] = {{1.0, 1.0, 1.0},
                             {0.7545, 0.7545, 0.7545},
                             {0.75, 0.75, 1.45},
                             {0.75, 1.45, 0.75},
                             {0.5, 1.194, 1.194}};
    const std::size_t blocks[] = {1, 7, 15, 16, 64, 100, 333};
    for (const std::string& kernel : TTruePeakInterpolator::Kernels()) {
        for (const TBurst& burst : bursts) {
            for (std::size_t channels = 1; channels <= 2; ++channels) {
                for (std::size_t offset = 0; offset < 80; ++offset) {
                    // Channel c: noise, a sample of 1.5 and the burst around 300 + offset + 37 c.
                    std::vector<std::vector<double>> x(channels);
                    std::uint32_t seed = 12345 + static_cast<std::uint32_t>(offset);
                    for (std::size_t c = 0; c < channels; ++c) {
                        for (int i = 0; i < 500; ++i) {
                            seed = seed * 1664525U + 1013904223U;
                            x[c].push_back(0.2 *
                                           (static_cast<double>(seed >> 8) / 16777216.0 - 0.5));
                        }
                        x[c][100] = -1.5;
                        const std::size_t at = 300 + offset + 37 * c;
                        for (std::size_t k = 0; k < kHalf; ++k) {
                            const double sign = taps[k] > 0.0 ? 1.0 : -1.0;
                            x[c][at - k] = sign * (k == 0 ? burst.Inner : burst.OuterLeft);
                            x[c][at + 1 + k] = sign * (k == 0 ? burst.Inner : burst.OuterRight);
                        }
                    }
                    // The reference: every value halfway, after 2 kHalf - 1 samples of silence.
                    std::vector<double> samplePeak(channels), truePeak(channels);
                    for (std::size_t c = 0; c < channels; ++c) {
                        std::vector<double> padded(2 * kHalf - 1, 0.0);
                        padded.insert(padded.end(), x[c].begin(), x[c].end());
                        for (std::size_t i = 0; i < x[c].size(); ++i) {
                            double y = 0.0;
                            for (std::size_t k = 0; k < kHalf; ++k)
                                y += taps[k] * (padded[i + kHalf - 1 - k] + padded[i + kHalf + k]);
                            samplePeak[c] = std::max(samplePeak[c], std::abs(x[c][i]));
                            truePeak[c] = std::max({truePeak[c], samplePeak[c], std::abs(y)});
                        }
                    }
                    TTruePeakInterpolator interpolator;
                    ASSERT_TRUE(interpolator.SelectKernel(kernel));
                    interpolator.Reset(static_cast<int>(channels));
                    std::vector<double> frames;
                    for (std::size_t i = 0, b = 0; i < x[0].size(); i += blocks[b++ % 7]) {
                        frames.clear();
                        for (std::size_t f = i; f < std::min(i + blocks[b % 7], x[0].size()); ++f)
                            for (const std::vector<double>& channel : x)
                                frames.push_back(channel[f]);
                        interpolator.Process(frames);
                    }
                    for (std::size_t c = 0; c < channels; ++c) {
                        const int ci = static_cast<int>(c);
                        EXPECT_GT(truePeak[c], 1.501);
                        EXPECT_NEAR(interpolator.Peak(ci), truePeak[c], 1e-12)
                            << kernel << " " << burst.OuterRight << " " << offset << " " << c;
                        EXPECT_EQ(interpolator.SamplePeak(ci), samplePeak[c]) << kernel;
                    }
                }
            }
        }
    }
}
