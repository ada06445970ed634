// SPDX-License-Identifier: GPL-3.0-or-later
// Psophometric and C-message noise-weighting curves: gain in dB and amplitude factor by frequency.
#pragma once

// Each curve is a table of (Hz, dB) points interpolated linearly in dB over log10 of frequency.
// A frequency uses the first segment [fa, fb] with f <= fb (a table point returns its own value);
// below the first point the first segment and above the last point the last segment are
// extrapolated, without clamping. 0 Hz gives -200 dB. Frequencies are >= 0 Hz.

// Gain in dB of the psophometric (telephone circuit) curve at freqHz; +1 dB at 1000 Hz.
double PsophometricWeightDB(double freqHz);
// Gain in dB of the C-message curve at freqHz; 0 dB at 1000 Hz.
double CMessageWeightDB(double freqHz);

// Amplitude factor 10^(dB / 20) of the psophometric curve.
double PsophometricFactor(double freqHz);
// Amplitude factor 10^(dB / 20) of the C-message curve.
double CMessageFactor(double freqHz);

// The straight line through (log10 fa, ya) and (log10 fb, yb) evaluated at log10 f;
// -200 when f is exactly 0.
double LogInterpolate(double f, double fa, double ya, double fb, double yb);
