// SPDX-License-Identifier: GPL-3.0-or-later
// Level units: references, offsets, unit texts and the decision of "Calibrate SPL".
#include "core/LevelUnits.h"

#include "core/LevelCorrection.h"
#include "core/LevelMeters.h"
#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "dsp/AudioWeighting.h"

#include <cmath>
#include <limits>

namespace {

// sqrt(0.6) V: the 0 dBu voltage, 1 mW into 600 Ohms.
const double kDbuVolts = std::sqrt(0.6);

bool IsVoltageUnit(TLevelUnit unit) {
    return unit == luDbu || unit == luDbv || unit == luVrms;
}

} // namespace

TUnitReference UnitReferenceOf(const MeasurementState& state) {
    TUnitReference reference;
    if (state.Calibrated)
        reference.FullScaleVrms = DbmToVeff(-state.RefLevel);
    reference.SplSensitivityDb = state.SplSensitivityDb;
    reference.Weighting = state.Weighting;
    return reference;
}

TLevelUnit EffectiveUnit(std::int32_t unit, const TUnitReference& reference) {
    if (unit < 0 || unit >= luCount)
        return luDb;
    const auto u = static_cast<TLevelUnit>(unit);
    if (IsVoltageUnit(u) && !(reference.FullScaleVrms && *reference.FullScaleVrms > 0.0))
        return luDbfs;
    if (u == luSpl && !reference.SplSensitivityDb)
        return luDbfs;
    return u;
}

double UnitOffsetDb(TLevelUnit unit, const TUnitReference& reference) {
    const double vfs = reference.FullScaleVrms.value_or(1.0);
    switch (unit) {
    case luDbu:
        return 20.0 * std::log10(vfs / kDbuVolts);
    case luDbv:
    case luVrms:
        return 20.0 * std::log10(vfs);
    case luSpl:
        return reference.SplSensitivityDb.value_or(0.0);
    default:
        return 0.0;
    }
}

std::string WeightingSuffix(std::int32_t weighting) {
    switch (weighting) {
    case 3:
        return "(A)";
    case 4:
        return "(C)";
    case 5:
        return "(Z)";
    default:
        return {};
    }
}

std::string UnitText(TLevelUnit unit, bool calibrated, std::int32_t weighting) {
    std::string text;
    switch (unit) {
    case luDb:
        text = calibrated ? "dBm" : "dB";
        break;
    case luVpp:
        text = calibrated ? "Vpp" : "";
        break;
    case luVeff:
        text = calibrated ? "Veff" : "";
        break;
    case luDbfs:
        text = "dBFS";
        break;
    case luDbu:
        text = "dBu";
        break;
    case luDbv:
        text = "dBV";
        break;
    case luVrms:
        text = "V";
        break;
    case luSpl:
        text = "dB SPL";
        break;
    default:
        break;
    }
    return text + WeightingSuffix(weighting);
}

std::string AxisUnitText(const MeasurementState& state) {
    const TUnitReference reference = UnitReferenceOf(state);
    const TLevelUnit unit = EffectiveUnit(state.Controls.CUnits, reference);
    if (unit < luDbfs)
        return "dB" + WeightingSuffix(state.Weighting);
    return UnitText(unit == luVrms ? luDbv : unit, true, state.Weighting);
}

double DisplayRefLevel(const MeasurementState& state) {
    const TUnitReference reference = UnitReferenceOf(state);
    const TLevelUnit unit = EffectiveUnit(state.Controls.CUnits, reference);
    if (unit < luDbfs)
        return state.RefLevel;
    return -UnitOffsetDb(unit, reference);
}

double UnitShiftDb(const MeasurementState& state) {
    return state.RefLevel - DisplayRefLevel(state);
}

double ReadingValue(const MeasurementState& state, double levelDb) {
    const TUnitReference reference = UnitReferenceOf(state);
    switch (EffectiveUnit(state.Controls.CUnits, reference)) {
    case luVpp:
        return DbmToVpp(levelDb);
    case luVeff:
        return DbmToVeff(levelDb);
    case luVrms:
        return reference.FullScaleVrms.value_or(1.0) *
               std::pow(10.0, (levelDb + state.RefLevel) / 20.0);
    default:
        return levelDb + UnitShiftDb(state);
    }
}

std::string ReadingUnitText(const MeasurementState& state) {
    const TUnitReference reference = UnitReferenceOf(state);
    return UnitText(EffectiveUnit(state.Controls.CUnits, reference), state.Calibrated,
                    state.Weighting);
}

void SetFullScaleVolts(MeasurementState& state, double fullScaleVrms) {
    state.RefLevel = -10.0 * std::log10(20.0 * fullScaleVrms * fullScaleVrms);
    state.CalVpp = 2.0 * std::sqrt(2.0) * fullScaleVrms;
    state.Calibrated = true;
}

double SensitivityMvPerPa(double fullScaleVrms, double splSensitivityDb) {
    return 1000.0 * fullScaleVrms / (kSplReferencePa * std::pow(10.0, splSensitivityDb / 20.0));
}

TSplCalibration DecideSplCalibration(double toneDb, double bandDb, double weightDbAtTone,
                                     double calibratorDb) {
    TSplCalibration result;
    if (!std::isfinite(toneDb) || !std::isfinite(bandDb) || !std::isfinite(weightDbAtTone) ||
        !std::isfinite(calibratorDb)) {
        result.Message = "Calibrate SPL needs a measured tone: start sampling first.";
        return result;
    }
    // The rest of the band in power; a tone that carries all of it leaves nothing.
    const double rest = std::pow(10.0, bandDb / 10.0) - std::pow(10.0, toneDb / 10.0);
    const double restDb =
        rest > 0.0 ? 10.0 * std::log10(rest) : -std::numeric_limits<double>::infinity();
    if (!(toneDb - restDb >= kSplToneMarginDb)) {
        result.Message = "No calibrator tone: the strongest tone stands " +
                         FormatFixed(toneDb - restDb, 1) +
                         " dB above the rest of the band; it must stand 30 dB above it.";
        return result;
    }
    const double sensitivity = calibratorDb - (toneDb - weightDbAtTone);
    if (std::fabs(sensitivity) > kSplSensitivityLimitDb) {
        result.Message = kSplRangeMessage;
        return result;
    }
    result.SensitivityDb = sensitivity;
    return result;
}

TSplCalibration CalibrateSpl(MeasurementState& state) {
    const double toneHz = PeakFrequency(state);
    TSplCalibration result =
        DecideSplCalibration(state.SLevel + state.RefLevel, state.SNLevel + state.RefLevel,
                             WeightingGainDb(state.Weighting, toneHz), state.SplCalibratorDb);
    if (result.SensitivityDb)
        state.SplSensitivityDb = result.SensitivityDb;
    return result;
}

std::string SplSensitivityCaption(const MeasurementState& state) {
    const TUnitReference reference = UnitReferenceOf(state);
    if (!reference.FullScaleVrms || !reference.SplSensitivityDb)
        return {};
    const double mvPerPa =
        SensitivityMvPerPa(*reference.FullScaleVrms, *reference.SplSensitivityDb);
    return "= " + FormatGeneral(TruncSignificant(mvPerPa, 3)) + " mV/Pa";
}

TSplEntry ParseSplSensitivity(std::string_view text, double& value) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return TSplEntry::Empty;
    const auto number = ParseNumber(text);
    if (!number || !std::isfinite(*number))
        return TSplEntry::NotANumber;
    if (std::fabs(*number) > kSplSensitivityLimitDb)
        return TSplEntry::OutOfRange;
    value = *number;
    return TSplEntry::Value;
}
