// SPDX-License-Identifier: GPL-3.0-or-later
// The true-peak interpolator's filter over interleaved frames, for each instruction set.
#pragma once

#include "analysis/TruePeakInterpolator.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

namespace true_peak_filter {

constexpr std::size_t kHalf = TTruePeakInterpolator::kHalfTaps;
constexpr std::size_t kChunk = TTruePeakInterpolator::kChunk;

// Vectors of doubles in the compilers' generic vector extension, lowered to the instruction set
// at hand: 2 wide for the baseline (SSE2 on x86-64), 4 for AVX2, 8 for AVX-512.
typedef double TVector2 __attribute__((vector_size(16)));
typedef double TVector4 __attribute__((vector_size(32)));
typedef double TVector8 __attribute__((vector_size(64)));

// sum = the vector at a + the vector at b (neither aligned).
template <class TVector>
[[gnu::always_inline]] inline void SumOfPair(TVector& sum, const double* a, const double* b) {
    TVector u, v;
    std::memcpy(&u, a, sizeof u);
    std::memcpy(&v, b, sizeof v);
    sum = u + v;
}

// Raises m0 and m1, lane by lane, to the magnitudes of a and b.
template <class TVector>
[[gnu::always_inline]] inline void RaiseByMagnitude(TVector& m0, TVector& m1, TVector a,
                                                    TVector b) {
    m0 = a > m0 ? a : m0;
    m1 = b > m1 ? b : m1;
    a = -a;
    b = -b;
    m0 = a > m0 ? a : m0;
    m1 = b > m1 ? b : m1;
}

// Raises peaks[c] to lanes[l] for every lane l of channel c = l % C (the vector's values come
// from C interleaved channels, starting with channel 0).
template <class TVector, std::size_t C>
[[gnu::always_inline]] inline void RaiseByLane(const TVector& lanes, double* peaks) {
    for (std::size_t l = 0; l < sizeof(TVector) / sizeof(double); ++l)
        peaks[l % C] = std::max(peaks[l % C], lanes[l]);
}

// The values halfway for `outputs` frames of C interleaved channels from w on: the one after
// frame i lies between w's frames i + kHalf - 1 and i + kHalf, and is, channel by channel,
// sum_k taps[k] (w[i + kHalf - 1 - k] + w[i + kHalf + k]). Raises samplePeaks and truePeaks by
// channel to the highest magnitude of the samples and of those and the values halfway. In
// chunks of kChunk frames, each skipped when the highest magnitude of its samples times `bound`
// stays within the true peaks: no value halfway can then exceed them, so the peaks are those of
// the full interpolation. Vectorised over consecutive values of the interleaved frames (so over
// both channels at once); the maxima are kept per vector lane, each lane one channel's.
template <class TVector, std::size_t C>
[[gnu::always_inline]] inline void Interpolate(const double* w, std::size_t outputs,
                                               const double* taps, double bound,
                                               double* samplePeaks, double* truePeaks) {
    constexpr std::size_t width = sizeof(TVector) / sizeof(double);
    static_assert(width % C == 0);
    constexpr std::size_t span = 2 * kHalf;
    TVector h[kHalf];
    for (std::size_t k = 0; k < kHalf; ++k)
        h[k] = TVector{} + taps[k];
    for (std::size_t from = 0; from < outputs; from += kChunk) {
        const std::size_t n = std::min(kChunk, outputs - from);
        const double* x = w + from * C;

        // The highest magnitude of the chunk's samples and of the kHalf - 1 before and kHalf
        // after it, in two vectors of partial maxima so that the comparisons overlap.
        const std::size_t count = (n + span - 1) * C;
        TVector m0{}, m1{};
        std::size_t i = 0;
        for (; i + 2 * width <= count; i += 2 * width) {
            TVector a, b;
            std::memcpy(&a, x + i, sizeof a);
            std::memcpy(&b, x + i + width, sizeof b);
            RaiseByMagnitude(m0, m1, a, b);
        }
        // The rest in at most two vectors, the last overlapping the one before (count is at
        // least 2 kHalf - 1 frames, so at least one vector).
        if (i < count) {
            TVector a, b;
            std::memcpy(&a, x + std::min(i, count - width), sizeof a);
            std::memcpy(&b, x + count - width, sizeof b);
            RaiseByMagnitude(m0, m1, a, b);
        }
        double highest[C] = {};
        RaiseByLane<TVector, C>(m1 > m0 ? m1 : m0, highest);

        bool skip = true;
        for (std::size_t c = 0; c < C; ++c) {
            samplePeaks[c] = std::max(samplePeaks[c], highest[c]);
            truePeaks[c] = std::max(truePeaks[c], highest[c]);
            // The smallest normal number covers the rounding of values that underflow.
            skip =
                skip && (highest[c] == 0.0 ||
                         highest[c] * bound + std::numeric_limits<double>::min() <= truePeaks[c]);
        }
        if (skip)
            continue;

        const double* p = x + (kHalf - 1) * C; // the sample before the first value halfway
        const std::size_t values = n * C;
        TVector t{};
        std::size_t j = 0;
        for (; j + width <= values; j += width) {
            // The even and the odd weights' terms apart, so that the two sums overlap.
            TVector y[2];
            for (std::size_t k = 0; k < kHalf; ++k) {
                TVector pair;
                SumOfPair(pair, p + j - k * C, p + j + (k + 1) * C);
                y[k % 2] = k < 2 ? h[k] * pair : y[k % 2] + h[k] * pair;
            }
            y[0] += y[1];
            // |y| first, so that only one comparison per vector waits on the previous ones.
            const TVector negative = -y[0];
            const TVector magnitude = negative > y[0] ? negative : y[0];
            t = magnitude > t ? magnitude : t;
        }
        RaiseByLane<TVector, C>(t, truePeaks);
        for (; j < values; ++j) {
            double y[2] = {};
            for (std::size_t k = 0; k < kHalf; ++k)
                y[k % 2] += taps[k] * (p[j - k * C] + p[j + (k + 1) * C]);
            truePeaks[j % C] = std::max(truePeaks[j % C], std::abs(y[0] + y[1]));
        }
    }
}

// The filter for one or two channels: Interpolate for one instruction set.
using TKernel = void (*)(const double* w, std::size_t outputs, const double* taps, double bound,
                         double* samplePeaks, double* truePeaks);

// The baseline's (in their own source: GCC's predictive commoning, which keeps the samples of
// the next vectors in registers, helps the wider vectors but slows these down).
void MonoBaseline(const double* w, std::size_t outputs, const double* taps, double bound,
                  double* samplePeaks, double* truePeaks);
void StereoBaseline(const double* w, std::size_t outputs, const double* taps, double bound,
                    double* samplePeaks, double* truePeaks);

} // namespace true_peak_filter
