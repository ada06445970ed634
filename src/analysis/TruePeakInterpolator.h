// SPDX-License-Identifier: GPL-3.0-or-later
// True peak of one channel through twofold oversampling.
#pragma once

#include <array>
#include <span>
#include <vector>

// The highest magnitude of a channel's samples and of the values halfway between them, the
// latter interpolated by a half-band filter (a Kaiser-windowed sinc over kHalfTaps samples on
// either side; at 192 ksps flat within 0.001 dB up to 40 kHz). This is the twofold oversampling
// the true peak asks for at the highest sample rates, where the loudness library takes the
// sample peak. One thread.
class TTruePeakInterpolator {
public:
    static constexpr int kHalfTaps = 12;

    TTruePeakInterpolator();
    // Forgets the peak and the samples held for the next block.
    void Reset();
    // The next samples of the channel (full scale 1.0).
    void Process(std::span<const double> samples);
    // Highest magnitude so far (linear, 0 before any sample).
    double Peak() const { return Peak_; }

private:
    std::array<double, kHalfTaps> Taps_{}; // Taps_[k]: weight of the samples k + 1/2 away
    std::vector<double> Work_;             // the held samples, then the block
    double Peak_ = 0.0;
};
