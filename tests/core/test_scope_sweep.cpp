// SPDX-License-Identifier: GPL-3.0-or-later
// Scope trigger search and sweep assembly: lengths, decimation, Norm and Single modes.
#include "core/ScopeSweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kRate = 48000.0;

// A 1 kHz sine of half full scale; `start` is the index of its first sample in the stream.
std::vector<double> SineBlock(std::size_t start, std::size_t count = 1024) {
    std::vector<double> block(count);
    for (std::size_t i = 0; i < count; ++i) {
        block[i] = 1073741823.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * (start + i) / kRate);
    }
    return block;
}

// Feeds consecutive blocks until the first sweep has completed (at most `limit` blocks).
int FeedUntilFirstSweep(TScopeSweep& scope, int limit = 200) {
    for (int k = 0; k < limit; ++k) {
        AssembleSweep(scope, SineBlock(static_cast<std::size_t>(k) * 1024), kRate);
        if (scope.FirstSweepDone) {
            return k + 1;
        }
    }
    return -1;
}

} // namespace

TEST(ScopeTrigger, FindsFractionalCrossings) {
    TScopeSweep scope;
    const std::vector<double> rising = {-3.0, -1.0, 1.0, 3.0};
    EXPECT_DOUBLE_EQ(FindTrigger(scope, rising), 1.5);
    scope.TriggerRising = false;
    EXPECT_EQ(FindTrigger(scope, rising), -1.0);
    scope.TriggerRising = true;
    EXPECT_EQ(FindTrigger(scope, std::vector<double>{-1.0, 0.0, 0.0}), 1.0); // equal samples
    scope.TriggerLevel = 0.5;
    scope.ScopeZoom = 2; // threshold 2147483647 / 4
    const std::vector<double> big = {0.0, 1073741823.5};
    EXPECT_NEAR(FindTrigger(scope, big), 0.5, 1e-9);
    scope.TriggerMode = 0;
    EXPECT_EQ(FindTrigger(scope, big), 0.0);
}

TEST(ScopeSweepLength, NormalSweepGrowsToItsPointCount) {
    TScopeSweep scope;
    TrackTChange(scope, 10); // 0.1 s
    AssembleSweep(scope, SineBlock(0), kRate);
    EXPECT_TRUE(scope.NewScopeData);
    EXPECT_EQ(scope.ScopePoints.size(), 1024u); // the first sweep grows across the screen
    EXPECT_GT(FeedUntilFirstSweep(scope), 0);
    EXPECT_EQ(scope.ScopePoints.size(), 4803u); // trunc(0.1 * 48000) + 3
    EXPECT_GT(scope.ScopePoints.front().t, -1.0f / 48000);
    EXPECT_LE(scope.ScopePoints.front().t, 0.0f);
    EXPECT_NEAR(scope.ScopePoints[4802].t - scope.ScopePoints[0].t, 4802.0 / kRate, 1e-6);
}

TEST(ScopeSweepLength, LongSweepIsDecimatedToMinMaxPairs) {
    TScopeSweep scope;
    EXPECT_EQ(TrackTChange(scope, 7), "1s");
    EXPECT_GT(FeedUntilFirstSweep(scope), 0);
    ASSERT_EQ(scope.ScopePoints.size(), 8000u);
    for (std::size_t p = 0; p < 8000; p += 2) {
        EXPECT_EQ(scope.ScopePoints[p].t, scope.ScopePoints[p + 1].t);
        EXPECT_GE(scope.ScopePoints[p].v, scope.ScopePoints[p + 1].v); // maximum, then minimum
    }
    EXPECT_NEAR(scope.ScopePoints[7998].t, 3999.0 / 3999.0, 1e-4);
}

TEST(ScopeTriggerModes, NormWithoutCrossingKeepsTheLastSweep) {
    TScopeSweep scope;
    TrackTChange(scope, 16); // 1 ms: 51 points
    SetTriggerMode(scope, 1);
    ASSERT_GT(FeedUntilFirstSweep(scope), 0);
    const auto kept = scope.ScopePoints;
    scope.NewScopeData = false;
    AssembleSweep(scope, std::vector<double>(1024, -1000.0), kRate); // no crossing
    EXPECT_FALSE(scope.NewScopeData);
    ASSERT_EQ(scope.ScopePoints.size(), kept.size());
    EXPECT_EQ(scope.ScopePoints[10].v, kept[10].v);
    SetTriggerMode(scope, 2); // Auto runs free at once
    AssembleSweep(scope, std::vector<double>(1024, -1000.0), kRate);
    EXPECT_TRUE(scope.NewScopeData);
}

TEST(ScopeTriggerModes, SingleFreezesUntilRearmed) {
    TScopeSweep scope;
    TrackTChange(scope, 16);
    SetTriggerMode(scope, 3);
    ASSERT_GT(FeedUntilFirstSweep(scope), 0);
    EXPECT_TRUE(scope.SingleDone);
    const auto frozen = scope.ScopePoints;
    scope.NewScopeData = false;
    AssembleSweep(scope, SineBlock(333), kRate);
    EXPECT_FALSE(scope.NewScopeData);
    EXPECT_EQ(scope.ScopePoints[5].v, frozen[5].v);
    SetTriggerMode(scope, 3);
    EXPECT_FALSE(scope.SingleDone);
    AssembleSweep(scope, SineBlock(333), kRate);
    EXPECT_TRUE(scope.NewScopeData);
}
