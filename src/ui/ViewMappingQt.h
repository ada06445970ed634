// Conversion of the views' 32-bit colours to Qt colours, with system colours taken from a palette.
#pragma once

#include "ui/ViewMapping.h"

#include <QColor>
#include <QPalette>

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
