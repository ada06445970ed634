// SPDX-License-Identifier: GPL-3.0-or-later
// The external four-ADC source: the hand-over ring, loading the library, and the stand-in's
// blocks read back by the vector voltmeter and gathered for the pipeline.
#include "N4StandinSignal.h"

#include "audio/AdcBlockRing.h"
#include "audio/AdcHandOver.h"
#include "audio/ExternalAdc.h"
#include "instruments/VectorVoltmeter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kStandin = std::string(N4_STANDIN_DIR) + "/libN4ADC.so";
const std::string kIncomplete = std::string(N4_INCOMPLETE_DIR) + "/libN4ADC.so";

// Sets the stand-in's environment for one test and clears it afterwards.
struct StandinEnv {
    explicit StandinEnv(const char* open = "0", const char* signal = nullptr,
                        const char* speed = "8") {
        ::setenv("N4STANDIN_OPEN", open, 1);
        if (signal)
            ::setenv("N4STANDIN_SIGNAL", signal, 1);
        else
            ::unsetenv("N4STANDIN_SIGNAL");
        ::setenv("N4STANDIN_SPEED", speed, 1);
        ::unsetenv("N4STANDIN_RATE");
    }
    ~StandinEnv() {
        for (const char* name :
             {"N4STANDIN_OPEN", "N4STANDIN_SIGNAL", "N4STANDIN_SPEED", "N4STANDIN_RATE"})
            ::unsetenv(name);
    }
};

// Drains the source until `blocks` blocks were handed over (or five seconds passed).
void DrainBlocks(TExternalAdc& adc, TQueuedDispatcher& dispatcher, const int& taken, int blocks) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (taken < blocks && std::chrono::steady_clock::now() < deadline) {
        dispatcher.RunPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    (void)adc;
}

double Db(double ratio) {
    return 20.0 * std::log10(ratio);
}

// The difference of two angles in degrees, folded into [-180, 180).
double AngleError(double a, double b) {
    return std::fmod(a - b + 540.0, 360.0) - 180.0;
}

} // namespace

TEST(AdcBlockRing, AFullRingRefusesWholeBlocksAndKeepsTheOldOnes) {
    TAdcBlockRing ring(3, 5);
    std::vector<std::int32_t> block(5);
    for (int k = 0; k < 4; ++k) {
        block.assign(5, k);
        EXPECT_EQ(ring.Push(block.data()), k < 3) << k;
    }
    for (int k = 0; k < 3; ++k) {
        const auto front = ring.Front();
        ASSERT_EQ(front.size(), 5u);
        for (const auto v : front)
            EXPECT_EQ(v, k);
        ring.Release();
    }
    EXPECT_TRUE(ring.Front().empty());
    block.assign(5, 9);
    EXPECT_TRUE(ring.Push(block.data()));
    ring.Clear();
    EXPECT_TRUE(ring.Front().empty());
}

TEST(AdcBlockRing, AProducerAndAConsumerThreadSeeEveryTakenBlockWholeAndInOrder) {
    // Every block carries its sequence number in all its samples; the consumer must see whole
    // blocks in rising order, and taken + refused = produced.
    constexpr int kBlocks = 20000;
    constexpr std::size_t kSamples = 257; // odd, so a torn copy cannot line up by chance
    TAdcBlockRing ring(7, kSamples);
    std::atomic<int> refused{0};
    std::atomic<bool> done{false};
    std::thread producer([&] {
        std::vector<std::int32_t> block(kSamples);
        for (int k = 0; k < kBlocks; ++k) {
            block.assign(kSamples, k);
            if (!ring.Push(block.data()))
                refused.fetch_add(1, std::memory_order_relaxed);
        }
        done.store(true, std::memory_order_release);
    });
    int taken = 0;
    int last = -1;
    bool whole = true;
    for (;;) {
        const auto front = ring.Front();
        if (front.empty()) {
            if (done.load(std::memory_order_acquire) && ring.Front().empty())
                break;
            std::this_thread::yield();
            continue;
        }
        const int seq = front[0];
        for (const auto v : front)
            whole = whole && v == seq;
        EXPECT_GT(seq, last);
        last = seq;
        ring.Release();
        ++taken;
    }
    producer.join();
    EXPECT_TRUE(whole);
    EXPECT_EQ(taken + refused.load(), kBlocks);
    EXPECT_LE(last, kBlocks - 1);
}

TEST(ExternalAdcLibrary, EachWayOfFailingGivesItsResultAndLeavesItClosed) {
    TQueuedDispatcher dispatcher;
    TExternalAdc adc(dispatcher);
    {
        StandinEnv env;
        EXPECT_EQ(adc.LoadExternalAdc("/nonexistent/folder/libN4ADC.so", ""), alNotFound);
        EXPECT_FALSE(adc.AdcOpen());
        EXPECT_EQ(adc.LoadExternalAdc(kIncomplete, ""), alEntryMissing);
        EXPECT_FALSE(adc.AdcOpen());
    }
    const std::pair<const char*, int> opens[] = {
        {"1", alNoHardware}, {"2", alDriverMissing}, {"7", alUnknownResult}, {"0", alOpened}};
    for (const auto& [open, result] : opens) {
        StandinEnv env(open);
        EXPECT_EQ(adc.LoadExternalAdc(kStandin, ""), result) << open;
        EXPECT_EQ(adc.AdcOpen(), result == alOpened);
    }
    EXPECT_EQ(adc.LoadExternalAdc(kStandin, ""), alOpened) << "an open library stays open";
    adc.CloseExternalAdc();
    EXPECT_FALSE(adc.AdcOpen());
    EXPECT_THROW(adc.Start(4096, 48000), EExternalAdcError);

    EXPECT_EQ(ExternalAdcLoadMessage(alNotFound, 0), "Error: Library libN4ADC.so not found!");
    EXPECT_EQ(ExternalAdcLoadMessage(alEntryMissing, 0),
              "Error: Library libN4ADC.so is missing a function!");
    EXPECT_EQ(ExternalAdcLoadMessage(alNoHardware, 1), "Error: No Norta4 hardware found!");
    EXPECT_EQ(ExternalAdcLoadMessage(alDriverMissing, 2),
              "Error: Library Norta4_USB.dll or not found!");
    EXPECT_NE(ExternalAdcLoadMessage(alUnknownResult, 7).find("7"), std::string::npos);
}

// The voltmeter on the stand-in's blocks reads what it synthesised: amplitude within 0.01 dB,
// phase within 0.01 degree. Absolute phases where the period divides the block (every block
// starts at the same phase), and relative to ADC1 at the other frequencies.
struct AccuracyCase {
    int RateHz;
    int FrequencyHz;
    bool Absolute;
};

class ExternalAdcAccuracy : public ::testing::TestWithParam<AccuracyCase> {};

TEST_P(ExternalAdcAccuracy, TheVoltmeterReadsTheSynthesisedAmplitudesAndPhases) {
    const AccuracyCase c = GetParam();
    const std::string signal =
        std::to_string(c.FrequencyHz) + " 1000000 0 2500000 30 300000 -60 8000000 135";
    StandinEnv env("0", signal.c_str(), "16");
    const auto expected = n4standin::ParseSignal(signal.c_str());

    TQueuedDispatcher dispatcher;
    TExternalAdc adc(dispatcher);
    ASSERT_EQ(adc.LoadExternalAdc(kStandin, ""), alOpened);
    TVectorVoltmeter vvm;
    ASSERT_TRUE(vvm.SetFrequencyText(std::to_string(c.FrequencyHz)));
    vvm.SetReference(c.Absolute ? 0 : 1);
    int taken = 0;
    double worstDb = 0.0;
    double worstDegrees = 0.0;
    adc.OnBlock = [&](std::span<const std::int32_t> block) {
        ++taken;
        ASSERT_TRUE(vvm.AnalyseBlock(block, adc.BlockSamples(), c.RateHz));
        for (int ch = 0; ch < 4; ++ch) {
            const auto i = static_cast<std::size_t>(ch);
            const TVvmReading r = vvm.Instant(ch);
            const double amplitude =
                c.Absolute ? expected.Amplitude[i] : expected.Amplitude[i] / expected.Amplitude[0];
            const double phase = c.Absolute ? expected.PhaseDegrees[i]
                                            : expected.PhaseDegrees[i] - expected.PhaseDegrees[0];
            worstDb = std::max(worstDb, std::abs(Db(r.Magnitude / amplitude)));
            worstDegrees = std::max(worstDegrees, std::abs(AngleError(r.PhaseDegrees, phase)));
        }
    };
    const double rate = adc.Start(4096, c.RateHz);
    EXPECT_EQ(rate, c.RateHz);
    DrainBlocks(adc, dispatcher, taken, 4);
    adc.Stop();
    ASSERT_GE(taken, 4);
    EXPECT_LT(worstDb, 0.01);
    EXPECT_LT(worstDegrees, 0.01);
    EXPECT_EQ(adc.Health().CaptureGaps, 0u);
    RecordProperty("worst_db", std::to_string(worstDb));
    RecordProperty("worst_degrees", std::to_string(worstDegrees));
    std::printf("%d Hz at %d samples/s: %.2e dB, %.2e degrees\n", c.FrequencyHz, c.RateHz, worstDb,
                worstDegrees);
}

INSTANTIATE_TEST_SUITE_P(
    RatesAndFrequencies, ExternalAdcAccuracy,
    ::testing::Values(AccuracyCase{48000, 750, true}, AccuracyCase{48000, 3000, true},
                      AccuracyCase{48000, 1000, false}, AccuracyCase{48000, 400, false},
                      AccuracyCase{48000, 12000, false}, AccuracyCase{48000, 16000, false},
                      AccuracyCase{96000, 1500, true}, AccuracyCase{96000, 1000, false},
                      AccuracyCase{96000, 250, false}, AccuracyCase{96000, 16000, false}));

TEST(ExternalAdcSource, BlocksThatFindTheRingFullAreCountedAsGapsAndLaterOnesArrive) {
    StandinEnv env("0", nullptr, "64");
    TQueuedDispatcher dispatcher;
    TExternalAdc adc(dispatcher, 4);
    ASSERT_EQ(adc.LoadExternalAdc(kStandin, ""), alOpened);
    int taken = 0;
    adc.OnBlock = [&](std::span<const std::int32_t> block) {
        EXPECT_EQ(block.size(), 4u * 4096u);
        ++taken;
    };
    adc.Start(4096, 48000);
    // The main thread is busy: nothing is drained until the library has sent well over 4.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (adc.BlocksArrived() < 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const TStreamHealth busy = adc.Health();
    EXPECT_GE(busy.CaptureGaps, 1u);
    EXPECT_GE(busy.CaptureFramesLost, 6u * 4096u);
    EXPECT_EQ(busy.CaptureFramesLost % 4096u, 0u) << "only whole blocks are lost";
    dispatcher.RunPending();
    EXPECT_EQ(taken, 4) << "the four blocks in the ring, oldest first";
    DrainBlocks(adc, dispatcher, taken, 8);
    EXPECT_GE(taken, 8);
    adc.Stop();
    const int after = taken;
    dispatcher.RunPending();
    EXPECT_EQ(taken, after) << "no block is handed over after Stop";
}

TEST(AdcHandOver, TheChosenPairIsScaledBy255AndGatheredOrSplitForTheSampleLength) {
    constexpr int b = 4096;
    std::vector<std::int32_t> block(4 * b);
    for (int c = 0; c < 4; ++c)
        for (int j = 0; j < b; ++j)
            block[static_cast<std::size_t>(c * b + j)] = (c + 1) * 100000 + j;

    TAdcHandOver handOver;
    handOver.Configure(b, 2048, 1); // ADC3+4, two processed blocks per ADC block
    EXPECT_EQ(handOver.SubBlocks(), 2);
    EXPECT_EQ(handOver.BlocksPerCall(), 1);
    ASSERT_TRUE(handOver.Add(block));
    ASSERT_EQ(handOver.In().size(), 2u);
    ASSERT_EQ(handOver.In()[0].size(), static_cast<std::size_t>(b));
    EXPECT_EQ(handOver.In()[0][10], 300010.0f * 255.0f);
    EXPECT_EQ(handOver.In()[1][4095], 404095.0f * 255.0f);

    handOver.Configure(b, 8192, 0); // ADC1+2, two ADC blocks per processed block
    EXPECT_EQ(handOver.SubBlocks(), 1);
    EXPECT_EQ(handOver.BlocksPerCall(), 2);
    ASSERT_EQ(handOver.In()[0].size(), 8192u);
    EXPECT_FALSE(handOver.Add(block));
    EXPECT_EQ(handOver.Gathered(), 1);
    for (auto& v : block)
        v = -v;
    EXPECT_TRUE(handOver.Add(block));
    EXPECT_EQ(handOver.Gathered(), 0);
    EXPECT_EQ(handOver.In()[0][5], 100005.0f * 255.0f);
    EXPECT_EQ(handOver.In()[0][4096 + 5], -100005.0f * 255.0f);
    EXPECT_EQ(handOver.In()[1][8191], -204095.0f * 255.0f);

    handOver.Clear();
    EXPECT_TRUE(handOver.In().empty());
    EXPECT_FALSE(handOver.Add(block)) << "an emptied hand-over takes nothing";
}

TEST(ExternalAdcSource, ADrainTaskRunInsideTheBlockHandlerTakesNoBlockTwiceAndLosesNoWakeUp) {
    // The window's block handler may open a message box, whose event loop runs further drain
    // tasks while the outer one is still handling its block.
    StandinEnv env("0", "1234.5 1000000 0 1 0 1 0 1 0", "32");
    const auto signal = n4standin::ParseSignal("1234.5 1000000 0 1 0 1 0 1 0");
    TQueuedDispatcher dispatcher;
    TExternalAdc adc(dispatcher);
    ASSERT_EQ(adc.LoadExternalAdc(kStandin, ""), alOpened);
    int taken = 0;
    bool inOrder = true;
    adc.OnBlock = [&](std::span<const std::int32_t> block) {
        const auto k = static_cast<std::uint64_t>(taken);
        for (std::uint64_t j = 0; j < 8; ++j)
            inOrder = inOrder && block[j] == n4standin::Sample(signal, 0, k * 4096 + j, 48000);
        ++taken;
        if (taken % 3 == 1) { // a nested event loop that waits for the next block to arrive
            const auto arrived = adc.BlocksArrived();
            while (adc.BlocksArrived() == arrived)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            dispatcher.RunPending();
        }
    };
    adc.Start(4096, 48000);
    DrainBlocks(adc, dispatcher, taken, 20);
    adc.Stop();
    EXPECT_GE(taken, 20) << "the hand-over went on after nested drains";
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(adc.Health().CaptureGaps, 0u);
}

TEST(ExternalAdcSource, AMainThreadSlowerThanTheLibraryStillGetsBackToItsEventLoop) {
    // Blocks arrive every 1.3 ms, the handler takes 3 ms: one drain must not chase the ring
    // for ever, and what it cannot take is counted as lost.
    StandinEnv env("0", nullptr, "64");
    TQueuedDispatcher dispatcher;
    TExternalAdc adc(dispatcher, 6);
    ASSERT_EQ(adc.LoadExternalAdc(kStandin, ""), alOpened);
    adc.OnBlock = [](std::span<const std::int32_t>) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    };
    adc.Start(4096, 48000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (adc.BlocksArrived() < 8 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int k = 0; k < 5; ++k)
        EXPECT_LE(adc.Drain(), 6) << "at most one ring's worth per drain";
    adc.Stop();
    EXPECT_GE(adc.Health().CaptureGaps, 1u);
}
