// SPDX-License-Identifier: GPL-3.0-or-later
// Analysis-window selection for the spectrum: window values, amplitude gains and calibration.
#pragma once

#include <cstdint>
#include <vector>

class TDSXFastFourier;
struct MeasurementState;

// Number of analysis windows: 0 Rect, 1 Blackman, 2 Blackman², 3 Hanning, 4 Hamming, 5 Flat Top.
inline constexpr int WindowKindCount = 6;

// Factor that turns a bin amplitude |X| / N into the amplitude of the sine that produced it
// (about half the window's mean value); kinds outside 0 ... 5 use Rect's.
double WindowGain(int windowKind);

// Weight w(i, L) of the window of windowKind (the spectrum passes L = N - 1); kinds outside
// 0 ... 5 use Rect.
double WindowValue(int windowKind, int i, int L);

// The weights w(i, N - 1), i = 0 ... N - 1, of WindowKind for N = BlockLength, from the cache
// in state (rebuilt when the kind or N changed: N extended-precision evaluations).
const std::vector<double>& WindowWeights(MeasurementState& state);

// Measures the selected window for N = BlockLength with unit sines at a quarter of the rate
// (bin N/4, so the lobe stays clear of 0 Hz and fs/2 for every N and rate; the results, in bins,
// are the same at every rate): WindowTotalGain := sqrt(sum over bins 0 ... N/2 - 1 of |X|^2) / N
// of the tone on bin N/4 (from Parseval, without a transform); PeakHalfWidth := the bins each
// side of the peak that hold all but 0.01 % of the amplitude (sqrt of their summed squared
// amplitudes times 1.0001 reaches the tone's total) of a tone on a bin and of one halfway
// between bins, measured at L = min(N, 16384) points within 0 ... L/2 - 1; PeakFit := the
// response of the window's peak fit (see RefinePeak) to tones 0 ... 0.5 bin from a bin, kept
// while the kind and min(N, 4096) stay. Records the kind, N and rate it measured for. Nothing
// happens for N < 8. Leaves fft.NumSamples at N and its buffers overwritten.
void CalibrateWindow(MeasurementState& state, TDSXFastFourier& fft);

// CalibrateWindow unless the calibration in state was made for the current WindowKind,
// BlockLength and SampleRate. True when it calibrated.
bool EnsureWindowCalibrated(MeasurementState& state, TDSXFastFourier& fft);

// WT0Click: WindowKind := the clicked item's index (0 ... 5), then CalibrateWindow when an FFT
// component is given.
void WT0Click(MeasurementState& state, TDSXFastFourier* fft, int itemIndex);
