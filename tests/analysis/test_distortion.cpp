// SPDX-License-Identifier: GPL-3.0-or-later
// Distortion analyser: harmonics, THD, THD+N and SNR against closed forms, its own floor,
// intermodulation, averaging, the free mode's window and what it says when it cannot read.
#include "analysis/DistortionAnalyser.h"
#include "analysis/DistortionConsumer.h"
#include "dsp/DSXFastFourier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iostream>
#include <numbers>
#include <random>
#include <vector>

namespace {

struct TTone {
    double Hz = 0.0;
    double Amplitude = 0.0;
    double Phase = 0.0;
};

// Samples start ... start + count - 1 of a sum of sines, in double precision.
std::vector<double> Tones(const std::vector<TTone>& tones, double rate, std::size_t start,
                          std::size_t count) {
    std::vector<double> out(count, 0.0);
    for (const TTone& t : tones)
        for (std::size_t i = 0; i < count; ++i) {
            const double cycles = t.Hz * static_cast<double>(start + i) / rate;
            out[i] += t.Amplitude *
                      std::sin(2.0 * std::numbers::pi * (cycles - std::floor(cycles)) + t.Phase);
        }
    return out;
}

double DbOfPowers(double ratio) {
    return 10.0 * std::log10(ratio);
}

// The frequency of the bin nearest to hz: a tone there is coherent with a block of n samples.
double OnBin(double hz, double rate, int n) {
    return std::nearbyint(hz * n / rate) * rate / n;
}

// An analyser set up for rate and n with these settings.
TDistortionAnalyser Analyser(double rate, int n, TDistortionSettings settings = {}) {
    TDistortionAnalyser a;
    a.Configure(rate, n);
    a.SetSettings(settings);
    return a;
}

} // namespace

// A sine with H2 ... H5 at -60, -80, -100, -120 dBc, coherent (on a bin next to 1 kHz, as the
// generator's tone is) and free (997 Hz), at the four rates.
TEST(Distortion, HarmonicsAndThdMatchTheirClosedFormsAtEveryRate) {
    constexpr int n = 65536;
    const double levels[] = {-60.0, -80.0, -100.0, -120.0};
    double sum = 0.0;
    for (const double db : levels)
        sum += std::pow(10.0, db / 10.0);
    const double thdDb = DbOfPowers(sum);
    for (const double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        for (const bool coherent : {true, false}) {
            const double f0 = coherent ? OnBin(1000.0, rate, n) : 997.0;
            std::vector<TTone> tones = {{f0, 0.5, 0.3}};
            for (int h = 2; h <= 5; ++h)
                tones.push_back({h * f0, 0.5 * std::pow(10.0, levels[h - 2] / 20.0), 0.7 * h});
            TDistortionAnalyser a = Analyser(rate, n);
            a.Process(Tones(tones, rate, 0, n), coherent ? f0 : 0.0);
            const TDistortionReadings& r = a.Readings();
            SCOPED_TRACE(::testing::Message() << rate << " Hz, coherent " << coherent);
            ASSERT_TRUE(r.Valid) << r.Problem;
            EXPECT_EQ(r.Coherent, coherent);
            EXPECT_NEAR(r.FundamentalHz, f0, 1e-4);
            EXPECT_NEAR(r.FundamentalDb, 20.0 * std::log10(0.5), 1e-4);
            ASSERT_EQ(r.Harmonics.size(), 9u); // 2 ... 10, all below 20 kHz
            for (int h = 2; h <= 5; ++h) {
                EXPECT_EQ(r.Harmonics[h - 2].Order, h);
                EXPECT_NEAR(r.Harmonics[h - 2].Hz, h * f0, 1e-3);
                EXPECT_NEAR(r.Harmonics[h - 2].Dbc, levels[h - 2], 0.01) << "H" << h;
            }
            EXPECT_NEAR(r.ThdDb, thdDb, 0.01);
            EXPECT_NEAR(r.ThdPct, 100.0 * std::sqrt(sum), 1e-5);
            EXPECT_NEAR(r.ThdnDb, thdDb, 0.01); // nothing else in the band
            EXPECT_NEAR(r.SfdrDb, 60.0, 0.01);
            EXPECT_NEAR(r.SfdrHz, 2.0 * f0, 1e-3);
            if (coherent) { // the residual: H2's amplitude on its bin, no DC, no fundamental
                const std::span<const double> residual = a.Residual();
                const auto k0 = static_cast<std::size_t>(std::lround(f0 * n / rate));
                EXPECT_TRUE(std::isnan(residual[0]) && std::isnan(residual[k0]));
                EXPECT_NEAR(residual[2 * k0], 0.5e-3, 1e-12);
            }
        }
    }
}

// Seeded white noise of power sigma^2 on a sine of amplitude 0.5, averaged over `blocks`
// blocks. Truth: every bin holds 2 sigma^2 / N of noise; THD+N counts the band's bins but the
// fundamental's, SNR also leaves out those of harmonics 2 ... 10. The standard error of the
// noise estimate is 1 / sqrt(bins * blocks) in the coherent mode (independent bins): 0.0093 dB;
// in the free mode the window makes neighbouring bins depend on each other, about 0.008 dB.
TEST(Distortion, WhiteNoiseGivesThdnAndSnrOfItsPower) {
    struct TCase {
        bool Coherent;
        int N;
        int Blocks;
        int ComponentBins; // bins of one component
    };
    constexpr double rate = 48000.0;
    constexpr double sigma = 1e-3;
    for (const TCase c : {TCase{true, 16384, 32, 1}, TCase{false, 65536, 16, 17}}) {
        const double f0 = OnBin(1000.0, rate, c.N);
        TDistortionSettings settings;
        settings.Averages = c.Blocks;
        TDistortionAnalyser a = Analyser(rate, c.N, settings);
        std::mt19937_64 random(42);
        std::normal_distribution<double> noise(0.0, sigma);
        for (int b = 0; b < c.Blocks; ++b) {
            std::vector<double> x =
                Tones({{f0, 0.5, 0.1}}, rate, static_cast<std::size_t>(b) * c.N, c.N);
            for (double& v : x)
                v += noise(random);
            a.Process(x, c.Coherent ? f0 : 0.0);
        }
        const TDistortionReadings& r = a.Readings();
        ASSERT_TRUE(r.Valid) << r.Problem;
        EXPECT_EQ(r.Averaged, c.Blocks);
        const double binHz = rate / c.N;
        const double bandBins = std::floor(20000.0 / binHz) - std::ceil(20.0 / binHz) + 1.0;
        const double perBin = 2.0 * sigma * sigma / c.N;
        const double thdnBins = bandBins - c.ComponentBins;
        const double snrBins = thdnBins - 9.0 * c.ComponentBins;
        SCOPED_TRACE(::testing::Message() << "coherent " << c.Coherent);
        EXPECT_NEAR(r.ThdnDb, DbOfPowers(thdnBins * perBin / 0.125), 0.05);
        EXPECT_NEAR(r.SnrDb, DbOfPowers(0.125 / (snrBins * perBin)), 0.05);
        std::cout << "noise: coherent " << c.Coherent << " THD+N " << r.ThdnDb << " dB (truth "
                  << DbOfPowers(thdnBins * perBin / 0.125) << "), SNR " << r.SnrDb << " dB\n";
        // SINAD and ENOB follow from the same sums.
        EXPECT_NEAR(r.SinadDb, DbOfPowers(1.0 + 0.125 / (thdnBins * perBin)), 0.05);
        EXPECT_NEAR(r.EnobBits, (r.SinadDb - 1.76) / 6.02, 1e-12);
    }
}

// The analyser's own floor, and quantisation noise as the sample format predicts it.
// float32: rounding to nearest leaves an error uniform over one unit in the last place,
// ulp(x) = 2^(floor(log2 |x|) - 23), so its power is E[ulp^2] / 12 over the sine's arcsine
// distribution. 24 bit with TPDF dither of +-1 LSB q = 2^-23: q^2 / 12 + q^2 / 6 = q^2 / 4.
// Both white: the band holds (its bins) * 2 / N of it.
TEST(Distortion, FloorAndQuantisationNoise) {
    constexpr double rate = 48000.0;
    constexpr int n = 65536;
    const double binHz = rate / n;
    const double bandBins = std::floor(20000.0 / binHz) - std::ceil(20.0 / binHz) + 1.0;
    const double inBand = bandBins * 2.0 / n;

    // Double precision: no noise but the analyser's own.
    for (const bool coherent : {true, false}) {
        const double f0 = coherent ? OnBin(1000.0, rate, n) : 997.0;
        TDistortionAnalyser a = Analyser(rate, n);
        a.Process(Tones({{f0, 1.0, 0.2}}, rate, 0, n), coherent ? f0 : 0.0);
        const double thdn = a.Readings().ThdnDb;
        std::cout << "floor: coherent " << coherent << " THD+N " << thdn << " dB\n";
        EXPECT_LE(thdn, coherent ? -180.0 : -150.0);
    }

    // float32, 997 Hz at 0.999 of full scale (free).
    {
        const double amplitude = 0.999;
        double ulpSquared = 0.0; // E[ulp(x)^2] for x = A sin(phi)
        for (int e = 0; e > -60; --e) {
            const double lo = std::ldexp(1.0, e - 1);
            const double hi = std::min(std::ldexp(1.0, e), amplitude);
            if (lo >= amplitude)
                continue;
            const double share =
                2.0 / std::numbers::pi * (std::asin(hi / amplitude) - std::asin(lo / amplitude));
            ulpSquared += share * std::ldexp(1.0, 2 * (e - 1 - 23));
        }
        const double predicted =
            DbOfPowers(ulpSquared / 12.0 * inBand / (0.5 * amplitude * amplitude));
        std::vector<double> x = Tones({{997.0, amplitude, 0.4}}, rate, 0, n);
        for (double& v : x)
            v = static_cast<float>(v);
        TDistortionAnalyser a = Analyser(rate, n);
        a.Process(x, 0.0);
        std::cout << "float32: THD+N " << a.Readings().ThdnDb << " dB, predicted " << predicted
                  << " dB\n";
        EXPECT_NEAR(a.Readings().ThdnDb, predicted, 0.5);
    }

    // 24 bit, TPDF dither, full scale less three steps, on the generator's 750 Hz (coherent).
    {
        const double q = std::ldexp(1.0, -23);
        const double amplitude = 1.0 - 3.0 * q;
        const double f0 = rate / 64.0;
        std::vector<double> x = Tones({{f0, amplitude, 0.0}}, rate, 0, n);
        std::mt19937_64 random(7);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (double& v : x)
            v = q * std::nearbyint(v / q + u(random) - u(random));
        const double predicted = DbOfPowers(q * q / 4.0 * inBand / (0.5 * amplitude * amplitude));
        TDistortionAnalyser a = Analyser(rate, n);
        a.Process(x, f0);
        std::cout << "24 bit TPDF: THD+N " << a.Readings().ThdnDb << " dB, predicted " << predicted
                  << " dB\n";
        EXPECT_NEAR(a.Readings().ThdnDb, predicted, 0.5);
    }
}

// Two tones with products of known levels: SMPTE/DIN (60 Hz and 7 kHz at 4:1, sidebands
// relative to the high tone) and twin-tone (18 and 20 kHz, products relative to the sum of the
// tones' amplitudes), on the generator's grid (coherent) and as they come (free).
TEST(Distortion, IntermodulationReadsKnownProducts) {
    constexpr double rate = 48000.0;
    constexpr int n = 65536;
    constexpr std::int64_t period = 16384; // the generator at p = 14
    const double grid = rate / period;
    struct TCase {
        TImdKind Kind;
        bool Coherent;
        std::vector<double> ProductDb; // in the order the analyser lists them
    };
    const TCase cases[] = {
        {TImdKind::Smpte, true, {-40.0, -46.0, -60.0, -66.0, -80.0, -86.0}},
        {TImdKind::Smpte, false, {-40.0, -46.0, -60.0, -66.0, -80.0, -86.0}},
        {TImdKind::Twin, true, {-50.0, -60.0, -70.0}},
        {TImdKind::Twin, false, {-50.0, -60.0, -70.0}},
    };
    for (const TCase& c : cases) {
        const TTwoTones nominal = DefaultTwoTones(c.Kind);
        double f1 = nominal.F1Hz;
        double f2 = nominal.F2Hz;
        if (c.Coherent) {
            const auto [m1, m2] = CoherentToneCycles(nominal, rate, period);
            f1 = static_cast<double>(m1) * grid;
            f2 = static_cast<double>(m2) * grid;
        }
        const auto [a1, a2] = TwoToneAmplitudes(nominal, 0.9);
        const double reference = c.Kind == TImdKind::Smpte ? a2 : a1 + a2;
        const std::vector<double> productHz =
            c.Kind == TImdKind::Smpte ? std::vector<double>{f2 - f1,     f2 + f1,     f2 - 2 * f1,
                                                            f2 + 2 * f1, f2 - 3 * f1, f2 + 3 * f1}
                                      : std::vector<double>{f2 - f1, 2 * f1 - f2, 2 * f2 - f1};
        std::vector<TTone> tones = {{f1, a1, 0.1}, {f2, a2, 0.2}};
        double sum = 0.0;
        for (std::size_t i = 0; i < productHz.size(); ++i) {
            tones.push_back({productHz[i], reference * std::pow(10.0, c.ProductDb[i] / 20.0),
                             0.3 * static_cast<double>(i)});
            sum += std::pow(10.0, c.ProductDb[i] / 10.0);
        }
        TDistortionSettings settings;
        settings.Imd = c.Kind;
        settings.Tones = nominal;
        settings.BandHighHz = 24000.0; // 2 f2 - f1 = 22 kHz is in the band
        TDistortionAnalyser a = Analyser(rate, n, settings);
        a.Process(Tones(tones, rate, 0, n), c.Coherent ? grid : 0.0);
        const TDistortionReadings& r = a.Readings();
        SCOPED_TRACE(::testing::Message()
                     << "kind " << static_cast<int>(c.Kind) << ", coherent " << c.Coherent);
        ASSERT_TRUE(r.Valid) << r.Problem;
        EXPECT_NEAR(r.Tone1Hz, f1, 1e-3);
        EXPECT_NEAR(r.Tone2Hz, f2, 1e-3);
        ASSERT_EQ(r.ImdProducts.size(), productHz.size());
        for (std::size_t i = 0; i < productHz.size(); ++i) {
            EXPECT_NEAR(r.ImdProducts[i].Hz, productHz[i], 1e-3);
            EXPECT_NEAR(r.ImdProducts[i].Db, c.ProductDb[i], 0.05) << r.ImdProducts[i].Name;
        }
        EXPECT_NEAR(r.ImdDb, DbOfPowers(sum), 0.05);
        EXPECT_NEAR(r.ImdPct, 100.0 * std::sqrt(sum), 1e-3);
    }
}

// Plain mean until K blocks are in, then each block weighs 1 / K; Restart, another generator
// frequency, another mode and a level more than 0.5 dB off the last block's start afresh.
TEST(Distortion, PowerAverageCountsAndRestarts) {
    constexpr double rate = 48000.0;
    constexpr int n = 4096;
    const double f0 = rate / 64.0;
    TDistortionSettings settings;
    settings.Averages = 2;
    TDistortionAnalyser a = Analyser(rate, n, settings);
    const auto block = [&](double amplitude) { return Tones({{f0, amplitude, 0.0}}, rate, 0, n); };
    const auto power = [&] { return std::pow(10.0, a.Readings().FundamentalDb / 10.0) * 0.5; };

    a.Process(block(1.0), f0);
    EXPECT_EQ(a.Readings().Averaged, 1);
    a.Process(block(0.95), f0); // 0.45 dB down
    EXPECT_EQ(a.Averaged(), 2);
    EXPECT_NEAR(power(), (0.5 + 0.45125) / 2.0, 1e-12);
    a.Process(block(0.9), f0); // exponential from here: weight 1/2
    EXPECT_EQ(a.Averaged(), 2);
    EXPECT_NEAR(power(), (0.5 + 0.45125) / 4.0 + 0.405 / 2.0, 1e-12);

    a.Process(block(0.6), f0); // 3.5 dB down: afresh
    EXPECT_EQ(a.Averaged(), 1);
    EXPECT_NEAR(power(), 0.18, 1e-12);
    a.Process(block(0.6), 2.0 * f0); // another tone: afresh
    EXPECT_EQ(a.Averaged(), 1);
    a.Process(block(0.6), 0.0); // free mode: afresh
    EXPECT_EQ(a.Averaged(), 1);
    EXPECT_FALSE(a.Readings().Coherent);
    a.Restart();
    EXPECT_EQ(a.Averaged(), 0);
    EXPECT_FALSE(a.Readings().Valid);
}

// A coherent block handed over as the transform that a band filter takes of it, zero-padded to
// 2N (its even bins are the block's rectangular transform), builds the same power average as
// the block's samples: the same powers (to rounding, 200 dB below full scale), counted and
// restarted alike.
TEST(Distortion, ZeroPaddedTransformAveragesAsTheSamples) {
    constexpr double rate = 48000.0;
    constexpr int n = 4096;
    constexpr double fullScale = 2147483647.0;
    const double f0 = rate / 64.0;
    TDistortionSettings settings;
    settings.Averages = 3;
    TDistortionAnalyser bySamples = Analyser(rate, n, settings);
    TDistortionAnalyser byBins = Analyser(rate, n, settings);
    TDSXFastFourier padded;
    padded.SetNumSamples(2 * n);
    std::mt19937 gen(3);
    std::normal_distribution<double> noise(0.0, 1e-5);
    for (const double amplitude : {0.5, 0.5, 0.5, 0.5, 0.3}) { // the last one restarts
        std::vector<double> x =
            Tones({{f0, amplitude, 0.2}, {2.0 * f0, 1e-4 * amplitude, 0.5}}, rate, 0, n);
        const std::span<double> input = padded.RealInput();
        std::fill(input.begin(), input.end(), 0.0);
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] += noise(gen);
            input[i] = x[i] * fullScale;
        }
        padded.RealFourierTransformLowerHalf();
        bySamples.Process(x, f0);
        byBins.ProcessRectangularBins(padded.ComplexOutput().first(n + 1), 2, 1.0 / fullScale, f0);
        EXPECT_EQ(byBins.Averaged(), bySamples.Averaged()) << amplitude;
        for (std::size_t k = 0; k <= n / 2; ++k)
            ASSERT_NEAR(byBins.Power()[k], bySamples.Power()[k],
                        1e-9 * bySamples.Power()[k] + 1e-20)
                << k;
    }
    EXPECT_EQ(byBins.Averaged(), 1);
    EXPECT_THROW(byBins.ProcessRectangularBins(padded.ComplexOutput(), 2, 1.0, 0.0),
                 std::invalid_argument); // not coherent
}

// The free mode's window: its spectrum, evaluated directly in extended precision, stays 180 dB
// below its peak everywhere beyond the component's half-width.
TEST(Distortion, FreeWindowRejectsSideLobesBy180Db) {
    constexpr int n = 512;
    const std::vector<double> w = HighRejectionWindow(n);
    const auto magnitude = [&](long double bins) {
        long double re = 0.0L;
        long double im = 0.0L;
        for (int i = 0; i < n; ++i) {
            const long double angle = 2.0L * std::numbers::pi_v<long double> * bins * i / n;
            re += w[static_cast<std::size_t>(i)] * std::cos(angle);
            im += w[static_cast<std::size_t>(i)] * std::sin(angle);
        }
        return std::sqrt(re * re + im * im);
    };
    const long double peak = magnitude(0.0L);
    long double worst = 0.0L;
    for (long double v = 7.75L; v <= n / 2; v += v < 40 ? 0.05L : 0.5L)
        worst = std::max(worst, magnitude(v) / peak);
    EXPECT_LT(20.0 * std::log10(static_cast<double>(worst)), -180.0);
}

// What cannot be read says why and reads nothing.
TEST(Distortion, UnreadableCasesSayWhy) {
    constexpr double rate = 48000.0;
    struct TCase {
        const char* Problem;
        int N;
        TDistortionSettings Settings;
        double ToneHz;
    };
    TDistortionSettings emptyBand;
    emptyBand.BandLowHz = 30000.0;
    TDistortionSettings smpte;
    smpte.Imd = TImdKind::Smpte;
    TDistortionSettings twin;
    twin.Imd = TImdKind::Twin;
    twin.Tones = DefaultTwoTones(TImdKind::Twin);
    const TCase cases[] = {
        {"The band holds no bin", 4096, emptyBand, 1000.0},
        {"The tone lies too close to 0 Hz for this sample length", 1024, {}, 300.0},
        {"The block is too short to tell the tones apart: a longer sample length is needed", 2048,
         smpte, 0.0},
        {"No tone near 18000 Hz", 16384, twin, 1000.0},
    };
    for (const TCase& c : cases) {
        TDistortionAnalyser a = Analyser(rate, c.N, c.Settings);
        EXPECT_EQ(a.Readings().Problem, "No block measured yet");
        std::vector<TTone> tones = {{c.ToneHz, 0.5, 0.0}};
        if (c.ToneHz == 0.0)
            tones = {{60.0, 0.4, 0.0}, {7000.0, 0.1, 0.0}};
        a.Process(Tones(tones, rate, 0, c.N), 0.0);
        const TDistortionReadings& r = a.Readings();
        EXPECT_FALSE(r.Valid);
        EXPECT_EQ(r.Problem, c.Problem);
    }
}

// The pipeline's face: the spectrum's channel, divided by the full scale, with the generator's
// frequency (coherent left or right from the band filter's transform); a new N configures the
// analyser anew.
TEST(Distortion, ConsumerTakesTheSpectrumsChannel) {
    constexpr double rate = 48000.0;
    constexpr int n = 4096;
    constexpr double fullScale = 2147483647.0;
    const double f0 = rate / 64.0;
    const std::vector<double> tone = Tones({{f0, 0.25 * fullScale, 0.0}}, rate, 0, n);
    std::vector<float> left(tone.begin(), tone.end());
    std::vector<float> right(left);
    TDistortionConsumer consumer;
    EXPECT_FALSE(consumer.Active());
    TProcessedBlockView view;
    view.SampleRate = rate;
    view.N = n;
    view.Left = left;
    view.Right = right;
    view.GeneratorHz = f0;
    // The band filter's transform of the left channel, zero-padded to 2N: left and right take
    // it (they are equal), the sum its own.
    TDSXFastFourier padded;
    padded.SetNumSamples(2 * n);
    std::copy(left.begin(), left.end(), padded.RealInput().begin());
    padded.RealFourierTransformLowerHalf();
    view.PaddedBins = padded.ComplexOutput().first(n + 1);
    for (const auto& [channel, db] : {std::pair{0, -12.0412}, {1, -12.0412}, {2, -6.0206}}) {
        view.Channel = channel;
        consumer.Restart();
        consumer.ProcessedBlock(view);
        EXPECT_EQ(consumer.Analyser().N(), n);
        EXPECT_TRUE(consumer.Analyser().Readings().Coherent);
        EXPECT_NEAR(consumer.Analyser().Readings().FundamentalDb, db, 1e-3) << channel;
    }
    view.Channel = 3; // left - right: nothing
    consumer.ProcessedBlock(view);
    EXPECT_FALSE(consumer.Analyser().Readings().Valid);
}
