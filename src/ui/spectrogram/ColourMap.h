// SPDX-License-Identifier: GPL-3.0-or-later
// A perceptually uniform colour map for levels: dark blue through magenta and orange to pale
// yellow, with lightness rising steadily and equal colour steps between neighbours.
#pragma once

#include <array>
#include <cstdint>

// The map's entries as 0xAARRGGBB (alpha 0xFF), from the lowest level (entry 0) to the highest.
// The path runs in CIELAB from L* = 8 to L* = 97 with the hue turning from 290 to 460 degrees and
// as much chroma as sRGB holds up to about 60 (a soft limit); the entries are spaced at equal
// CIELAB distances (Delta E*ab) along it, and their 8-bit colours grow brighter (in luminance)
// with every entry. Computed once; any thread after the first call.
const std::array<std::uint32_t, 256>& LevelColours();

// The CIELAB coordinates of entry i (for checks of the map itself).
struct TLabColour {
    double L = 0.0, a = 0.0, b = 0.0;
};
TLabColour LevelColourLab(int i);

// sRGB (0xAARRGGBB) of a CIELAB colour (D65 white), channels clipped to the gamut.
std::uint32_t LabToRgb(const TLabColour& lab);
