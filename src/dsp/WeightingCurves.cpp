// SPDX-License-Identifier: GPL-3.0-or-later
// Weighting tables and their interpolation in dB over log10 of frequency.
#include "dsp/WeightingCurves.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <span>

namespace {

struct CurvePoint {
    double freqHz;
    double gainDb;
};

constexpr std::array<CurvePoint, 24> kPsophometric{{
    {16.66, -85.0},  {50.0, -63.0},   {100.0, -41.0},  {200.0, -21.0},  {300.0, -10.6},
    {400.0, -6.3},   {500.0, -3.6},   {600.0, -2.0},   {700.0, -0.9},   {800.0, 0.0},
    {900.0, 0.6},    {1000.0, 1.0},   {1200.0, 0.0},   {1400.0, -0.9},  {1600.0, -1.7},
    {1800.0, -2.4},  {2000.0, -3.0},  {2500.0, -4.2},  {3000.0, -5.6},  {3500.0, -8.5},
    {4000.0, -15.0}, {4500.0, -25.0}, {5000.0, -36.0}, {6000.0, -43.0},
}};

constexpr std::array<CurvePoint, 24> kCMessage{{
    {60.0, -55.7},  {100.0, -42.5},  {200.0, -25.1},  {300.0, -16.3},  {400.0, -11.2},
    {500.0, -7.7},  {600.0, -5.0},   {700.0, -2.8},   {800.0, -1.3},   {900.0, -0.3},
    {1000.0, 0.0},  {1200.0, -0.4},  {1300.0, -0.7},  {1500.0, -1.2},  {1800.0, -1.3},
    {2000.0, -1.1}, {2500.0, -1.1},  {2800.0, -2.0},  {3000.0, -3.0},  {3300.0, -5.1},
    {3500.0, -7.1}, {4000.0, -14.6}, {4500.0, -22.3}, {5000.0, -28.7},
}};

// Interpolates on the first segment whose end is >= freqHz, else on the last segment.
double CurveGainDb(std::span<const CurvePoint> table, double freqHz) {
    std::size_t end = 1;
    while (end + 1 < table.size() && freqHz > table[end].freqHz) {
        ++end;
    }
    const CurvePoint& a = table[end - 1];
    const CurvePoint& b = table[end];
    return LogInterpolate(freqHz, a.freqHz, a.gainDb, b.freqHz, b.gainDb);
}

} // namespace

double LogInterpolate(double f, double fa, double ya, double fb, double yb) {
    if (f == 0.0) {
        return -200.0;
    }
    const double logFa = std::log10(fa);
    const double logFb = std::log10(fb);
    const double d = 1.0 / (logFb - logFa);
    const double slope = (yb - ya) * d;
    const double intercept = (logFb * ya - logFa * yb) * d;
    return slope * std::log10(f) + intercept;
}

double PsophometricWeightDB(double freqHz) {
    return CurveGainDb(kPsophometric, freqHz);
}

double CMessageWeightDB(double freqHz) {
    return CurveGainDb(kCMessage, freqHz);
}

double PsophometricFactor(double freqHz) {
    return std::pow(10.0, PsophometricWeightDB(freqHz) / 20.0);
}

double CMessageFactor(double freqHz) {
    return std::pow(10.0, CMessageWeightDB(freqHz) / 20.0);
}
