// SPDX-License-Identifier: GPL-3.0-or-later
// Number texts: general format, SI prefixes, truncation to significant digits, edit parsing.
#include "core/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(NumberText, GeneralFormatIsShortestWithFifteenDigits) {
    EXPECT_EQ(FormatGeneral(2.0), "2");
    EXPECT_EQ(FormatGeneral(-0.5), "-0.5");
    EXPECT_EQ(FormatGeneral(12000.0), "12000");
    EXPECT_EQ(FormatGeneral(0.00001), "0.00001");
    EXPECT_EQ(FormatGeneral(0.000001), "1E-6");
    EXPECT_EQ(FormatGeneral(1.5e20), "1.5E20");
    EXPECT_EQ(FormatGeneral(0.1 + 0.2), "0.3"); // 15 digits hide the representation error
    EXPECT_EQ(FormatFixed(0.70710678), "0.71");
}

TEST(NumberText, EngineeringPrefixes) {
    const TEngineeringValue small = FormatEngineering(0.0005);
    EXPECT_NEAR(small.Mantissa, 500.0, 1e-9);
    EXPECT_EQ(small.Prefix, "\xC2\xB5");
    EXPECT_EQ(EngineeringText(100.0), "100");
    EXPECT_EQ(EngineeringText(-2500.0), "-2.5k");
    EXPECT_EQ(EngineeringText(0.0), "0");
    EXPECT_TRUE(std::isnan(FormatEngineering(std::numeric_limits<double>::infinity()).Mantissa));
    EXPECT_EQ(FormatEngineering(5e30).Prefix, ""); // beyond 10^24: unchanged
}

TEST(NumberText, TruncatesToSignificantDigits) {
    EXPECT_EQ(FormatGeneral(TruncSignificant(6.324555320336759, 6)), "6.32455");
    EXPECT_EQ(FormatGeneral(TruncSignificant(3.979400086720376, 6)), "3.9794");
    EXPECT_EQ(FormatGeneral(TruncSignificant(-0.0012345, 2)), "-0.0012");
    EXPECT_EQ(FormatGeneral(TruncSignificant(0.3, 1)), "0.3"); // the nudge keeps the digit
    EXPECT_EQ(TruncSignificant(0.0, 3), 0.0);
}

TEST(NumberText, ParsesEditTexts) {
    EXPECT_EQ(ParseNumber(" -40 "), -40.0);
    EXPECT_EQ(ParseNumber("+1.5e3"), 1500.0);
    EXPECT_FALSE(ParseNumber("1,5"));
    EXPECT_FALSE(ParseNumber(""));
    EXPECT_FALSE(ParseNumber("inf"));
    EXPECT_EQ(ParseWholeNumber("1000"), 1000);
    EXPECT_FALSE(ParseWholeNumber("0.5"));
    EXPECT_FALSE(ParseWholeNumber("99999999999"));
    EXPECT_THROW(NumberOrThrow("abc"), EConvertError);
}
