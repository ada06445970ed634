// SPDX-License-Identifier: GPL-3.0-or-later
// Oscilloscope sweep: trigger search and assembly of processed blocks into scope points.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// One point of the scope trace: time in s relative to the sweep's trigger instant, and the
// sample value / 2147483647 (a full-scale signal spans -1 ... +1).
struct TScopePoint {
    float t = 0.0f;
    float v = 0.0f;
};

// Scope settings, sweep state and the point list the scope view draws. Owned by
// MeasurementState (field Scope); written by the pipeline and the scope handlers, read by the
// scope view; main thread only.
struct TScopeSweep {
    static constexpr std::int32_t MaxPoints = 8000; // longest list; longer sweeps are decimated

    // Settings.
    double TimeBase = 0.1;        // s spanned by the trace (TrackT position 10)
    std::int32_t ScopeZoom = 1;   // amplitude magnification round(2^TrackAmp)
    std::int32_t TriggerMode = 2; // 0 OFF, 1 Norm, 2 Auto, 3 Single
    bool TriggerRising = true;    // rising (true) or falling edge
    double TriggerLevel = 0.0;    // fraction of the view's half height at zoom 1, -1 ... +1

    // Sweep state.
    std::int32_t SweepPoints = 0;  // points of the current sweep written so far
    double SweepElapsed = 0.0;     // samples since the current sweep's trigger instant
    double TriggerPos = 0.0;       // fractional trigger index inside the current block
    double DecimationCursor = 0.0; // s, start of the next min/max interval of a long sweep
    bool ScopeRedraw = false;      // a time-base change asks for one re-layout
    bool SingleDone = false;       // the Single sweep has completed; blocks are ignored
    bool FirstSweepDone = false;   // a sweep completed since the last restart
    bool NewScopeData = false;     // the last block contributed to a sweep

    std::vector<TScopePoint> ScopePoints;
};

// Time base in s of TrackT position 1 ... 19 (100 s ... 100 µs); positions outside are clamped.
double TimeBaseOfPosition(int position);

// Fractional index of the first trigger crossing in block, -1 when there is none, 0 with the
// trigger OFF. Threshold thr = 2147483647 * TriggerLevel / ScopeZoom; rising edge: the first i
// with s[i] <= thr <= s[i+1] (falling: s[i] >= thr >= s[i+1]); the result is
// i + (thr - s[i]) / (s[i+1] - s[i]), or i when the two samples are equal.
double FindTrigger(const TScopeSweep& scope, std::span<const double> block);

// Adds one processed block (samples at 32-bit full scale) taken at sampleRateHz to the sweep.
// Short sweeps (trunc(TimeBase * fs) + 3 < 8000 points) keep every sample; longer ones keep the
// maximum and minimum of each TimeBase / 3999 interval as two points (4000 pairs per sweep).
// Sets NewScopeData when the block contributed (not in Norm without a crossing, not after a
// completed Single sweep).
void AssembleSweep(TScopeSweep& scope, std::span<const double> block, double sampleRateHz);

// Restarts the sweep from an empty list start: SweepPoints, SweepElapsed := 0, SingleDone and
// FirstSweepDone := false (sampling start).
void RestartSweep(TScopeSweep& scope);

// TrackTChange: sets TimeBase from the slider position, asks for a re-layout, restarts the
// sweep (the first new sweep grows from the left again) and returns the LabT caption, the time
// base in engineering form followed by "s" ("100ms", "500µs").
std::string TrackTChange(TScopeSweep& scope, int position);
// TrackAmpChange: ScopeZoom := round(2^position).
void TrackAmpChange(TScopeSweep& scope, int position);
// TOffClick, TNormClick, TAutoClick, TSingleClick: TriggerMode := 0, 1, 2, 3; Single re-arms
// (SingleDone and FirstSweepDone := false).
void SetTriggerMode(TScopeSweep& scope, int mode);
