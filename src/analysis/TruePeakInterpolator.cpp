// SPDX-License-Identifier: GPL-3.0-or-later
// True peak of one channel through twofold oversampling.
#include "analysis/TruePeakInterpolator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr std::size_t kHeld = 2 * TTruePeakInterpolator::kHalfTaps - 1;

// I0(x) = sum_k ((x/2)^k / k!)^2, summed until the terms no longer change the sum.
double BesselI0(double x) {
    const double half = 0.5 * x;
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < 200 && term > sum * 1e-18; ++k) {
        term *= (half / k) * (half / k);
        sum += term;
    }
    return sum;
}

// The highest |v[i]|, in four partial maxima so that the comparisons do not wait on each other.
double HighestMagnitude(const double* v, std::size_t n) {
    double peaks[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        for (std::size_t j = 0; j < 4; ++j)
            peaks[j] = std::max(peaks[j], std::abs(v[i + j]));
    for (; i < n; ++i)
        peaks[0] = std::max(peaks[0], std::abs(v[i]));
    return std::max(std::max(peaks[0], peaks[1]), std::max(peaks[2], peaks[3]));
}

} // namespace

TTruePeakInterpolator::TTruePeakInterpolator() {
    // sinc(t) at t = k + 1/2 under a Kaiser window (beta 7) that reaches 0 at t = kHalfTaps,
    // scaled so that a constant passes unchanged (the weights of both sides add up to 1).
    constexpr double beta = 7.0;
    std::array<double, kHalfTaps> taps{}; // taps[k]: the weight of the samples k + 1/2 away
    double sum = 0.0;
    for (std::size_t k = 0; k < kHalfTaps; ++k) {
        const double t = static_cast<double>(k) + 0.5;
        const double r = t / kHalfTaps;
        const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        taps[k] = sinc * BesselI0(beta * std::sqrt(1.0 - r * r)) / BesselI0(beta);
        sum += 2.0 * taps[k];
    }
    // Both sides in the order of the samples they weigh: the value halfway between w[K - 1] and
    // w[K] is sum_j Weights_[j] w[j].
    for (std::size_t k = 0; k < kHalfTaps; ++k) {
        Weights_[kHalfTaps - 1 - k] = taps[k] / sum;
        Weights_[kHalfTaps + k] = taps[k] / sum;
        WeightMagnitudeSum_ += 2.0 * std::abs(taps[k] / sum);
    }
    Reset();
}

void TTruePeakInterpolator::Reset() {
    Work_.assign(kHeld, 0.0); // silence before the first sample
    Peak_ = 0.0;
}

void TTruePeakInterpolator::Process(std::span<const double> samples, double scale) {
    if (samples.empty())
        return;
    Work_.insert(Work_.end(), samples.begin(), samples.end());
    double peak = std::max(Peak_, scale * HighestMagnitude(samples.data(), samples.size()));
    // mid[i]: the value halfway between w[i + K - 1] and w[i + K], for every i whose 2K samples
    // are all here (the last ones follow with the next block); in chunks, each skipped when even
    // its highest sample times the sum of the weights' magnitudes stays below the peak.
    constexpr std::size_t span = 2 * kHalfTaps;
    const std::size_t count = Work_.size() - (span - 1);
    for (std::size_t from = 0; from < count; from += kChunk) {
        const std::size_t n = std::min(kChunk, count - from);
        const double* w = Work_.data() + from;
        if (scale * HighestMagnitude(w, n + span - 1) * WeightMagnitudeSum_ <= peak)
            continue;
        std::array<double, kChunk> mid{};
        // Tap by tap, so that the inner loop runs over contiguous samples.
        for (std::size_t j = 0; j < span; ++j)
            for (std::size_t i = 0; i < n; ++i)
                mid[i] += Weights_[j] * w[i + j];
        peak = std::max(peak, scale * HighestMagnitude(mid.data(), n));
    }
    Peak_ = peak;
    Work_.erase(Work_.begin(), Work_.end() - static_cast<std::ptrdiff_t>(kHeld));
}
