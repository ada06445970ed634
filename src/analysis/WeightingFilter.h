// SPDX-License-Identifier: GPL-3.0-or-later
// The A, C and Z frequency weightings of sound level meters as IIR filters for any sample rate.
#pragma once

#include <array>
#include <complex>

// Frequency weightings of a sound level meter; the letter goes into the readings' names.
enum class TAudioWeighting : int { A = 0, C = 1, Z = 2 };

// 'A', 'C' or 'Z'.
char WeightingLetter(TAudioWeighting weighting);

// One second-order section, transposed direct form II, double precision:
//   y = b0 x + s1,  s1 = b1 x - a1 y + s2,  s2 = b2 x - a2 y.
struct TBiquad {
    double B0 = 1.0, B1 = 0.0, B2 = 0.0, A1 = 0.0, A2 = 0.0;
    double S1 = 0.0, S2 = 0.0;

    double Process(double x) {
        const double y = B0 * x + S1;
        S1 = B1 * x - A1 * y + S2;
        S2 = B2 * x - A2 * y;
        return y;
    }
    // H(e^{j omega}), omega in radians per sample.
    std::complex<double> Response(double omega) const;
};

// A weighting designed for one sample rate. The analog weightings are
//   A(s) = k s^4 / ((s + w1)^2 (s + w2) (s + w3) (s + w4)^2),  C(s) = k s^2 / ((s + w1)^2 (s +
//   w4)^2)
// with wi = 2 pi kWeightFi. The high-pass factors s^2 / ((s + p)(s + q)) (poles at most 738 Hz)
// go through the bilinear transform with the poles pre-warped, p' = 2 fs tan(p / (2 fs)); their
// error is below 0.01 dB up to 20 kHz at 44.1 kHz. The low-pass double pole at 12.2 kHz, close
// to half of 44.1 kHz, would be compressed by the bilinear transform (-1.8 dB at 10 kHz), so it
// becomes a magnitude-matched section instead: its poles are those of the impulse-invariant
// transform, z = e^{-w4 / fs} (twice), and its two numerator taps are chosen so that |H|^2
// equals the analog 1 / (1 + (f / f4)^2)^2 exactly at 0 Hz and at f4 (error below 0.05 dB up
// to 10 kHz at 44.1 kHz, smaller at higher rates). The cascade is scaled to 0 dB at 1 kHz.
// Z is the identity. One thread; Reset clears the state, not the design.
class TWeightingFilter {
public:
    void Design(TAudioWeighting weighting, double sampleRate);
    // What the A weighting adds to the C weighting, s^2 / ((s + w2)(s + w3)) scaled to 0 dB at
    // 1 kHz: the C filter followed by this one is the A filter of Design (the same sections).
    void DesignAOverC(double sampleRate);
    void Reset();

    double Process(double x) {
        double y = x * Gain_;
        for (int i = 0; i < Count_; ++i)
            y = Sections_[static_cast<std::size_t>(i)].Process(y);
        return y;
    }
    // The designed filter's gain at freqHz (< half the rate), dB.
    double ResponseDb(double freqHz) const;
    TAudioWeighting Weighting() const { return Weighting_; }
    double SampleRate() const { return Rate_; }

private:
    TAudioWeighting Weighting_ = TAudioWeighting::Z;
    double Rate_ = 0.0;
    double Gain_ = 1.0;
    int Count_ = 0;
    std::array<TBiquad, 3> Sections_{};
};
