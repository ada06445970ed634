// SPDX-License-Identifier: GPL-3.0-or-later
// Screenshot sizes and their limits, the placing of labels in the resized window, and the
// normal/screenshot size toggle; in whole pixels, without a window.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

struct TPixelSize {
    int Width = 0;
    int Height = 0;
    bool operator==(const TPixelSize&) const = default;
};

// What a screenshot may be: each side from Min to its maximum, and at most MaxPixels in all.
struct TScreenshotLimits {
    static constexpr int Min = 32; // pixels per side; below this nothing is legible
    int MaxWidth = 0;
    int MaxHeight = 0;
    long long MaxPixels = 0;
};

// Bytes a screenshot of one pixel costs while it is taken: the window's back buffer, the grabbed
// image and the clipboard's (or the PNG encoder's) copy, 4 bytes each.
constexpr long long kScreenshotBytesPerPixel = 12;
// The largest share of the free memory a screenshot may take: 1 / kScreenshotMemoryShare.
constexpr long long kScreenshotMemoryShare = 4;
// Side limit whatever the screen: the window system's coordinates end at 32767.
constexpr int kScreenshotMaxSide = 16384;

// Limits for a screen (virtual desktop) of screenWidth x screenHeight pixels and freeBytes of
// free memory: sides up to the screen's size (the window must fit on it; at least Min, at most
// kScreenshotMaxSide), pixels up to freeBytes / kScreenshotMemoryShare /
// kScreenshotBytesPerPixel (at least Min x Min). A freeBytes of 0 or less counts as unknown and
// limits by the screen alone.
TScreenshotLimits ScreenshotLimits(int screenWidth, int screenHeight, long long freeBytes);
// Free physical memory in bytes as the system reports it; 0 when it reports nothing.
long long FreeMemoryBytes();

// The side typed into the width (or height) field, checked against the limits with the other
// side in force: a whole number from Min to the side's maximum whose product with `otherSide`
// stays within MaxPixels. Nothing when the text is no whole number or the size is out of range.
std::optional<int> ScreenshotWidthOf(std::string_view text, int height,
                                     const TScreenshotLimits& limits);
std::optional<int> ScreenshotHeightOf(std::string_view text, int width,
                                      const TScreenshotLimits& limits);
// A stored size brought within the limits (a screen that became smaller since it was chosen):
// each side limited to Min .. its maximum, then both scaled down by the same factor until the
// pixel count fits.
TPixelSize LimitScreenshotSize(TPixelSize size, const TScreenshotLimits& limits);

// Scale factors from the normal client area to the screenshot: sx = shot width / client width,
// sy = shot height / client height (1 for a client side of 0 or less).
struct TScreenshotScale {
    double Sx = 1.0;
    double Sy = 1.0;
};
TScreenshotScale ScreenshotScale(TPixelSize client, TPixelSize shot);

// Smallest font size of the meters in a picture, points: smaller texts are not legible.
constexpr int kMinPictureFontSize = 7;
// Font size of a meter read-out in a picture: its size in the window scaled with the picture,
// round(meterPoints * min(sx, sy)), within kMinPictureFontSize .. capPoints (the screenshot font
// size; a cap below the minimum wins).
int PictureMeterFontSize(int meterPoints, int capPoints, const TScreenshotScale& scale);

struct TPixelPosition {
    int Left = 0;
    int Top = 0;
    bool operator==(const TPixelPosition&) const = default;
};
// A label at `at` in the normal client area, placed for the screenshot: left = round(left sx),
// top = round(top sy), rounded to the nearest, ties to even.
TPixelPosition ScaledLabelPosition(TPixelPosition at, const TScreenshotScale& scale);

// F9: toggles the client area between its normal size and the screenshot size. Owned by the
// window's screenshot tool; main thread only.
class TScreenshotSizeMode {
public:
    bool On() const { return Normal_.has_value(); }
    // The client size to set now: off to on remembers `current` and gives `shot`; on to off gives
    // the remembered size.
    TPixelSize Toggle(TPixelSize current, TPixelSize shot);
    // When on: the remembered normal size, and the mode is off (closing restores it before the
    // settings are written). Nothing when off.
    std::optional<TPixelSize> Leave();

private:
    std::optional<TPixelSize> Normal_;
};

// Runs an action once: explicitly by Run, else when it goes out of scope (an exception while a
// screenshot is taken still restores the window). The action must not throw.
class TRestoreOnExit {
public:
    explicit TRestoreOnExit(std::function<void()> restore) : Restore_(std::move(restore)) {}
    ~TRestoreOnExit() { Run(); }
    TRestoreOnExit(const TRestoreOnExit&) = delete;
    TRestoreOnExit& operator=(const TRestoreOnExit&) = delete;
    void Run() {
        if (auto restore = std::exchange(Restore_, nullptr))
            restore();
    }

private:
    std::function<void()> Restore_;
};
