// SPDX-License-Identifier: GPL-3.0-or-later
// Response analyser: known filters and delays against their analytic responses, coherence
// against the signal-to-noise ratio, and the consumer's alignment of the two channels.
#include "analysis/ResponseConsumer.h"
#include "dsp/DSXFastFourier.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;
constexpr double kFullScale = 2147483647.0;

// A biquad b0 + b1 z^-1 + b2 z^-2 over 1 + a1 z^-1 + a2 z^-2, coefficients from the audio-EQ
// cookbook formulas (normalised by a0).
struct TBiquad {
    double B0, B1, B2, A1, A2;
    Complex At(double omega) const {
        const Complex z1 = std::polar(1.0, -omega), z2 = z1 * z1;
        return (B0 + B1 * z1 + B2 * z2) / (1.0 + A1 * z1 + A2 * z2);
    }
    std::vector<double> Filter(const std::vector<double>& x) const {
        std::vector<double> y(x.size());
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            y[i] = B0 * x[i] + B1 * x1 + B2 * x2 - A1 * y1 - A2 * y2;
            x2 = x1, x1 = x[i], y2 = y1, y1 = y[i];
        }
        return y;
    }
};

TBiquad Peaking(double f0, double q, double gainDb, double fs) {
    const double a = std::pow(10.0, gainDb / 40.0), w = 2 * kPi * f0 / fs;
    const double alpha = std::sin(w) / (2 * q), c = std::cos(w), a0 = 1 + alpha / a;
    return {(1 + alpha * a) / a0, -2 * c / a0, (1 - alpha * a) / a0, -2 * c / a0,
            (1 - alpha / a) / a0};
}

TBiquad HighPass(double f0, double q, double fs) {
    const double w = 2 * kPi * f0 / fs, alpha = std::sin(w) / (2 * q), c = std::cos(w);
    const double a0 = 1 + alpha;
    return {(1 + c) / 2 / a0, -(1 + c) / a0, (1 + c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0};
}

std::vector<double> WhiteNoise(std::size_t count, double rms, unsigned seed) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal(0.0, rms);
    std::vector<double> out(count);
    for (double& v : out)
        v = normal(random);
    return out;
}

// x delayed by `delay` samples, band-limited (a circular delay of the whole record, which must be
// a power of two long): the transform times exp(-i omega delay), half the rate left out.
std::vector<double> FractionalDelay(const std::vector<double>& x, double delay) {
    const auto length = static_cast<int>(x.size());
    TDSXFastFourier fft;
    fft.SetNumSamples(length);
    std::copy(x.begin(), x.end(), fft.RealInput().begin());
    fft.RealFourierTransform();
    auto in = fft.ComplexInput();
    for (int k = 0; k <= length / 2; ++k) {
        // Our transform has the opposite sign: a delay multiplies it by exp(+i omega delay).
        const TComplex v = fft.ComplexOutput()[static_cast<std::size_t>(k)];
        const Complex shifted =
            k == length / 2 ? 0.0
                            : Complex(v.Re, v.Im) * std::polar(1.0, 2 * kPi * k * delay / length);
        in[static_cast<std::size_t>(k)] = {shifted.real(), shifted.imag()};
    }
    std::vector<double> y(x.size());
    fft.InverseRealFourierTransform(y);
    return y;
}

// Feeds left and right (1.0 = full scale) to the consumer in processed blocks of n samples, each
// its own engine block; `gaps` (when given) maps a block's number to the engine's gap count then.
void Feed(TResponseConsumer& consumer, const std::vector<double>& left,
          const std::vector<double>& right, int n, double rate,
          const std::function<std::uint64_t(std::size_t)>& gaps = {}) {
    std::vector<float> l(static_cast<std::size_t>(n)), r(static_cast<std::size_t>(n));
    for (std::size_t start = 0; start + static_cast<std::size_t>(n) <= left.size();
         start += static_cast<std::size_t>(n)) {
        for (std::size_t i = 0; i < l.size(); ++i) {
            l[i] = static_cast<float>(left[start + i] * kFullScale);
            r[i] = static_cast<float>(right[start + i] * kFullScale);
        }
        if (gaps) {
            TEngineBlockView engine;
            engine.SampleRate = rate;
            engine.Left = l;
            engine.Right = r;
            engine.Gaps = gaps(start / static_cast<std::size_t>(n));
            consumer.EngineBlock(engine);
        }
        TProcessedBlockView view;
        view.SampleRate = rate;
        view.FullScale = kFullScale;
        view.N = n;
        view.Left = l;
        view.Right = r;
        consumer.ProcessedBlock(view);
    }
}

double WrappedDeg(double deg) {
    return deg - 360.0 * std::nearbyint(deg / 360.0);
}

} // namespace

// Left white noise, right the same noise through a known system: the peaking filter (1 kHz, Q 1,
// +6 dB) and the second-order high-pass (100 Hz, Q 1/sqrt 2) delayed by 37 samples, or a
// band-limited delay of 37.3 samples. The response (the delay left in the phase) follows the
// analytic one from 20 Hz to 20 kHz wherever the coherence exceeds 0.99, and the delay reads as
// it was made. The filtered case needs long blocks: below 50 Hz the high-pass's slope meets the
// window's (Hann) and leaves a random error of about 0.1 dB at N = 65536 and 16 averages.
TEST(Response, KnownFiltersAndDelaysReadTheirAnalyticResponse) {
    struct TCase {
        bool Filtered;
        double Delay;
        int N;
        int Averages;
    };
    const TCase cases[] = {{true, 37.0, 262144, 16}, {false, 37.3, 16384, 16}};
    constexpr double rate = 48000.0;
    const TBiquad peak = Peaking(1000.0, 1.0, 6.0, rate);
    const TBiquad highPass = HighPass(100.0, 1.0 / std::sqrt(2.0), rate);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Delay);
        const std::size_t length = std::bit_ceil(
            static_cast<std::size_t>(rate * 0.5 + (c.Averages + 3) * static_cast<double>(c.N)));
        const std::vector<double> x = WhiteNoise(length, 0.1, 7);
        std::vector<double> y;
        if (c.Filtered) {
            const std::vector<double> filtered = highPass.Filter(peak.Filter(x));
            const auto d = static_cast<std::size_t>(c.Delay);
            y.assign(length, 0.0);
            std::copy(filtered.begin(), filtered.end() - static_cast<std::ptrdiff_t>(d),
                      y.begin() + static_cast<std::ptrdiff_t>(d));
        } else {
            y = FractionalDelay(x, c.Delay);
        }
        TResponseConsumer consumer;
        TResponseSettings settings;
        settings.Averages = c.Averages;
        settings.RemoveDelay = false;
        consumer.Analyser().SetSettings(settings);
        Feed(consumer, x, y, c.N, rate);
        TResponseAnalyser& analyser = consumer.Analyser();
        const TResponseReadings& r = analyser.Readings();
        ASSERT_TRUE(r.Valid) << r.Problem;
        EXPECT_EQ(r.Averaged, c.Averages);
        EXPECT_EQ(consumer.Alignment(), static_cast<int>(c.Delay));
        EXPECT_NEAR(r.DelaySamples, c.Delay, 0.05);
        EXPECT_NEAR(r.DelayMs, c.Delay / 48.0, 0.05 / 48.0);
        int compared = 0;
        for (std::size_t i = 0; i < r.FrequencyHz.size(); ++i) {
            const double f = r.FrequencyHz[i];
            if (f < 20.0 || f > 20000.0 || r.Coherence[i] <= 0.99)
                continue;
            const double omega = 2 * kPi * f / rate;
            Complex h = std::polar(1.0, -omega * c.Delay);
            if (c.Filtered)
                h *= peak.At(omega) * highPass.At(omega);
            ASSERT_NEAR(r.MagnitudeDb[i], 20 * std::log10(std::abs(h)), 0.05) << f << " Hz";
            ASSERT_NEAR(WrappedDeg(r.PhaseDeg[i] - std::arg(h) * 180 / kPi), 0.0, 0.5)
                << f << " Hz";
            ++compared;
        }
        EXPECT_GT(compared, static_cast<int>(0.95 * 19980.0 / (rate / c.N)));
    }
}

// y = 0.5 x + noise at a known ratio of powers SNR: the coherence reads SNR / (1 + SNR).
TEST(Response, CoherenceFollowsTheSignalToNoiseRatio) {
    constexpr double rate = 48000.0;
    constexpr int n = 4096;
    constexpr int averages = 128;
    for (const double snr : {0.25, 1.0, 9.0}) {
        SCOPED_TRACE(snr);
        const std::size_t length = static_cast<std::size_t>((averages + 10) * n);
        const std::vector<double> x = WhiteNoise(length, 0.1, 3);
        const std::vector<double> noise = WhiteNoise(length, 0.05 / std::sqrt(snr), 5);
        std::vector<double> y(length);
        for (std::size_t i = 0; i < length; ++i)
            y[i] = 0.5 * x[i] + noise[i];
        TResponseConsumer consumer;
        TResponseSettings settings;
        settings.Averages = averages;
        consumer.Analyser().SetSettings(settings);
        Feed(consumer, x, y, n, rate);
        const TResponseReadings& r = consumer.Analyser().Readings();
        ASSERT_TRUE(r.Valid) << r.Problem;
        EXPECT_NEAR(r.CoherenceMean, snr / (1.0 + snr), 0.01);
        EXPECT_EQ(consumer.Alignment(), 0);
    }
}

// Smoothing and delay removal: a pure delay of 12 samples shows a flat line at 0 dB and 0
// degrees at every smoothing, and its group delay is 0 (removed) or 12 samples (kept).
TEST(Response, DelayRemovalAndSmoothingKeepAPureDelayFlat) {
    constexpr double rate = 48000.0;
    constexpr int n = 4096;
    const std::vector<double> x = WhiteNoise(40 * n, 0.1, 11);
    std::vector<double> y(x.size(), 0.0);
    std::copy(x.begin(), x.end() - 12, y.begin() + 12);
    for (const int smoothing : {0, 48, 3, 1}) {
        for (const bool removed : {true, false}) {
            SCOPED_TRACE(smoothing * 10 + removed);
            TResponseConsumer consumer;
            TResponseSettings settings;
            settings.Smoothing = smoothing;
            settings.RemoveDelay = removed;
            consumer.Analyser().SetSettings(settings);
            Feed(consumer, x, y, n, rate);
            const TResponseReadings& r = consumer.Analyser().Readings();
            ASSERT_TRUE(r.Valid) << r.Problem;
            EXPECT_NEAR(r.DelaySamples, 12.0, 1e-6);
            for (std::size_t i = 1; i + 1 < r.FrequencyHz.size(); i += 97) {
                ASSERT_NEAR(r.MagnitudeDb[i], 0.0, 1e-6);
                if (removed || smoothing == 0) {
                    EXPECT_NEAR(r.GroupDelayMs[i], removed ? 0.0 : 12.0 / 48.0, 1e-6);
                }
                if (removed) {
                    EXPECT_NEAR(r.PhaseDeg[i], 0.0, 1e-4);
                }
            }
        }
    }
}

// Periodic noise (period N) that reaches the response more than a period late: only the run's
// start tells that delay from the one a period shorter. Restarting the average within the run
// keeps it, and the first average after the restart is as exact as the one before.
TEST(Response, RestartingTheAverageWithinARunKeepsTheDelayOfAPeriodicStimulus) {
    constexpr double rate = 48000.0;
    constexpr int n = 1024;
    constexpr int delay = n + 300;
    const std::vector<double> period = WhiteNoise(n, 0.1, 5);
    std::vector<double> x(48 * n, 0.0), y(x.size(), 0.0);
    for (std::size_t i = 2 * n; i < x.size(); ++i)
        x[i] = period[i % n];
    std::copy(x.begin(), x.end() - delay, y.begin() + delay);
    TResponseConsumer consumer;
    consumer.SetMaxDelay(0.05); // 2400 samples
    TResponseSettings settings;
    settings.Averages = 4;
    settings.Rectangular = true;
    consumer.Analyser().SetSettings(settings);
    const auto half = static_cast<std::ptrdiff_t>(x.size() / 2);
    Feed(consumer, {x.begin(), x.begin() + half}, {y.begin(), y.begin() + half}, n, rate);
    ASSERT_TRUE(consumer.Analyser().Readings().Valid) << consumer.Analyser().Readings().Problem;
    EXPECT_NEAR(consumer.Analyser().Readings().DelaySamples, delay, 1e-6);
    consumer.RestartAverage();
    // The second half continues the stream: the rings hold what came before.
    Feed(consumer, {x.begin() + half, x.end()}, {y.begin() + half, y.end()}, n, rate);
    const TResponseReadings& r = consumer.Analyser().Readings();
    ASSERT_TRUE(r.Valid) << r.Problem;
    EXPECT_NEAR(r.DelaySamples, delay, 1e-6);
    for (std::size_t i = 1; i + 1 < r.FrequencyHz.size(); i += 31)
        ASSERT_NEAR(r.MagnitudeDb[i], 0.0, 1e-6) << r.FrequencyHz[i] << " Hz";
}

// The engine counts a gap a few blocks before its jump reaches the blocks (what it had queued):
// frames lost on both inputs, or silence inserted in the response alone (its delay grows). Every
// average after the gap is as exact as one of a stream without it, and the delay is the new one.
TEST(Response, AGapTheEngineReportsKeepsItsJumpOutOfTheAverage) {
    constexpr double rate = 48000.0;
    constexpr int n = 1024;
    constexpr int delay = 37;
    constexpr std::size_t jump = 40 * n + 123; // where the stream jumps
    constexpr std::size_t noticed = 37;        // the block whose engine block counts the gap
    const double gain = 0.5;
    struct TCase {
        const char* Name;
        std::size_t Lost;    // frames lost on both channels at the jump
        std::size_t Silence; // frames of silence inserted into the response there
    };
    for (const TCase& c : {TCase{"frames lost", 500, 0}, TCase{"silence played", 0, 700}}) {
        SCOPED_TRACE(c.Name);
        const std::vector<double> source = WhiteNoise(160 * n, 0.1, 11);
        std::vector<double> x(source.begin(), source.begin() + 140 * n), y(x.size(), 0.0);
        for (std::size_t i = delay; i < y.size(); ++i)
            y[i] = gain * source[i - delay];
        // The captured stream: the first part, then the rest from `lost` frames later.
        for (std::size_t i = jump; i < x.size(); ++i) {
            x[i] = source[i + c.Lost];
            const std::size_t t = i + c.Lost; // the source's time of this frame
            y[i] = i < jump + c.Silence || t < delay + c.Silence
                       ? 0.0
                       : gain * source[t - delay - c.Silence];
        }
        TResponseConsumer consumer;
        consumer.SetMaxDelay(0.05);
        TResponseSettings settings;
        settings.Averages = 4;
        settings.Rectangular = true;
        consumer.Analyser().SetSettings(settings);
        int completed = 0;
        Feed(consumer, x, y, n, rate, [&](std::size_t block) {
            if (block > noticed && consumer.Analyser().Readings().Valid) {
                const TResponseReadings& r = consumer.Analyser().Readings();
                ++completed;
                for (std::size_t k = 1; k + 1 < r.FrequencyHz.size(); k += 37)
                    EXPECT_NEAR(r.MagnitudeDb[k], 20 * std::log10(gain), 1e-9)
                        << "block " << block << ", " << r.FrequencyHz[k] << " Hz";
            }
            return std::uint64_t{block < noticed ? 0u : 1u};
        });
        const TResponseReadings& r = consumer.Analyser().Readings();
        ASSERT_TRUE(r.Valid) << r.Problem;
        EXPECT_GT(completed, 0);
        EXPECT_NEAR(r.DelaySamples, delay + static_cast<double>(c.Silence), 1e-6);
    }
}
