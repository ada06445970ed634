// SPDX-License-Identifier: GPL-3.0-or-later
// Screenshot sizes, their limits, the label placing for the resized window and the F9 toggle.
#include "core/ScreenshotLayout.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const TScreenshotLimits kScreen1280 = ScreenshotLimits(1280, 1024, 0);

} // namespace

TEST(ScreenshotLimits, SidesFollowTheScreenAndPixelsTheFreeMemory) {
    EXPECT_EQ(kScreen1280.MaxWidth, 1280);
    EXPECT_EQ(kScreen1280.MaxHeight, 1024);
    EXPECT_EQ(kScreen1280.MaxPixels, 1280LL * 1024);
    // 48 MB free: a quarter of it at 12 bytes a pixel is 1 Mpixel, below the screen's 1.3.
    const TScreenshotLimits tight = ScreenshotLimits(1280, 1024, 48LL * 1000 * 1000);
    EXPECT_EQ(tight.MaxPixels, 1000000);
    // No free memory reported: the screen alone; a tiny figure still allows the smallest shot.
    EXPECT_EQ(ScreenshotLimits(1280, 1024, 1).MaxPixels, 32 * 32);
    // A screen bigger than the window system's coordinates, or none at all.
    EXPECT_EQ(ScreenshotLimits(100000, 100000, 0).MaxWidth, kScreenshotMaxSide);
    EXPECT_EQ(ScreenshotLimits(0, 0, 0).MaxWidth, TScreenshotLimits::Min);
    EXPECT_GT(FreeMemoryBytes(), 0); // this machine reports its memory
}

TEST(ScreenshotLimits, FieldsTakeWholeNumbersWithinTheLimitsOnly) {
    EXPECT_EQ(ScreenshotWidthOf("300", 200, kScreen1280), 300);
    EXPECT_EQ(ScreenshotHeightOf(" 200 ", 300, kScreen1280), 200);
    EXPECT_EQ(ScreenshotWidthOf("1280", 1024, kScreen1280), 1280);
    for (const char* refused :
         {"", "abc", "300.5", "3e2", "0", "-300", "31", "1281", "100000", "99999999999"})
        EXPECT_EQ(ScreenshotWidthOf(refused, 200, kScreen1280), std::nullopt) << refused;
    EXPECT_EQ(ScreenshotHeightOf("1025", 300, kScreen1280), std::nullopt);
    // Each side fits, their product does not.
    const TScreenshotLimits memory = ScreenshotLimits(1280, 1024, 48LL * 1000 * 1000);
    EXPECT_EQ(ScreenshotWidthOf("1000", 1000, memory), 1000);
    EXPECT_EQ(ScreenshotWidthOf("1001", 1000, memory), std::nullopt);
}

TEST(ScreenshotLimits, AStoredSizeIsBroughtWithinTheLimits) {
    EXPECT_EQ(LimitScreenshotSize({300, 200}, kScreen1280), (TPixelSize{300, 200}));
    EXPECT_EQ(LimitScreenshotSize({100000, 100000}, kScreen1280), (TPixelSize{1280, 1024}));
    EXPECT_EQ(LimitScreenshotSize({-5, 0}, kScreen1280), (TPixelSize{32, 32}));
    const TScreenshotLimits memory = ScreenshotLimits(1280, 1024, 48LL * 1000 * 1000);
    const TPixelSize fitted = LimitScreenshotSize({1280, 1024}, memory);
    EXPECT_LE(static_cast<long long>(fitted.Width) * fitted.Height, memory.MaxPixels);
    EXPECT_NEAR(static_cast<double>(fitted.Width) / fitted.Height, 1.25, 0.01); // same shape
}

TEST(ScreenshotPlacing, LabelsScaleWithTheClientArea) {
    // Client 800 x 600 to 300 x 200: a label at left 400 goes to 150.
    const TScreenshotScale s = ScreenshotScale({800, 600}, {300, 200});
    EXPECT_DOUBLE_EQ(s.Sx, 0.375);
    EXPECT_DOUBLE_EQ(s.Sy, 1.0 / 3.0);
    EXPECT_EQ(ScaledLabelPosition({400, 300}, s), (TPixelPosition{150, 100}));
    // Ties go to the even neighbour: 4 x 0.375 = 1.5 -> 2, 12 x 0.375 = 4.5 -> 4.
    EXPECT_EQ(ScaledLabelPosition({4, 0}, s).Left, 2);
    EXPECT_EQ(ScaledLabelPosition({12, 0}, s).Left, 4);
    EXPECT_EQ(ScaledLabelPosition({-40, 0}, s).Left, -15);
    // A client area without size scales by 1.
    const TScreenshotScale none = ScreenshotScale({0, -1}, {300, 200});
    EXPECT_EQ(ScaledLabelPosition({400, 300}, none), (TPixelPosition{400, 300}));
}

TEST(ScreenshotSizeMode, TwoTogglesReturnToTheNormalSizeAndClosingLeavesTheMode) {
    TScreenshotSizeMode mode;
    EXPECT_FALSE(mode.On());
    EXPECT_EQ(mode.Toggle({812, 577}, {300, 200}), (TPixelSize{300, 200}));
    EXPECT_TRUE(mode.On());
    // The size the window has now (the screenshot size, or whatever the user made it) does not
    // replace the remembered one.
    EXPECT_EQ(mode.Toggle({333, 222}, {300, 200}), (TPixelSize{812, 577}));
    EXPECT_FALSE(mode.On());
    EXPECT_EQ(mode.Leave(), std::nullopt);
    mode.Toggle({640, 480}, {300, 200});
    EXPECT_EQ(mode.Leave(), (TPixelSize{640, 480}));
    EXPECT_FALSE(mode.On());
}

TEST(ScreenshotRestore, RunsOnceAlsoWhenTheWorkThrows) {
    int restored = 0;
    {
        TRestoreOnExit guard([&] { ++restored; });
        guard.Run();
        guard.Run();
    }
    EXPECT_EQ(restored, 1);
    try {
        TRestoreOnExit guard([&] { ++restored; });
        throw std::runtime_error("grab failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(restored, 2);
}

TEST(ScreenshotFonts, MetersScaleWithThePictureWithinLegibleAndTheScreenshotSize) {
    const struct {
        int meter, cap;
        TScreenshotScale scale;
        int points;
    } cases[] = {
        {18, 10, {300.0 / 900, 200.0 / 640}, 7}, // 5.6 pt would not read: the smallest legible
        {18, 10, {0.5, 0.5}, 9},                 // 9 pt
        {18, 10, {2.0, 1.5}, 10},                // larger pictures: the screenshot size
        {18, 5, {0.1, 0.1}, 5},                  // a screenshot size below legible wins
        {40, 60, {1.0, 0.75}, 30},               // the smaller of the two scales
    };
    for (const auto& c : cases)
        EXPECT_EQ(PictureMeterFontSize(c.meter, c.cap, c.scale), c.points)
            << c.meter << " pt at " << c.scale.Sx << " x " << c.scale.Sy;
}
