// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: compiles and evaluates arbitrary text with TComplexParser, and runs every
// complex function and operator on arbitrary doubles.
#include "expr/ComplexMath.h"
#include "expr/ComplexParser.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const VariableNames[] = {"f",      "f_l",    "f_u", "samplerate", "n",
                                     "y_peak", "f_peak", "sn",  "s"};

void Require(bool condition) {
    if (!condition)
        std::abort();
}

// Every function and operator on the complex values a and b; only the library's own error
// types may escape.
void RunArithmetic(TComplex a, TComplex b) {
    for (int f = 0; f <= static_cast<int>(TComplexFunction::cfQc); ++f) {
        try {
            (void)ApplyComplexFunction(static_cast<TComplexFunction>(f), a);
        } catch (const EExpressionError&) {
        }
    }
    for (int op = 0; op <= static_cast<int>(TComplexOperator::coPower); ++op) {
        try {
            (void)ApplyComplexOperator(static_cast<TComplexOperator>(op), a, b);
        } catch (const EExpressionError&) {
        }
    }
    (void)ComplexDivide(a, b);
    (void)PhaseDegrees(a);
    (void)GammaToZ(a, 50.0);
    (void)GammaToY(a, 50.0);
    (void)ZToGamma(a, 50.0);
    (void)YToGamma(a, 50.0);
    (void)ComplexScale(a, b.Re);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 4 * sizeof(double)) {
        double v[4];
        std::memcpy(v, data, sizeof v);
        RunArithmetic({v[0], v[1]}, {v[2], v[3]});
    }

    static TComplexParser* parser = [] {
        auto* p = new TComplexParser;
        for (const char* name : VariableNames)
            p->DefineVariable(name);
        return p;
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    parser->SetExpression(text);
    Omega = (size % 2 == 0) ? 0.0 : 2.0 * 3.141592653589793 * 1000.0;

    for (int slot = 0; slot < 2; ++slot) {
        const bool ok = parser->Compile(slot);
        Require(ok == parser->LastError().empty());
        Require(ok == parser->IsCompiled(slot));
        Require(parser->ErrorPosition() >= -1);
        // Positions count characters, and a text has at most as many characters as bytes.
        Require(static_cast<std::size_t>(parser->ErrorPosition() + 1) <= size);
        if (!ok)
            return 0;
        Require(!parser->TokenList().empty());
    }

    // The label's and the trace's variable sets, and a set of awkward values.
    const TComplexArray sets[] = {
        {{0, 0},
         {1000, 0},
         {40000, 0},
         {48000, 0},
         {4096, 0},
         {0.5, 0},
         {1000, 0},
         {0.001, 0},
         {0.0005, 0}},
        {{0, 0},
         {-1, 0},
         {1e308, 0},
         {-1e-308, 0},
         {0, 1},
         {1, -1},
         {2, 0},
         {-0.0, 0},
         {1e-200, 1e200}},
    };
    for (const TComplexArray& vars : sets) {
        for (int slot = 0; slot < 2; ++slot) {
            try {
                (void)parser->Evaluate(slot, vars);
            } catch (const EExpressionError&) {
            }
        }
    }
    // Too few variable values must be refused, not read past the array.
    try {
        (void)parser->Evaluate(1, TComplexArray{});
    } catch (const EExpressionError&) {
    }
    return 0;
}
