// SPDX-License-Identifier: GPL-3.0-or-later
// The sums of an analysis window that turn transform bins into levels re a full-scale sine.
#pragma once

#include <span>

struct TComplex;

// Sums over the window w(i, N - 1), i = 0 ... N - 1, as the spectrum applies it to a block of N
// samples (kinds 0 rect, 1 Blackman, 2 Blackman², 3 Hanning, 4 Hamming, 5 flat top; any other
// kind counts as 2, the default).
struct TWindowSums {
    int Kind = -1;
    int N = 0;
    double Sum = 0.0;          // S1 = sum of w: the coherent gain times N
    double SumOfSquares = 0.0; // S2 = sum of w^2: the noise power gain times N
};

// The sums of window `kind` at length n (n >= 1); O(n).
TWindowSums ComputeWindowSums(int kind, int n);

// Converts the unscaled bins X[k] = sum w[i] x[i] exp(+i 2 pi i k / N) of a block whose samples
// have full scale `fullScale` into levels relative to a full-scale sine. Recomputes the window's
// sums only when the kind or N changes. One owner, one thread.
class TBinScale {
public:
    // Makes the factors valid for this window, N and full scale.
    void Prepare(int windowKind, int n, double fullScale);

    // Amplitude-squared factor: a sine of amplitude A (1.0 = full scale) centred on bin k gives
    // |X[k]|^2 * PeakFactor() = A^2, since |X[k]| = A * fullScale * S1 / 2.
    // PeakFactor = 4 / (fullScale^2 * S1^2).
    double PeakFactor() const { return PeakFactor_; }
    // Power factor: summed over the bins a signal occupies, |X[k]|^2 * PowerFactor() gives its
    // mean square relative to that of a full-scale sine (fullScale^2 / 2), since one side of the
    // spectrum holds N * S2 * (mean square) / 2 by Parseval.
    // PowerFactor = 4 / (N * S2 * fullScale^2).
    double PowerFactor() const { return PowerFactor_; }
    const TWindowSums& Sums() const { return Sums_; }

private:
    TWindowSums Sums_;
    double FullScale_ = 0.0;
    double PeakFactor_ = 0.0;
    double PowerFactor_ = 0.0;
};

// |X[k]|^2 of each bin into `power` (power.size() values from bins; the rest of bins unread).
void BinPowers(std::span<const TComplex> bins, std::span<double> power);
