// SPDX-License-Identifier: GPL-3.0-or-later
// The sample rates the window offers, their captions and the item a stored rate selects.
#include "core/SampleRates.h"

#include "core/NumberText.h"

#include <cmath>

int SampleRateItem(long long r) {
    const int last = static_cast<int>(ListedSampleRates.size()) - 1;
    for (int k = 0; k < last; ++k)
        if (r <= ListedSampleRates[static_cast<std::size_t>(k)] + 1000LL)
            return k;
    return r <= 200000 ? last : -1;
}

std::string SampleRateCaption(double rateHz) {
    return FormatGeneral(rateHz / 1000.0) + " ksps";
}

double SampleRateOfCaption(const std::string& caption) {
    const std::size_t end = caption.find(" ksps");
    const auto k = ParseNumber(caption.substr(0, end));
    return k ? std::round(*k * 1000.0 * 1000.0) / 1000.0 : 0.0;
}
