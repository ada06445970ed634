// SPDX-License-Identifier: GPL-3.0-or-later
// The window's status line: engine, device, rate and resolution, N and resolution bandwidth, gaps.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// What the status line shows.
struct TStatusFields {
    std::string Engine;      // "ALSA", "JACK" or the external source's name
    std::string Device;      // the capture device's entry
    double RateHz = 48000.0; // samples/s
    int Bits = 16;           // sample resolution
    int N = 4096;            // samples per block
    double EnbwBins = 1.0;   // the window's equivalent noise bandwidth, bins
    std::uint64_t Gaps = 0;  // capture and playback gaps of the current or last run
};

// The equivalent noise bandwidth of a window w[0 .. L-1] in bins: L sum w^2 / (sum w)^2
// (1 for the rectangular window, 1.5 for Hann); 1 for an empty or all-zero window.
double EquivalentNoiseBins(std::span<const double> window);

// "ALSA: 01  Default device | 48 ksps, 16 bit | N = 4096, RBW 17.6 Hz | gaps: 0", the resolution
// bandwidth being EnbwBins * RateHz / N rounded to three significant digits.
std::string FormatStatusLine(const TStatusFields& fields);
