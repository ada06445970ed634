// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the analysis windows and the weighting curves at ends, centres, table points and beyond.
#include "dsp/WeightingCurves.h"
#include "dsp/WindowFunctions.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using WindowFn = double (*)(int, int);
constexpr WindowFn kCosineWindows[] = {WindowBlackman, WindowBlackman2, WindowHanning,
                                       WindowHamming};
constexpr WindowFn kAllWindows[] = {WindowRect,    WindowBlackman, WindowBlackman2,
                                    WindowHanning, WindowHamming,  WindowFlatTop};

TEST(Windows, EndsAndCentreOfABlockOfNSamples) {
    for (int n : {8, 1024, 1025}) {
        const int l = n - 1; // as the spectrum passes it
        EXPECT_EQ(WindowRect(n - 1, l), 0.0);
        EXPECT_EQ(WindowRect(n - 2, l), 1.0);
        EXPECT_EQ(WindowRect(0, l), 1.0);
        EXPECT_NEAR(WindowBlackman(0, l), 0.0, 1e-15);
        EXPECT_NEAR(WindowBlackman2(0, l), 0.0, 1e-15);
        EXPECT_NEAR(WindowHanning(0, l), 0.0, 1e-15);
        EXPECT_NEAR(WindowHamming(0, l), 0.08, 1e-15);
        EXPECT_NEAR(WindowFlatTop(0, l), -0.000421051, 1e-15);
        EXPECT_DOUBLE_EQ(WindowFlatTop(n - 1, l), WindowFlatTop(0, l));
        for (WindowFn w : kCosineWindows) {
            EXPECT_EQ(w(n - 1, l), 0.0); // the last sample is outside M = N - 2
            if ((n - 2) % 2 == 0) {
                EXPECT_NEAR(w((n - 2) / 2, l), 1.0, 1e-15);
            }
            EXPECT_NEAR(w(3, l), w(n - 2 - 3, l), 1e-15); // symmetric over 0 ... N-2
        }
        if ((n - 1) % 2 == 0) {
            EXPECT_NEAR(WindowFlatTop((n - 1) / 2, l), 1.000000003, 1e-15);
        }
        for (WindowFn w : kAllWindows)
            EXPECT_EQ(w(n, l), 0.0);
    }
}

TEST(Windows, TooSmallLengthsGiveDefinedValues) {
    for (WindowFn w : kCosineWindows) {
        EXPECT_EQ(w(0, 1), 0.0); // M = 0
        EXPECT_EQ(w(0, 0), 0.0);
        EXPECT_EQ(w(0, -5), 0.0);
    }
    EXPECT_EQ(WindowRect(0, 1), 1.0);
    EXPECT_EQ(WindowRect(0, 0), 0.0);
    EXPECT_EQ(WindowFlatTop(0, 0), 0.0);
    EXPECT_EQ(WindowFlatTop(0, 1), WindowFlatTop(1, 1));
}

TEST(WeightingCurves, TablePointsAndInterpolationBetweenThem) {
    EXPECT_NEAR(PsophometricWeightDB(800), 0.0, 1e-9);
    EXPECT_NEAR(PsophometricWeightDB(1000), 1.0, 1e-9);
    EXPECT_NEAR(PsophometricWeightDB(50), -63.0, 1e-9);
    EXPECT_NEAR(PsophometricWeightDB(6000), -43.0, 1e-9);
    EXPECT_NEAR(CMessageWeightDB(1000), 0.0, 1e-12);
    EXPECT_NEAR(CMessageWeightDB(60), -55.7, 1e-9);
    EXPECT_NEAR(CMessageWeightDB(3300), -5.1, 1e-9);
    // Halfway in log10 between 100 and 200 Hz.
    EXPECT_NEAR(PsophometricWeightDB(100 * std::sqrt(2.0)), -31.0, 1e-9);
    EXPECT_NEAR(PsophometricWeightDB(141.42), -31.0, 1e-3);
    // Just above 50 Hz the 50 ... 100 Hz segment (22 dB per octave) applies.
    EXPECT_NEAR(PsophometricWeightDB(50.0001), -63.0 + 22.0 * std::log2(50.0001 / 50), 1e-9);
}

TEST(WeightingCurves, ExtrapolationBeyondTheTablesAndZeroHertz) {
    EXPECT_NEAR(PsophometricWeightDB(8000),
                -43.0 - 7.0 * std::log10(8000.0 / 6000) / std::log10(1.2), 1e-9);
    EXPECT_NEAR(PsophometricWeightDB(8000), -54.05, 0.005);
    EXPECT_NEAR(CMessageWeightDB(20), -84.09, 0.005);
    EXPECT_NEAR(PsophometricWeightDB(10),
                -85.0 - 22.0 * std::log10(16.66 / 10) / std::log10(50 / 16.66), 1e-9);
    EXPECT_EQ(PsophometricWeightDB(0), -200.0);
    EXPECT_EQ(CMessageWeightDB(0), -200.0);
    EXPECT_DOUBLE_EQ(PsophometricFactor(0), 1e-10);
    EXPECT_DOUBLE_EQ(CMessageFactor(0), 1e-10);
    EXPECT_DOUBLE_EQ(PsophometricFactor(1000), std::pow(10.0, 1.0 / 20));
    EXPECT_NEAR(CMessageFactor(3000), std::pow(10.0, -3.0 / 20), 1e-12);
    EXPECT_DOUBLE_EQ(LogInterpolate(10, 1, 0, 100, 20), 10.0);
}

} // namespace
