// SPDX-License-Identifier: GPL-3.0-or-later
// Fractional-octave bands and analyser: mid-band frequencies, resolution, noise and tones.
#include "AnalysisTestSignals.h"
#include "analysis/OctaveAnalyser.h"
#include "analysis/OctaveCsv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <span>
#include <string>
#include <vector>

using namespace analysistest;

namespace {

// The nominal third-octave mid-band frequencies from 10 Hz to 20 kHz.
const char* const kThirdOctaveNames[] = {
    "10",   "12.5",  "16",  "20",  "25",   "31.5", "40",  "50",    "63",  "80",    "100",  "125",
    "160",  "200",   "250", "315", "400",  "500",  "630", "800",   "1k",  "1.25k", "1.6k", "2k",
    "2.5k", "3.15k", "4k",  "5k",  "6.3k", "8k",   "10k", "12.5k", "16k", "20k"};

} // namespace

// Bands of 1/3 octave at 48 kHz run from 10 Hz to 20 kHz under their nominal names; 1/1 octave
// from 16 Hz to 16 kHz; neighbours share their edges; with even b, 1 kHz is an edge.
TEST(OctaveBands, SeriesNamesAndEdges) {
    const auto thirds = OctaveBands(3, 24000.0);
    ASSERT_EQ(thirds.size(), std::size(kThirdOctaveNames));
    for (std::size_t i = 0; i < thirds.size(); ++i)
        EXPECT_EQ(OctaveBandName(3, thirds[i]), kThirdOctaveNames[i]) << i;
    EXPECT_DOUBLE_EQ(thirds[20].CenterHz, 1000.0);
    EXPECT_NEAR(thirds[21].CenterHz, 1258.925, 0.001);

    const auto octaves = OctaveBands(1, 24000.0);
    ASSERT_EQ(octaves.size(), 11u);
    EXPECT_EQ(OctaveBandName(1, octaves.front()), "16");
    EXPECT_EQ(OctaveBandName(1, octaves[6]), "1k");
    EXPECT_EQ(OctaveBandName(1, octaves.back()), "16k");
    EXPECT_NEAR(octaves[6].LoHz, 707.946, 0.001);
    EXPECT_NEAR(octaves[6].HiHz, 1412.538, 0.001);

    for (const int b : OctaveFractions) {
        const auto bands = OctaveBands(b, 96000.0);
        for (std::size_t i = 1; i < bands.size(); ++i)
            EXPECT_NEAR(bands[i].LoHz / bands[i - 1].HiHz, 1.0, 1e-12) << b << " " << i;
        if (b % 2 == 0) {
            const auto at = std::find_if(bands.begin(), bands.end(),
                                         [](const TOctaveBand& x) { return x.Index == 0; });
            ASSERT_NE(at, bands.end());
            EXPECT_NEAR(at->LoHz, 1000.0, 1e-9) << b;
        }
    }
}

// A band needs two bins: N >= 2 fs / (HiHz - LoHz), the next power of two.
TEST(OctaveBands, LengthThatResolvesABand) {
    struct Case {
        int b, x;
        double rate;
        int n;
    };
    // 1/3 at 100 Hz: 23.16 Hz wide, 2 * 48000 / 23.16 = 4145; 1/24 at 1014 Hz: 29.19 Hz wide,
    // 2 * 48000 / 29.19 = 3289; 1/1 at 16 Hz (11.2 Hz wide) at 192 kHz: 34300.
    for (const Case c : {Case{3, -10, 48000.0, 8192}, Case{24, 0, 48000.0, 4096},
                         Case{1, -6, 192000.0, 65536}, Case{12, 10, 44100.0, 1024}}) {
        const TOctaveBand band = OctaveBandOf(c.b, c.x);
        EXPECT_EQ(BandNeedsLength(band, c.rate), c.n) << c.b << " " << c.x;
        EXPECT_TRUE(BandResolved(band, c.rate, c.n));
        EXPECT_FALSE(BandResolved(band, c.rate, c.n / 2));
    }
}

// A tone at a band's mid-band frequency reads its level in that band within 0.01 dB.
TEST(OctaveAnalyser, ToneAtBandCentreReadsItsLevel) {
    struct Case {
        int b, x;
        double rate;
        int n, window;
        double amplitude;
    };
    for (const Case c :
         {Case{1, 0, 48000.0, 4096, 2, 0.5}, Case{3, -10, 48000.0, 65536, 2, 1.0},
          Case{6, 3, 192000.0, 16384, 2, 0.1}, Case{12, -20, 48000.0, 65536, 2, 0.01},
          Case{24, 5, 48000.0, 32768, 3, 0.3}}) {
        SCOPED_TRACE(::testing::Message() << "1/" << c.b << " band " << c.x);
        const TOctaveBand band = OctaveBandOf(c.b, c.x);
        TBlockTransform transform(c.n, c.window);
        TOctaveAnalyser rta;
        rta.SetFraction(c.b);
        const auto block = Sine(static_cast<std::size_t>(c.n), band.CenterHz, c.rate, c.amplitude);
        rta.Process(transform.Bins(block), c.rate, c.n, kFullScale, c.window);
        const auto readings = rta.Readings();
        const auto at = std::find_if(readings.Bands.begin(), readings.Bands.end(),
                                     [&](const auto& r) { return r.Band.Index == c.x; });
        ASSERT_NE(at, readings.Bands.end());
        EXPECT_TRUE(at->Resolved);
        EXPECT_NEAR(at->LastDb, 20.0 * std::log10(c.amplitude), 0.01);
        EXPECT_NEAR(at->LeqDb, at->LastDb, 1e-12);
    }
}

// A flat spectrum (every bin of the same magnitude, as white noise has on average) gives each
// band its share of the bins by width: a bin at an edge counts by the part inside the band, so
// P = |X|^2 * 4 / (N S2 FS^2) * (hi - lo) / (fs / N), S2 = sum of w^2; to 1e-9 for every band,
// also those of two or three bins.
TEST(OctaveAnalyser, EdgeBinsCountByTheirShare) {
    const double rate = 44100.0;
    const int n = 2048;
    TBlockTransform transform(n, 3);
    double s2 = 0.0;
    for (const double w : transform.Window)
        s2 += w * w;
    const std::vector<TComplex> bins(n / 2, TComplex{3e9, -4e9}); // |X|^2 = 2.5e19
    for (const int b : OctaveFractions) {
        TOctaveAnalyser rta;
        rta.SetFraction(b);
        rta.Process(bins, rate, n, kFullScale, 3);
        for (const auto& band : rta.Readings().Bands) {
            if (band.Band.LoHz < rate / n) // the lowest bands reach bin 0's lower half
                continue;
            const double p = 2.5e19 * 4.0 / (n * s2 * kFullScale * kFullScale) *
                             (band.Band.HiHz - band.Band.LoHz) / (rate / n);
            EXPECT_NEAR(band.LastDb, 10.0 * std::log10(p), 1e-8) << b << " " << band.Band.CenterHz;
        }
    }
}

namespace {

// Per band of each fraction: the sum and the sum of squares of the block powers, for the mean
// and its standard error.
struct TBandStatistics {
    std::vector<double> Sum, SumSquares;
    std::int64_t Blocks = 0;
    void Add(std::span<const double> powers) {
        Sum.resize(powers.size());
        SumSquares.resize(powers.size());
        for (std::size_t i = 0; i < powers.size(); ++i) {
            Sum[i] += powers[i];
            SumSquares[i] += powers[i] * powers[i];
        }
        ++Blocks;
    }
    // Standard error of the band's mean level in dB: 10 lg(e) * s / (mean * sqrt(blocks)).
    double StandardErrorDb(std::size_t i) const {
        const double mean = Sum[i] / Blocks;
        const double variance = SumSquares[i] / Blocks - mean * mean;
        return 10.0 / std::log(10.0) * std::sqrt(std::max(variance, 0.0) / Blocks) / mean;
    }
};

constexpr double kNoiseRate = 48000.0;
constexpr int kNoiseN = 8192;
constexpr int kNoiseBlocks = 512; // 87 s of signal
// Bands whose mean is known this well take part (a difference of two then has a standard error
// of at most 0.028 dB: 0.1 dB is 3.5 of them).
constexpr double kUsableErrorDb = 0.02;

// White noise of variance 1 that is quick to make: uniform values (a splitmix64 sequence) of
// variance 1, whose transform bins are Gaussian by the central limit theorem; only the noise's
// power enters the band levels.
class TQuickNoise {
public:
    explicit TQuickNoise(std::uint64_t seed) : state_(seed) {}
    double operator()() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return (static_cast<double>(z >> 11) * 0x1.0p-53 - 0.5) * std::sqrt(12.0);
    }

private:
    std::uint64_t state_;
};

// Feeds kNoiseBlocks blocks of bins made by `block` (N/2 of them, as the transform of a block
// through the rectangular window) to an analyser of each fraction; returns their readings and
// statistics.
template <class MakeBins>
void RunNoise(MakeBins block, std::vector<TOctaveReadings>& readings,
              std::vector<TBandStatistics>& statistics) {
    std::vector<std::unique_ptr<TOctaveAnalyser>> analysers;
    for (const int b : OctaveFractions) {
        analysers.push_back(std::make_unique<TOctaveAnalyser>());
        analysers.back()->SetFraction(b);
    }
    statistics.assign(analysers.size(), {});
    std::vector<TComplex> bins(kNoiseN / 2);
    for (int k = 0; k < kNoiseBlocks; ++k) {
        block(bins);
        for (std::size_t a = 0; a < analysers.size(); ++a) {
            analysers[a]->Process(bins, kNoiseRate, kNoiseN, kFullScale, 0);
            statistics[a].Add(analysers[a]->LastPowers());
        }
    }
    readings.clear();
    for (const auto& a : analysers)
        readings.push_back(a->Readings());
}

} // namespace

// White noise of RMS sigma has the band power 2 sigma^2 (hi - lo) / (fs / 2) re a full-scale
// sine (whose mean square is 1/2). Its blocks are made where the analyser takes them: the
// transform of N samples of white noise through the rectangular window has independent bins of
// equal variance N sigma^2 FS^2, so each bin gets a random complex value of that variance. The
// levels rise 10 lg(2^(1/b)) dB from band to band (in the base-10 series exactly 3/b dB,
// 0.01/b dB less). Checked within 0.1 dB wherever the Leq's standard error is at most 0.02 dB
// (at 87 s of signal: 1/1 octave from 500 Hz, 1/3 from 1 kHz, 1/24 from 7.6 kHz up; the least
// errors are 0.0028 dB at 1/1 and 0.011 dB at 1/24 octave).
TEST(OctaveAnalyser, WhiteNoiseRisesByTheBandRatio) {
    const double sigma = 0.1;
    TQuickNoise noise(35);
    std::vector<TOctaveReadings> readings;
    std::vector<TBandStatistics> statistics;
    const double deviation = sigma * kFullScale * std::sqrt(kNoiseN / 2.0); // of Re and Im
    RunNoise(
        [&](std::vector<TComplex>& bins) {
            for (TComplex& x : bins)
                x = {deviation * noise(), deviation * noise()};
        },
        readings, statistics);

    for (std::size_t a = 0; a < readings.size(); ++a) {
        const int b = readings[a].Fraction;
        SCOPED_TRACE(::testing::Message() << "1/" << b << " octave");
        const auto& bands = readings[a].Bands;
        int pairs = 0;
        for (std::size_t i = 0; i < bands.size(); ++i) {
            if (statistics[a].StandardErrorDb(i) > kUsableErrorDb)
                continue;
            const double expected =
                10.0 * std::log10(4.0 * sigma * sigma * (bands[i].Band.HiHz - bands[i].Band.LoHz) /
                                  kNoiseRate);
            EXPECT_NEAR(bands[i].LeqDb, expected, 0.1) << bands[i].Band.CenterHz;
            if (i > 0 && statistics[a].StandardErrorDb(i - 1) <= kUsableErrorDb) {
                EXPECT_NEAR(bands[i].LeqDb - bands[i - 1].LeqDb,
                            10.0 * std::log10(std::pow(2.0, 1.0 / b)), 0.1)
                    << bands[i].Band.CenterHz;
                ++pairs;
            }
        }
        EXPECT_GE(pairs, 2);
    }
}

// Pink noise, made by shaping white noise in the frequency domain (each bin's random complex
// value divided by sqrt(f), so that every band of equal relative width holds the same power),
// is flat within 0.2 dB wherever the standard error is at most 0.02 dB.
TEST(OctaveAnalyser, PinkNoiseIsFlat) {
    TQuickNoise noise(61);
    std::vector<TOctaveReadings> readings;
    std::vector<TBandStatistics> statistics;
    RunNoise(
        [&](std::vector<TComplex>& bins) {
            bins[0] = {};
            for (std::size_t k = 1; k < bins.size(); ++k) {
                const double shape = 1e11 / std::sqrt(static_cast<double>(k));
                bins[k] = {noise() * shape, noise() * shape};
            }
        },
        readings, statistics);

    for (std::size_t a = 0; a < readings.size(); ++a) {
        SCOPED_TRACE(::testing::Message() << "1/" << readings[a].Fraction << " octave");
        double lowest = 1e9, highest = -1e9;
        int used = 0;
        for (std::size_t i = 0; i < readings[a].Bands.size(); ++i) {
            if (statistics[a].StandardErrorDb(i) > kUsableErrorDb)
                continue;
            lowest = std::min(lowest, readings[a].Bands[i].LeqDb);
            highest = std::max(highest, readings[a].Bands[i].LeqDb);
            ++used;
        }
        EXPECT_GE(used, 3);
        EXPECT_LE(highest - lowest, 0.2);
    }
}

// Bands narrower than two bins are marked, the bars follow the time constant, peak hold keeps
// the highest bar, a weighting scales each bin's amplitude, and the CSV lists the shown levels.
TEST(OctaveAnalyser, ResolutionBarsPeakWeightingAndCsv) {
    const double rate = 48000.0;
    const int n = 1024;
    TBlockTransform transform(n, 2);
    TOctaveAnalyser rta;
    rta.SetFraction(3);
    rta.SetTimeConstant(0.0);
    const TOctaveBand band = OctaveBandOf(3, 10); // 10 kHz
    const auto loud = Sine(n, band.CenterHz, rate, 0.5);
    const auto quiet = Sine(n, band.CenterHz, rate, 0.05);
    rta.Process(transform.Bins(loud), rate, n, kFullScale, 2);
    rta.Process(transform.Bins(quiet), rate, n, kFullScale, 2);
    auto r = rta.Readings();
    const auto find = [&](int x) {
        return *std::find_if(r.Bands.begin(), r.Bands.end(),
                             [x](const auto& b) { return b.Band.Index == x; });
    };
    EXPECT_FALSE(find(-10).Resolved); // 100 Hz needs N = 8192 at 48 kHz
    EXPECT_TRUE(find(10).Resolved);
    EXPECT_NEAR(find(10).LevelDb, 20.0 * std::log10(0.05), 0.01);
    EXPECT_NEAR(find(10).PeakDb, 20.0 * std::log10(0.5), 0.01);
    EXPECT_NEAR(find(10).LeqDb, 10.0 * std::log10((0.25 + 0.0025) / 2.0), 0.01);

    rta.SetWeighting([](double) { return 0.5; }); // restarts the readings
    rta.Process(transform.Bins(loud), rate, n, kFullScale, 2);
    r = rta.Readings();
    EXPECT_NEAR(find(10).LastDb, 20.0 * std::log10(0.25), 0.01);

    TOctaveReadings few;
    few.Bands = {find(-10), find(10)};
    few.Bands[1].LevelDb = -12.0;
    few.Bands[1].PeakDb = -6.0;
    few.Bands[1].LeqDb = -9.5;
    EXPECT_EQ(ComposeOctaveCsv(few, 1.0),
              "center_hz,lo_hz,hi_hz,level_db,peak_db,leq_db,resolved\r\n"
              "100.000,89.125,112.202,,,,0\r\n"
              "10000.000,8912.509,11220.185,-11.00,-5.00,-8.50,1\r\n");
}
