// SPDX-License-Identifier: GPL-3.0-or-later
// The status line: noise bandwidths of known windows and the line's fields.
#include "core/StatusLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

// Closed forms: rectangular 1 bin, periodic Hann 1.5 bins.
TEST(StatusLine, EquivalentNoiseBinsOfKnownWindows) {
    const int n = 1024;
    std::vector<double> rect(n, 1.0), hann(n);
    for (int i = 0; i < n; ++i)
        hann[static_cast<std::size_t>(i)] = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / n);
    EXPECT_DOUBLE_EQ(EquivalentNoiseBins(rect), 1.0);
    EXPECT_NEAR(EquivalentNoiseBins(hann), 1.5, 1e-12);
    EXPECT_EQ(EquivalentNoiseBins({}), 1.0);
}

TEST(StatusLine, NamesEngineDeviceRateNBandwidthAndGaps) {
    TStatusFields f{"ALSA", "01  Default device", 44100.0, 24, 4096, 1.5, 2};
    EXPECT_EQ(FormatStatusLine(f),
              "ALSA: 01  Default device | 44.1 ksps, 24 bit | N = 4096, RBW 16.1 Hz | gaps: 2");
    f = {"JACK", "", 192000.0, 16, 64, 3.77, 0}; // 11310 Hz to three digits
    EXPECT_EQ(FormatStatusLine(f), "JACK | 192 ksps, 16 bit | N = 64, RBW 11300 Hz | gaps: 0");
}
