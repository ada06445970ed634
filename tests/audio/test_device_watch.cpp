// SPDX-License-Identifier: GPL-3.0-or-later
// Device-list entries found again after a rebuild, and the watch over blocks that stop arriving.
#include "audio/DeviceEntries.h"
#include "audio/StallWatch.h"

#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;

TEST(DeviceEntries, TheDeviceNameAfterTheNumberFindsTheDeviceWhenNumbersMove) {
    const std::pair<const char*, const char*> names[] = {
        {"04  csrcB", "csrcB"}, {"100  far", "far"}, {"01  two  blanks", "two  blanks"},
        {"4  x", "4  x"},       {"plain", "plain"},  {"", ""}};
    for (const auto& [entry, name] : names)
        EXPECT_EQ(DeviceNameOfEntry(entry), name) << entry;

    const std::vector<std::string> list{"01  system", "02  bsrcA", "03  csrcB", "04  bsrcA"};
    const std::pair<const char*, int> finds[] = {{"04  csrcB", 2}, // moved from 04 to 03
                                                 {"04  bsrcA", 3}, // an equal entry first
                                                 {"09  bsrcA", 1}, // else the first of that name
                                                 {"05  gone", -1}, {"", -1}, {"system", 0}};
    for (const auto& [entry, position] : finds)
        EXPECT_EQ(FindEntryOfDevice(list, entry), position) << entry;
}

TEST(StallWatch, LimitIsTwoSecondsOrFourBlocksAndTheMessageNamesTheDevice) {
    EXPECT_EQ(StallLimit(2048, 48000), 2s);
    EXPECT_NEAR(StallLimit(65536, 48000).count(), 5461333333.0, 2.0); // 4 x 1.365 s
    EXPECT_EQ(StallLimit(2048, 48000, 1s), 1s);
    EXPECT_EQ(StallLimit(0, 48000), 2s);
    EXPECT_EQ(StallMessage("02  pstest", 2s), "No audio from \"02  pstest\" for 2 s");
    EXPECT_EQ(StallMessage("01  Sound server", StallLimit(65536, 48000)),
              "No audio from \"01  Sound server\" for 5.46 s");
    EXPECT_EQ(StallMessage("x", StallLimit(1048576, 48000)), "No audio from \"x\" for 87.4 s");
}

namespace {

using TTime = TStallWatch::TTime;
const TTime t0 = TTime{} + 1000s;

// Checks every `step` from `from` to `to`; the first time a stall is reported.
std::optional<std::chrono::nanoseconds> FirstReport(TStallWatch& watch,
                                                    std::chrono::nanoseconds from,
                                                    std::chrono::nanoseconds to,
                                                    std::chrono::nanoseconds step = 250ms) {
    std::optional<std::chrono::nanoseconds> first;
    for (auto t = from; t <= to; t += step)
        if (watch.Check(t0 + t) && !first)
            first = t;
    return first;
}

} // namespace

TEST(StallWatch, ReportsOnceAfterTheLimitAndAgainAfterABlockEndedIt) {
    TStallWatch watch;
    EXPECT_FALSE(watch.Check(t0)) << "not armed";
    watch.Start(t0, 2s, 5s);
    EXPECT_EQ(FirstReport(watch, 250ms, 20s), 7s) << "the first block may take 5 s longer";
    EXPECT_TRUE(watch.Stalled());

    EXPECT_TRUE(watch.Block(t0 + 20s)) << "the block ends the stall";
    EXPECT_FALSE(watch.Block(t0 + 20100ms));
    EXPECT_EQ(FirstReport(watch, 20250ms, 30s), 22250ms) << "2 s after the last block";

    watch.Block(t0 + 30s);
    watch.Stop();
    EXPECT_EQ(FirstReport(watch, 30250ms, 40s), std::nullopt);
}

TEST(StallWatch, BlocksInTimeNeverReportAndTimeTheCheckerWasAwayDoesNotCount) {
    TStallWatch watch;
    watch.Start(t0, 2s);
    for (auto t = 0ms; t < 10s; t += 250ms) {
        if (t % 1500ms == 0ms)
            watch.Block(t0 + t);
        EXPECT_FALSE(watch.Check(t0 + t)) << t.count();
    }
    // Last block at 9 s; the checker is away from 9.75 s to 13 s (its thread was busy): the
    // 3.25 s away do not count, so the stall shows at 11 s + 3.25 s.
    EXPECT_FALSE(watch.Check(t0 + 9750ms));
    EXPECT_FALSE(watch.Check(t0 + 13s));
    EXPECT_EQ(FirstReport(watch, 13250ms, 20s), 14250ms);
}
