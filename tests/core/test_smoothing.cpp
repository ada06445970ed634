// SPDX-License-Identifier: GPL-3.0-or-later
// Time constants, custom per-frequency constants, peak hold, and display reduction.
#include "CoreTestRig.h"

#include "core/NumberText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(TimeConstants, MeterAlphaFromETime) {
    MeasurementState state;
    state.BlockLength = 1024;
    ETimeChange(state, "0.5", 48000); // tau = 0.5 s * 48000 / 1024 = 23.4375 blocks
    EXPECT_DOUBLE_EQ(state.MeterAlpha, 1.0 - std::exp(-1.0 / 23.4375));
    EXPECT_NEAR(state.MeterAlpha, 0.0418, 1e-4);
    ETimeChange(state, "0", 48000);
    EXPECT_EQ(state.MeterAlpha, 1.0);
    EXPECT_THROW(ETimeChange(state, "fast", 48000), EConvertError);
    EXPECT_EQ(state.MeterAlpha, 1.0);
}

TEST(TimeConstants, CustomConstantsAtShortBlocks) {
    MeasurementState state;
    state.BlockLength = 64;
    state.SampleRate = 48000.0;
    state.MeterAlpha = 0.25;
    state.Controls.CTC = 1;
    state.Controls.ET = {"10", "9", "8", "5", "2", "1"};
    BuildSmoothAlpha(state, 48000);
    ASSERT_EQ(state.SmoothAlpha.size(), 32u);
    auto alpha = [](double t) { return TimeToAlpha(t, 48000, 64); };
    // 10 Hz and 100 Hz both round to bin 0; 1 kHz to bin 1; 10 kHz to bin 13; 100 kHz beyond.
    EXPECT_DOUBLE_EQ(state.SmoothAlpha[0], alpha(10));
    EXPECT_DOUBLE_EQ(state.SmoothAlpha[1], alpha(8));
    EXPECT_DOUBLE_EQ(state.SmoothAlpha[2], alpha(5));
    EXPECT_DOUBLE_EQ(state.SmoothAlpha[13], alpha(2));
    EXPECT_DOUBLE_EQ(state.SmoothAlpha[14], alpha(2));
    EXPECT_DOUBLE_EQ(state.SmoothAlpha[31], alpha(1));
    EXPECT_DOUBLE_EQ(state.SmoothAlpha[20], alpha(2.0 + 6.0 / 17.0 * (1.0 - 2.0)));

    state.Controls.ET[4] = "0.5"; // not a whole number: the meter constant everywhere
    BuildSmoothAlpha(state, 48000);
    for (double a : state.SmoothAlpha) {
        EXPECT_EQ(a, 0.25);
    }
}

TEST(TimeConstants, PeakHoldHoldsUntilReset) {
    CoreTestRig rig(1024, 48000.0, 0, 24000);
    rig.state.Controls.CTC = 2; // "PEAK HOLD"
    const std::size_t bin = 64; // 3000 Hz
    rig.Feed(SineSamples(2048, 3000.0, 48000.0, kFullScaleSine / 2));
    const double loud = rig.state.Spectrum[bin];
    EXPECT_NEAR(loud, 0.5, 0.01);
    rig.Feed(SineSamples(2048, 3000.0, 48000.0, kFullScaleSine / 20));
    EXPECT_EQ(rig.state.Spectrum[bin], loud);
    rig.state.ResetSmoothing = true;
    rig.Feed(SineSamples(2048, 3000.0, 48000.0, kFullScaleSine / 20));
    EXPECT_NEAR(rig.state.Spectrum[bin], 0.05, 0.001);
}

// The pipeline keeps the per-bin factors between blocks: after a change of any input of
// BuildSmoothAlpha (and after another writer left a table of the wrong length) the next block
// must use the factors that a fresh build gives.
TEST(TimeConstants, PipelineFactorsFollowEveryInputOfTheBuild) {
    CoreTestRig rig(256, 48000.0, 100, 15000);
    MeasurementState& state = rig.state;
    state.Controls.ET = {"1", "2", "3", "4", "5", "6"};
    const auto feed = [&] {
        rig.Feed(SineSamples(rig.EngineBlockLength(), 1000.0, state.SampleRate,
                             kFullScaleSine / 4));
    };
    std::vector<double> previous;
    const auto expectFresh = [&](const char* change) {
        SCOPED_TRACE(change);
        feed();
        MeasurementState fresh = state;
        BuildSmoothAlpha(fresh, rig.dsp->SamplesPerSecond());
        ASSERT_EQ(state.SmoothAlpha.size(), static_cast<std::size_t>(state.BlockLength / 2));
        EXPECT_EQ(state.SmoothAlpha, fresh.SmoothAlpha);
        EXPECT_NE(state.SmoothAlpha, previous); // the change mattered
        previous = state.SmoothAlpha;
    };
    expectFresh("first block");
    ETimeChange(state, "0.2", rig.dsp->SamplesPerSecond());
    expectFresh("meter time constant");
    state.Controls.CTC = 1;
    expectFresh("custom constants");
    for (std::size_t k = 0; k < state.Controls.ET.size(); ++k) {
        state.Controls.ET[k] = std::to_string(10 + k);
        expectFresh(("constant " + std::to_string(k + 1)).c_str());
    }
    state.Controls.ET[3] = "4.5"; // not whole: the meter constant everywhere
    expectFresh("constant that is not whole");
    state.Controls.ET[3] = "4";
    expectFresh("whole again");
    state.SampleRate = 44100.0;
    expectFresh("rate");
    rig.dsp->SetSamplesPerSecond(96000);
    rig.dsp->CreateFilter();
    expectFresh("filter rate");
    state.BlockLength = 512;
    state.SubBlocks = 4;
    rig.dsp->SetKernelLength(511);
    rig.dsp->SetFFT_Order(10);
    rig.dsp->CreateFilter();
    expectFresh("sample length");
    state.SmoothAlpha.assign(7, 0.5);
    previous = state.SmoothAlpha;
    expectFresh("table of another length");
    state.Controls.CTC = 0;
    expectFresh("meter constant again");
}

// A new sample length starts the spectrum afresh: in peak hold a 12 kHz tone held at N = 1024
// (bin 256) must not show at bin 256 of N = 2048 (6 kHz) once silence follows.
TEST(TimeConstants, NewSampleLengthStartsTheSpectrumFromZero) {
    MeasurementState state;
    state.Controls.CTC = 2; // "PEAK HOLD"
    state.BlockLength = 1024;
    std::vector<double> amplitude(512, 0.0);
    amplitude[256] = 0.5 * state.FullScale * WindowGain(state.WindowKind);
    UpdateSpectrum(state, amplitude);
    ASSERT_NEAR(state.Spectrum[256], 0.5, 1e-12);
    state.BlockLength = 2048;
    UpdateSpectrum(state, std::vector<double>(1024, 0.0));
    ASSERT_EQ(state.Spectrum.size(), 1024u);
    for (const double value : state.Spectrum) {
        ASSERT_EQ(value, 0.0);
    }
}

namespace {

// A state whose spectrum at bin i is the bin's frequency in Hz, so a mean over bins equals the
// mean frequency of those bins.
MeasurementState RampSpectrum(int n, int points, int mode, bool logAxis) {
    MeasurementState state;
    state.BlockLength = n;
    state.SampleRate = 48000.0;
    state.ReducePoints = points;
    state.Controls.CRed = mode;
    state.Controls.LogF = logAxis;
    state.Spectrum.resize(static_cast<std::size_t>(n / 2));
    for (int i = 0; i < n / 2; ++i) {
        state.Spectrum[static_cast<std::size_t>(i)] = BinToFrequency(i, 48000.0, n);
    }
    ReduceSpectrum(state);
    return state;
}

} // namespace

TEST(Reduction, LinearAxisGroupsWholeBins) {
    const MeasurementState state = RampSpectrum(65536, 1000, 1, false);
    ASSERT_EQ(state.DisplayPoints.size(), 1000u); // g = 32: bins 0 ... 31999
    const double df = 48000.0 / 65536;
    EXPECT_NEAR(state.DisplayPoints[0].x, 15.5 * df, 1e-9);
    EXPECT_NEAR(state.DisplayPoints[999].x, (999 * 32 + 15.5) * df, 1e-9);
    for (const TSpectrumPoint& p : state.DisplayPoints) {
        EXPECT_NEAR(p.y, p.x, 1e-9); // mean of a linear ramp sits at the centre bin
    }
    const MeasurementState power = RampSpectrum(65536, 1000, 2, false);
    const double rms0 = std::sqrt([&] {
        double s = 0;
        for (int i = 0; i < 32; ++i)
            s += (i * df) * (i * df);
        return s / 32;
    }());
    EXPECT_NEAR(power.DisplayPoints[0].y, rms0, 1e-9);
}

TEST(Reduction, TooFewBinsOrPointsMeansNoReduction) {
    EXPECT_EQ(RampSpectrum(1024, 1000, 1, false).DisplayPoints.size(), 512u); // g = 0
    EXPECT_EQ(RampSpectrum(1024, 0, 1, false).DisplayPoints.size(), 512u);
    EXPECT_EQ(RampSpectrum(1024, -5, 2, true).DisplayPoints.size(), 512u);
    EXPECT_EQ(RampSpectrum(1024, 100, 0, false).DisplayPoints.size(), 512u);
}

TEST(Reduction, LogAxisCoversEveryBinButDcOnce) {
    for (int points : {1000, 200, 37}) {
        const MeasurementState state = RampSpectrum(65536, points, 1, true);
        const auto& pts = state.DisplayPoints;
        ASSERT_FALSE(pts.empty());
        EXPECT_LE(pts.size(), static_cast<std::size_t>(points) + 100u);
        EXPECT_NEAR(pts.front().x, 48000.0 / 65536, 1e-9); // bin 1 first, never DC
        // The last point lies in the top band, whose lower edge is fs/2 * (N/2)^(-0.5 / (M - 1)).
        EXPECT_GT(pts.back().x, 24000.0 * std::pow(32768.0, -0.5 / (points - 1)));
        for (std::size_t i = 0; i < pts.size(); ++i) {
            EXPECT_NEAR(pts[i].y, pts[i].x, 1e-6 * pts[i].x); // mean value = mean frequency
            if (i > 0) {
                EXPECT_GT(pts[i].x, pts[i - 1].x);
            }
        }
    }
    // N = 64 with 1000 points: no band is one bin wide, so bins 1 ... 31 are shown alone.
    EXPECT_EQ(RampSpectrum(64, 1000, 2, true).DisplayPoints.size(), 31u);
}
