// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the complex arithmetic: branch conventions, failure behaviours, conversions, and a
// cross-check of every function against std::complex.
#include "expr/ComplexMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using Std = std::complex<double>;
constexpr double Pi = 3.141592653589793;

TComplex C(double re, double im = 0.0) {
    return {re, im};
}
Std S(TComplex z) {
    return {z.Re, z.Im};
}

TComplex F(TComplexFunction f, TComplex z) {
    return ApplyComplexFunction(f, z);
}
using enum TComplexFunction;

// |a - b| <= tol (1 + |b|), component-wise.
void ExpectNear(TComplex a, Std b, double tol = 1e-12) {
    EXPECT_NEAR(a.Re, b.real(), tol * (1.0 + std::abs(b))) << "im " << a.Im << " vs " << b.imag();
    EXPECT_NEAR(a.Im, b.imag(), tol * (1.0 + std::abs(b))) << "re " << a.Re << " vs " << b.real();
}

std::string MathErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const EComplexMathError& e) {
        return e.what();
    }
    return "";
}

class OmegaGuard {
public:
    explicit OmegaGuard(double value) : FSaved(Omega) { Omega = value; }
    ~OmegaGuard() { Omega = FSaved; }
    OmegaGuard(const OmegaGuard&) = delete;
    OmegaGuard& operator=(const OmegaGuard&) = delete;

private:
    double FSaved;
};

TEST(ComplexBranches, ArgRangeIsMinusPiToPi) {
    EXPECT_EQ(ComplexArg(C(-1)), -Pi);
    EXPECT_EQ(ComplexArg(C(-1, -0.0)), -Pi);
    EXPECT_EQ(ComplexArg(C(0)), -Pi / 2);
    EXPECT_EQ(ComplexArg(C(0, 3)), Pi / 2);
    const double above = ComplexArg(C(-1, 1e-9));
    EXPECT_LT(above, Pi);
    EXPECT_NEAR(above, Pi - 1e-9, 1e-15);
    const double below = ComplexArg(C(-1, -1e-9));
    EXPECT_GT(below, -Pi);
    EXPECT_NEAR(below, -Pi + 1e-9, 1e-15);
    EXPECT_EQ(PhaseDegrees(C(-1)), -180.0);
    EXPECT_DOUBLE_EQ(PhaseDegrees(C(0, -1)), -90.0);
    EXPECT_EQ(F(cfArg, C(-1)).Im, 0.0);
}

TEST(ComplexBranches, SqrtAngleInZeroToPi) {
    EXPECT_EQ(F(cfSqrt, C(4)).Re, 2.0);
    EXPECT_EQ(F(cfSqrt, C(4)).Im, 0.0);
    ExpectNear(F(cfSqrt, C(-4)), Std(0, 2), 1e-15);
    const TComplex r = F(cfSqrt, C(0, -1));
    EXPECT_GT(r.Im, 0.0);
    ExpectNear(r, Std(-std::sqrt(0.5), std::sqrt(0.5)), 1e-15);
    // Beyond 1e154, where x^2 + y^2 overflows, the root is still exact.
    ExpectNear(F(cfSqrt, C(1e300, 1e300)), std::sqrt(Std(1e300, 1e300)), 1e-15);
}

TEST(ComplexBranches, ArcTanOfRealsLiesInZeroToPi) {
    EXPECT_NEAR(F(cfArcTan, C(1)).Re, Pi / 4, 1e-15);
    EXPECT_NEAR(F(cfArcTan, C(-1)).Re, 3 * Pi / 4, 1e-15);
    EXPECT_NEAR(F(cfArcTan, C(0)).Re, Pi, 1e-15);
    EXPECT_NEAR(F(cfArcTan, C(1)).Im, 0.0, 1e-15);
    // At the pole -i the logarithm's argument is 0.
    EXPECT_EQ(MathErrorText([] { F(cfArcTan, C(0, -1)); }), "Logarithm of zero");
}

TEST(ComplexBranches, LogarithmsUseTheSameArg) {
    ExpectNear(F(cfLn, C(-1)), Std(0, -Pi), 1e-15);
    EXPECT_EQ(F(cfLog, C(100)).Re, 2.0);
    ExpectNear(F(cfLog, C(-10)), Std(1, -Pi * 0.4342944819032518), 1e-15);
    EXPECT_EQ(MathErrorText([] { F(cfLn, C(0)); }), "Logarithm of zero");
    EXPECT_EQ(MathErrorText([] { F(cfLog, C(0)); }), "Logarithm of zero");
}

TEST(ComplexOperators, PowerGoesThroughSqrOrExp) {
    const TComplex eight = ComplexPower(C(2), C(3));
    EXPECT_NEAR(eight.Re, 8.0, 1e-14);
    EXPECT_NEAR(eight.Im, 0.0, 1e-14);
    EXPECT_EQ(ComplexPower(C(-3), C(2)).Re, 9.0); // exact, through SQR
    EXPECT_EQ(ComplexPower(C(-3), C(2)).Im, 0.0);
    EXPECT_EQ(ComplexPower(C(0), C(2)).Re, 0.0);
    EXPECT_EQ(MathErrorText([] { ComplexPower(C(0), C(3)); }), "Logarithm of zero");
    // An exponent that is 2 only nearly takes the exponential: (-3)^(2+1e-300i) is complex.
    ExpectNear(ComplexPower(C(-3), C(2.0000001)), std::exp(2.0000001 * Std(std::log(3.0), -Pi)),
               1e-12);
    // When the exponential overflows it leaves its operand b*LN(a) unchanged.
    ExpectNear(ComplexPower(C(10), C(400)), Std(400 * std::log(10.0), 0), 1e-15);
    ExpectNear(F(cfExp, C(1000, 2)), Std(1000, 2), 0);
}

TEST(ComplexOperators, DivisionAbsorbsZeroAndOverflow) {
    EXPECT_EQ(ComplexQuotient(C(1), C(0)).Re, 1.0);
    EXPECT_EQ(ComplexQuotient(C(1, 2), C(-0.0, 0)).Im, 2.0);
    EXPECT_EQ(ComplexQuotient(C(1e300), C(1e-300)).Re, 1e300);
    // Divisors whose squared magnitude under- or overflows still divide correctly.
    ExpectNear(ComplexQuotient(C(1e-170, 1e-170), C(1e-170)), Std(1, 1), 1e-15);
    EXPECT_DOUBLE_EQ(ComplexQuotient(C(1), C(1e200)).Re, 1e-200);
    ExpectNear(ComplexQuotient(C(3, 4), C(1e200, 1e200)), Std(3.5e-200, 0.5e-200), 1e-15);
    // ComplexDivide floors |b|^2 at 1e-200 instead.
    EXPECT_EQ(ComplexDivide(C(1), C(0)).Re, 0.0);
    EXPECT_EQ(ComplexDivide(C(1), C(0)).Im, 0.0);
    EXPECT_DOUBLE_EQ(ComplexDivide(C(1), C(1e-101)).Re, 1e-101 / 1e-200);
    ExpectNear(ComplexDivide(C(1e200, 1e200), C(1e200)), Std(1, 1), 1e-15);
}

TEST(ComplexOperators, OverflowIsAMathError) {
    EXPECT_EQ(MathErrorText([] { ComplexAdd(C(1e308), C(1e308)); }), "Floating point overflow");
    EXPECT_EQ(MathErrorText([] { ComplexSubtract(C(-1e308), C(1e308)); }),
              "Floating point overflow");
    EXPECT_EQ(MathErrorText([] { ComplexMultiply(C(1e200), C(0, 1e200)); }),
              "Floating point overflow");
    EXPECT_EQ(MathErrorText([] { F(cfSqr, C(1e200)); }), "Floating point overflow");
    EXPECT_EQ(MathErrorText([] { F(cfAbsSqr, C(1e200)); }), "Floating point overflow");
    EXPECT_NE(MathErrorText([] { F(cfSin, C(1, 800)); }), "");
    EXPECT_NE(MathErrorText([] { F(cfCos, C(1, -800)); }), "");
    EXPECT_NE(MathErrorText([] { F(cfTan, C(1, 800)); }), "");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(MathErrorText([&] { ComplexAdd(C(nan), C(1)); }), "Invalid floating point operation");
    EXPECT_EQ(F(cfAbs, C(1e300, 1e300)).Re, std::hypot(1e300, 1e300));
}

TEST(ComplexFunctions, DegAndRadAcceptRealAnglesOnly) {
    EXPECT_EQ(F(cfDeg, ComplexPi).Re, 180.0);
    EXPECT_DOUBLE_EQ(F(cfRad, C(180)).Re, Pi);
    for (TComplexFunction f : {cfDeg, cfRad}) {
        try {
            F(f, ComplexI);
            ADD_FAILURE() << "no error";
        } catch (const EComplexMathError&) {
            ADD_FAILURE() << "reported as a math error";
        } catch (const EExpressionError& e) {
            EXPECT_STREQ(e.what(), "Complex angle illegal");
        }
    }
}

TEST(ComplexFunctions, DecibelLevels) {
    EXPECT_EQ(F(cfDb, C(10)).Re, 20.0);
    EXPECT_DOUBLE_EQ(F(cfDb, C(0, -0.1)).Re, -20.0);
    EXPECT_NEAR(F(cfDbm, C(1)).Re, 13.0103, 5e-5);
    EXPECT_DOUBLE_EQ(F(cfDbm, C(1)).Re, 10 * std::log10(20.0));
    EXPECT_TRUE(std::isfinite(F(cfDbm, C(1e308)).Re));
    EXPECT_EQ(MathErrorText([] { F(cfDb, C(0)); }), "Logarithm of zero");
    EXPECT_EQ(MathErrorText([] { F(cfDbm, C(0)); }), "Logarithm of zero");
    EXPECT_EQ(F(cfHeaviside, C(0)).Re, 0.0);
    EXPECT_EQ(F(cfHeaviside, C(1e-300, -5)).Re, 1.0);
}

TEST(ComplexConversions, ReflectionCoefficientAtFiftyOhms) {
    EXPECT_EQ(F(cfS2Z, C(0)).Re, 50.0);
    EXPECT_EQ(F(cfZ2S, C(50)).Re, 0.0);
    EXPECT_EQ(F(cfS2Y, C(0)).Re, 0.02);
    ExpectNear(F(cfY2S, C(0.02)), Std(0, 0));
    // Open and short: the guarded division gives 0 instead of an infinite impedance.
    EXPECT_EQ(F(cfS2Z, C(1)).Re, 0.0);
    EXPECT_EQ(F(cfS2Y, C(-1)).Re, 0.0);
    const TComplex z{30, -40};
    const TComplex g = F(cfZ2S, z);
    ExpectNear(g, (S(z) - 50.0) / (S(z) + 50.0));
    ExpectNear(F(cfS2Z, g), S(z));
    ExpectNear(F(cfY2S, F(cfS2Y, g)), S(g));
    ExpectNear(GammaToZ(g, 75), 75.0 * (1.0 + S(g)) / (1.0 - S(g)));
    ExpectNear(YToGamma(C(0.01, 0.01), 50), (1.0 - 50.0 * Std(0.01, 0.01)) / (1.0 + Std(0.5, 0.5)));
    ExpectNear(ComplexScale(C(1, -2), 3), Std(3, -6));
}

TEST(ComplexConversions, ElementValuesNeedOmega) {
    // 10 ohms in series with 1 mH, and 200 ohms parallel to 1 uF, at 1 kHz.
    const double w = 2 * Pi * 1000;
    const TComplex series = ZToGamma(C(10, w * 1e-3), 50);
    const TComplex parallel = YToGamma(C(1.0 / 200, w * 1e-6), 50);
    {
        OmegaGuard omega(w);
        EXPECT_NEAR(F(cfRs, series).Re, 10, 1e-12);
        EXPECT_NEAR(F(cfLs, series).Re, 1e-3, 1e-15);
        EXPECT_NEAR(F(cfQl, series).Re, w * 1e-3 / 10, 1e-12);
        EXPECT_NEAR(F(cfRp, parallel).Re, 200, 1e-10);
        EXPECT_NEAR(F(cfCp, parallel).Re, 1e-6, 1e-18);
        EXPECT_NEAR(F(cfQc, parallel).Re, w * 1e-6 * 200, 1e-12);
        // A capacitor read as a series element, an inductor as a parallel one.
        EXPECT_NEAR(F(cfCs, ZToGamma(C(0, -1 / (w * 1e-6)), 50)).Re, 1e-6, 1e-18);
        EXPECT_NEAR(F(cfLp, YToGamma(C(0, -1 / (w * 1e-3)), 50)).Re, 1e-3, 1e-15);
        // A division by zero falls back to the real part: Re Z = 0 for G = i.
        EXPECT_EQ(F(cfQl, C(0, 1)).Re, 0.0);
        EXPECT_EQ(F(cfQl, C(0, 1)).Im, 0.0);
    }
    OmegaGuard omega(0.0);
    for (TComplexFunction f : {cfLs, cfCs, cfLp, cfCp}) {
        const TComplex r = F(f, C(0.25, 0.5));
        EXPECT_EQ(r.Re, 0.25);
        EXPECT_EQ(r.Im, 0.0);
    }
}

// ---- Cross-check against std::complex on a grid ----

std::vector<TComplex> Grid() {
    const double values[] = {-3.0, -1.0, -0.5, 0.0, 0.25, 1.0, 2.5};
    std::vector<TComplex> grid;
    for (double re : values)
        for (double im : values)
            grid.push_back({re, im});
    return grid;
}

// std::log with the argument folded into [-pi, pi) and ARG(iy) = -pi/2 for y <= 0.
Std LogWithOurArg(Std z) {
    double phase = std::arg(z);
    if (z.real() == 0.0)
        phase = z.imag() > 0 ? Pi / 2 : -Pi / 2;
    if (phase >= Pi)
        phase -= 2 * Pi;
    return {std::log(std::abs(z)), phase};
}

TEST(ComplexCrossCheck, FunctionsAgreeWithStdComplex) {
    for (const TComplex z : Grid()) {
        SCOPED_TRACE(testing::Message() << "z = " << z.Re << " + " << z.Im << "i");
        const Std s = S(z);
        ExpectNear(F(cfRe, z), s.real());
        ExpectNear(F(cfImag, z), s.imag());
        ExpectNear(F(cfIm, z), Std(0, s.imag()));
        ExpectNear(F(cfConj, z), std::conj(s));
        ExpectNear(F(cfAbs, z), std::abs(s));
        ExpectNear(F(cfAbsSqr, z), std::norm(s));
        ExpectNear(F(cfSqr, z), s * s);
        ExpectNear(F(cfExp, z), std::exp(s));
        ExpectNear(F(cfSin, z), std::sin(s));
        ExpectNear(F(cfCos, z), std::cos(s));
        ExpectNear(F(cfTan, z), std::tan(s));
        // The root whose angle lies in [0, pi).
        Std root = std::sqrt(s);
        if (root.imag() < 0)
            root = -root;
        ExpectNear(F(cfSqrt, z), root);
        if (s == 0.0)
            continue;
        const Std ln = LogWithOurArg(s);
        ExpectNear(F(cfArg, z), ln.imag());
        ExpectNear(F(cfLn, z), ln);
        ExpectNear(F(cfLog, z), ln / std::log(10.0));
        EXPECT_NEAR(F(cfDb, z).Re, 20 * std::log10(std::abs(s)), 1e-12);
        EXPECT_NEAR(F(cfDbm, z).Re, 10 * std::log10(20 * std::norm(s)), 1e-12);
        if (s != Std(0, 1) && s != Std(0, -1)) {
            // Same imaginary part; the real part differs from std::atan by a multiple of pi.
            const TComplex a = F(cfArcTan, z);
            const Std ref = std::atan(s);
            EXPECT_NEAR(a.Im, ref.imag(), 1e-12);
            const double turns = (a.Re - ref.real()) / Pi;
            EXPECT_NEAR(turns, std::round(turns), 1e-12);
        }
    }
}

TEST(ComplexCrossCheck, OperatorsAgreeWithStdComplex) {
    for (const TComplex a : Grid()) {
        for (const TComplex b : Grid()) {
            SCOPED_TRACE(testing::Message() << "a = " << a.Re << " + " << a.Im << "i, b = " << b.Re
                                            << " + " << b.Im << "i");
            const Std sa = S(a);
            const Std sb = S(b);
            ExpectNear(ComplexAdd(a, b), sa + sb);
            ExpectNear(ComplexSubtract(a, b), sa - sb);
            ExpectNear(ComplexMultiply(a, b), sa * sb);
            ExpectNear(ComplexQuotient(a, b), sb == 0.0 ? sa : sa / sb);
            ExpectNear(ComplexDivide(a, b), sb == 0.0 ? 0.0 : sa / sb);
            if (sb == 2.0)
                ExpectNear(ComplexPower(a, b), sa * sa);
            else if (sa != 0.0)
                ExpectNear(ComplexPower(a, b), std::exp(sb * LogWithOurArg(sa)), 1e-11);
            else
                EXPECT_THROW(ComplexPower(a, b), EComplexMathError);
            if (sa != 1.0 && sa != -1.0) {
                ExpectNear(GammaToZ(a, 50), 50.0 * (1.0 + sa) / (1.0 - sa));
                ExpectNear(GammaToY(a, 50), (1.0 - sa) / (1.0 + sa) / 50.0);
            }
        }
    }
}

TEST(ComplexFunctions, NamesMapToFunctions) {
    EXPECT_EQ(FindComplexFunction("ATAN"), cfArcTan);
    EXPECT_EQ(FindComplexFunction("Z"), cfS2Z);
    EXPECT_EQ(FindComplexFunction("Y"), cfS2Y);
    EXPECT_EQ(FindComplexFunction("QC"), cfQc);
    EXPECT_FALSE(FindComplexFunction("sqrt").has_value());
    EXPECT_FALSE(FindComplexFunction("PI").has_value());
}

} // namespace
