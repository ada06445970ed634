// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrum time constants, smoothing, peak hold and reduction of the spectrum to display points.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

struct MeasurementState;

// Frequency of bin i: min(fs / 2, max(0, i * fs / N)), Hz; 0 for n <= 0.
inline double BinToFrequency(double bin, double sampleRateHz, int n) {
    if (n <= 0)
        return 0.0;
    return std::min(sampleRateHz / 2.0, std::max(0.0, bin * sampleRateHz / n));
}
// Bin of a frequency, not rounded: min(N / 2, max(0, f / fs * N)).
double BinOfFrequency(double freqHz, double sampleRateHz, int n);

// Smoothing factor of a time constant of t seconds for blocks of n samples at filterRateHz:
// tau = t * filterRateHz / n blocks, alpha = 1 - exp(-1 / tau); 1.0 (no smoothing) when n = 0
// or tau <= 0.
double TimeToAlpha(double t, int filterRateHz, int n);

// ETimeChange: MeterAlpha := TimeToAlpha(the number in eTimeText, the band filter's rate,
// BlockLength); nothing changes when BlockLength is 0. A text that is not a number raises
// EConvertError and leaves MeterAlpha unchanged.
void ETimeChange(MeasurementState& state, std::string_view eTimeText, int filterRateHz);

// EAvChange: ReducePoints := the whole number in eAvText; otherwise EConvertError, unchanged.
void EAvChange(MeasurementState& state, std::string_view eAvText);

// Fills SmoothAlpha (N/2 entries) with MeterAlpha; with CTC item 1 and ET1..ET6 all whole
// numbers, bins from 0 Hz to the 100 kHz anchor get factors whose time constant runs linearly
// between neighbouring anchors (0, 10, 100, 1k, 10k, 100k Hz; anchors rounded to bins).
void BuildSmoothAlpha(MeasurementState& state, int filterRateHz);

// Updates Spectrum (started afresh at N/2 zeros when its length changes with N) from the block's
// per-bin amplitudes a[i] = amplitude[i] / FullScale / WindowGain: taken outright when
// ResetSmoothing, else exponential smoothing with SmoothAlpha (CTC items 0 and 1) or the running
// maximum (PEAK HOLD).
void UpdateSpectrum(MeasurementState& state, std::span<const double> amplitude);

// The steps of UpdateSpectrum for one bin (the block pipeline runs them in its own pass over the
// bins): the factor from amplitude to a, 1 / FullScale / WindowGain; the smoothed and the held
// value from the old one and a.
double SpectrumScale(const MeasurementState& state);
inline double SmoothedBin(double old, double alpha, double a) {
    return (1.0 - alpha) * old + alpha * a;
}
inline double HeldBin(double old, double a) {
    return std::max(old, a);
}

// Fills DisplayPoints from Spectrum by CRed, ReducePoints and LogF. "No Reduction" (also when
// ReducePoints < 1 or fewer than two bins per point): one point per bin. Linear axis: points of
// g = trunc(N / (2 M)) bins, mean ("Smooth Voltage to") or root mean square ("Smooth Power to"),
// at the frequency of bin j g + (g - 1) / 2. Log axis: single bins up to the first band at least
// one bin wide, then geometric bands with edges df (N/2)^((b -+ 0.5) / max(M - 1, 1)), each the
// mean frequency and mean (or RMS) value of its bins; bin 0 is not shown and empty bands are
// skipped.
void ReduceSpectrum(MeasurementState& state);

// The log-axis band edges of ReduceSpectrum for one N, rate and M, kept between calls by its
// owner (the block pipeline) so that they are computed only when one of the three changes.
struct TReductionBands {
    int N = 0;
    double SampleRate = 0.0;
    std::int64_t M = 0;
    std::int64_t FirstBand = 0;     // b0: the first band at least one bin wide (M: none)
    double FirstEdge = 0.0;         // its lower edge, Hz (infinity when there is none)
    std::vector<double> UpperEdges; // upper edge of band b0 + 1 + k, Hz
    std::vector<double> BinFrequencies; // BinToFrequency of bins 0 ... N/2 - 1, Hz
};
// ReduceSpectrum with the band edges taken from (and, when stale, stored into) `bands`; the
// points are the same.
void ReduceSpectrum(MeasurementState& state, TReductionBands& bands);
