// SPDX-License-Identifier: GPL-3.0-or-later
// The custom label and custom trace expressions.
#include "core/CustomExpressions.h"

#include "core/LevelMeters.h"
#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "expr/ComplexMath.h"

#include <cmath>
#include <numbers>

namespace {

// Sets Omega for the lifetime of the object and restores it afterwards.
class TOmegaScope {
public:
    explicit TOmegaScope(double omega) : previous_(Omega) { Omega = omega; }
    ~TOmegaScope() { Omega = previous_; }
    TOmegaScope(const TOmegaScope&) = delete;
    TOmegaScope& operator=(const TOmegaScope&) = delete;

private:
    double previous_;
};

} // namespace

TCustomExpressions::TCustomExpressions() {
    for (const char* name : {"f", "f_l", "f_u", "samplerate", "n", "y_peak", "f_peak", "sn", "s"})
        parser_.DefineVariable(name);
}

TCustomCompileResult TCustomExpressions::Compile(int slot, const std::string& text) {
    parser_.SetExpression(text);
    TCustomCompileResult result;
    result.Ok = parser_.Compile(slot);
    if (!result.Ok) {
        result.ErrorPrefix = Utf8Prefix(text, parser_.ErrorPosition());
        result.ErrorMessage = parser_.LastError();
    }
    return result;
}

std::string TCustomExpressions::LabelText(MeasurementState& state, const std::string& identifier,
                                          const std::string& unit, int digits) {
    if (!parser_.IsCompiled(LabelSlot))
        return "error";
    SetCustomVariables(state);
    try {
        const double fPeak = state.CustomVarsVolts[6].Re;
        const TOmegaScope omega(2.0 * std::numbers::pi * fPeak);
        const TComplex r = parser_.Evaluate(LabelSlot, state.CustomVarsVolts);
        const TEngineeringValue v = FormatEngineering(TruncSignificant(r.Re, digits));
        return identifier + FormatGeneral(v.Mantissa) + " " + v.Prefix + unit;
    } catch (const std::exception&) {
        return "error";
    }
}

bool TCustomExpressions::BeginTrace(MeasurementState& state) {
    if (!parser_.IsCompiled(TraceSlot))
        return false;
    SetCustomVariables(state);
    return true;
}

double TCustomExpressions::TraceValue(MeasurementState& state, double frequencyHz) {
    state.CustomVarsRatio[0] = TComplex{frequencyHz, 0.0};
    const TOmegaScope omega(2.0 * std::numbers::pi * frequencyHz);
    return parser_.Evaluate(TraceSlot, state.CustomVarsRatio).Re;
}

std::string Utf8Prefix(const std::string& text, int count) {
    std::size_t end = 0;
    for (int n = 0; n < count && end < text.size(); ++n) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end; // continuation bytes belong to the same character
    }
    return text.substr(0, end);
}
