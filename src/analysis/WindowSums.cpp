// SPDX-License-Identifier: GPL-3.0-or-later
// The sums of an analysis window that turn transform bins into levels re a full-scale sine.
#include "analysis/WindowSums.h"

#include "dsp/FloatTypes.h"
#include "dsp/WindowFunctions.h"

#include <algorithm>

namespace {

double WindowWeight(int kind, int i, int length) {
    switch (kind) {
    case 0:
        return WindowRect(i, length);
    case 1:
        return WindowBlackman(i, length);
    case 3:
        return WindowHanning(i, length);
    case 4:
        return WindowHamming(i, length);
    case 5:
        return WindowFlatTop(i, length);
    case 2:
    default:
        return WindowBlackman2(i, length);
    }
}

} // namespace

TWindowSums ComputeWindowSums(int kind, int n) {
    TWindowSums sums;
    sums.Kind = kind;
    sums.N = n;
    for (int i = 0; i < n; ++i) {
        const double w = WindowWeight(kind, i, n - 1);
        sums.Sum += w;
        sums.SumOfSquares += w * w;
    }
    return sums;
}

void TBinScale::Prepare(int windowKind, int n, double fullScale) {
    if (Sums_.Kind == windowKind && Sums_.N == n && FullScale_ == fullScale)
        return;
    if (Sums_.Kind != windowKind || Sums_.N != n)
        Sums_ = ComputeWindowSums(windowKind, std::max(n, 1));
    Sums_.N = n;
    FullScale_ = fullScale;
    const double s1 = Sums_.Sum, s2 = Sums_.SumOfSquares;
    const double fs2 = fullScale * fullScale;
    PeakFactor_ = s1 > 0.0 && fs2 > 0.0 ? 4.0 / (fs2 * s1 * s1) : 0.0;
    PowerFactor_ = s2 > 0.0 && fs2 > 0.0 && n > 0 ? 4.0 / (n * s2 * fs2) : 0.0;
}

void BinPowers(std::span<const TComplex> bins, std::span<double> power) {
    const std::size_t count = std::min(bins.size(), power.size());
    for (std::size_t k = 0; k < count; ++k)
        power[k] = bins[k].Re * bins[k].Re + bins[k].Im * bins[k].Im;
}
