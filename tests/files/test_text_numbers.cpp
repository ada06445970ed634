// SPDX-License-Identifier: GPL-3.0-or-later
// Locale-free numbers: "." and "," read, "." written, round trips exact.
#include "files/TextNumbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <limits>

namespace {

TEST(TextNumbers, ReadsPointAndCommaWithBlanksAndRefusesTheRest) {
    double v = -1;
    EXPECT_TRUE(ParseReal(" 4.80000000000000E+0004", v));
    EXPECT_DOUBLE_EQ(v, 48000.0);
    EXPECT_TRUE(ParseReal("-3,5\r", v));
    EXPECT_DOUBLE_EQ(v, -3.5);
    EXPECT_TRUE(ParseReal("+12", v));
    EXPECT_DOUBLE_EQ(v, 12.0);
    EXPECT_TRUE(ParseReal("\t1e-3 ", v));
    EXPECT_DOUBLE_EQ(v, 0.001);

    v = 7.0;
    for (const char* bad : {"", "   ", "1x", "1.2.3", "1,5,0", "--1", "nan", "inf", "1e400", "0x10",
                            "+-1", "1 2", "e5", "."}) {
        EXPECT_FALSE(ParseReal(bad, v)) << bad;
        EXPECT_EQ(v, 7.0) << bad;
    }
}

TEST(TextNumbers, WritesPointWhateverTheLocaleAndReadsBackExactly) {
    // A comma locale, where the machine has one; the C++ conversions must not care either way.
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");

    EXPECT_EQ(FormatReal(0.1), "0.1");
    EXPECT_EQ(FormatReal(48000.0), "48000");
    EXPECT_EQ(FormatReal(-2.5), "-2.5");
    for (double x : {0.1, 1.0 / 3.0, -1e-300, DBL_MIN / 4, DBL_MAX, 6.02214076e23, -0.0}) {
        double back = 0;
        ASSERT_TRUE(ParseReal(FormatReal(x), back)) << FormatReal(x);
        EXPECT_EQ(back, x);
        EXPECT_EQ(std::signbit(back), std::signbit(x));
    }
    EXPECT_EQ(FormatReal(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(FormatReal(-std::numeric_limits<double>::infinity()), "-inf");

    std::setlocale(LC_ALL, saved.c_str());
}

} // namespace
