// SPDX-License-Identifier: GPL-3.0-or-later
// The user's two expressions: the custom label (one number with identifier and unit) and the
// custom trace (a curve over frequency), compiled by one parser against nine variables.
#pragma once

#include "expr/ComplexParser.h"

#include <optional>
#include <string>

struct MeasurementState;

// The result of compiling one of the two expressions.
struct TCustomCompileResult {
    bool Ok = false;
    std::string ErrorPrefix;  // the expression's text before the error (LErr1)
    std::string ErrorMessage; // the parser's short message (LErr2)
};

// Owns the parser; the window owns this for the program's life. Main thread only. The nine
// variables are defined in the order "f", "f_l", "f_u", "samplerate", "n", "y_peak", "f_peak",
// "sn", "s"; slot 0 holds the label, slot 1 the trace. The variable values live in
// MeasurementState (CustomVarsVolts for the label, CustomVarsRatio for the trace).
class TCustomExpressions {
public:
    static constexpr int LabelSlot = 0;
    static constexpr int TraceSlot = 1;

    TCustomExpressions();

    // Compiles `text` into `slot`; on failure the slot stays not compiled.
    TCustomCompileResult Compile(int slot, const std::string& text);
    bool Compiled(int slot) const { return parser_.IsCompiled(slot); }

    // The label text: identifier + mantissa + " " + SI prefix + unit, the value truncated to
    // `digits` significant digits; "error" when the label is not compiled or fails to evaluate.
    // Refreshes the variables from `state` first; Omega holds 2 pi f_peak meanwhile, so the
    // inductance and capacitance read-outs see the measured frequency.
    std::string LabelText(MeasurementState& state, const std::string& identifier,
                          const std::string& unit, int digits);

    // Prepares a trace drawing: refreshes the variables from `state`. False when the trace is
    // not compiled (nothing is drawn).
    bool BeginTrace(MeasurementState& state);
    // The trace's real value at `frequencyHz` (variable "f", and Omega = 2 pi f). Throws the
    // evaluator's errors (EExpressionError and derived).
    double TraceValue(MeasurementState& state, double frequencyHz);

    TComplexParser& Parser() { return parser_; }

private:
    TComplexParser parser_;
};

// The first `count` characters (code points) of UTF-8 `text`; empty when count <= 0.
std::string Utf8Prefix(const std::string& text, int count);
