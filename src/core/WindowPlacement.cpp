// SPDX-License-Identifier: GPL-3.0-or-later
// Placing a window with saved bounds onto the screen it opens on, in whole pixels.
#include "core/WindowPlacement.h"

#include <algorithm>

TPixelRect FitIntoScreen(TPixelRect window, TPixelRect screen) {
    if (screen.Width <= 0 || screen.Height <= 0)
        return window;
    TPixelRect fitted = window;
    fitted.Width = std::clamp(window.Width, 1, screen.Width);
    fitted.Height = std::clamp(window.Height, 1, screen.Height);
    fitted.Left = std::clamp(window.Left, screen.Left, screen.Left + screen.Width - fitted.Width);
    fitted.Top = std::clamp(window.Top, screen.Top, screen.Top + screen.Height - fitted.Height);
    return fitted;
}
