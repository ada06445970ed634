// SPDX-License-Identifier: GPL-3.0-or-later
// Sub-bin position of a spectral peak: from the smoothed amplitude spectrum, or from a block's
// complex bins for the rectangular window.
#pragma once

#include "dsp/FloatTypes.h"

#include <array>
#include <optional>
#include <span>
#include <vector>

// The fits that estimate how far a peak lies from its strongest bin k (in bins, y the amplitude
// spectrum).
enum class TPeakFitKind {
    // Vertex of the parabola through (j, ln y[j]) for j = k - 1, k, k + 1:
    // (ln y[k-1] - ln y[k+1]) / (2 (ln y[k-1] - 2 ln y[k] + ln y[k+1])). Used for the tapered
    // windows; exact for a Gaussian lobe.
    LogParabola,
    // s y[k+s] / (y[k] + y[k+s]) with s = +1 when y[k+1] >= y[k-1], else -1. Used for the
    // rectangular window, whose lobe |sin(pi d) / (pi d)| it fits exactly.
    NeighbourRatio,
};

// A fit and its measured response to a lone tone: Response[j] is the fit's offset for a tone
// j / (2 (size - 1)) bins above a bin, so the entries cover tone offsets 0 ... 0.5 bin and rise
// from 0 to 0.5. Both fits are odd in the offset, so the table serves tones below a bin too.
// Window and Length name the window kind and the N it was measured for. An empty Response means
// the fit is taken as it stands.
struct TPeakFitTable {
    TPeakFitKind Kind = TPeakFitKind::LogParabola;
    std::vector<double> Response;
    int Window = -1;
    int Length = 0;
};

// The raw offset of the fit `kind` around bin k of y, or nothing when it cannot be formed: k at
// either end of y, a value <= 0 under the logarithm, or a zero curvature or denominator.
std::optional<double> PeakFitOffset(std::span<const double> y, int k, TPeakFitKind kind);

// The tone offset d (bins) whose fit response is `offset`: sign(offset) times the linear
// interpolation of |offset| in the table; beyond its last entry d follows |offset| with slope 1,
// below its first entry d is 0. An empty table returns `offset`.
double InvertPeakFit(const TPeakFitTable& table, double offset);

// Interpolated peak position in bins around bin k of the spectrum y (H = size - 1):
// k + InvertPeakFit(table, PeakFitOffset(y, k, table.Kind)). When the fit cannot be formed, the
// vertex of the parabola through y[k-1], y[k], y[k+1] is taken instead,
// k + ((y[k-1] - y[k+1]) / 2) / (y[k-1] - 2 y[k] + y[k+1]), and k itself when that curvature is
// 0 or k is 0 or H. A k outside 0 ... H is returned unchanged.
double RefinePeak(std::span<const double> y, int k, const TPeakFitTable& table = {});

// Position in bins of a real tone whose strongest bin is k, from the complex bins x = X[k - 1],
// X[k], X[k + 1] of an N-point transform X[m] = sum_n s[n] exp(+i 2 pi m n / N) of the block
// s[0 ... N - 1] without a window (the rectangular window's N - 1 ones, with the last sample's
// term s[N - 1] exp(+i 2 pi m (N - 1) / N) added back by the caller). The block holds
// g K(2 pi (m - k - d) / N) + conj(g) K(2 pi (m + k + d) / N), K(w) = sum_n exp(i w n): the
// tone's lobe and its mirror image at -f. The offset d solves, for the larger neighbour
// j = +-1 of the lobe alone, Re(X[k + j] / X[k] exp(-i pi j (N - 1) / N)) =
// j sin(pi d / N) / sin(pi (1 - j d) / N), that is
// tan(pi d / N) = j r sin(pi / N) / (1 + r cos(pi / N)) with r the left side; then
// g = X[k] / K(-2 pi d / N) and the image conj(g) K(...) is taken off the three bins, and the
// offset is found again, until it changes by less than 1e-10 bin (at most eight rounds; each
// shrinks the error by about the image's share of the lobe, a few per cent from four bins off
// 0 Hz and fs/2). Exact for a lone tone; nothing when k is not within 1 ... N/2 - 2, a bin is
// not finite, X[k] is 0, or |d| comes out above 1.
std::optional<double> RealTonePosition(const std::array<TComplex, 3>& x, int k, int n);
