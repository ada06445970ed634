// SPDX-License-Identifier: GPL-3.0-or-later
// Pipeline levels: S+N and S of full-scale sines, empty blocks, block counts, density, offsets,
// peak position and recording, stream errors.
#include "CoreTestRig.h"

#include "core/LevelMeters.h"
#include "core/PeakRefinement.h"

#include <gtest/gtest.h>

namespace {

// Bins (of 46.875 Hz at 48 ksps, N = 1024) of the test tones: on a bin and between bins.
const double kToneBins[] = {64.0, 100.25, 150.5, 165.93, 300.4};

} // namespace

// The tapered windows hold a full-scale sine's level within 0.01 dB wherever it lies between
// bins. The rectangular window leaks into far bins: its S (the main lobe of +-70 bins here,
// measured against the gain of an off-bin 3300 Hz tone) is held to 0.015 dB.
TEST(PipelineLevels, FullScaleSineReadsZeroDbForEveryWindow) {
    for (int window = 0; window < WindowKindCount; ++window) {
        const double sTolerance = window == 0 ? 0.015 : 0.01;
        for (double bin : kToneBins) {
            CoreTestRig rig(1024, 48000.0, 0, 24000, window);
            rig.state.Controls.CUnits = 0;
            rig.Feed(SineSamples(rig.EngineBlockLength(), bin * 46.875, 48000.0));
            EXPECT_NEAR(rig.state.SNLevel, 0.0, 0.01) << "window " << window << " at bin " << bin;
            EXPECT_NEAR(rig.state.SLevel, 0.0, sTolerance)
                << "window " << window << " at bin " << bin;
        }
    }
}

// Peak position accuracy per window (bins), for tones anywhere between two bins.
TEST(PipelineLevels, RefinedPeakFindsFractionalBins) {
    const double tolerance[WindowKindCount] = {0.05, 0.01, 0.01, 0.01, 0.01, 0.01};
    for (int window = 0; window < WindowKindCount; ++window) {
        for (double bin : {80.0, 80.1, 80.25, 80.4, 80.5, 80.6, 80.75, 80.9, 211.3}) {
            CoreTestRig rig(1024, 48000.0, 0, 24000, window);
            rig.Feed(SineSamples(rig.EngineBlockLength(), bin * 46.875, 48000.0));
            EXPECT_NEAR(rig.state.PeakBinFine, bin, tolerance[window])
                << "window " << window << " at bin " << bin;
        }
    }
}

TEST(PipelineLevels, IdenticalChannelsDifferenceIsEmpty) {
    CoreTestRig rig(1024, 48000.0, 1000, 20000);
    rig.state.Controls.ComboChannel = 3; // "Left-Right Channel"
    rig.state.ResetSmoothing = true;
    rig.Feed(SineSamples(rig.EngineBlockLength(), 1000.0, 48000.0));
    EXPECT_EQ(rig.state.BandTotal, 0.0);
    EXPECT_EQ(rig.state.SNRaw, -2000.0);
    EXPECT_EQ(rig.state.PeakBin, 0);
    EXPECT_FALSE(rig.state.ResetSmoothing); // one block restarts the averages
}

TEST(PipelineLevels, ShortBlocksUpdateEachTimeButRepaintOnce) {
    CoreTestRig rig(64, 48000.0, 0, 24000);
    ASSERT_EQ(rig.state.SubBlocks, 32);
    int spectrumUpdates = 0;
    rig.parts.RefreshMarkers = [&] { ++spectrumUpdates; };
    rig.state.PeakThreshold = -100.0; // every block's meter update lands in the peak log
    rig.Feed(SineSamples(2048, 3000.0, 48000.0));
    EXPECT_EQ(spectrumUpdates, 32);
    EXPECT_EQ(rig.state.PeakLogIndex, 32);
    EXPECT_EQ(rig.state.Texts.RepaintRequests, 1u);
}

TEST(PipelineLevels, SpectralDensitySubtractsTheBandwidth) {
    CoreTestRig rig(1024, 48000.0, 1000, 2000);
    rig.state.Controls.CUnits = 0;
    rig.state.SpecialMeter = 1;
    rig.Feed(SineSamples(2048, 1500.0, 48000.0, kFullScaleSine / 10));
    EXPECT_EQ(rig.state.Texts.LSp, "S+N=" + MeterNumber(3, rig.state.SNLevel - 30.0) + "dB/Hz");

    CoreTestRig empty(1024, 48000.0, 1500, 1500);
    empty.state.SpecialMeter = 1;
    empty.Feed(SineSamples(2048, 1500.0, 48000.0));
    EXPECT_EQ(empty.state.Texts.LSp, "delta f = 0");
}

TEST(PipelineLevels, YOffsetShiftsMetersButNotThePeakLog) {
    CoreTestRig plain(1024, 48000.0, 0, 24000);
    CoreTestRig shifted(1024, 48000.0, 0, 24000);
    shifted.state.YOffset = 10.0;
    for (CoreTestRig* rig : {&plain, &shifted}) {
        rig->state.MeterAlpha = 0.3;
        rig->Feed(SineSamples(2048, 2000.0, 48000.0, kFullScaleSine / 100));
        rig->Feed(SineSamples(2048, 2000.0, 48000.0, kFullScaleSine / 10));
    }
    EXPECT_NEAR(shifted.state.SNLevel - plain.state.SNLevel, 10.0, 1e-9);
    EXPECT_NEAR(shifted.state.SLevel - plain.state.SLevel, 10.0, 1e-9);
    ASSERT_EQ(shifted.state.PeakLogIndex, plain.state.PeakLogIndex);
    for (int i = 0; i < plain.state.PeakLogIndex; ++i) {
        EXPECT_EQ(shifted.state.PeakLog[i].Level, plain.state.PeakLog[i].Level);
        EXPECT_EQ(shifted.state.PeakLog[i].Frequency, plain.state.PeakLog[i].Frequency);
    }
}

TEST(PipelineLevels, VoltTextsCarryPrefixAndUnitWhenCalibrated) {
    CoreTestRig rig(1024, 48000.0, 0, 24000);
    rig.state.Controls.CUnits = 1;
    rig.Feed(SineSamples(2048, 3000.0, 48000.0));
    // 0 dB is DbmToVpp(0) = 0.632455 V, truncated to 3 digits.
    EXPECT_EQ(rig.state.Texts.LSN_M, "632 m");
    EXPECT_EQ(rig.state.Texts.LSN, "S+N=632 m");
    rig.state.Calibrated = true;
    rig.state.Controls.CUnits = 2;
    rig.Feed(SineSamples(2048, 3000.0, 48000.0));
    EXPECT_EQ(rig.state.Texts.LS, "S=223 mVeff"); // DbmToVeff(0) = 0.2236 V
    const std::string& lsp = rig.state.Texts.LSp; // "%.2f Hz"
    EXPECT_EQ(lsp.substr(lsp.size() - 3), " Hz");
    EXPECT_EQ(lsp[lsp.size() - 6], '.');
    EXPECT_NEAR(std::stod(rig.state.Texts.LSp), 3000.0, 0.2);
}

TEST(PeakRecorder, LevelAtTheThresholdIsNotRecorded) {
    MeasurementState state;
    state.PeakAmplitude = 0.1;
    state.RefLevel = 3.0;
    state.PeakThreshold = 20.0 * std::log10(0.1) - 3.0;
    LevelStep(state);
    EXPECT_EQ(state.PeakLogIndex, 0);
    state.PeakThreshold -= 1e-9;
    LevelStep(state);
    EXPECT_EQ(state.PeakLogIndex, 1);
    EXPECT_FLOAT_EQ(state.PeakLog[0].Level, static_cast<float>(20.0 * std::log10(0.1) - 3.0));
}

TEST(PeakRecorder, RingWrapsAtItsLength) {
    MeasurementState state;
    state.PeakLog.resize(3);
    for (int i = 0; i < 4; ++i) {
        RecordPeak(state, 0.0);
    }
    EXPECT_EQ(state.PeakLogIndex, 1);
    EXPECT_TRUE(state.PeakLogWrapped);
}

TEST(PeakRecorder, ChartReadingsHaveTheMetersDigits) {
    MeasurementState state;
    state.SLevel = -20.123456789;
    state.PeakBinFine = 32.0; // 1500 Hz at 48 ksps, N = 1024
    const struct {
        int digits;
        const char* level;
    } cases[] = {{2, "S=-20.12 dB"}, {3, "S=-20.123 dB"}, {7, "S=-20.1234568 dB"}};
    for (const auto& c : cases) {
        state.MeterDigits = c.digits;
        const TPeakReadings readings = PeakChartReadings(state);
        EXPECT_EQ(readings.Level, c.level);
        EXPECT_EQ(readings.Frequency, "1500.00 Hz");
    }
}

TEST(StreamErrors, FilterErrorIsReportedOnceAndCounted) {
    CoreTestRig rig(1024, 48000.0, 0, 24000);
    rig.dsp->SetSamplesPerSecond(96000); // marks the filter not designed
    const auto block = SineSamples(2048, 1000.0, 48000.0);
    rig.Feed(block);
    rig.Feed(block);
    rig.Feed(block);
    EXPECT_EQ(rig.state.StreamErrors.FirstError, "You must run CreateFilter before filtering.");
    EXPECT_EQ(rig.state.StreamErrors.Repeats, 2u);
    EXPECT_TRUE(rig.state.StreamErrors.Unreported);
    EXPECT_EQ(rig.state.StreamErrors.Summary(),
              "You must run CreateFilter before filtering. (repeated 2 times)");
    EXPECT_EQ(rig.state.Texts.RepaintRequests, 0u);
}

TEST(CustomVariables, VoltsAndRatios) {
    MeasurementState state;
    state.SNLevel = -20.0;
    state.SLevel = 0.0;
    state.PeakBinFine = 64.0;
    SetCustomVariables(state);
    EXPECT_NEAR(state.CustomVarsVolts[7].Re, DbmToVeff(-20.0), 1e-15);
    EXPECT_NEAR(state.CustomVarsRatio[7].Re, 0.1, 1e-15);
    EXPECT_NEAR(state.CustomVarsRatio[8].Re, 1.0, 1e-15);
    EXPECT_EQ(state.CustomVarsVolts[6].Re, 3000.0); // 64 / 1024 * 48000
    EXPECT_EQ(state.CustomVarsVolts[4].Re, 1024.0);
}

TEST(SpecialMeter, SecondClickSwitchesOff) {
    MeasurementState state;
    EXPECT_EQ(SpecialMeterClick(state, 1), 1);
    EXPECT_EQ(SpecialMeterClick(state, 1), 3);
    EXPECT_EQ(SpecialMeterClick(state, 2), 2);
    EXPECT_EQ(SpecialMeterClick(state, 3), 3);
}
