// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion of the views' 32-bit colours to Qt colours, with system colours taken from a palette.
#pragma once

#include "ui/common/ViewMapping.h"

#include <QColor>
#include <QPalette>
#include <QPen>

#include <algorithm>
#include <optional>

class QWidget;

// The plain colour (high byte 0) of system colour `index` in the palette: 15 button face is
// QPalette::Button, 5 window is Base, 8 window text is WindowText, and so on; unknown indices
// give the window colour.
TColour SystemColourOf(int index, const QPalette& palette);
// A lookup for ResolveColour/BlendColour that reads the given palette.
TSystemColourLookup PaletteLookup(const QPalette& palette);
// The colour as a QColor; system colours from the palette, a high byte above 2 as black.
QColor ToQColor(TColour colour, const QPalette& palette);
// The 32-bit form (low byte red) of an opaque Qt colour.
TColour FromQColor(const QColor& colour);

// A solid pen of the colour (system colours from the palette), at least one pixel wide.
QPen PenOf(TColour colour, int width, const QPalette& palette);

// Pixel coordinates are limited to this magnitude before drawing: far beyond any screen, well
// inside the rasteriser's fixed-point range (a trace at zoom 2^24 or a -2000 dB bin runs far off
// the view).
constexpr int kCoordinateLimit = 1 << 22;
inline int Limited(int coordinate) {
    return std::clamp(coordinate, -kCoordinateLimit, kCoordinateLimit);
}

// The colour dialog over `parent`, starting at `initial`; nothing when cancelled.
std::optional<TColour> ChooseColourDialog(TColour initial, QWidget* parent);
