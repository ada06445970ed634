// SPDX-License-Identifier: GPL-3.0-or-later
// Placing a window with saved bounds onto the screen it opens on, in whole pixels.
#pragma once

#include "core/OverlayGeometry.h" // TPixelRect

// The window's outer bounds (frame included) brought onto `screen` (its available area, in the
// same coordinates): each side limited to the screen's side (at least 1), then the window moved
// by the least distance that puts it wholly on the screen. A window already on the screen stays
// as it is; a screen of no size leaves the window unchanged.
TPixelRect FitIntoScreen(TPixelRect window, TPixelRect screen);
