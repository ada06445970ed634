// SPDX-License-Identifier: GPL-3.0-or-later
// Screenshot sizes and their limits, label placing in the resized window, the F9 size toggle.
#include "core/ScreenshotLayout.h"

#include "core/NumberText.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

TScreenshotLimits ScreenshotLimits(int screenWidth, int screenHeight, long long freeBytes) {
    TScreenshotLimits limits;
    limits.MaxWidth = std::clamp(screenWidth, TScreenshotLimits::Min, kScreenshotMaxSide);
    limits.MaxHeight = std::clamp(screenHeight, TScreenshotLimits::Min, kScreenshotMaxSide);
    const long long screenPixels =
        static_cast<long long>(limits.MaxWidth) * static_cast<long long>(limits.MaxHeight);
    const long long minPixels =
        static_cast<long long>(TScreenshotLimits::Min) * TScreenshotLimits::Min;
    limits.MaxPixels = screenPixels;
    if (freeBytes > 0) {
        const long long memoryPixels =
            freeBytes / kScreenshotMemoryShare / kScreenshotBytesPerPixel;
        limits.MaxPixels = std::max(minPixels, std::min(screenPixels, memoryPixels));
    }
    return limits;
}

long long FreeMemoryBytes() {
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return static_cast<long long>(pages) * static_cast<long long>(pageSize);
}

namespace {

std::optional<int> SideOf(std::string_view text, int otherSide, int maxSide,
                          const TScreenshotLimits& limits) {
    const auto value = ParseWholeNumber(text);
    if (!value || *value < TScreenshotLimits::Min || *value > maxSide)
        return std::nullopt;
    if (static_cast<long long>(*value) * std::max(1, otherSide) > limits.MaxPixels)
        return std::nullopt;
    return *value;
}

} // namespace

std::optional<int> ScreenshotWidthOf(std::string_view text, int height,
                                     const TScreenshotLimits& limits) {
    return SideOf(text, height, limits.MaxWidth, limits);
}

std::optional<int> ScreenshotHeightOf(std::string_view text, int width,
                                      const TScreenshotLimits& limits) {
    return SideOf(text, width, limits.MaxHeight, limits);
}

TPixelSize LimitScreenshotSize(TPixelSize size, const TScreenshotLimits& limits) {
    constexpr int lo = TScreenshotLimits::Min;
    size.Width = std::clamp(size.Width, lo, std::max(lo, limits.MaxWidth));
    size.Height = std::clamp(size.Height, lo, std::max(lo, limits.MaxHeight));
    const double pixels = static_cast<double>(size.Width) * size.Height;
    if (pixels > static_cast<double>(limits.MaxPixels)) {
        const double f = std::sqrt(static_cast<double>(limits.MaxPixels) / pixels);
        size.Width = std::max(lo, static_cast<int>(std::floor(size.Width * f)));
        size.Height = std::max(lo, static_cast<int>(std::floor(size.Height * f)));
    }
    return size;
}

TScreenshotScale ScreenshotScale(TPixelSize client, TPixelSize shot) {
    TScreenshotScale scale;
    if (client.Width > 0)
        scale.Sx = static_cast<double>(shot.Width) / client.Width;
    if (client.Height > 0)
        scale.Sy = static_cast<double>(shot.Height) / client.Height;
    return scale;
}

TPixelPosition ScaledLabelPosition(TPixelPosition at, const TScreenshotScale& scale) {
    const auto scaled = [](int v, double s) {
        return static_cast<int>(std::clamp(std::nearbyint(v * s), -1e9, 1e9));
    };
    return {scaled(at.Left, scale.Sx), scaled(at.Top, scale.Sy)};
}

TPixelSize TScreenshotSizeMode::Toggle(TPixelSize current, TPixelSize shot) {
    if (Normal_) {
        const TPixelSize normal = *Normal_;
        Normal_.reset();
        return normal;
    }
    Normal_ = current;
    return shot;
}

std::optional<TPixelSize> TScreenshotSizeMode::Leave() {
    return std::exchange(Normal_, std::nullopt);
}

int PictureMeterFontSize(int meterPoints, int capPoints, const TScreenshotScale& scale) {
    const double scaled = std::nearbyint(meterPoints * std::min(scale.Sx, scale.Sy));
    const int low = std::min(kMinPictureFontSize, capPoints);
    return static_cast<int>(std::clamp(scaled, static_cast<double>(low),
                                       static_cast<double>(std::max(low, capPoints))));
}
