// Peak fits around the strongest bin and their correction by the window's measured response.
#include "core/PeakRefinement.h"

#include <algorithm>
#include <cmath>

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
