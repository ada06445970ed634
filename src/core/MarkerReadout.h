// SPDX-License-Identifier: GPL-3.0-or-later
// Levels of spectrum traces at the marker frequencies and the marker read-out texts.
#pragma once

#include "core/MeasurementState.h"

#include <array>
#include <span>
#include <string>

// Level of a magnitude in dB: 20 log10(max(1e-100, a)) + offsetDb (offsetDb = YOffset - RefLevel
// for the calibrated main trace, 0 for memory traces).
double MagnitudeDb(double magnitude, double offsetDb);

// Level of a trace at frequencyHz, in dB with offsetDb added: 0 for an empty trace. Otherwise
// the record i with the largest frequency not above f is found by bisection; when f_i = f, or
// i is the last record, its level; else the levels of records i and i + 1 interpolated linearly
// in dB over frequency: L_i + (L_i+1 - L_i) (f - f_i) / (f_i+1 - f_i). A frequency below the
// first record gives the first record's level (no extrapolation). Records are in rising
// frequency order; a NaN frequency gives 0.
double MarkerLevelDb(std::span<const TSpectrumPoint> trace, double frequencyHz, double offsetDb);

// One of the six markers: switched on (MC1..MC6) and its frequency in Hz (MF1..MF6).
struct TMarker {
    bool Checked = false;
    double FrequencyHz = 0.0;
};

// What the read-outs are made of: the main trace with its calibration offset and the four
// memory traces (uncalibrated levels of their stored magnitudes) with their display boxes.
struct TMarkerTraces {
    std::span<const TSpectrumPoint> Main;
    double MainOffsetDb = 0.0;
    std::array<std::span<const TSpectrumPoint>, 4> Memory;
    std::array<bool, 4> MemoryChecked = {false, false, false, false}; // M1..M4
    std::string Unit = "dB"; // written after each level (AxisUnitText)
};

// The read-out texts: one for the main trace and one per memory, lines ending in CR LF.
struct TMarkerTexts {
    std::string Main;
    std::array<std::string, 4> Memory;
    bool AnyChecked = false;
};

// For each checked marker in order: the main text gets "%6.0f Hz:" of f followed by "%7.1f dB"
// of the main level at f; each memory whose box is checked gets "%7.1f dB" of its level at f
// (the traces' Unit in place of "dB");
// every text's line ends with CR LF. The numbers always use "." as decimal point.
TMarkerTexts BuildMarkerTexts(std::span<const TMarker> markers, const TMarkerTraces& traces);
