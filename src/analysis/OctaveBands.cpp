// SPDX-License-Identifier: GPL-3.0-or-later
// Fractional-octave bands with base-10 mid-band frequencies, and how they lie on the bins.
#include "analysis/OctaveBands.h"

#include <cmath>
#include <cstdio>

bool ValidOctaveFraction(int b) {
    for (const int f : OctaveFractions)
        if (f == b)
            return true;
    return false;
}

double OctaveRatio() {
    return std::pow(10.0, 0.3);
}

double OctaveCenterHz(int b, int x) {
    // G^(x/b) = 10^(3x / (10b)); for even b the exponent is 3(2x + 1) / (20b).
    if (b % 2 != 0)
        return 1000.0 * std::pow(10.0, 3.0 * x / (10.0 * b));
    return 1000.0 * std::pow(10.0, 3.0 * (2.0 * x + 1.0) / (20.0 * b));
}

TOctaveBand OctaveBandOf(int b, int x) {
    TOctaveBand band;
    band.Index = x;
    band.CenterHz = OctaveCenterHz(b, x);
    const double half = std::pow(10.0, 3.0 / (20.0 * b)); // G^(1/(2b))
    band.LoHz = band.CenterHz / half;
    band.HiHz = band.CenterHz * half;
    return band;
}

std::vector<TOctaveBand> OctaveBands(int b, double maxHz, double lowestCenterHz) {
    std::vector<TOctaveBand> bands;
    if (b < 1 || !(maxHz > 0.0) || !(lowestCenterHz > 0.0))
        return bands;
    // The first x whose centre is not below lowestCenterHz (a relative tolerance keeps 10 Hz
    // itself, which 1000 * 10^(-2) hits only up to rounding).
    const double tolerance = 1e-9;
    int x = static_cast<int>(std::floor(std::log10(lowestCenterHz / 1000.0) * 10.0 * b / 3.0)) - 2;
    while (OctaveCenterHz(b, x) < lowestCenterHz * (1.0 - tolerance))
        ++x;
    for (;; ++x) {
        const TOctaveBand band = OctaveBandOf(b, x);
        if (band.HiHz > maxHz * (1.0 + tolerance))
            break;
        bands.push_back(band);
    }
    return bands;
}

bool BandResolved(const TOctaveBand& band, double sampleRateHz, int n) {
    return n > 0 && (band.HiHz - band.LoHz) * n >= 2.0 * sampleRateHz;
}

int BandNeedsLength(const TOctaveBand& band, double sampleRateHz) {
    int n = 1;
    while (n < (1 << 30) && !BandResolved(band, sampleRateHz, n))
        n *= 2;
    return n;
}

namespace {

// The R10 series of preferred numbers: the nominal third-octave mid-band frequencies of a decade.
constexpr double kThirdOctaveNominal[10] = {1.0, 1.25, 1.6, 2.0, 2.5, 3.15, 4.0, 5.0, 6.3, 8.0};

// v to at most three significant digits, trailing zeros dropped, with "k" from 1000 on.
std::string Compact(double v, bool nominal) {
    const bool kilo = v >= 999.5;
    const double shown = kilo ? v / 1000.0 : v;
    char text[32];
    if (nominal)
        std::snprintf(text, sizeof text, "%g", shown);
    else
        std::snprintf(text, sizeof text, "%.3g", shown);
    return std::string(text) + (kilo ? "k" : "");
}

} // namespace

std::string OctaveBandName(int b, const TOctaveBand& band) {
    if (b == 1 || b == 3) {
        // Band x of 1/3 octave (or 3x of 1/1) is nominally R10[k] * 10^d with 3x/10 = d + k/10.
        const int thirds = b == 1 ? 3 * band.Index : band.Index;
        const int decade = static_cast<int>(std::floor((thirds + 30.0) / 10.0)) - 3;
        const int step = thirds - 10 * decade;
        const double nominal = kThirdOctaveNominal[step] * std::pow(10.0, decade + 3);
        // Round away the representation error of the power (31.5 stays 31.5).
        return Compact(std::round(nominal * 1000.0) / 1000.0, true);
    }
    return Compact(band.CenterHz, false);
}
