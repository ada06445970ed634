// Sine output: the p = 2 pattern, channel modes, phase across blocks, frequency caption.
#include "core/SineOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr float kA = static_cast<float>(TSineOutput::Amplitude);

} // namespace

TEST(SineOutput, ShortestPeriodRepeatsFourValues) {
    TSineOutput gen;
    gen.CheckOut = true;
    TDataBufferF out;
    AllocateBlock(out, 2, 2048);
    FillOutBuffer(gen, out);
    for (std::size_t i = 0; i < 2048; i += 4) {
        EXPECT_NEAR(out[0][i], 0.0f, 1.0f);
        EXPECT_EQ(out[0][i + 1], kA);
        EXPECT_NEAR(out[0][i + 2], 0.0f, 1.0f);
        EXPECT_EQ(out[0][i + 3], -kA);
        EXPECT_EQ(out[1][i + 1], kA);
    }
    EXPECT_EQ(TrackFChange(gen, 2, 48000.0), "12000 Hz");
}

TEST(SineOutput, ChannelModes) {
    TSineOutput gen;
    gen.CheckOut = true;
    gen.TrackF = 6;
    TDataBufferF out;
    AllocateBlock(out, 2, 2048);
    gen.COutChan = 1; // "+L/-R"
    FillOutBuffer(gen, out);
    for (std::size_t i = 0; i < 2048; ++i) {
        EXPECT_EQ(out[1][i], -out[0][i]);
    }
    gen.COutChan = 3; // "R only"
    FillOutBuffer(gen, out);
    EXPECT_EQ(out[0][16], 0.0f);
    EXPECT_EQ(out[1][16], kA);
    gen.CheckOut = false; // switched off: the block is left alone
    out[0][16] = 5.0f;
    FillOutBuffer(gen, out);
    EXPECT_EQ(out[0][16], 5.0f);
}

TEST(SineOutput, PhaseRunsOnAcrossBlocks) {
    TSineOutput gen;
    gen.CheckOut = true;
    TDataBufferF first;
    TDataBufferF second;
    AllocateBlock(first, 2, 2048);
    AllocateBlock(second, 2, 2048);
    gen.TrackF = 11; // the period divides the block: every block starts at phase 0
    FillOutBuffer(gen, first);
    FillOutBuffer(gen, second);
    EXPECT_EQ(first[0], second[0]);

    ResetPhase(gen);
    gen.TrackF = 13; // 8192 samples: the second block continues the first
    FillOutBuffer(gen, first);
    FillOutBuffer(gen, second);
    for (std::size_t i : {0u, 1u, 1000u, 2047u}) {
        const double expected =
            TSineOutput::Amplitude * std::sin(2.0 * std::numbers::pi * (2048.0 + i) / 8192.0);
        EXPECT_NEAR(second[0][i], expected, 256.0);
    }
}
