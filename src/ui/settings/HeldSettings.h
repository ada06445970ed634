// Values in the settings files whose controls the window does not have yet.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Kept so that a file read and written again loses nothing before those controls arrive; the
// part that builds a control binds its row in the settings table to the control and drops the
// field here. Owned by TSettingsBinding; main thread only. Colours are 32-bit, low byte red.
struct THeldSettings {
    // Clipboard screenshots and meter fonts.
    std::int32_t ScreenShotX = 300; // screenshot width, pixels
    std::int32_t ScreenShotY = 200; // screenshot height, pixels
    std::int32_t NFont = 18;        // meter font size, points
    std::int32_t SFont = 10;        // screenshot font size, points
    bool WhiteBack = false;         // "White Background" (CWhite)

    // Window.
    std::int32_t WasMaximized = 0; // 1: maximise when the window is first activated
};
