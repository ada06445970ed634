// SPDX-License-Identifier: GPL-3.0-or-later
// The detector test calculator's figures and its refusals.
#include "instruments/DetectorTest.h"

#include <gtest/gtest.h>

TEST(DetectorTest, FiguresAtTheirWidths) {
    const auto text = DetectorTestText(48000.0, "4", "1");
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "Analysis Frequency =    12.0 kHz\n"
                     "Analysis Time =     0.08 ms\n"
                     "Analysis Bandwidth = 12000.0 Hz\n"
                     "Expected noise reduction from rms =    -3.0 dB");
    // p = 48, n = 10 at 96 kHz: 2 kHz, 5 ms, 200 Hz, 10 log10(2 / 480) = -23.8 dB.
    EXPECT_EQ(*DetectorTestText(96000.0, "48", "10"),
              "Analysis Frequency =     2.0 kHz\n"
              "Analysis Time =     5.00 ms\n"
              "Analysis Bandwidth =   200.0 Hz\n"
              "Expected noise reduction from rms =   -23.8 dB");
}

TEST(DetectorTest, RefusedInputsGiveNothing) {
    EXPECT_FALSE(DetectorTestText(48000.0, "", "1")); // Ep cleared
    EXPECT_FALSE(DetectorTestText(48000.0, "4.5", "1"));
    EXPECT_FALSE(DetectorTestText(48000.0, "4", "x"));
    EXPECT_FALSE(DetectorTestText(48000.0, "0", "1"));
    EXPECT_FALSE(DetectorTestText(48000.0, "4", "0"));
    EXPECT_FALSE(DetectorTestText(48000.0, "-4", "1")); // log of a negative ratio
    EXPECT_FALSE(DetectorTestText(48000.0, "99999999999", "1"));
    EXPECT_TRUE(DetectorTestText(48000.0, "-4", "-1"));
}
