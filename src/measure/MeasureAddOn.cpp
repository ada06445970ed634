// SPDX-License-Identifier: GPL-3.0-or-later
// The analysers of phonoscale-measure: the one list that the options choose from.
#include "measure/MeasureAddOn.h"

#include "measure/DistortionAddOn.h"
#include "measure/LoudnessAddOn.h"
#include "measure/OctaveAddOn.h"
#include "measure/ResponseAddOn.h"
#include "measure/SoundLevelAddOn.h"

#include <cmath>

TReportLine ReportNumber(double x, int decimals) {
    if (!std::isfinite(x)) {
        return nullptr;
    }
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(x * scale) / scale;
    return std::isfinite(rounded) ? rounded : x; // beyond 1e302 rounding has nothing to do
}

std::vector<std::unique_ptr<TMeasureAddOn>> MakeMeasureAddOns(const TMeasureOptions& options,
                                                              int sampleRateHz) {
    std::vector<std::unique_ptr<TMeasureAddOn>> addOns;
    // Each analyser adds itself here when the options ask for it.
    if (options.Distortion)
        addOns.push_back(std::make_unique<TDistortionAddOn>(options));
    if (options.Octave)
        addOns.push_back(std::make_unique<TOctaveAddOn>(options, sampleRateHz));
    if (options.Response)
        addOns.push_back(std::make_unique<TResponseAddOn>(options));
    if (options.Slm)
        addOns.push_back(std::make_unique<TSoundLevelAddOn>(options));
    if (options.Loudness)
        addOns.push_back(std::make_unique<TLoudnessAddOn>(options));
    return addOns;
}
