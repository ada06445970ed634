// SPDX-License-Identifier: GPL-3.0-or-later
// The per-sample and per-bin loops of the block pipeline, built for the loop vectoriser.
#pragma once

#include "dsp/FloatTypes.h"

#include <cstddef>
#include <span>

// Channel selection in 32-bit float arithmetic and window, in one pass over i < count: the
// selected sample m is left[i] (channel 0 and any other), right[i] (1), left[i] + right[i] (2)
// or left[i] - right[i] (3); selected[i] := m and windowed[i] := window[i] * m. The spans hold
// at least count values; the outputs must not overlap the inputs or each other.
void SelectAndWindow(int channel, const float* left, const float* right, std::size_t count,
                     const double* window, double* windowed, float* selected);
void SelectAndWindow(int channel, const float* left, const float* right, std::size_t count,
                     const double* window, double* windowed, double* selected);

// How the per-bin pass updates the spectrum: outright, exponential smoothing (SmoothedBin) or
// the running maximum (HeldBin).
enum class TSpectrumUpdate { Reset, Smooth, Hold };

// One pass over the bins k < bins.size() of a block's transform: with weight, X[k] *= weight[k]
// in place; power[k] := |X[k]|^2; the bin's amplitude |X[k]| / N times scale updates
// spectrum[k] as `update` says (alpha: the smoothing factors). N is a power of two, so the
// amplitude is sqrt(power[k]) * (1 / N) exactly. All arrays hold bins.size() values; weight may
// be null, alpha too unless update is Smooth.
struct TBinPass {
    std::span<TComplex> bins;
    const double* weight = nullptr;
    const double* alpha = nullptr;
    double* spectrum = nullptr;
    double* power = nullptr;
    double scale = 0.0;
    int n = 0;
    TSpectrumUpdate update = TSpectrumUpdate::Reset;
};
void RunBinPass(const TBinPass& pass);

// The sum of (v[i] / fullScale)^2, added in index order.
double ScaledSquareSum(std::span<const double> v, double fullScale);

// The sum of (sqrt(power[i]) / n)^2, the squared bin amplitudes |X[i]| / N, added in index order.
double AmplitudeSquareSum(std::span<const double> power, int n);
