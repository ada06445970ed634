// SPDX-License-Identifier: GPL-3.0-or-later
// S+N and S meters, peak recording, meter texts in dB or volts, and the custom-expression inputs.
#include "core/LevelMeters.h"

#include "core/LevelUnits.h"
#include "core/MeasurementState.h"
#include "core/NumberText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>

double DbmToVeff(double x) {
    return std::sqrt(std::pow(10.0, x / 10.0) / 20.0);
}

double DbmToVpp(double x) {
    return std::sqrt(8.0) * DbmToVeff(x);
}

double PeakFrequency(const MeasurementState& state) {
    return state.PeakBinFine / state.BlockLength * state.SampleRate;
}

std::string MeterNumber(int digits, double x) {
    std::array<char, 400> buffer{};
    std::snprintf(buffer.data(), buffer.size(), " %*.*f ", digits + 3, digits, x);
    std::string text = buffer.data();
    // A reading that rounds to zero shows no sign: " -0.000 " becomes "  0.000 ".
    const auto minus = text.find('-');
    if (minus != std::string::npos && text.find_first_of("123456789") == std::string::npos) {
        text[minus] = ' ';
    }
    return text;
}

void RecordPeak(MeasurementState& state, double levelDb) {
    if (!(levelDb > state.PeakThreshold)) {
        return;
    }
    const auto size = static_cast<std::int32_t>(state.PeakLog.size());
    if (size <= 0) {
        return;
    }
    if (state.PeakLogIndex < 0 || state.PeakLogIndex >= size) {
        state.PeakLogIndex = 0;
    }
    state.PeakLog[static_cast<std::size_t>(state.PeakLogIndex)] = {
        static_cast<float>(PeakFrequency(state)), static_cast<float>(levelDb)};
    if (++state.PeakLogIndex >= size) {
        state.PeakLogIndex = 0;
        state.PeakLogWrapped = true;
    }
}

void LevelStep(MeasurementState& state) {
    const double snNow = 20.0 * std::log10(std::max(1e-100, state.BandTotal));
    state.SNRaw = state.ResetSmoothing
                      ? snNow
                      : (1.0 - state.MeterAlpha) * state.SNRaw + state.MeterAlpha * snNow;
    if (state.CalRequest) {
        state.RefLevel = state.SNRaw - state.CalLevel + state.YOffset;
        state.CalVpp = DbmToVpp(-state.RefLevel);
        state.CalRequest = false;
    }
    state.SNLevel = state.SNRaw - state.RefLevel + state.YOffset;
    const double sNow = 20.0 * std::log10(std::max(1e-30, state.PeakAmplitude)) - state.RefLevel;
    RecordPeak(state, sNow + UnitShiftDb(state));
    state.SRaw = state.ResetSmoothing
                     ? sNow
                     : (1.0 - state.MeterAlpha) * state.SRaw + state.MeterAlpha * sNow;
    state.SLevel = state.SRaw + state.YOffset;
}

namespace {

// Mantissa and SI prefix of v truncated to `digits` significant digits: "2.24 m".
std::string VoltNumber(double v, int digits) {
    const TEngineeringValue value = FormatEngineering(TruncSignificant(v, digits));
    return FormatGeneral(value.Mantissa) + " " + value.Prefix;
}

} // namespace

namespace {

// The read-outs in one of the units referred to a full-scale sine (dBFS ... dB SPL).
struct TReferredUnit {
    TLevelUnit Unit = luDbfs;
    double ShiftDb = 0.0;    // added to SNLevel and SLevel
    double FullScaleV = 1.0; // RMS volts of a full-scale sine (V rms)
    std::string Text;        // unit text with the weighting's suffix
};

std::optional<TReferredUnit> ReferredUnit(const MeasurementState& state) {
    const TUnitReference reference = UnitReferenceOf(state);
    const TLevelUnit unit = EffectiveUnit(state.Controls.CUnits, reference);
    if (unit < luDbfs)
        return std::nullopt;
    return TReferredUnit{unit, UnitShiftDb(state), reference.FullScaleVrms.value_or(1.0),
                         UnitText(unit, true, state.Weighting)};
}

// A meter level (SNLevel or SLevel) as the referred unit shows it: the meter number and the
// unit, or for V rms the volts Vfs 10^((level + RefLevel) / 20) with an SI prefix.
std::string ReferredText(const MeasurementState& state, const TReferredUnit& unit, double level) {
    if (unit.Unit == luVrms)
        return VoltNumber(unit.FullScaleV * std::pow(10.0, (level + state.RefLevel) / 20.0),
                          state.MeterDigits) +
               unit.Text;
    return MeterNumber(state.MeterDigits, level + unit.ShiftDb) + unit.Text;
}

} // namespace

std::string MainMeterText(const MeasurementState& state) {
    const int digits = state.MeterDigits;
    const bool calibrated = state.Calibrated;
    if (const auto referred = ReferredUnit(state))
        return ReferredText(state, *referred, state.SNLevel);
    const std::string suffix = WeightingSuffix(state.Weighting);
    if (state.Controls.CUnits == 0) {
        return MeterNumber(digits, state.SNLevel) + (calibrated ? "dBm" : "dB") + suffix;
    }
    const bool peakPeak = state.Controls.CUnits == 1;
    const double v = peakPeak ? DbmToVpp(state.SNLevel) : DbmToVeff(state.SNLevel);
    const std::string unit = !calibrated ? "" : peakPeak ? "Vpp" : "Veff";
    return VoltNumber(v, digits) + unit + suffix;
}

void TextStep(MeasurementState& state, double bandwidthHz,
              const std::function<std::string()>& customLabel) {
    auto& texts = state.Texts;
    const int digits = state.MeterDigits;
    const bool calibrated = state.Calibrated;
    const bool density = state.SpecialMeter == 1;
    const bool emptyBand = state.LowerBin == state.UpperBin;
    const std::string suffix = WeightingSuffix(state.Weighting);
    auto scopeOverlay = [&](const std::string& text) {
        if (state.Scope.NewScopeData) {
            texts.LSN_O = text;
            texts.LCS = customLabel ? customLabel() : std::string("error");
        }
        state.Scope.NewScopeData = false;
    };

    if (const auto referred = ReferredUnit(state)) {
        texts.LSN_M = MainMeterText(state);
        scopeOverlay(texts.LSN_M);
        texts.LSN = "S+N=" + ReferredText(state, *referred, state.SNLevel);
        texts.LS = "S=" + ReferredText(state, *referred, state.SLevel);
        if (density) {
            // Per hertz: the level less 10 lg(bandwidth), or the volts over sqrt(bandwidth).
            const double perHz = -10.0 * std::log10(bandwidthHz);
            texts.LSp = emptyBand ? "delta f = 0"
                                  : "S+N=" + ReferredText(state, *referred, state.SNLevel + perHz) +
                                        (referred->Unit == luVrms ? "/Hz^0.5" : "/Hz");
        }
        return;
    }

    if (state.Controls.CUnits == 0) {
        const std::string unit = (calibrated ? "dBm" : "dB") + suffix;
        texts.LSN_M = MainMeterText(state);
        scopeOverlay(texts.LSN_M);
        texts.LSN = "S+N=" + MeterNumber(digits, state.SNLevel) + unit;
        texts.LS = "S=" + MeterNumber(digits, state.SLevel) + unit;
        if (density) {
            texts.LSp =
                emptyBand
                    ? "delta f = 0"
                    : "S+N=" + MeterNumber(digits, state.SNLevel - 10.0 * std::log10(bandwidthHz)) +
                          (calibrated ? "dBm/Hz" : "dB/Hz") + suffix;
        }
        return;
    }

    const bool peakPeak = state.Controls.CUnits == 1;
    const auto volts = [&](double levelDb) {
        return peakPeak ? DbmToVpp(levelDb) : DbmToVeff(levelDb);
    };
    const std::string unit = (!calibrated ? "" : peakPeak ? "Vpp" : "Veff") + suffix;
    const double v = volts(state.SNLevel);
    texts.LSN_M = MainMeterText(state);
    scopeOverlay(texts.LSN_M);
    texts.LSN = "S+N=" + texts.LSN_M;
    if (density) {
        texts.LSp = emptyBand ? "delta f = 0"
                              : VoltNumber(v / std::sqrt(bandwidthHz), digits) +
                                    (calibrated ? unit + "/Hz^0.5" : "");
    }
    texts.LS = "S=" + VoltNumber(volts(state.SLevel), digits) + unit;
}

TPeakReadings PeakChartReadings(const MeasurementState& state) {
    std::string level = MeterNumber(state.MeterDigits, state.SLevel + UnitShiftDb(state));
    const auto first = level.find_first_not_of(' ');
    const auto last = level.find_last_not_of(' ');
    level = first == std::string::npos ? std::string() : level.substr(first, last - first + 1);
    return {"S=" + level + " " + AxisUnitText(state), FormatFixed(PeakFrequency(state)) + " Hz"};
}

int SpecialMeterClick(MeasurementState& state, int meter) {
    state.SpecialMeter = (meter == state.SpecialMeter || meter < 0 || meter > 2) ? 3 : meter;
    return state.SpecialMeter;
}

void SetCustomVariables(MeasurementState& state) {
    for (TComplexArray* set : {&state.CustomVarsVolts, &state.CustomVarsRatio}) {
        if (set->size() < MeasurementState::CustomVariableCount) {
            set->resize(MeasurementState::CustomVariableCount);
        }
        auto& vars = *set;
        vars[1].Re = state.Controls.TrackL;
        vars[2].Re = state.Controls.TrackU;
        vars[3].Re = state.SampleRate;
        vars[4].Re = state.BlockLength;
        vars[5].Re = state.PeakAmplitude;
        vars[6].Re = PeakFrequency(state);
    }
    state.CustomVarsVolts[7].Re = DbmToVeff(state.SNLevel);
    state.CustomVarsVolts[8].Re = DbmToVeff(state.SLevel);
    state.CustomVarsRatio[7].Re = DbmToVeff(state.SNLevel) * std::sqrt(20.0);
    state.CustomVarsRatio[8].Re = DbmToVeff(state.SLevel) * std::sqrt(20.0);
}
