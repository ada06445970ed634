// SPDX-License-Identifier: GPL-3.0-or-later
// Complex arithmetic of the expression evaluator: operators, functions, constants, conversions.
//
// Conventions shared by every function here:
// - ARG(z) lies in [-pi, pi): ARG(-1) = -pi, and ARG(0) = -pi/2.
// - A result that is real has Im = 0.
// - Three kinds of failure. "/", "EXP" and the conversions "Z2S" ... "QC" absorb their
//   failures and return a documented fallback value; "DEG" and "RAD" of a value with an
//   imaginary part throw EExpressionError("Complex angle illegal"); every other floating-point
//   failure (logarithm of zero, overflow, an invalid operation on a non-finite value) throws
//   EComplexMathError.
// All functions are pure apart from reading Omega; they may be called from any thread as long
// as nobody writes Omega at the same time.
#pragma once

#include "dsp/FloatTypes.h"
#include "expr/ExprErrors.h"

#include <cstdint>
#include <optional>
#include <string_view>

// Angular frequency in rad/s (2*pi*f) used by "LS", "CS", "LP" and "CP". The host sets it;
// while it is 0 those four functions take their failure path and return the real part of
// their argument.
extern double Omega;

// Reference impedance of the reflection-coefficient conversions, in ohms.
inline constexpr double ReferenceImpedance = 50.0;

inline constexpr TComplex ComplexPi{3.141592653589793, 0.0};
inline constexpr TComplex ComplexE{2.718281828459045, 0.0};
inline constexpr TComplex ComplexI{0.0, 1.0};

// The two-operand operators of the evaluator ("*" also stands for the middle dot).
enum class TComplexOperator : std::uint8_t { coAdd, coSubtract, coMultiply, coDivide, coPower };

// The one-argument functions of the evaluator. "ATAN" maps to cfArcTan, "Z" to cfS2Z and
// "Y" to cfS2Y.
enum class TComplexFunction : std::uint8_t {
    cfRe,
    cfImag,
    cfIm,
    cfConj,
    cfAbs,
    cfAbsSqr,
    cfSqr,
    cfSqrt,
    cfArg,
    cfDeg,
    cfRad,
    cfExp,
    cfLn,
    cfLog,
    cfSin,
    cfCos,
    cfTan,
    cfArcTan,
    cfDb,
    cfDbm,
    cfHeaviside,
    cfZ2S,
    cfY2S,
    cfS2Z,
    cfS2Y,
    cfRs,
    cfLs,
    cfCs,
    cfQl,
    cfRp,
    cfLp,
    cfCp,
    cfQc
};

// The function with this upper-case name ("SQRT", "ATAN", "S2Z" ...), if there is one.
std::optional<TComplexFunction> FindComplexFunction(std::string_view upperName);

TComplex ApplyComplexFunction(TComplexFunction function, TComplex z);
TComplex ApplyComplexOperator(TComplexOperator op, TComplex a, TComplex b);

// Operators.
TComplex ComplexAdd(TComplex a, TComplex b);
TComplex ComplexSubtract(TComplex a, TComplex b);
TComplex ComplexMultiply(TComplex a, TComplex b);
// The "/" operator: a / b; a unchanged when b = 0 or when the quotient overflows.
TComplex ComplexQuotient(TComplex a, TComplex b);
// a ^ b: SQR(a) when b is exactly 2 + 0i, otherwise EXP(b * LN(a)).
TComplex ComplexPower(TComplex a, TComplex b);
TComplex ComplexNegate(TComplex z);

// Phase in radians in [-pi, pi); ARG(0) = -pi/2.
double ComplexArg(TComplex z);
// Square root with its angle in [0, pi): SQRT(-4) = 2i, SQRT(-i) = (-0.7071, 0.7071).
TComplex ComplexSqrt(TComplex z);
// (x^2 - y^2, 2xy).
TComplex ComplexSqr(TComplex z);
// e^x (cos y, sin y); z unchanged when e^x overflows.
TComplex ComplexExp(TComplex z);
// (ln|z|, ARG(z)).
TComplex ComplexLn(TComplex z);
// Base-10 logarithm: LN(z) * log10(e).
TComplex ComplexLog(TComplex z);
TComplex ComplexSin(TComplex z);
TComplex ComplexCos(TComplex z);
TComplex ComplexTan(TComplex z);
// ((pi - Im L) / 2, Re L / 2) with L = LN((z + i) / (z - i)); for real x the result lies in
// (0, pi]: ARCTAN(1) = pi/4, ARCTAN(-1) = 3pi/4, ARCTAN(0) = pi.
TComplex ComplexArcTan(TComplex z);

// Routines for other subsystems.

// (k * z.Re, k * z.Im).
TComplex ComplexScale(TComplex z, double k);
// a / b with |b|^2 floored at 1e-200, so it never divides by zero: ComplexDivide(1, 0) = 0.
TComplex ComplexDivide(TComplex a, TComplex b);
// ARG(z) * 180 / pi, in degrees in [-180, 180).
double PhaseDegrees(TComplex z);
// Reflection coefficient to impedance: R (1 + G) / (1 - G).
TComplex GammaToZ(TComplex gamma, double r);
// Reflection coefficient to admittance: (1 - G) / (1 + G) / R.
TComplex GammaToY(TComplex gamma, double r);
// Impedance to reflection coefficient: (Z - R) / (Z + R).
TComplex ZToGamma(TComplex z, double r);
// Admittance to reflection coefficient: (1 - R Y) / (1 + R Y).
TComplex YToGamma(TComplex y, double r);
