// SPDX-License-Identifier: GPL-3.0-or-later
// Display settings of the spectrum and scope views that the settings files store.
#pragma once

#include "ui/common/ViewMapping.h"

#include <cstdint>

// Font size of the meter read-outs over the graphs until "Meters  Font Size" (key "NFont=")
// says otherwise, points.
inline constexpr int DefaultMeterFontSize = 18;

// Settings of the two views that are not run parameters of the measurement (those, such as
// YOffset, RefLevel, the log axis flag LogF and the scope's time base and trigger, live in
// MeasurementState). Owned by the main window, shared by TSpectrumTab and TScopeTab; main thread
// only. The settings file reads and writes these fields and then runs the views' re-layout.
struct TViewSettings {
    // Spectrum view.
    double YTop = 0.0;         // dB at the top edge ("Y Maximum", key "Top=")
    std::int32_t Boxes = 13;   // 10-dB boxes over the height ("Y Span", key "boxes="), as typed
    bool LogGrid = true;       // logarithmic frequency grid ("LogGrid=")
    bool LogSubGrid = true;    // 2..9 sub-ticks of the log grid ("LogSubGrid=")
    std::int32_t Markings = 1; // dB markings: 0 none, 1 inside, 2 outside the graph
    bool FMarkings = true;     // frequency markings below the graph ("FMarkings=")
    bool Zoom = false;         // axis spans the input band only ("Zoom=")
    bool BandLines = true;     // band-edge handles shown ("BW_Lines=")
    TColour SpecGridColor = BlackColour;
    TColour SpecBackColor = ButtonFaceColour;
    TColour SpecTraceColor = BlueColour;
    // Memory traces 1..4 (index 0..3): shown ("DispMem1=".."DispMem4=") and their colours
    // ("SpecMemColor1=".."4"); the custom trace's colour ("CusTraceColor=").
    bool DispMem[4] = {true, false, false, false};
    TColour SpecMemColor[4] = {0x000080u, 0x008000u, 0x0000FFu, 0xFFFFFFu};
    TColour CusTraceColor = 0x00FFFFu;

    // Scope view.
    TColour ScopeColor = BlueColour;
    TColour ScopeGridColor = BlackColour;
    TColour ScopeBackColor = ButtonFaceColour;

    // Both views.
    std::int32_t TraceWidth = 1;  // pen width of traces, pixels
    std::int32_t GridWidth = 1;   // pen width of grids, pixels
    bool TransparentMode = false; // background shapes take the transparency key colour
};
