// SPDX-License-Identifier: GPL-3.0-or-later
// The A, C and Z frequency weightings of sound level meters as closed forms, and the SPL reference.
#pragma once

// Pole frequencies of the A and C weightings, Hz (IEC 61672-1).
inline constexpr double kWeightF1 = 20.598997;
inline constexpr double kWeightF2 = 107.65265;
inline constexpr double kWeightF3 = 737.86223;
inline constexpr double kWeightF4 = 12194.217;

// Reference sound pressure of dB SPL, pascal.
inline constexpr double kSplReferencePa = 20e-6;

// Gain in dB of the A weighting at freqHz >= 0, 0 dB at 1000 Hz:
//   20 lg[f4^2 f^4 / ((f^2 + f1^2) sqrt(f^2 + f2^2) sqrt(f^2 + f3^2) (f^2 + f4^2))] - A1000,
// with A1000 the bracket's value at 1000 Hz (-2.000 dB). 0 Hz gives -infinity.
double AWeightDB(double freqHz);

// Gain in dB of the C weighting at freqHz >= 0, 0 dB at 1000 Hz:
//   20 lg[f4^2 f^2 / ((f^2 + f1^2) (f^2 + f4^2))] - C1000, with C1000 = -0.062 dB.
double CWeightDB(double freqHz);

// The bracketed terms above without the 1000 Hz normalisation, dB (A1000 and C1000 themselves).
double AWeightRawDB(double freqHz);
double CWeightRawDB(double freqHz);
