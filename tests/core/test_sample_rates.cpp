// SPDX-License-Identifier: GPL-3.0-or-later
// The sample-rate list: the item a stored rate selects and the captions.
#include "core/SampleRates.h"

#include <gtest/gtest.h>

// Stored rates select the first item at least r - 1000; old files' rates keep their items.
TEST(SampleRates, StoredRateSelectsItem) {
    const struct {
        long long r;
        std::int32_t rate; // 0: the selection is left as it is
    } cases[] = {{0, 6000},        {7000, 6000},    {7001, 8000},     {37000, 36000},
                 {37001, 44100},   {44100, 44100},  {45100, 44100},   {45101, 48000},
                 {48000, 48000},   {49001, 88200},  {88200, 88200},   {89201, 96000},
                 {96000, 96000},   {97001, 176400}, {176400, 176400}, {177401, 192000},
                 {200000, 192000}, {200001, 0}};
    for (const auto& c : cases) {
        const int item = SampleRateItem(c.r);
        EXPECT_EQ(item < 0 ? 0 : ListedSampleRates[static_cast<std::size_t>(item)], c.rate) << c.r;
    }
}

// Every caption reads back as its rate, exactly.
TEST(SampleRates, CaptionsReadBackAsTheirRates) {
    EXPECT_EQ(SampleRateCaption(44100), "44.1 ksps");
    EXPECT_EQ(SampleRateCaption(176400), "176.4 ksps");
    for (const std::int32_t rate : ListedSampleRates)
        EXPECT_EQ(SampleRateOfCaption(SampleRateCaption(rate)), rate);
}
