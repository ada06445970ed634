// SPDX-License-Identifier: GPL-3.0-or-later
// Complex arithmetic of the expression evaluator: operators, functions, constants, conversions.
#include "expr/ComplexMath.h"

#include <array>
#include <cmath>
#include <utility>

double Omega = 0.0;

namespace {

constexpr double Pi = 3.141592653589793;
constexpr double TwoPi = 2.0 * Pi;
constexpr double Log10OfE = 0.4342944819032518;
// 10 log10(20): 1 V RMS across 50 ohms is 20 mW, i.e. +13.0103 dBm.
const double DbmOfOneVolt = 10.0 * std::log10(20.0);
// Floor of |b|^2 in ComplexDivide.
constexpr double DivideFloor = 1e-200;

bool IsFinite(TComplex z) {
    return std::isfinite(z.Re) && std::isfinite(z.Im);
}

[[noreturn]] void RaiseMathError(TComplex z) {
    if (std::isinf(z.Re) || std::isinf(z.Im))
        throw EComplexMathError("Floating point overflow");
    throw EComplexMathError("Invalid floating point operation");
}

// The result of an operation whose floating-point failures end the evaluation.
TComplex Checked(TComplex z) {
    if (!IsFinite(z))
        RaiseMathError(z);
    return z;
}

double CheckedReal(double x) {
    return Checked({x, 0.0}).Re;
}

// a / b for b != 0 by Smith's scaling, so that |b|^2 is never formed: no spurious overflow or
// underflow for very large or very small divisors (1e-170 / 1e-170 = 1, 1 / 1e200 = 1e-200).
TComplex ScaledQuotient(TComplex a, TComplex b) {
    if (std::fabs(b.Re) >= std::fabs(b.Im)) {
        const double r = b.Im / b.Re;
        const double den = b.Re + b.Im * r;
        return {(a.Re + a.Im * r) / den, (a.Im - a.Re * r) / den};
    }
    const double r = b.Re / b.Im;
    const double den = b.Re * r + b.Im;
    return {(a.Re * r + a.Im) / den, (a.Im * r - a.Re) / den};
}

double Magnitude(TComplex z) {
    return std::hypot(z.Re, z.Im);
}

// ln|z| with the logarithm of zero as a math error.
double LogMagnitude(TComplex z, double (*logFunction)(double)) {
    const double m = Magnitude(z);
    if (m == 0.0)
        throw EComplexMathError("Logarithm of zero");
    return CheckedReal(logFunction(m));
}

double NaturalLog(double x) {
    return std::log(x);
}
double DecimalLog(double x) {
    return std::log10(x);
}

// "DEG" and "RAD" accept real angles only.
void RequireRealAngle(TComplex z) {
    if (z.Im != 0.0)
        throw EExpressionError("Complex angle illegal");
}

// A conversion that leaves its operand unchanged when it overflows.
TComplex Converted(TComplex z, TComplex converted) {
    return IsFinite(converted) ? converted : z;
}

// The lumped-element read-outs "RS" ... "QC": a real value, or the operand's real part when
// the computation divides by zero or overflows.
TComplex ElementValue(TComplex z, std::optional<double> value) {
    if (value && std::isfinite(*value))
        return {*value, 0.0};
    return {z.Re, 0.0};
}

// value = num / den, failing on a zero or non-finite divisor.
std::optional<double> SafeRatio(double num, double den) {
    if (den == 0.0 || !std::isfinite(den) || !std::isfinite(num))
        return std::nullopt;
    return num / den;
}

struct TFunctionName {
    std::string_view Name;
    TComplexFunction Function;
};

constexpr std::array<TFunctionName, 36> FunctionNames{{
    {"RE", TComplexFunction::cfRe},       {"IMAG", TComplexFunction::cfImag},
    {"IM", TComplexFunction::cfIm},       {"CONJ", TComplexFunction::cfConj},
    {"ABS", TComplexFunction::cfAbs},     {"ABSSQR", TComplexFunction::cfAbsSqr},
    {"SQR", TComplexFunction::cfSqr},     {"SQRT", TComplexFunction::cfSqrt},
    {"ARG", TComplexFunction::cfArg},     {"DEG", TComplexFunction::cfDeg},
    {"RAD", TComplexFunction::cfRad},     {"EXP", TComplexFunction::cfExp},
    {"LN", TComplexFunction::cfLn},       {"LOG", TComplexFunction::cfLog},
    {"SIN", TComplexFunction::cfSin},     {"COS", TComplexFunction::cfCos},
    {"TAN", TComplexFunction::cfTan},     {"ARCTAN", TComplexFunction::cfArcTan},
    {"ATAN", TComplexFunction::cfArcTan}, {"DB", TComplexFunction::cfDb},
    {"DBM", TComplexFunction::cfDbm},     {"HEAVISIDE", TComplexFunction::cfHeaviside},
    {"Z2S", TComplexFunction::cfZ2S},     {"Y2S", TComplexFunction::cfY2S},
    {"Z", TComplexFunction::cfS2Z},       {"S2Z", TComplexFunction::cfS2Z},
    {"Y", TComplexFunction::cfS2Y},       {"S2Y", TComplexFunction::cfS2Y},
    {"RS", TComplexFunction::cfRs},       {"LS", TComplexFunction::cfLs},
    {"CS", TComplexFunction::cfCs},       {"QL", TComplexFunction::cfQl},
    {"RP", TComplexFunction::cfRp},       {"LP", TComplexFunction::cfLp},
    {"CP", TComplexFunction::cfCp},       {"QC", TComplexFunction::cfQc},
}};

} // namespace

std::optional<TComplexFunction> FindComplexFunction(std::string_view upperName) {
    for (const auto& entry : FunctionNames)
        if (entry.Name == upperName)
            return entry.Function;
    return std::nullopt;
}

// ---- Operators ----

TComplex ComplexAdd(TComplex a, TComplex b) {
    return Checked({a.Re + b.Re, a.Im + b.Im});
}

TComplex ComplexSubtract(TComplex a, TComplex b) {
    return Checked({a.Re - b.Re, a.Im - b.Im});
}

TComplex ComplexMultiply(TComplex a, TComplex b) {
    return Checked({a.Re * b.Re - a.Im * b.Im, a.Im * b.Re + a.Re * b.Im});
}

TComplex ComplexQuotient(TComplex a, TComplex b) {
    if (b.Re == 0.0 && b.Im == 0.0)
        return a;
    const TComplex q = ScaledQuotient(a, b);
    return IsFinite(q) ? q : a;
}

TComplex ComplexPower(TComplex a, TComplex b) {
    if (b.Re == 2.0 && b.Im == 0.0)
        return ComplexSqr(a);
    return ComplexExp(ComplexMultiply(ComplexLn(a), b));
}

TComplex ComplexNegate(TComplex z) {
    return {-z.Re, -z.Im};
}

// ---- Functions ----

double ComplexArg(TComplex z) {
    if (z.Re == 0.0)
        return z.Im > 0.0 ? Pi / 2.0 : -Pi / 2.0;
    // atan2 equals arctan(y/x) for x > 0 and arctan(y/x) + pi (folded into (-pi, pi]) for
    // x < 0, without forming y/x.
    double phase = std::atan2(z.Im, z.Re);
    if (phase >= Pi)
        phase -= TwoPi;
    return phase;
}

TComplex ComplexSqrt(TComplex z) {
    const double r = std::sqrt(Magnitude(z));
    double h = ComplexArg(z) / 2.0;
    if (h < 0.0)
        h += Pi;
    return Checked({r * std::cos(h), r * std::sin(h)});
}

TComplex ComplexSqr(TComplex z) {
    // (x - y)(x + y) is x^2 - y^2 without the cancellation of two large squares.
    return Checked({(z.Re - z.Im) * (z.Re + z.Im), 2.0 * z.Re * z.Im});
}

TComplex ComplexExp(TComplex z) {
    const double ex = std::exp(z.Re);
    if (!std::isfinite(ex))
        return z;
    return {ex * std::cos(z.Im), ex * std::sin(z.Im)};
}

TComplex ComplexLn(TComplex z) {
    return {LogMagnitude(z, NaturalLog), ComplexArg(z)};
}

TComplex ComplexLog(TComplex z) {
    // log10|z| directly rather than ln|z| * log10(e), so that LOG(100) is exactly 2.
    return {LogMagnitude(z, DecimalLog), ComplexArg(z) * Log10OfE};
}

TComplex ComplexSin(TComplex z) {
    return Checked({std::sin(z.Re) * std::cosh(z.Im), std::cos(z.Re) * std::sinh(z.Im)});
}

TComplex ComplexCos(TComplex z) {
    return Checked({std::cos(z.Re) * std::cosh(z.Im), -std::sin(z.Re) * std::sinh(z.Im)});
}

TComplex ComplexTan(TComplex z) {
    return ComplexQuotient(ComplexSin(z), ComplexCos(z));
}

TComplex ComplexArcTan(TComplex z) {
    const TComplex w = ComplexQuotient(ComplexAdd(z, ComplexI), ComplexSubtract(z, ComplexI));
    const TComplex l = ComplexLn(w);
    return {(Pi - l.Im) / 2.0, l.Re / 2.0};
}

TComplex ApplyComplexFunction(TComplexFunction function, TComplex z) {
    const double x = z.Re;
    const double y = z.Im;
    switch (function) {
    case TComplexFunction::cfRe:
        return {x, 0.0};
    case TComplexFunction::cfImag:
        return {y, 0.0};
    case TComplexFunction::cfIm:
        return {0.0, y};
    case TComplexFunction::cfConj:
        return {x, -y};
    case TComplexFunction::cfAbs:
        return Checked({Magnitude(z), 0.0});
    case TComplexFunction::cfAbsSqr:
        return Checked({x * x + y * y, 0.0});
    case TComplexFunction::cfSqr:
        return ComplexSqr(z);
    case TComplexFunction::cfSqrt:
        return ComplexSqrt(z);
    case TComplexFunction::cfArg:
        return {ComplexArg(z), 0.0};
    case TComplexFunction::cfDeg:
        RequireRealAngle(z);
        return Checked({x * 180.0 / Pi, 0.0});
    case TComplexFunction::cfRad:
        RequireRealAngle(z);
        return Checked({Pi * x / 180.0, 0.0});
    case TComplexFunction::cfExp:
        return ComplexExp(z);
    case TComplexFunction::cfLn:
        return ComplexLn(z);
    case TComplexFunction::cfLog:
        return ComplexLog(z);
    case TComplexFunction::cfSin:
        return ComplexSin(z);
    case TComplexFunction::cfCos:
        return ComplexCos(z);
    case TComplexFunction::cfTan:
        return ComplexTan(z);
    case TComplexFunction::cfArcTan:
        return ComplexArcTan(z);
    case TComplexFunction::cfDb:
        return {20.0 * LogMagnitude(z, DecimalLog), 0.0};
    case TComplexFunction::cfDbm:
        // 20 log10(sqrt(20) |z|), split so that sqrt(20) |z| cannot overflow.
        return {20.0 * LogMagnitude(z, DecimalLog) + DbmOfOneVolt, 0.0};
    case TComplexFunction::cfHeaviside:
        return {x > 0.0 ? 1.0 : 0.0, 0.0};
    case TComplexFunction::cfZ2S:
        return Converted(z, ZToGamma(z, ReferenceImpedance));
    case TComplexFunction::cfY2S:
        return Converted(z, YToGamma(z, ReferenceImpedance));
    case TComplexFunction::cfS2Z:
        return Converted(z, GammaToZ(z, ReferenceImpedance));
    case TComplexFunction::cfS2Y:
        return Converted(z, GammaToY(z, ReferenceImpedance));
    default:
        break;
    }

    // Element read-outs. Series: Z = R + jX with X = w L = -1 / (w C); parallel: Y = G + jB
    // with B = w C = -1 / (w L).
    const TComplex zz = GammaToZ(z, ReferenceImpedance);
    const TComplex yy = GammaToY(z, ReferenceImpedance);
    const bool zOk = IsFinite(zz);
    const bool yOk = IsFinite(yy);
    std::optional<double> value;
    switch (function) {
    case TComplexFunction::cfRs:
        if (zOk)
            value = zz.Re;
        break;
    case TComplexFunction::cfLs:
        if (zOk)
            value = SafeRatio(zz.Im, Omega);
        break;
    case TComplexFunction::cfCs:
        if (zOk)
            value = SafeRatio(-1.0, zz.Im * Omega);
        break;
    case TComplexFunction::cfQl:
        if (zOk)
            if (auto q = SafeRatio(zz.Im, zz.Re))
                value = std::fabs(*q);
        break;
    case TComplexFunction::cfRp:
        if (yOk)
            value = SafeRatio(1.0, yy.Re);
        break;
    case TComplexFunction::cfLp:
        if (yOk)
            value = SafeRatio(-1.0, yy.Im * Omega);
        break;
    case TComplexFunction::cfCp:
        if (yOk)
            value = SafeRatio(yy.Im, Omega);
        break;
    case TComplexFunction::cfQc:
        if (yOk)
            if (auto q = SafeRatio(yy.Im, yy.Re))
                value = std::fabs(*q);
        break;
    default:
        break;
    }
    return ElementValue(z, value);
}

TComplex ApplyComplexOperator(TComplexOperator op, TComplex a, TComplex b) {
    switch (op) {
    case TComplexOperator::coAdd:
        return ComplexAdd(a, b);
    case TComplexOperator::coSubtract:
        return ComplexSubtract(a, b);
    case TComplexOperator::coMultiply:
        return ComplexMultiply(a, b);
    case TComplexOperator::coDivide:
        return ComplexQuotient(a, b);
    case TComplexOperator::coPower:
        return ComplexPower(a, b);
    }
    return a;
}

// ---- Routines for other subsystems ----

TComplex ComplexScale(TComplex z, double k) {
    return {k * z.Re, k * z.Im};
}

TComplex ComplexDivide(TComplex a, TComplex b) {
    const double d = b.Re * b.Re + b.Im * b.Im;
    if (d < DivideFloor)
        return {(a.Re * b.Re + a.Im * b.Im) / DivideFloor,
                (a.Im * b.Re - a.Re * b.Im) / DivideFloor};
    // Above the floor this is a / b; scaled so that |b|^2 > 1e308 does not overflow to inf/inf.
    return ScaledQuotient(a, b);
}

double PhaseDegrees(TComplex z) {
    return ComplexArg(z) * 180.0 / Pi;
}

TComplex GammaToZ(TComplex gamma, double r) {
    return ComplexScale(ComplexDivide({1.0 + gamma.Re, gamma.Im}, {1.0 - gamma.Re, -gamma.Im}), r);
}

TComplex GammaToY(TComplex gamma, double r) {
    return ComplexScale(ComplexDivide({1.0 - gamma.Re, -gamma.Im}, {1.0 + gamma.Re, gamma.Im}),
                        1.0 / r);
}

TComplex ZToGamma(TComplex z, double r) {
    return ComplexDivide({z.Re - r, z.Im}, {z.Re + r, z.Im});
}

TComplex YToGamma(TComplex y, double r) {
    return ComplexDivide({1.0 - r * y.Re, -r * y.Im}, {1.0 + r * y.Re, r * y.Im});
}
