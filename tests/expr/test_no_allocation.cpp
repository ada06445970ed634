// SPDX-License-Identifier: GPL-3.0-or-later
// Checks that TComplexParser::Evaluate allocates nothing, by counting global operator new calls.
#include "expr/ComplexParser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> Allocations{0};
}

void* operator new(std::size_t size) {
    ++Allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
// Paired with the malloc above; GCC cannot see that pairing and warns under the sanitizers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

TEST(ExprEvaluation, AllocatesNothing) {
    TComplexParser parser;
    for (const char* name : {"f", "f_l", "f_u", "samplerate", "n", "y_peak", "f_peak", "sn", "s"})
        parser.DefineVariable(name);
    parser.SetExpression("sn/sqrt(f_u-f_l) + db(abs(z(0.5*exp(i*f))))^2");
    ASSERT_TRUE(parser.Compile(0));
    parser.SetExpression("1/f");
    ASSERT_TRUE(parser.Compile(1));
    TComplexArray vars(9, TComplex{1.0, 0.0});
    vars[2] = {40000, 0};
    double sum = 0;
    const long before = Allocations.load();
    for (int column = 1; column <= 1000; ++column) {
        vars[0] = {column * 20.0, 0};
        sum += parser.Evaluate(0, vars).Re + parser.Evaluate(1, vars).Re;
    }
    EXPECT_EQ(Allocations.load() - before, 0);
    EXPECT_TRUE(std::isfinite(sum));
}

} // namespace
