// SPDX-License-Identifier: GPL-3.0-or-later
// True peak of one channel through twofold oversampling.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

// The highest magnitude of a channel's samples and of the values halfway between them, the
// latter interpolated by a half-band filter (a Kaiser-windowed sinc over kHalfTaps samples on
// either side; at 192 ksps flat within 0.003 dB up to 60 kHz). This is the twofold oversampling
// the true peak asks for at the highest sample rates, where the loudness library takes the
// sample peak. One thread.
class TTruePeakInterpolator {
public:
    static constexpr std::size_t kHalfTaps = 8;
    static constexpr std::size_t kChunk = 64; // values halfway computed (or skipped) together

    TTruePeakInterpolator();
    // Forgets the peak and the samples held for the next block.
    void Reset();
    // The next samples of the channel; scale times them is re full scale 1.0.
    void Process(std::span<const double> samples, double scale = 1.0);
    // Highest magnitude so far (linear, 0 before any sample).
    double Peak() const { return Peak_; }

private:
    std::array<double, 2 * kHalfTaps> Weights_{}; // the interpolator's weights, in the order
                                                  // of the samples they weigh
    double WeightMagnitudeSum_ = 0.0;             // no value halfway exceeds its samples by more
    std::vector<double> Work_;                    // the held samples, then the block
    double Peak_ = 0.0;
};
