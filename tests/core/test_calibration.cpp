// SPDX-License-Identifier: GPL-3.0-or-later
// Calibration edits and the calibrate / reset cycle on a measured tone.
#include "CoreTestRig.h"

#include "core/Calibration.h"
#include "core/LevelMeters.h"

#include <gtest/gtest.h>

TEST(CalibrationEdits, DbmEntryGivesPeakPeakVolts) {
    MeasurementState state;
    TCalEditResult r = ECalDBChange(state, "10");
    ASSERT_EQ(r.Outcome, TCalEditResult::Applied);
    EXPECT_EQ(r.CCalUnit, 0);
    EXPECT_EQ(r.ECalV, "2");
    EXPECT_EQ(r.Label23, "= 0.71 Veffective");
    EXPECT_EQ(state.CalLevel, 10.0);

    r = ECalDBChange(state, "-40");
    EXPECT_EQ(r.CCalUnit, 1);
    EXPECT_EQ(r.ECalV, "6.32455"); // 6.32456 mV truncated to 6 digits
    EXPECT_EQ(r.Label23, "= 2.24 mVeffective");
}

TEST(CalibrationEdits, VoltEntryGivesDbm) {
    MeasurementState state;
    const TCalEditResult r = ECalVChange(state, "1", 0);
    ASSERT_EQ(r.Outcome, TCalEditResult::Applied);
    EXPECT_EQ(r.ECalDB, "3.9794");
    EXPECT_NEAR(state.CalLevel, 10.0 * std::log10(1.0 / 8 / 50 * 1000), 1e-12);
    EXPECT_EQ(r.Label23, "= 0.35 V effective");
    EXPECT_EQ(state.Texts.Label23, r.Label23);
    ASSERT_EQ(ECalVChange(state, "1000", 1).Outcome, TCalEditResult::Applied); // 1000 mV
    EXPECT_NEAR(state.CalLevel, 10.0 * std::log10(1.0 / 8 / 50 * 1000), 1e-9);
}

TEST(CalibrationEdits, InvalidTextOrGuardChangesNothing) {
    MeasurementState state;
    state.CalLevel = 5.0;
    EXPECT_EQ(ECalDBChange(state, "ten").Outcome, TCalEditResult::Invalid);
    EXPECT_EQ(ECalVChange(state, "", 0).Outcome, TCalEditResult::Invalid);
    {
        TCalGuardScope guard(state);
        EXPECT_EQ(ECalDBChange(state, "10").Outcome, TCalEditResult::Ignored);
        EXPECT_EQ(CCalUnitChange(state, "1", 2).Outcome, TCalEditResult::Ignored);
    }
    EXPECT_FALSE(state.CalGuard);
    EXPECT_EQ(state.CalLevel, 5.0);
}

TEST(CalibrationCycle, CalibratedToneReadsTheCalibrationLevel) {
    CoreTestRig rig(1024, 48000.0, 0, 24000);
    rig.state.Controls.CUnits = 0;
    const auto tone = SineSamples(2048, 1000.0, 48000.0, kFullScaleSine / 10); // -20 dB
    rig.Feed(tone);
    EXPECT_NEAR(rig.state.SNLevel, -20.0, 0.01);
    ECalDBChange(rig.state, "0");
    Button1Click(rig.state);
    rig.Feed(tone);
    rig.Feed(tone);
    EXPECT_EQ(rig.state.Texts.LSN_M, "  0.000 dBm");
    EXPECT_NEAR(rig.state.RefLevel, -20.0, 0.01);
    EXPECT_NEAR(rig.state.CalVpp, DbmToVpp(20.0), 0.01); // a full-scale sine is +20 dBm
    BResetClick(rig.state);
    EXPECT_EQ(rig.state.RefLevel, 0.0);
    EXPECT_EQ(rig.state.CalVpp, 1.0);
    EXPECT_FALSE(rig.state.Calibrated);
}

// A second calibration, and a reset, are each undone in one step; a waiting request goes too.
TEST(CalibrationCycle, UndoBringsBackThePreviousCalibration) {
    CoreTestRig rig(1024, 48000.0, 0, 24000);
    const auto tone = SineSamples(2048, 1000.0, 48000.0, kFullScaleSine / 10); // -20 dB
    ECalDBChange(rig.state, "0");
    Button1Click(rig.state);
    rig.Feed(tone);
    const double first = rig.state.RefLevel;
    const double firstVpp = rig.state.CalVpp;

    ECalDBChange(rig.state, "10");
    Button1Click(rig.state);
    rig.Feed(tone);
    EXPECT_NEAR(rig.state.RefLevel, first - 10.0, 0.01);
    BUndoCalClick(rig.state);
    EXPECT_EQ(rig.state.RefLevel, first);
    EXPECT_EQ(rig.state.CalVpp, firstVpp);
    EXPECT_TRUE(rig.state.Calibrated);
    EXPECT_FALSE(rig.state.PreviousCal);

    BResetClick(rig.state);
    BUndoCalClick(rig.state);
    EXPECT_EQ(rig.state.RefLevel, first);
    EXPECT_TRUE(rig.state.Calibrated);

    Button1Click(rig.state); // undone before any block applies it
    BUndoCalClick(rig.state);
    EXPECT_FALSE(rig.state.CalRequest);
    rig.Feed(tone);
    EXPECT_EQ(rig.state.RefLevel, first);
}
