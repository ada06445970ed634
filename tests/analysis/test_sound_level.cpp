// SPDX-License-Identifier: GPL-3.0-or-later
// Sound level meter: weighting filters against the closed forms, tone bursts, Leq, extremes.
#include "analysis/SoundLevelMeter.h"
#include "analysis/WeightingFilter.h"
#include "dsp/AudioWeighting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

// A sine of `amplitude` (full scale 1.0) at freqHz for `on` seconds from the start (starting at a
// zero crossing), then silence up to `total` seconds.
std::vector<double> SwitchedSine(double rate, double freqHz, double amplitude, double on,
                                 double total) {
    std::vector<double> x(static_cast<std::size_t>(std::llround(total * rate)), 0.0);
    const auto onSamples = static_cast<std::size_t>(std::llround(on * rate));
    for (std::size_t i = 0; i < onSamples && i < x.size(); ++i)
        x[i] = amplitude * std::sin(2.0 * kPi * freqHz * static_cast<double>(i) / rate);
    return x;
}

void Feed(TSoundLevelMeter& meter, const std::vector<double>& x, double rate) {
    constexpr std::size_t kBlock = 1031; // odd, so that blocks straddle every boundary
    for (std::size_t i = 0; i < x.size(); i += kBlock)
        meter.Process(std::span(x).subspan(i, std::min(kBlock, x.size() - i)), rate, 1.0);
}

} // namespace

// The A and C filters at the third-octave frequencies 10 Hz ... 20 kHz: within 0.1 dB of the
// closed forms up to 10 kHz, and above it within the class 1 tolerance limits; C followed by
// what A adds to C is the A filter.
TEST(WeightingFilter, ThirdOctavesAgainstClosedForms) {
    struct TLimit {
        double Hz, Plus, Minus;
    };
    const TLimit upper[] = {{12589.0, 2.0, 5.0}, {15849.0, 2.5, 16.0}, {19953.0, 3.0, 1e9}};
    for (const double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        for (const TAudioWeighting w : {TAudioWeighting::A, TAudioWeighting::C}) {
            TWeightingFilter filter, c, aOverC;
            filter.Design(w, rate);
            c.Design(TAudioWeighting::C, rate);
            aOverC.DesignAOverC(rate);
            for (int k = -20; k <= 13; ++k) {
                const double f = 1000.0 * std::pow(10.0, k / 10.0);
                const double truth = w == TAudioWeighting::A ? AWeightDB(f) : CWeightDB(f);
                const double error = filter.ResponseDb(f) - truth;
                if (w == TAudioWeighting::A) { // the meter's A: C, then what A adds to it
                    EXPECT_NEAR(c.ResponseDb(f) + aOverC.ResponseDb(f), filter.ResponseDb(f), 1e-9);
                }
                if (k <= 10) {
                    EXPECT_NEAR(error, 0.0, 0.1) << rate << " " << f;
                } else {
                    const TLimit& l = upper[k - 11];
                    EXPECT_LE(error, l.Plus) << rate << " " << f;
                    EXPECT_GE(error, -l.Minus) << rate << " " << f;
                }
            }
        }
    }
}

// A sine switched on for a known time: Leq over the run = 20 lg(amplitude) + 10 lg(on / total)
// + the weighting at 1 kHz (0 dB), within 0.01 dB; with an SPL sensitivity the readings move by
// it; a full-scale 1 kHz sine reads 0.0 dB Z, F and S alike.
TEST(SoundLevelMeter, LeqOfASineSwitchedOnForAKnownTime) {
    struct TCase {
        TAudioWeighting W;
        double Rate, AmplitudeDb, On, Total;
        std::optional<double> Spl;
    };
    const TCase cases[] = {
        {TAudioWeighting::Z, 48000.0, 0.0, 10.0, 10.0, {}},
        {TAudioWeighting::Z, 48000.0, -20.0, 2.5, 10.0, {}},
        {TAudioWeighting::A, 48000.0, -20.0, 2.5, 10.0, {}},
        {TAudioWeighting::C, 44100.0, -20.0, 2.5, 10.0, {}},
        {TAudioWeighting::A, 96000.0, -30.0, 1.0, 4.0, 94.0},
    };
    for (const TCase& c : cases) {
        TSoundLevelMeter meter;
        meter.SetWeighting(c.W);
        meter.SplSensitivity = [&c] { return c.Spl; };
        Feed(meter,
             SwitchedSine(c.Rate, 1000.0, std::pow(10.0, c.AmplitudeDb / 20.0), c.On, c.Total),
             c.Rate);
        const TSoundLevelReadings r = meter.Readings();
        const double spl = c.Spl.value_or(0.0);
        EXPECT_NEAR(r.LeqDb, c.AmplitudeDb + 10.0 * std::log10(c.On / c.Total) + spl, 0.01)
            << WeightingLetter(c.W) << " " << c.Rate;
        EXPECT_EQ(r.Spl, c.Spl.has_value());
        if (c.On == c.Total) {
            EXPECT_NEAR(r.FastDb, c.AmplitudeDb + spl, 0.01);
            EXPECT_NEAR(r.SlowDb, c.AmplitudeDb + spl, 0.01);
        }
    }
}

// 4 kHz tone bursts of Tb (F: 1000 ms ... 0.25 ms, S: 1000 ms ... 2 ms) after silence: Lmax
// re the steady sine's level within 0.1 dB of 10 lg(1 - e^{-Tb / tau}). Z-weighted: the time
// weighting alone (A weighting tilts the spectrum of the shortest bursts, which are only one or
// two periods long, by about -0.1 dB more).
TEST(SoundLevelMeter, ToneBurstResponse) {
    constexpr double kRate = 48000.0;
    struct TCase {
        bool Slow;
        double BurstMs;
    };
    std::vector<TCase> cases;
    for (const double ms :
         {1000.0, 500.0, 200.0, 100.0, 50.0, 20.0, 10.0, 5.0, 2.0, 1.0, 0.5, 0.25})
        cases.push_back({false, ms});
    for (const double ms : {1000.0, 500.0, 200.0, 100.0, 50.0, 20.0, 10.0, 5.0, 2.0})
        cases.push_back({true, ms});

    TSoundLevelMeter steady;
    steady.SetWeighting(TAudioWeighting::Z);
    Feed(steady, SwitchedSine(kRate, 4000.0, 0.5, 2.0, 2.0), kRate);
    const double steadyDb = steady.Readings().LeqDb;
    for (const TCase& c : cases) {
        TSoundLevelMeter meter;
        meter.SetWeighting(TAudioWeighting::Z);
        meter.SetSlowExtremes(c.Slow);
        Feed(meter, SwitchedSine(kRate, 4000.0, 0.5, c.BurstMs / 1000.0, c.BurstMs / 1000.0 + 0.2),
             kRate);
        const double tau = c.Slow ? 1.0 : 0.125;
        EXPECT_NEAR(meter.Readings().MaxDb - steadyDb,
                    10.0 * std::log10(1.0 - std::exp(-c.BurstMs / 1000.0 / tau)), 0.1)
            << (c.Slow ? "S " : "F ") << c.BurstMs << " ms";
    }
}

// A step from -20 to -30 dB (1 kHz, 3 s each, a smooth onset): LAFmax -20, LAFmin -30, LCpeak -20
// + 3.01 dB, and the 1 s interval Leq of the last second -30; ResetReadings forgets all of it.
TEST(SoundLevelMeter, ExtremesPeakAndIntervals) {
    constexpr double kRate = 48000.0;
    std::vector<double> x = SwitchedSine(kRate, 1000.0, 0.1, 3.0, 3.0);
    for (std::size_t i = 0; i < 2400; ++i) // a 50 ms raised-cosine onset: no step to ring
        x[i] *= 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / 2400.0);
    const std::vector<double> quiet = SwitchedSine(kRate, 1000.0, std::sqrt(0.001), 3.0, 3.0);
    x.insert(x.end(), quiet.begin(), quiet.end());
    TSoundLevelMeter meter;
    meter.SetIntervalSeconds(1.0);
    Feed(meter, x, kRate);
    TSoundLevelReadings r = meter.Readings();
    EXPECT_NEAR(r.MaxDb, -20.0, 0.05);
    EXPECT_NEAR(r.MinDb, -30.0, 0.05);
    EXPECT_NEAR(r.CPeakDb, -20.0 + 10.0 * std::log10(2.0), 0.025); // crest between samples
    EXPECT_NEAR(r.IntervalLeqDb, -30.0, 0.01);
    EXPECT_EQ(r.Intervals, 6);
    EXPECT_EQ(SoundLevelName(r.Letter, "Fmax"), "LAFmax");

    meter.ResetReadings();
    r = meter.Readings();
    EXPECT_TRUE(std::isnan(r.LeqDb));
    EXPECT_EQ(r.Intervals, 0);
}
