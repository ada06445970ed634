// SPDX-License-Identifier: GPL-3.0-or-later
// Units of the level read-outs: dBFS, dBu, dBV, V rms and dB SPL beside dB(m), Vpp and Veff.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct MeasurementState;

// Items of the units list (TControlSettings::CUnits), in list order. The first three are the
// meters' own (dB or dBm when calibrated, peak-peak and RMS volts of the dBm level); the others
// are referred to the calibration of a full-scale sine.
enum TLevelUnit : std::int32_t {
    luDb = 0,   // "display dB": dB re a full-scale sine, dBm into 50 Ohms when calibrated
    luVpp = 1,  // "display sine eq. Vpp"
    luVeff = 2, // "display Veff"
    luDbfs = 3, // dB re a full-scale sine, whatever the calibration
    luDbu = 4,  // dB re sqrt(0.6) V rms (0.775 V)
    luDbv = 5,  // dB re 1 V rms
    luVrms = 6, // RMS volts
    luSpl = 7,  // dB SPL re 20 uPa
    luCount = 8
};

// What the units are referred to: the RMS volts of a full-scale sine (empty while the level is
// not calibrated), the dB SPL of a full-scale sine (empty without an SPL calibration) and the
// weighting (MeasurementState::Weighting: 3 A, 4 C, 5 Z give the unit a suffix).
struct TUnitReference {
    std::optional<double> FullScaleVrms;
    std::optional<double> SplSensitivityDb;
    std::int32_t Weighting = 0;
};

// The reference in force: FullScaleVrms = sqrt(10^(-RefLevel/10) / 20) (the dBm level of a
// full-scale sine into 50 Ohms) when Calibrated, and the state's SplSensitivityDb and Weighting.
TUnitReference UnitReferenceOf(const MeasurementState& state);

// The unit that a reading in `unit` is shown in: the unit itself, or luDbfs for a voltage unit
// (dBu, dBV, V rms) without a voltage calibration and for dB SPL without an SPL calibration.
// The first three units stay as they are.
TLevelUnit EffectiveUnit(std::int32_t unit, const TUnitReference& reference);

// dB to add to a level in dB re a full-scale sine for a dB unit (the first three units: 0):
// dBFS 0; dBu 20 lg(Vfs / sqrt(0.6)); dBV and V rms 20 lg(Vfs); dB SPL the sensitivity.
// Use EffectiveUnit first (a missing reference counts as 0).
double UnitOffsetDb(TLevelUnit unit, const TUnitReference& reference);

// "(A)", "(C)" and "(Z)" for weightings 3, 4 and 5; empty for the others.
std::string WeightingSuffix(std::int32_t weighting);

// The unit's text as the read-outs write it, with the weighting's suffix: "dBFS", "dBu",
// "dBV", "V", "dB SPL" ("dBu(A)", "dB SPL(C)"); the first three units: "dB" or "dBm" by
// `calibrated` (Vpp and Veff give "Vpp" and "Veff", or "" when not calibrated).
std::string UnitText(TLevelUnit unit, bool calibrated, std::int32_t weighting);

// The unit of the spectrum's level axis, the markers and the peak recorder: the dB unit of the
// effective unit ("dBV" for V rms; "dB" for the first three units) with the weighting's suffix.
std::string AxisUnitText(const MeasurementState& state);

// The calibration offset the views subtract from 20 lg(magnitude) before adding YOffset: the
// state's RefLevel for the first three units, else -UnitOffsetDb of the effective unit. A trace
// then reads in AxisUnitText's unit.
double DisplayRefLevel(const MeasurementState& state);

// dB to add to the meters' levels (SNLevel, SLevel) to read them in AxisUnitText's unit:
// RefLevel - DisplayRefLevel (0 for the first three units).
double UnitShiftDb(const MeasurementState& state);

// A meter level (SNLevel or SLevel) as the read-outs give it, as a number: dB in the effective
// unit (dB or dBm for the first), or volts (Vpp and Veff of the dBm level, V rms of the
// full-scale sine's Vfs 10^((level + RefLevel) / 20)).
double ReadingValue(const MeasurementState& state, double levelDb);
// The unit of ReadingValue as the read-outs write it (UnitText of the effective unit).
std::string ReadingUnitText(const MeasurementState& state);

// Sets the level calibration so that a full-scale sine reads fullScaleVrms volts RMS (> 0):
// RefLevel := -10 lg(20 V^2) (the dBm of that sine, negated), CalVpp := 2 sqrt(2) V,
// Calibrated := true.
void SetFullScaleVolts(MeasurementState& state, double fullScaleVrms);

// Microphone sensitivity in mV/Pa from the RMS volts and the dB SPL of a full-scale sine:
// 1000 Vfs / (20e-6 Pa * 10^(SPL / 20)).
double SensitivityMvPerPa(double fullScaleVrms, double splSensitivityDb);

// Sensitivities are refused beyond this many dB either side of 0.
inline constexpr double kSplSensitivityLimitDb = 200.0;
// A calibrator's tone must stand this many dB above the rest of the band.
inline constexpr double kSplToneMarginDb = 30.0;

// The outcome of "Calibrate SPL": the new sensitivity, or the message that refuses it.
struct TSplCalibration {
    std::optional<double> SensitivityDb; // dB SPL of a full-scale sine
    std::string Message;                 // why it was refused; empty when it was made
};

// Decides "Calibrate SPL" from the current readings: the strongest tone's level toneDb and the
// band's level bandDb, both dB re a full-scale sine as displayed (S and S+N plus RefLevel),
// weightDbAtTone the weighting's gain at the tone (the calibrator's level is unweighted) and
// calibratorDb the calibrator's dB SPL. The rest of the band, 10 lg(10^(bandDb/10) -
// 10^(toneDb/10)), must lie kSplToneMarginDb below the tone; then the sensitivity is
// calibratorDb - (toneDb - weightDbAtTone), refused outside +-kSplSensitivityLimitDb.
TSplCalibration DecideSplCalibration(double toneDb, double bandDb, double weightDbAtTone,
                                     double calibratorDb);

// "Calibrate SPL" on the current readings: DecideSplCalibration with the S and S+N levels
// (SLevel and SNLevel plus RefLevel, dB re a full-scale sine as shown), the weighting's gain at
// the peak frequency and SplCalibratorDb; a calibration that is made sets SplSensitivityDb.
TSplCalibration CalibrateSpl(MeasurementState& state);

// The sensitivity as the window shows it beside its edit: "= 12.6 mV/Pa" (three significant
// digits) while both the SPL and the voltage calibration are set, else empty.
std::string SplSensitivityCaption(const MeasurementState& state);

// What an SPL sensitivity entry holds.
enum class TSplEntry { Empty, Value, NotANumber, OutOfRange };
// The message that refuses a sensitivity beyond +-kSplSensitivityLimitDb.
inline constexpr const char* kSplRangeMessage =
    "The SPL sensitivity must lie between -200 and 200 dB SPL.";
// Reads a sensitivity entry (ParseNumber's numbers): Empty for an empty text (no SPL calibration),
// Value with `value` set, NotANumber, or OutOfRange beyond +-kSplSensitivityLimitDb.
TSplEntry ParseSplSensitivity(std::string_view text, double& value);
