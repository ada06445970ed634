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

} // namespace

TTruePeakInterpolator::TTruePeakInterpolator() {
    // sinc(t) at t = k + 1/2 under a Kaiser window (beta 8) that reaches 0 at t = kHalfTaps,
    // scaled so that a constant passes unchanged (the weights of both sides add up to 1).
    constexpr double beta = 8.0;
    double sum = 0.0;
    for (int k = 0; k < kHalfTaps; ++k) {
        const double t = k + 0.5;
        const double r = t / kHalfTaps;
        const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        Taps_[static_cast<std::size_t>(k)] =
            sinc * BesselI0(beta * std::sqrt(1.0 - r * r)) / BesselI0(beta);
        sum += 2.0 * Taps_[static_cast<std::size_t>(k)];
    }
    for (double& tap : Taps_)
        tap /= sum;
    Reset();
}

void TTruePeakInterpolator::Reset() {
    Work_.assign(kHeld, 0.0); // silence before the first sample
    Peak_ = 0.0;
}

void TTruePeakInterpolator::Process(std::span<const double> samples) {
    if (samples.empty())
        return;
    Work_.insert(Work_.end(), samples.begin(), samples.end());
    double peak = Peak_;
    for (const double x : samples)
        peak = std::max(peak, std::abs(x));
    // The value halfway between Work_[i + K - 1] and Work_[i + K], for every i whose 2K
    // samples are all here; the last ones follow with the next block.
    constexpr std::size_t K = kHalfTaps;
    for (std::size_t i = 0; i + 2 * K <= Work_.size(); ++i) {
        const double* left = &Work_[i + K - 1];
        const double* right = &Work_[i + K];
        double mid = 0.0;
        for (std::size_t k = 0; k < K; ++k)
            mid += Taps_[k] * (left[-static_cast<std::ptrdiff_t>(k)] + right[k]);
        peak = std::max(peak, std::abs(mid));
    }
    Peak_ = peak;
    Work_.erase(Work_.begin(), Work_.end() - static_cast<std::ptrdiff_t>(kHeld));
}
