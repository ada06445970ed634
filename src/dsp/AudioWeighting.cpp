// SPDX-License-Identifier: GPL-3.0-or-later
// Closed forms of the A and C weightings.
#include "dsp/AudioWeighting.h"

#include <cmath>
#include <limits>

double AWeightRawDB(double freqHz) {
    const double f2 = freqHz * freqHz;
    if (f2 == 0.0) {
        return -std::numeric_limits<double>::infinity();
    }
    const double num = kWeightF4 * kWeightF4 * f2 * f2;
    const double den = (f2 + kWeightF1 * kWeightF1) * std::sqrt(f2 + kWeightF2 * kWeightF2) *
                       std::sqrt(f2 + kWeightF3 * kWeightF3) * (f2 + kWeightF4 * kWeightF4);
    return 20.0 * std::log10(num / den);
}

double CWeightRawDB(double freqHz) {
    const double f2 = freqHz * freqHz;
    if (f2 == 0.0) {
        return -std::numeric_limits<double>::infinity();
    }
    const double num = kWeightF4 * kWeightF4 * f2;
    const double den = (f2 + kWeightF1 * kWeightF1) * (f2 + kWeightF4 * kWeightF4);
    return 20.0 * std::log10(num / den);
}

double AWeightDB(double freqHz) {
    static const double a1000 = AWeightRawDB(1000.0);
    return AWeightRawDB(freqHz) - a1000;
}

double CWeightDB(double freqHz) {
    static const double c1000 = CWeightRawDB(1000.0);
    return CWeightRawDB(freqHz) - c1000;
}
