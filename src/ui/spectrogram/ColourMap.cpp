// SPDX-License-Identifier: GPL-3.0-or-later
// A perceptually uniform colour map for levels (see ColourMap.h).
#include "ui/spectrogram/ColourMap.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

struct TLinearRgb {
    double R = 0.0, G = 0.0, B = 0.0;
};

// CIELAB (D65) to linear sRGB.
TLinearRgb LabToLinear(const TLabColour& c) {
    const double fy = (c.L + 16.0) / 116.0, fx = fy + c.a / 500.0, fz = fy - c.b / 200.0;
    const auto inverse = [](double t) {
        constexpr double d = 6.0 / 29.0;
        return t > d ? t * t * t : 3.0 * d * d * (t - 4.0 / 29.0);
    };
    const double x = 0.95047 * inverse(fx), y = inverse(fy), z = 1.08883 * inverse(fz);
    return {3.2404542 * x - 1.5371385 * y - 0.4985314 * z,
            -0.9692660 * x + 1.8760108 * y + 0.0415560 * z,
            0.0556434 * x - 0.2040259 * y + 1.0572252 * z};
}

bool InGamut(const TLinearRgb& c) {
    const auto ok = [](double v) { return v >= -1e-9 && v <= 1.0 + 1e-9; };
    return ok(c.R) && ok(c.G) && ok(c.B);
}

TLabColour FromLch(double l, double chroma, double hueRadians) {
    return {l, chroma * std::cos(hueRadians), chroma * std::sin(hueRadians)};
}

// The largest chroma (up to 200) that sRGB holds at this lightness and hue, by bisection.
double GamutChroma(double l, double hue) {
    double lo = 0.0, hi = 200.0;
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2.0;
        (InGamut(LabToLinear(FromLch(l, mid, hue))) ? lo : hi) = mid;
    }
    return lo;
}

constexpr double kLightFrom = 8.0, kLightTo = 97.0; // L*
constexpr double kHueFrom = 290.0, kHueTo = 460.0;  // degrees
constexpr double kChromaLimit = 60.0;               // soft limit of the chroma
constexpr int kPathSteps = 4096;                    // samples of the path

// The colour map's path at t = 0 ... 1.
TLabColour PathAt(double t) {
    const double l = kLightFrom + t * (kLightTo - kLightFrom);
    const double hue = (kHueFrom + t * (kHueTo - kHueFrom)) * std::numbers::pi / 180.0;
    const double most = GamutChroma(l, hue);
    // A soft minimum of the gamut's chroma and the limit, so the path has no corner there.
    const double chroma =
        most * kChromaLimit / std::pow(std::pow(most, 4) + std::pow(kChromaLimit, 4), 0.25);
    return FromLch(l, chroma, hue);
}

double Distance(const TLabColour& p, const TLabColour& q) {
    return std::hypot(p.L - q.L, p.a - q.a, p.b - q.b);
}

// The 256 entries at equal distances along the path (arc length over kPathSteps samples).
std::vector<TLabColour> MakeEntries() {
    std::vector<TLabColour> path(kPathSteps + 1);
    std::vector<double> length(kPathSteps + 1, 0.0);
    for (int i = 0; i <= kPathSteps; ++i) {
        path[static_cast<std::size_t>(i)] = PathAt(static_cast<double>(i) / kPathSteps);
        if (i > 0)
            length[static_cast<std::size_t>(i)] =
                length[static_cast<std::size_t>(i - 1)] +
                Distance(path[static_cast<std::size_t>(i)], path[static_cast<std::size_t>(i - 1)]);
    }
    std::vector<TLabColour> entries(256);
    std::size_t j = 0;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const double s = length.back() * static_cast<double>(k) / 255.0;
        while (j + 2 < length.size() && length[j + 1] < s)
            ++j;
        const double span = length[j + 1] - length[j];
        const double f = span > 0.0 ? std::clamp((s - length[j]) / span, 0.0, 1.0) : 0.0;
        const TLabColour& p = path[j];
        const TLabColour& q = path[j + 1];
        entries[k] = {p.L + f * (q.L - p.L), p.a + f * (q.a - p.a), p.b + f * (q.b - p.b)};
    }
    return entries;
}

const std::vector<TLabColour>& Entries() {
    static const std::vector<TLabColour> entries = MakeEntries();
    return entries;
}

} // namespace

namespace {

double Encode(double v) {
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

double Decode(double s) {
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}

// Relative luminance of 8-bit sRGB channels.
double Luminance(int r, int g, int b) {
    return 0.2126 * Decode(r / 255.0) + 0.7152 * Decode(g / 255.0) + 0.0722 * Decode(b / 255.0);
}

std::uint32_t Pack(int r, int g, int b) {
    return 0xFF000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 |
           static_cast<std::uint32_t>(b);
}

} // namespace

std::uint32_t LabToRgb(const TLabColour& lab) {
    const TLinearRgb c = LabToLinear(lab);
    const auto channel = [](double v) { return static_cast<int>(std::lround(255.0 * Encode(v))); };
    return Pack(channel(c.R), channel(c.G), channel(c.B));
}

TLabColour LevelColourLab(int i) {
    return Entries()[static_cast<std::size_t>(std::clamp(i, 0, 255))];
}

const std::array<std::uint32_t, 256>& LevelColours() {
    // Each entry is the 8-bit colour nearest to its CIELAB point among those whose channels are
    // rounded up or down, taking one brighter than the entry before: rounding alone could make
    // two dark neighbours swap their brightness.
    static const std::array<std::uint32_t, 256> colours = [] {
        std::array<std::uint32_t, 256> c{};
        double previous = -1.0;
        for (int i = 0; i < 256; ++i) {
            const TLinearRgb target = LabToLinear(LevelColourLab(i));
            const double exact[3] = {255.0 * Encode(target.R), 255.0 * Encode(target.G),
                                     255.0 * Encode(target.B)};
            double bestError = 1e9, bestLuminance = 0.0;
            std::uint32_t best = LabToRgb(LevelColourLab(i));
            for (int k = 0; k < 8; ++k) {
                int rgb[3];
                double error = 0.0;
                for (int ch = 0; ch < 3; ++ch) {
                    const double v = std::clamp(exact[ch], 0.0, 255.0);
                    rgb[ch] = static_cast<int>((k >> ch & 1) ? std::ceil(v) : std::floor(v));
                    error += (rgb[ch] - v) * (rgb[ch] - v);
                }
                const double y = Luminance(rgb[0], rgb[1], rgb[2]);
                if (y > previous && error < bestError) {
                    bestError = error;
                    bestLuminance = y;
                    best = Pack(rgb[0], rgb[1], rgb[2]);
                }
            }
            previous = bestError < 1e9 ? bestLuminance : previous;
            c[static_cast<std::size_t>(i)] = best;
        }
        return c;
    }();
    return colours;
}
