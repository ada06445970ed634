// SPDX-License-Identifier: GPL-3.0-or-later
// Peak fits around the strongest bin and their correction by the window's measured response.
#include "core/PeakRefinement.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

std::optional<double> PeakFitOffset(std::span<const double> y, int k, TPeakFitKind kind) {
    const int h = static_cast<int>(y.size()) - 1;
    if (k <= 0 || k >= h) {
        return std::nullopt;
    }
    const double below = y[static_cast<std::size_t>(k - 1)];
    const double centre = y[static_cast<std::size_t>(k)];
    const double above = y[static_cast<std::size_t>(k + 1)];
    if (kind == TPeakFitKind::NeighbourRatio) {
        const bool up = above >= below;
        const double side = up ? above : below;
        const double sum = centre + side;
        if (!(sum > 0.0)) {
            return std::nullopt;
        }
        return (up ? side : -side) / sum;
    }
    if (!(below > 0.0 && centre > 0.0 && above > 0.0)) {
        return std::nullopt;
    }
    const double l0 = std::log(below);
    const double l1 = std::log(centre);
    const double l2 = std::log(above);
    const double curvature = l0 - 2.0 * l1 + l2;
    if (curvature == 0.0) {
        return std::nullopt;
    }
    return (l0 - l2) / (2.0 * curvature);
}

double InvertPeakFit(const TPeakFitTable& table, double offset) {
    const auto& r = table.Response;
    if (r.size() < 2) {
        return offset;
    }
    const double a = std::abs(offset);
    const double sign = offset < 0.0 ? -1.0 : 1.0;
    const std::size_t last = r.size() - 1;
    const double step = 0.5 / static_cast<double>(last);
    if (a <= r.front()) {
        return 0.0;
    }
    if (a >= r.back()) {
        return sign * (0.5 + (a - r.back()));
    }
    // r rises with the index: the first entry above a closes the interval.
    const auto upper = std::upper_bound(r.begin(), r.end(), a);
    const auto j = static_cast<std::size_t>(upper - r.begin()) - 1;
    const double span = r[j + 1] - r[j];
    const double fraction = span > 0.0 ? (a - r[j]) / span : 0.0;
    return sign * step * (static_cast<double>(j) + fraction);
}

double RefinePeak(std::span<const double> y, int k, const TPeakFitTable& table) {
    const int h = static_cast<int>(y.size()) - 1;
    if (k < 0 || k > h) {
        return k;
    }
    if (const auto offset = PeakFitOffset(y, k, table.Kind)) {
        return k + InvertPeakFit(table, *offset);
    }
    if (k == 0 || k == h) {
        return k;
    }
    const double below = y[static_cast<std::size_t>(k - 1)];
    const double above = y[static_cast<std::size_t>(k + 1)];
    const double curvature = below - 2.0 * y[static_cast<std::size_t>(k)] + above;
    return curvature != 0.0 ? k + ((below - above) / 2.0) / curvature : k;
}

namespace {

using Complex = std::complex<double>;

// K(w) = sum_{n=0}^{N-1} exp(i w n) = exp(i w (N - 1) / 2) sin(N w / 2) / sin(w / 2), for w =
// 2 pi bins / N (bins may be fractional); N where sin(w / 2) vanishes.
Complex Dirichlet(double bins, int n) {
    const double half = std::numbers::pi * bins / n; // w / 2
    const double denominator = std::sin(half);
    const double magnitude = std::abs(denominator) < 1e-300 ? n : std::sin(n * half) / denominator;
    return std::polar(magnitude, half * (n - 1));
}

// The lobe's offset d (bins) from bin k, from the neighbour j = +-1 of y[k] = lobe[1].
std::optional<double> LobeOffset(const Complex lobe[3], int n) {
    const double step = std::numbers::pi / n;
    const int j = std::abs(lobe[2]) >= std::abs(lobe[0]) ? 1 : -1;
    const Complex ratio = lobe[1 + j] / lobe[1] * std::polar(1.0, -j * step * (n - 1));
    const double r = ratio.real();
    const double d = std::atan2(j * r * std::sin(step), 1.0 + r * std::cos(step)) / step;
    if (!std::isfinite(d) || std::abs(d) > 1.0) {
        return std::nullopt;
    }
    return d;
}

} // namespace

std::optional<double> RealTonePosition(const std::array<TComplex, 3>& x, int k, int n) {
    if (k < 1 || k > n / 2 - 2) {
        return std::nullopt;
    }
    Complex bins[3];
    for (int j = -1; j <= 1; ++j) {
        const TComplex v = x[static_cast<std::size_t>(j + 1)];
        bins[j + 1] = {v.Re, v.Im};
        if (!std::isfinite(v.Re) || !std::isfinite(v.Im)) {
            return std::nullopt;
        }
    }
    if (std::abs(bins[1]) == 0.0) {
        return std::nullopt;
    }
    Complex lobe[3] = {bins[0], bins[1], bins[2]};
    std::optional<double> d;
    for (int round = 0; round < 8; ++round) {
        const std::optional<double> before = d;
        d = LobeOffset(lobe, n);
        if (!d) {
            return std::nullopt;
        }
        if (before && std::abs(*d - *before) < 1e-10) {
            break;
        }
        const Complex gain = lobe[1] / Dirichlet(-*d, n);
        for (int j = -1; j <= 1; ++j) {
            lobe[j + 1] = bins[j + 1] - std::conj(gain) * Dirichlet(2.0 * k + j + *d, n);
        }
        if (std::abs(lobe[1]) == 0.0) {
            return std::nullopt;
        }
    }
    return k + *d;
}
