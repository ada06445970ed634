// SPDX-License-Identifier: GPL-3.0-or-later
// A saved window brought onto its screen, and the start-up messages held until the window is up.
#include "core/StartupMessages.h"
#include "core/WindowPlacement.h"

#include <gtest/gtest.h>

TEST(FitIntoScreen, ShrinksToTheScreenThenMovesTheLeastDistance) {
    const TPixelRect full{0, 0, 1920, 1080};
    const TPixelRect halved{0, 0, 960, 540};     // 1920 x 1080 at a scale factor of 2
    const TPixelRect right{1920, 0, 1280, 1024}; // a second screen right of the first
    const struct {
        TPixelRect window, screen, fitted;
    } cases[] = {
        {{100, 50, 1100, 750}, full, {100, 50, 1100, 750}},         // on the screen: unchanged
        {{100, 50, 1100, 750}, halved, {0, 0, 960, 540}},           // too big: the whole screen
        {{-300, 900, 800, 600}, full, {0, 480, 800, 600}},          // off the left and bottom edges
        {{1800, 100, 400, 300}, full, {1520, 100, 400, 300}},       // off the right edge
        {{3000, 900, 900, 640}, right, {2300, 384, 900, 640}},      // on the second screen's terms
        {{10, 10, 0, -5}, full, {10, 10, 1, 1}},                    // no size: one pixel
        {{-50, -50, 900, 640}, {0, 0, 0, 0}, {-50, -50, 900, 640}}, // no screen: as saved
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitIntoScreen(c.window, c.screen), c.fitted)
            << c.window.Left << "," << c.window.Top << " " << c.window.Width << "x"
            << c.window.Height;
}

TEST(StartupMessages, HeldInOrderUntilReleasedThenPassedOn) {
    TStartupMessages messages;
    EXPECT_TRUE(messages.Hold("", "No sound card found!"));
    EXPECT_TRUE(messages.Hold("Error", "Data format not supported!\n/tmp/mem1.s1p"));
    const std::vector<TStartupMessages::TMessage> held = messages.Release();
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0], (TStartupMessages::TMessage{"", "No sound card found!"}));
    EXPECT_EQ(held[1].Caption, "Error");
    EXPECT_FALSE(messages.Holding());
    EXPECT_FALSE(messages.Hold("", "later")); // shown at once by the caller
    EXPECT_TRUE(messages.Release().empty());
}
