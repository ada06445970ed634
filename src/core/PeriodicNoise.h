// SPDX-License-Identifier: GPL-3.0-or-later
// Periodic noise for response measurements: one period of a multisine with seeded phases.
#pragma once

#include <cstdint>
#include <vector>

// The stimulus of the generator: its coherent sine (or two tones), or periodic noise.
enum class TStimulusKind : std::uint8_t { Sine = 0, WhiteNoise = 1, PinkNoise = 2 };

// One period of P = 2^p samples (p 3 ... 20) of periodic noise: the sum over the bins
// k = 1 ... P/2 - 1 of a_k cos(2 pi k j / P - theta_k), the phases theta_k uniform in [0, 2 pi)
// from a 64-bit Mersenne twister started at `seed` (the same seed gives the same samples on every
// machine). White: a_k = 1; pink: a_k = 1 / sqrt(max(f_k, 20 Hz)) with f_k = k rateHz / P, so
// that every octave above 20 Hz carries the same power. Scaled so that the largest sample of the
// period is `peak`. A transform of any whole number of periods with a rectangular window finds
// every bin above DC and below P/2 with the amplitude a_k times the scale, and nothing else.
std::vector<double> PeriodicNoisePeriod(TStimulusKind kind, int p, double rateHz,
                                        std::uint64_t seed, double peak);
