// SPDX-License-Identifier: GPL-3.0-or-later
// The true-peak interpolator's filter for the baseline instruction set.
#include "analysis/TruePeakFilter.h"

namespace true_peak_filter {

void MonoBaseline(const double* w, std::size_t outputs, const double* taps, double bound,
                  double* samplePeaks, double* truePeaks) {
    Interpolate<TVector2, 1>(w, outputs, taps, bound, samplePeaks, truePeaks);
}

void StereoBaseline(const double* w, std::size_t outputs, const double* taps, double bound,
                    double* samplePeaks, double* truePeaks) {
    Interpolate<TVector2, 2>(w, outputs, taps, bound, samplePeaks, truePeaks);
}

} // namespace true_peak_filter
