// Sub-bin position of a spectral peak from the smoothed amplitude spectrum.
#pragma once

#include <span>

// Interpolated peak position in bins around bin k of spectrum y (H = size - 1):
// 1. k itself;
// 2. for 0 < k < H, the vertex of the parabola through y[k-1], y[k], y[k+1]:
//    k + ((y[k-1] - y[k+1]) / 2) / (y[k-1] - 2 y[k] + y[k+1]);
// 3. for 2 <= k <= H - 2, replacing 2: the vertex -b / (2a) of the least-squares parabola
//    a j^2 + b j + c through (j, ln y[j]) for the four bins j = s ... s + 3, s = k - 1 when
//    y[k+1] >= y[k-1], else k - 2 (a Gaussian fit, exact for a Gaussian-shaped lobe).
// A step whose curvature is 0, or (step 3) that meets a value <= 0 under the logarithm, keeps
// the previous step's estimate. A k outside 0 ... H is returned unchanged.
double RefinePeak(std::span<const double> y, int k);
