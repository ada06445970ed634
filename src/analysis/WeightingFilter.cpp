// SPDX-License-Identifier: GPL-3.0-or-later
// The A, C and Z frequency weightings of sound level meters as IIR filters for any sample rate.
#include "analysis/WeightingFilter.h"

#include "dsp/AudioWeighting.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// s^2 / ((s + p)(s + q)) by the bilinear transform s = 2 fs (1 - z^-1) / (1 + z^-1), with p and
// q (rad/s) pre-warped so that the corners stay where they are.
TBiquad HighPassPair(double p, double q, double fs) {
    const double k = 2.0 * fs;
    p = k * std::tan(p / k);
    q = k * std::tan(q / k);
    const double a0 = (k + p) * (k + q);
    TBiquad s;
    s.B0 = k * k / a0;
    s.B1 = -2.0 * s.B0;
    s.B2 = s.B0;
    s.A1 = -((k - p) * (k + q) + (k - q) * (k + p)) / a0;
    s.A2 = (k - p) * (k - q) / a0;
    return s;
}

// 1 / (1 + s / w)^2 as a second-order section with the impulse-invariant double pole
// r = e^{-w / fs} and a numerator b0 + b1 z^-1 whose |H|^2 meets the analog one at 0 Hz (1) and
// at w (1/4). With |N|^2 = B0' cos^2(t/2) + B1' sin^2(t/2), t = omega, B0' = (b0 + b1)^2 and
// B1' = (b0 - b1)^2, and |D|^2 = D0 cos^2(t/2) + D1 sin^2(t/2) + D2 4 cos^2 sin^2 with
// D0 = (1 + a1 + a2)^2, D1 = (1 - a1 + a2)^2, D2 = -4 a2, both conditions are linear in B0', B1'.
TBiquad MatchedLowPass(double w, double fs) {
    const double r = std::exp(-w / fs);
    TBiquad s;
    s.A1 = -2.0 * r;
    s.A2 = r * r;
    const double d0 = (1.0 + s.A1 + s.A2) * (1.0 + s.A1 + s.A2);
    const double d1 = (1.0 - s.A1 + s.A2) * (1.0 - s.A1 + s.A2);
    const double d2 = -4.0 * s.A2;
    const double t = w / fs;
    const double sn = std::sin(0.5 * t) * std::sin(0.5 * t);
    const double cs = 1.0 - sn;
    const double denom = d0 * cs + d1 * sn + d2 * 4.0 * cs * sn;
    const double bb0 = d0;                                            // |H(0)|^2 = 1
    const double bb1 = std::max(0.0, (0.25 * denom - bb0 * cs) / sn); // |H(w)|^2 = 1/4
    s.B0 = 0.5 * (std::sqrt(bb0) + std::sqrt(bb1));
    s.B1 = std::sqrt(bb0) - s.B0;
    s.B2 = 0.0;
    return s;
}

} // namespace

char WeightingLetter(TAudioWeighting weighting) {
    switch (weighting) {
    case TAudioWeighting::A:
        return 'A';
    case TAudioWeighting::C:
        return 'C';
    default:
        return 'Z';
    }
}

std::complex<double> TBiquad::Response(double omega) const {
    const std::complex<double> z1 = std::polar(1.0, -omega);
    const std::complex<double> z2 = z1 * z1;
    return (B0 + B1 * z1 + B2 * z2) / (1.0 + A1 * z1 + A2 * z2);
}

void TWeightingFilter::Design(TAudioWeighting weighting, double sampleRate) {
    Weighting_ = weighting;
    Rate_ = sampleRate;
    Gain_ = 1.0;
    Count_ = 0;
    const double w1 = kTwoPi * kWeightF1;
    const double w2 = kTwoPi * kWeightF2;
    const double w3 = kTwoPi * kWeightF3;
    const double w4 = kTwoPi * kWeightF4;
    switch (weighting) {
    case TAudioWeighting::A:
        Sections_[0] = HighPassPair(w1, w1, sampleRate);
        Sections_[1] = HighPassPair(w2, w3, sampleRate);
        Sections_[2] = MatchedLowPass(w4, sampleRate);
        Count_ = 3;
        break;
    case TAudioWeighting::C:
        Sections_[0] = HighPassPair(w1, w1, sampleRate);
        Sections_[1] = MatchedLowPass(w4, sampleRate);
        Count_ = 2;
        break;
    case TAudioWeighting::Z:
        break;
    }
    Gain_ = std::pow(10.0, -ResponseDb(1000.0) / 20.0);
    Reset();
}

void TWeightingFilter::DesignAOverC(double sampleRate) {
    Weighting_ = TAudioWeighting::A;
    Rate_ = sampleRate;
    Gain_ = 1.0;
    Sections_[0] = HighPassPair(kTwoPi * kWeightF2, kTwoPi * kWeightF3, sampleRate);
    Count_ = 1;
    Gain_ = std::pow(10.0, -ResponseDb(1000.0) / 20.0);
    Reset();
}

void TWeightingFilter::Reset() {
    for (TBiquad& s : Sections_)
        s.S1 = s.S2 = 0.0;
}

double TWeightingFilter::ResponseDb(double freqHz) const {
    std::complex<double> h = Gain_;
    const double omega = kTwoPi * freqHz / Rate_;
    for (int i = 0; i < Count_; ++i)
        h *= Sections_[static_cast<std::size_t>(i)].Response(omega);
    return 20.0 * std::log10(std::abs(h));
}
