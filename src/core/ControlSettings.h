// SPDX-License-Identifier: GPL-3.0-or-later
// Values of the window's controls that the block pipeline reads, as plain data.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// The window copies a control's value here in that control's change handler; the pipeline reads
// them per processed block. Fields are named after their controls; item indices count from 0.
// Owned by MeasurementState; main thread only.
struct TControlSettings {
    // "Left Channel", "Right Channel", "Left+Right Channel", "Left-Right Channel".
    std::int32_t ComboChannel = 0;
    // Spectrum time constant: 0 "= Meter Time Constant", 1 "= Custom Time Constants",
    // 2 "PEAK HOLD".
    std::int32_t CTC = 0;
    // Texts of ET1..ET6, the custom time constants in whole seconds at 0, 10, 100, 1k, 10k and
    // 100k Hz; read every block (a text that is not a whole number disables them all).
    std::array<std::string, 6> ET = {"10", "10", "8", "5", "2", "1"};
    // Data reduction: 0 "No Reduction", 1 "Smooth Voltage to", 2 "Smooth Power to".
    std::int32_t CRed = 0;
    // "Log" frequency axis checked (LogF).
    bool LogF = false;
    // Read-out units: 0 "display dB", 1 "display sine eq. Vpp", 2 "display Veff", then
    // 3 dBFS, 4 dBu, 5 dBV, 6 V rms, 7 dB SPL (TLevelUnit).
    std::int32_t CUnits = 1;
    // Cut-on and cut-off slider positions TrackL / TrackU, Hz (for the custom variables).
    std::int32_t TrackL = 0;
    std::int32_t TrackU = 24000;
};
