// SPDX-License-Identifier: GPL-3.0-or-later
// Fractional-octave bands with base-10 mid-band frequencies, and how they lie on the bins.
#pragma once

#include <string>
#include <vector>

// One band of 1/b octave: exact mid-band frequency and band edges.
struct TOctaveBand {
    int Index = 0;         // x: the band's number counted from the band at (or above) 1 kHz
    double CenterHz = 0.0; // f_m
    double LoHz = 0.0;     // f_m * G^(-1/(2b))
    double HiHz = 0.0;     // f_m * G^(+1/(2b))
};

// The fractions offered: 1/1, 1/3, 1/6, 1/12 and 1/24 octave.
constexpr int OctaveFractions[] = {1, 3, 6, 12, 24};
// True for one of OctaveFractions.
bool ValidOctaveFraction(int b);

// The octave ratio of the base-10 system, G = 10^(3/10).
double OctaveRatio();
// Mid-band frequency of band x of 1/b octave, Hz: 1000 * G^(x/b) for odd b,
// 1000 * G^((2x + 1)/(2b)) for even b (no band is centred on 1 kHz then).
double OctaveCenterHz(int b, int x);
// The band x of 1/b octave with its edges f_m * G^(+-1/(2b)).
TOctaveBand OctaveBandOf(int b, int x);

// The bands of 1/b octave whose mid-band frequency is at least lowestCenterHz (10 Hz by default)
// and whose upper edge is at most maxHz (half the sample rate), in ascending order.
std::vector<TOctaveBand> OctaveBands(int b, double maxHz, double lowestCenterHz = 10.0);

// True when the band spans at least two bins of width sampleRate / n: HiHz - LoHz >= 2 fs / N.
bool BandResolved(const TOctaveBand& band, double sampleRateHz, int n);
// The smallest power-of-two block length N that resolves the band at this rate:
// N >= 2 fs / (HiHz - LoHz).
int BandNeedsLength(const TOctaveBand& band, double sampleRateHz);

// The band's name as a caption: the nominal mid-band frequency for 1/1 and 1/3 octave
// ("31.5", "1k", "12.5k"), else the exact one to three significant digits ("1.06k").
std::string OctaveBandName(int b, const TOctaveBand& band);
