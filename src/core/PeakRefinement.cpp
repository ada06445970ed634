// Three-point and four-point logarithmic parabola fits around the strongest bin.
#include "core/PeakRefinement.h"

#include <cmath>

double RefinePeak(std::span<const double> y, int k) {
    const int h = static_cast<int>(y.size()) - 1;
    double fine = k;
    if (k < 0 || k > h) {
        return fine;
    }
    const auto at = [&](int j) { return y[static_cast<std::size_t>(j)]; };
    if (k != 0 && k != h) {
        const double curvature = at(k - 1) - 2.0 * at(k) + at(k + 1);
        if (curvature != 0.0) {
            fine = k + ((at(k - 1) - at(k + 1)) / 2.0) / curvature;
        }
    }
    if (k >= 2 && k <= h - 2) {
        const int s = at(k + 1) >= at(k - 1) ? k - 1 : k - 2;
        // Least squares over x = j - (s + 1.5) = -1.5, -0.5, 0.5, 1.5 (centred for accuracy):
        // sum x = 0, sum x^2 = 5, sum x^4 = 10.25, sum x^3 = 0, so the normal equations split
        // into b = sum(x v) / 5 and a = (sum(x^2 v) - 1.25 sum v) / (10.25 - 5 * 1.25).
        double sumV = 0.0;
        double sumXV = 0.0;
        double sumX2V = 0.0;
        for (int m = 0; m < 4; ++m) {
            const double value = at(s + m);
            if (!(value > 0.0)) {
                return fine; // no logarithm of 0 or of a negative value
            }
            const double x = m - 1.5;
            const double v = std::log(value);
            sumV += v;
            sumXV += x * v;
            sumX2V += x * x * v;
        }
        const double a = (sumX2V - 1.25 * sumV) / 4.0;
        const double b = sumXV / 5.0;
        if (a != 0.0) {
            fine = s + 1.5 - b / (2.0 * a);
        }
    }
    return fine;
}
