// SPDX-License-Identifier: GPL-3.0-or-later
// The run without a window reads, text for text, as the core set up the window's way.
#include "measure/MeasureRun.h"

#include "core/LevelMeters.h"

#include "../core/CoreTestRig.h"

#include <gtest/gtest.h>

namespace {

TEST(MeasureRun, SameBlocksGiveTheSameTextsAsTheWindowSetUp) {
    TMeasureOptions options;
    options.Length = 2048;
    options.BandLow = 100;
    options.BandHigh = 20000;
    options.Units = 1;          // the window's default read-out units
    options.TimeConstant = "0"; // meters follow every block, as in the rig
    TMeasureRun run(options, 48000);
    CoreTestRig rig(2048, 48000.0, 100, 20000);

    // Two tones and a little of everything: blocks of 2048 samples, one N each.
    const auto a = SineSamples(2048 * 6, 997.0, 48000.0, 0.3 * kFullScaleSine);
    const auto b = SineSamples(2048 * 6, 6100.0, 48000.0, 0.01 * kFullScaleSine, 1.1);
    for (int k = 0; k < 6; ++k) {
        std::vector<float> left(2048), right(2048);
        for (std::size_t i = 0; i < 2048; ++i) {
            left[i] = a[2048 * static_cast<std::size_t>(k) + i] +
                      b[2048 * static_cast<std::size_t>(k) + i];
            right[i] = left[i];
        }
        rig.Feed(left, right);
        TDataBufferF in{left, right};
        ASSERT_TRUE(run.Feed(in, 2048));
        const MeasurementState& s = run.State();
        EXPECT_EQ(s.Texts.LSN_M, rig.state.Texts.LSN_M) << k;
        EXPECT_EQ(s.Texts.LSN, rig.state.Texts.LSN) << k;
        EXPECT_EQ(s.Texts.LS, rig.state.Texts.LS) << k;
        EXPECT_EQ(s.Texts.LSp, rig.state.Texts.LSp) << k;
        EXPECT_DOUBLE_EQ(s.SNLevel, rig.state.SNLevel) << k;
        EXPECT_DOUBLE_EQ(s.SLevel, rig.state.SLevel) << k;
        EXPECT_DOUBLE_EQ(run.Reading().PeakHz, PeakFrequency(rig.state)) << k;
    }
    EXPECT_EQ(run.Reading().Blocks, 6);
    EXPECT_NEAR(run.Reading().SdB, 20.0 * std::log10(0.3), 0.005);
}

} // namespace
