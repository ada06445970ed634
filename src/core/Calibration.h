// SPDX-License-Identifier: GPL-3.0-or-later
// Level calibration handlers: calibrate, reset, and the linked dBm and peak-peak volt edits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct MeasurementState;

// What a calibration edit handler asks the window to show. On Invalid the window beeps and
// gives the edit the focus again; on Applied it writes the fields that are set while a
// TCalGuardScope is alive, so that its own change handlers return at once.
struct TCalEditResult {
    enum TOutcome { Ignored, Invalid, Applied };
    TOutcome Outcome = Ignored;
    std::int32_t CCalUnit = -1; // new unit item (0 "V", 1 "mV", 2 "uV"); -1 leaves it
    std::string ECalV;          // new ECalV text; empty leaves it
    std::string ECalDB;         // new ECalDB text; empty leaves it
    std::string Label23;        // RMS voltage caption (also stored in Texts.Label23)
};

// Sets CalGuard for its lifetime (restoring the previous value), so that ECalDBChange,
// ECalVChange and CCalUnitChange ignore the edits the window makes meanwhile.
class TCalGuardScope {
public:
    explicit TCalGuardScope(MeasurementState& state);
    ~TCalGuardScope();
    TCalGuardScope(const TCalGuardScope&) = delete;
    TCalGuardScope& operator=(const TCalGuardScope&) = delete;

private:
    MeasurementState& state_;
    bool previous_;
};

// Button1Click ("Calibrate Level"): the next block makes the current S+N reading CalLevel;
// BReset is enabled (Calibrated := true).
void Button1Click(MeasurementState& state);
// BResetClick ("Reset Level Cal"): RefLevel := 0, CalVpp := 1, BReset disabled, and a
// calibration requested but not yet applied by a block is dropped.
void BResetClick(MeasurementState& state);
// Both clicks above first keep the calibration in force in PreviousCal; BUndoCalClick ("Undo
// Calibration") brings it back (RefLevel, CalVpp, Calibrated), drops a calibration still
// waiting for its block and empties PreviousCal. Nothing happens when PreviousCal is empty.
void BUndoCalClick(MeasurementState& state);

// ECalDBChange: CalLevel := the dBm number in text; p := DbmToVpp(CalLevel) scaled by 1000 at
// most twice while below 1 (unit V, mV or uV): CCalUnit := that unit, ECalV :=
// TruncSignificant(p, 6), Label23 := "= " + p / (2 sqrt 2) with two decimals + " " + unit +
// "effective" ("= 0.71 Veffective" for "10"). Ignored while CalGuard is set.
TCalEditResult ECalDBChange(MeasurementState& state, std::string_view eCalDbText);

// ECalVChange: p := the number in text (peak-peak, in unit cCalUnit); Label23 := "= " +
// p / (2 sqrt 2) with two decimals + " " + unit + " effective"; CalLevel :=
// 10 log10(max(1e-30, (p * scale)^2 / 8 / 50 * 1000)) dBm; ECalDB := TruncSignificant(CalLevel,
// 6). Ignored while CalGuard is set.
TCalEditResult ECalVChange(MeasurementState& state, std::string_view eCalVText, int cCalUnit);
// CCalUnitChange: ECalVChange with the new unit unless CalGuard is set.
TCalEditResult CCalUnitChange(MeasurementState& state, std::string_view eCalVText, int cCalUnit);
