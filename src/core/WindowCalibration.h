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

// Measures the selected window with a 3300 Hz sine of amplitude 1 (constant 2 pi * 3300 =
// 20734.511513692636) over N = BlockLength samples: WindowTotalGain := sqrt(sum over bins
// 0 ... N/2 - 1 of |X|^2) / N, and PeakHalfWidth := the bins each side of the tone's peak bin k
// that hold all but 0.01 % of its amplitude (sqrt of their summed squared amplitudes times 1.0001
// reaches WindowTotalGain), never leaving 0 ... N/2 - 1 and not widened when k < 2 or
// k >= N/2 - 2. Sets fft.NumSamples to N and overwrites its buffers.
void CalibrateWindow(MeasurementState& state, TDSXFastFourier& fft);

// WT0Click: WindowKind := the clicked item's index (0 ... 5), then CalibrateWindow when an FFT
// component is given.
void WT0Click(MeasurementState& state, TDSXFastFourier* fft, int itemIndex);
