// SPDX-License-Identifier: GPL-3.0-or-later
// The pipeline's block consumers: what they are fed, when, and what happens when one fails.
#include "CoreTestRig.h"
#include "dsp/WindowFunctions.h"

#include <gtest/gtest.h>

#include <complex>
#include <deque>
#include <functional>
#include <stdexcept>

namespace {

// Keeps copies of what it is fed.
struct TRecordingConsumer : TBlockConsumer {
    bool active = true;
    bool fail = false;
    int restarts = 0;
    std::vector<TEngineBlockView> engine;
    std::vector<std::vector<float>> left, outLeft;
    std::vector<std::vector<TComplex>> bins, padded;
    std::vector<std::vector<double>> spectrum;
    std::vector<double> generatorHz;
    std::vector<bool> shown;

    bool Active() const override { return active; }
    void Restart() override { ++restarts; }
    void EngineBlock(const TEngineBlockView& block) override {
        if (fail) {
            throw std::runtime_error("consumer failed");
        }
        engine.push_back(block);
    }
    void ProcessedBlock(const TProcessedBlockView& block) override {
        EXPECT_EQ(block.Left.size(), static_cast<std::size_t>(block.N));
        EXPECT_EQ(block.Right.size(), static_cast<std::size_t>(block.N));
        left.emplace_back(block.Left.begin(), block.Left.end());
        outLeft.emplace_back(block.OutLeft.begin(), block.OutLeft.end());
        bins.emplace_back(block.Bins.begin(), block.Bins.end());
        padded.emplace_back(block.PaddedBins.begin(), block.PaddedBins.end());
        spectrum.emplace_back(block.Spectrum.begin(), block.Spectrum.end());
        generatorHz.push_back(block.GeneratorHz);
        shown.push_back(block.Shown);
    }
};

constexpr int kN = 256;
constexpr double kRate = 48000.0;
constexpr int kToneBin = 16;

} // namespace

// Every processed block is fed in order with the frames it covers, the generator's samples played
// over them and the bins of its windowed transform (against a direct DFT of the block).
TEST(BlockConsumers, SeeEveryBlockWithItsSamplesWhatPlayedAndItsBins) {
    CoreTestRig rig(kN, kRate, 0, 24000, /*windowKind=*/0);
    rig.state.Generator.CheckOut = true;
    rig.state.Generator.TrackF = 6; // 48000 / 64 = 750 Hz
    TRecordingConsumer consumer;
    rig.parts.Consumers = {&consumer};
    ResetForStart(rig.state);
    const auto input = SineSamples(rig.EngineBlockLength(), kToneBin * kRate / kN, kRate);
    rig.Feed(input);
    rig.Feed(input);

    ASSERT_EQ(consumer.restarts, 1);
    ASSERT_EQ(consumer.engine.size(), 2u);
    ASSERT_EQ(consumer.left.size(), 2u * static_cast<std::size_t>(rig.state.SubBlocks));
    EXPECT_EQ(consumer.engine[0].Left.size(), rig.EngineBlockLength());
    EXPECT_EQ(consumer.engine[0].SampleRate, kRate);
    for (std::size_t b = 0; b < consumer.left.size(); ++b) {
        const std::size_t sub = b % static_cast<std::size_t>(rig.state.SubBlocks);
        const auto from = static_cast<std::ptrdiff_t>(sub * kN);
        EXPECT_TRUE(
            std::equal(consumer.left[b].begin(), consumer.left[b].end(), input.begin() + from))
            << b;
        EXPECT_TRUE(std::equal(consumer.outLeft[b].begin(), consumer.outLeft[b].end(),
                               rig.outBuffer[0].begin() + from))
            << b;
        EXPECT_EQ(consumer.shown[b], sub + 1 == static_cast<std::size_t>(rig.state.SubBlocks));
        EXPECT_EQ(consumer.generatorHz[b], 750.0);
        ASSERT_EQ(consumer.bins[b].size(), kN / 2u);
        const TComplex x = consumer.bins[b][kToneBin];
        std::complex<long double> dft = 0;
        for (int i = 0; i < kN; ++i) {
            const long double turn = 2.0L * std::numbers::pi_v<long double> * i * kToneBin / kN;
            dft += static_cast<long double>(WindowRect(i, kN - 1)) *
                   consumer.left[b][static_cast<std::size_t>(i)] * std::polar(1.0L, turn);
        }
        EXPECT_NEAR(x.Re, static_cast<double>(dft.real()), 1e-9 * kN * kFullScaleSine) << b;
        EXPECT_NEAR(x.Im, static_cast<double>(dft.imag()), 1e-9 * kN * kFullScaleSine) << b;
        // The band filter's transform, zero-padded to 2N: its even bins are the block's plain
        // (rectangular) transform, its odd ones lie between them.
        ASSERT_EQ(consumer.padded[b].size(), kN + 1u);
        for (const int j : {2 * kToneBin, 2 * kToneBin + 1, 7}) {
            std::complex<long double> plain = 0;
            for (int i = 0; i < kN; ++i) {
                const long double turn = std::numbers::pi_v<long double> * i * j / kN;
                plain += static_cast<long double>(consumer.left[b][static_cast<std::size_t>(i)]) *
                         std::polar(1.0L, turn);
            }
            const TComplex y = consumer.padded[b][static_cast<std::size_t>(j)];
            EXPECT_NEAR(y.Re, static_cast<double>(plain.real()), 1e-9 * kN * kFullScaleSine) << j;
            EXPECT_NEAR(y.Im, static_cast<double>(plain.imag()), 1e-9 * kN * kFullScaleSine) << j;
        }
        const auto& spectrum = consumer.spectrum[b];
        ASSERT_EQ(spectrum.size(), kN / 2u);
        EXPECT_EQ(std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin(), kToneBin);
    }
    // The played rows hold the generator's tone: a period of 64 samples at full scale.
    EXPECT_GT(*std::max_element(consumer.outLeft[0].begin(), consumer.outLeft[0].end()), 2.0e9f);
}

TEST(BlockConsumers, InactiveOnesAreSkippedAFailureIsRecordedAndEachStartRestarts) {
    CoreTestRig rig(kN, kRate, 0, 24000);
    TRecordingConsumer failing, inactive, after;
    failing.fail = true;
    inactive.active = false;
    rig.parts.Consumers = {&failing, &inactive, &after};
    const auto input = SineSamples(rig.EngineBlockLength(), 1000.0, kRate);
    ResetForStart(rig.state);
    rig.Feed(input);
    EXPECT_TRUE(inactive.engine.empty());
    EXPECT_TRUE(inactive.left.empty());
    EXPECT_EQ(after.engine.size(), 1u);
    EXPECT_EQ(after.left.size(), static_cast<std::size_t>(rig.state.SubBlocks));
    EXPECT_EQ(rig.state.Texts.RepaintRequests, 1u); // the block itself went on
    EXPECT_EQ(rig.state.StreamErrors.FirstError, "consumer failed");
    rig.Feed(input);
    ResetForStart(rig.state);
    rig.Feed(input);
    for (const auto* c : {&failing, &inactive, &after}) {
        EXPECT_EQ(c->restarts, 2); // also the inactive one: it starts afresh when shown
    }
}

// A sliced engine block (large N) feeds its one processed block after the spectrum slice, with
// the same samples, played rows and bins as a block in one go.
TEST(BlockConsumers, SlicedBlocksFeedWhatBlocksInOneGoFeed) {
    constexpr int n = 8192;
    CoreTestRig whole(n, kRate, 0, 24000), sliced(n, kRate, 0, 24000);
    std::deque<std::function<void()>> slices;
    sliced.pipeline.SetSliceLength(n);
    sliced.parts.PostSlice = [&](std::function<void()> task) { slices.push_back(task); };
    TRecordingConsumer a, b;
    whole.parts.Consumers = {&a};
    sliced.parts.Consumers = {&b};
    for (auto* rig : {&whole, &sliced}) {
        rig->state.Generator.CheckOut = true;
        AllocateBlock(rig->outBuffer, 2, n);
    }
    const auto input = SineSamples(whole.EngineBlockLength(), 1234.5, kRate);
    whole.Feed(input);
    sliced.Feed(input);
    EXPECT_TRUE(b.left.empty());
    while (!slices.empty()) {
        auto task = slices.front();
        slices.pop_front();
        task();
    }
    ASSERT_EQ(b.left.size(), 1u);
    ASSERT_EQ(a.left.size(), 1u);
    EXPECT_EQ(b.left, a.left);
    EXPECT_EQ(b.outLeft, a.outLeft);
    ASSERT_EQ(b.bins[0].size(), a.bins[0].size());
    for (std::size_t k = 0; k < a.bins[0].size(); ++k) {
        ASSERT_EQ(b.bins[0][k].Re, a.bins[0][k].Re) << k;
        ASSERT_EQ(b.bins[0][k].Im, a.bins[0][k].Im) << k;
    }
    ASSERT_EQ(b.padded[0].size(), n + 1u);
    ASSERT_EQ(a.padded[0].size(), n + 1u);
    for (std::size_t k = 0; k < a.padded[0].size(); ++k) {
        ASSERT_EQ(b.padded[0][k].Re, a.padded[0][k].Re) << k;
        ASSERT_EQ(b.padded[0][k].Im, a.padded[0][k].Im) << k;
    }
}
