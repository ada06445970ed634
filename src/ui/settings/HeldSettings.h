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
    bool TransMeters = true;        // "Meters transparent" (CMTrans)
    std::int32_t SFont = 10;        // screenshot font size, points
    bool WhiteBack = false;         // "White Background" (CWhite)

    // Markers and annotations.
    std::array<bool, 6> Marker = {false, false, false, false, false, false};       // MC1..MC6
    std::array<std::string, 6> MarkerF = {"10", "100", "1000", "10000", "0", "0"}; // MF1..MF6, Hz
    std::int32_t MarCapPos = 1;      // CPos item: marker caption position
    std::int32_t MarFontSize = 10;   // LMar font size, points
    std::int32_t CurAlign = 0;       // CCur item: "Text Alignment LEFT"
    bool MemMarkers = true;          // CMD "Show Marker Data for Memory Traces"
    bool Annotation = false;         // CA
    bool AnnoTransp = false;         // CAT
    std::string AnnoFontSize = "10"; // EAFS text
    // Label positions, in the order AnnoMainL, AnnoMainT, AnnoM1L ... AnnoCusT.
    std::array<double, 12> AnnoPos = {};
    // EAM, EA1..EA4, EAC.
    std::array<std::string, 6> AnnoText = {"Main Trace", "Mem1", "Mem2",
                                           "Mem3",       "Mem4", "Cust. Trace"};

    // Window.
    std::int32_t WasMaximized = 0; // 1: maximise when the window is first activated
};
