// SPDX-License-Identifier: GPL-3.0-or-later
// Calibration of the meters against a generator level entered in dBm or in peak-peak volts.
#include "core/Calibration.h"

#include "core/LevelMeters.h"
#include "core/MeasurementState.h"
#include "core/NumberText.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr std::array<const char*, 3> kUnitNames = {"V", "mV", "uV"};
constexpr std::array<double, 3> kUnitScales = {1.0, 0.001, 0.000001};

// "= " + the RMS value of a peak-peak voltage with two decimals + " ".
std::string RmsCaption(double peakPeak) {
    return "= " + FormatFixed(peakPeak / 2.0 / std::sqrt(2.0)) + " ";
}

} // namespace

TCalGuardScope::TCalGuardScope(MeasurementState& state) : state_(state), previous_(state.CalGuard) {
    state_.CalGuard = true;
}

TCalGuardScope::~TCalGuardScope() {
    state_.CalGuard = previous_;
}

void Button1Click(MeasurementState& state) {
    state.PreviousCal = TLevelCalibration{state.RefLevel, state.CalVpp, state.Calibrated};
    state.CalRequest = true;
    state.Calibrated = true;
}

void BResetClick(MeasurementState& state) {
    state.PreviousCal = TLevelCalibration{state.RefLevel, state.CalVpp, state.Calibrated};
    state.RefLevel = 0.0;
    state.CalVpp = 1.0;
    state.Calibrated = false;
    state.CalRequest = false; // a calibration still waiting for its block goes with it
}

void BUndoCalClick(MeasurementState& state) {
    if (!state.PreviousCal)
        return;
    state.RefLevel = state.PreviousCal->RefLevel;
    state.CalVpp = state.PreviousCal->CalVpp;
    state.Calibrated = state.PreviousCal->Calibrated;
    state.CalRequest = false;
    state.PreviousCal.reset();
}

TCalEditResult ECalDBChange(MeasurementState& state, std::string_view eCalDbText) {
    TCalEditResult result;
    if (state.CalGuard) {
        return result;
    }
    const auto level = ParseNumber(eCalDbText);
    if (!level) {
        result.Outcome = TCalEditResult::Invalid;
        return result;
    }
    state.CalLevel = *level;
    double p =
        std::sqrt(std::pow(10.0, state.CalLevel / 10.0) / 1000.0 * 50.0) * 2.0 * std::sqrt(2.0);
    int unit = 0;
    for (int step = 0; step < 2; ++step) {
        if (p < 1.0) {
            p *= 1000.0;
            ++unit;
        }
    }
    result.Outcome = TCalEditResult::Applied;
    result.CCalUnit = unit;
    result.ECalV = FormatGeneral(TruncSignificant(p, 6));
    result.Label23 = RmsCaption(p) + kUnitNames[static_cast<std::size_t>(unit)] + "effective";
    state.Texts.Label23 = result.Label23;
    return result;
}

TCalEditResult ECalVChange(MeasurementState& state, std::string_view eCalVText, int cCalUnit) {
    TCalEditResult result;
    if (state.CalGuard) {
        return result;
    }
    const auto peakPeak = ParseNumber(eCalVText);
    if (!peakPeak) {
        result.Outcome = TCalEditResult::Invalid;
        return result;
    }
    const auto unit = static_cast<std::size_t>(std::clamp(cCalUnit, 0, 2));
    const double volts = *peakPeak * kUnitScales[unit];
    state.CalLevel = 10.0 * std::log10(std::max(1e-30, volts * volts / 8.0 / 50.0 * 1000.0));
    result.Outcome = TCalEditResult::Applied;
    result.Label23 = RmsCaption(*peakPeak) + kUnitNames[unit] + " effective";
    result.ECalDB = FormatGeneral(TruncSignificant(state.CalLevel, 6));
    state.Texts.Label23 = result.Label23;
    return result;
}

TCalEditResult CCalUnitChange(MeasurementState& state, std::string_view eCalVText, int cCalUnit) {
    return ECalVChange(state, eCalVText, cCalUnit);
}
