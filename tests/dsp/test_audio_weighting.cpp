// SPDX-License-Identifier: GPL-3.0-or-later
// A and C weightings against the design goals tabulated by IEC 61672-1 (to 0.1 dB).
#include "dsp/AudioWeighting.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct DesignGoal {
    int index; // exact frequency 1000 * 10^(index / 10) Hz; -20 is 10 Hz, 13 is 20 kHz
    double aDb;
    double cDb;
};

// IEC 61672-1 Table 3, nominal 10 Hz to 20 kHz. The tabulated goals are the closed forms at the
// exact base-ten frequencies, rounded to 0.1 dB.
constexpr DesignGoal kGoals[] = {
    {-20, -70.4, -14.3}, {-19, -63.4, -11.2}, {-18, -56.7, -8.5}, {-17, -50.5, -6.2},
    {-16, -44.7, -4.4},  {-15, -39.4, -3.0},  {-14, -34.6, -2.0}, {-13, -30.2, -1.3},
    {-12, -26.2, -0.8},  {-11, -22.5, -0.5},  {-10, -19.1, -0.3}, {-9, -16.1, -0.2},
    {-8, -13.4, -0.1},   {-7, -10.9, 0.0},    {-6, -8.6, 0.0},    {-5, -6.6, 0.0},
    {-4, -4.8, 0.0},     {-3, -3.2, 0.0},     {-2, -1.9, 0.0},    {-1, -0.8, 0.0},
    {0, 0.0, 0.0},       {1, 0.6, 0.0},       {2, 1.0, -0.1},     {3, 1.2, -0.2},
    {4, 1.3, -0.3},      {5, 1.2, -0.5},      {6, 1.0, -0.8},     {7, 0.5, -1.3},
    {8, -0.1, -2.0},     {9, -1.1, -3.0},     {10, -2.5, -4.4},   {11, -4.3, -6.2},
    {12, -6.6, -8.5},    {13, -9.3, -11.2},
};

TEST(AudioWeighting, ClosedFormsMeetTheTabulatedDesignGoals) {
    for (const DesignGoal& g : kGoals) {
        const double f = 1000.0 * std::pow(10.0, g.index / 10.0);
        EXPECT_NEAR(AWeightDB(f), g.aDb, 0.05 + 1e-9) << f << " Hz";
        EXPECT_NEAR(CWeightDB(f), g.cDb, 0.05 + 1e-9) << f << " Hz";
    }
}

TEST(AudioWeighting, NormalisationAt1kHzAndTheLimits) {
    EXPECT_NEAR(AWeightRawDB(1000.0), -2.000, 0.0005);
    EXPECT_NEAR(CWeightRawDB(1000.0), -0.062, 0.0005);
    EXPECT_EQ(AWeightDB(1000.0), 0.0);
    EXPECT_EQ(CWeightDB(1000.0), 0.0);
    EXPECT_TRUE(std::isinf(AWeightDB(0.0)) && AWeightDB(0.0) < 0.0);
    EXPECT_TRUE(std::isinf(CWeightDB(0.0)) && CWeightDB(0.0) < 0.0);
    // Far above f4 both fall at 40 dB per decade: the ratio over one decade.
    EXPECT_NEAR(AWeightDB(1e6) - AWeightDB(1e7), 40.0, 0.01);
    EXPECT_NEAR(CWeightDB(1e6) - CWeightDB(1e7), 40.0, 0.01);
}

} // namespace
