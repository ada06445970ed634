// SPDX-License-Identifier: GPL-3.0-or-later
// Evaluations per second of compiled expressions: the default trace "1/f" and label.
#include "expr/ComplexParser.h"

#include <benchmark/benchmark.h>

namespace {

// A parser with the host's nine variables and `text` compiled into slot 0.
TComplexParser MakeParser(const char* text) {
    TComplexParser parser;
    for (const char* name : {"f", "f_l", "f_u", "samplerate", "n", "y_peak", "f_peak", "sn", "s"})
        parser.DefineVariable(name);
    parser.SetExpression(text);
    if (!parser.Compile(0))
        throw EExpressionError(parser.LastError());
    return parser;
}

void Evaluate(benchmark::State& state, const char* text) {
    TComplexParser parser = MakeParser(text);
    TComplexArray vars(9, TComplex{0.0, 0.0});
    vars[1] = {1000.0, 0.0};
    vars[2] = {40000.0, 0.0};
    vars[7] = {0.001, 0.0};
    double f = 20.0;
    for (auto _ : state) {
        // One pixel column after another, as the trace is drawn.
        vars[0].Re = f;
        f = f < 20000.0 ? f * 1.01 : 20.0;
        benchmark::DoNotOptimize(parser.Evaluate(0, vars));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_EvaluateTrace(benchmark::State& state) {
    Evaluate(state, "1/f");
}
void BM_EvaluateLabel(benchmark::State& state) {
    Evaluate(state, "sn/sqrt(f_u-f_l)");
}

BENCHMARK(BM_EvaluateTrace);
BENCHMARK(BM_EvaluateLabel);

} // namespace

BENCHMARK_MAIN();
