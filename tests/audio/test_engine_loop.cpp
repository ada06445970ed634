// SPDX-License-Identifier: GPL-3.0-or-later
// Engine tests through a sound server: a rendered tone captured back, and a server that dies.
#include "AudioTestSupport.h"

#include "audio/AlsaPcm.h"
#include "audio/MmeStrm.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace audiotest;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 2048;
constexpr int kPeriodExponent = 5;              // tone period 2^5 = 32 samples: 1500 Hz
constexpr double kToneBin = kBlock / 32.0;      // bin 64 of a 2048-sample block
constexpr double kToneAmplitude = 2147483391.0; // 2^31 - 257: full scale without overflow

std::shared_ptr<const std::vector<TPcmDevice>> PulseDevices() {
    return std::make_shared<const std::vector<TPcmDevice>>(
        std::vector<TPcmDevice>{{"pulse", "Sound server", true, true}});
}

// Writes the coherent sine, equal on both channels, into an output block (phase 0 at index 0).
void WriteTone(TDataBufferF& out) {
    const double k = std::pow(2.0, -kPeriodExponent);
    for (std::size_t i = 0; i < out[0].size(); ++i) {
        const auto s = static_cast<float>(kToneAmplitude *
                                          std::sin(static_cast<long double>(i) * 2.0L * M_PIl * k));
        out[0][i] = s;
        out[1][i] = s;
    }
}

// Whether a captured block carries the tone at its bin, at 0 dB within 0.05 dB, on both
// channels, with the neighbouring bins far below it.
bool HoldsTone(const TDataBufferF& in, std::string* why = nullptr) {
    for (std::size_t c = 0; c < 2; ++c) {
        const double level = Db(ToneAmplitude(in[c], kToneBin));
        if (std::abs(level) > 0.05) {
            if (why)
                *why = "channel " + std::to_string(c) + " at " + std::to_string(level) + " dB";
            return false;
        }
        for (double bin : {kToneBin - 3, kToneBin - 1, kToneBin + 1, kToneBin + 3, 2 * kToneBin})
            if (Db(ToneAmplitude(in[c], bin)) > -60.0) {
                if (why)
                    *why = "bin " + std::to_string(bin) + " too strong";
                return false;
            }
    }
    return true;
}

// Each case plays into a sink of its own, so that cases running in parallel do not hear
// one another's tones.
class MmeEngineLoop : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (!server_.Start())
            GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
        if (!SoundServerReachable(SoundServerSocket()))
            GTEST_SKIP() << "the private sound server does not answer at " << SoundServerSocket();
    }

    PrivateSoundServer server_;
};

} // namespace

TEST_P(MmeEngineLoop, RenderedToneComesBackAtItsFrequencyAndLevel) {
    const int bits = GetParam();
    TQueuedDispatcher dispatcher;
    TMmeAudioStream engine(PulseDevices(), &dispatcher);
    engine.Directions = ddBoth;
    engine.BufferCount = 3;
    engine.InputDevice = TDeviceSettings(0, 2, kRate, bits, kBlock);
    engine.OutputDevice = TDeviceSettings(0, 2, kRate, bits, kBlock);
    int blocks = 0, goodInARow = 0;
    std::string lastWhy;
    engine.OnData = [&](void* sender, TDataBufferI& ints, TDataBufferF& in, TDataBufferF& out) {
        EXPECT_EQ(sender, &engine);
        EXPECT_TRUE(ints.empty());
        ASSERT_EQ(in.size(), 2u);
        ASSERT_EQ(in[0].size(), static_cast<std::size_t>(kBlock));
        ++blocks;
        goodInARow = HoldsTone(in, &lastWhy) ? goodInARow + 1 : 0;
        WriteTone(out);
    };
    engine.Start();
    const bool found = PumpUntil(
        dispatcher, [&] { return goodInARow >= 5; }, 20s);
    const auto health = engine.Health();
    engine.Stop();
    EXPECT_TRUE(found) << blocks << " blocks; last: " << lastWhy << "; input gaps "
                       << health.CaptureGaps << ", output gaps " << health.RenderGaps;
    EXPECT_EQ(health.BlockErrors, 0u);
    EXPECT_EQ(TAlsaPcm::OpenCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Bits, MmeEngineLoop, ::testing::Values(16, 24),
                         [](const auto& p) { return std::to_string(p.param) + "bit"; });

// The server goes away while the engine streams through it: exactly one failure report, the
// engine stops, and Stop afterwards returns at once.
class MmeEngineDeviceLoss : public ::testing::TestWithParam<TDataDirections> {};

TEST_P(MmeEngineDeviceLoss, LostServerGivesOneFailureAndStops) {
    PrivateSoundServer server;
    if (!server.Start() || !SoundServerReachable(SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
    TQueuedDispatcher dispatcher;
    TMmeAudioStream engine(PulseDevices(), &dispatcher);
    engine.Directions = GetParam();
    engine.InputDevice = TDeviceSettings(0, 2, kRate, 16, kBlock);
    engine.OutputDevice = TDeviceSettings(0, 2, kRate, 16, kBlock);
    int blocks = 0;
    engine.OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF& out) {
        ++blocks;
        WriteTone(out);
    };
    std::vector<std::string> failures;
    engine.OnFailure = [&failures](const std::string& why) { failures.push_back(why); };
    engine.Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return blocks >= 3; }));

    server.Stop();
    ASSERT_TRUE(PumpUntil(
        dispatcher, [&] { return !failures.empty(); }, 30s))
        << "no failure reported";
    EXPECT_FALSE(engine.Active());
    PumpFor(dispatcher, 500ms); // a second report would arrive here
    ASSERT_EQ(failures.size(), 1u);
    // Named as the device list shows it, not by the device layer's name.
    EXPECT_NE(failures[0].find("device \"01  Sound server\""), std::string::npos) << failures[0];
    EXPECT_EQ(engine.ErrorMessage(), failures[0]);
    engine.Stop(); // nothing left to stop
    // The workers close their broken devices themselves, shortly after.
    EXPECT_TRUE(PumpUntil(
        dispatcher, [] { return TAlsaPcm::OpenCount() == 0; }, 10s));
    const int after = blocks;
    PumpFor(dispatcher, 100ms);
    EXPECT_EQ(blocks, after);
}

INSTANTIATE_TEST_SUITE_P(Directions, MmeEngineDeviceLoss, ::testing::Values(ddCapture, ddBoth),
                         [](const auto& p) {
                             return std::string(p.param == ddCapture ? "Capture" : "Both");
                         });

// A server that hangs instead of going away: the engine notices that the device stopped moving
// data, reports it once, and Stop returns although closing the device hangs.
TEST(MmeEngineDeviceStall, FrozenServerGivesOneFailureAndStopReturns) {
    PrivateSoundServer server;
    if (!server.Start() || !SoundServerReachable(SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
    TQueuedDispatcher dispatcher;
    TMmeAudioStream engine(PulseDevices(), &dispatcher);
    engine.Directions = ddCapture;
    engine.InputDevice = TDeviceSettings(0, 2, kRate, 16, kBlock);
    int blocks = 0;
    engine.OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) { ++blocks; };
    std::vector<std::string> failures;
    engine.OnFailure = [&failures](const std::string& why) { failures.push_back(why); };
    engine.Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return blocks >= 3; }));

    server.Signal(SIGSTOP);
    ASSERT_TRUE(PumpUntil(
        dispatcher, [&] { return !failures.empty(); }, 60s))
        << "no failure reported";
    EXPECT_FALSE(engine.Active());
    PumpFor(dispatcher, 300ms);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("\"01  Sound server\""), std::string::npos) << failures[0];
    engine.Stop();
    // The worker left behind closes its device once the server answers again.
    server.Signal(SIGCONT);
    EXPECT_TRUE(PumpUntil(
        dispatcher, [] { return TAlsaPcm::OpenCount() == 0; }, 20s));
}

// A main thread that stalls far longer than all the buffering (8 blocks plus the device's
// quarter second) makes the capture side overrun and, with nothing refilled, the render side
// underrun. Both are recovered, counted with their length, and streaming goes on.
TEST(MmeEngineGaps, StalledMainThreadGivesCountedGapsAndStreamingGoesOn) {
    PrivateSoundServer server;
    if (!server.Start() || !SoundServerReachable(SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
    TQueuedDispatcher dispatcher;
    TMmeAudioStream engine(PulseDevices(), &dispatcher);
    engine.Directions = ddBoth;
    engine.InputDevice = TDeviceSettings(0, 2, kRate, 16, kBlock);
    engine.OutputDevice = TDeviceSettings(0, 2, kRate, 16, kBlock);
    int blocks = 0;
    engine.OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF& out) {
        ++blocks;
        WriteTone(out);
    };
    std::vector<std::string> failures;
    engine.OnFailure = [&failures](const std::string& why) { failures.push_back(why); };
    engine.Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return blocks >= 5; }));

    std::this_thread::sleep_for(2s); // the main thread is busy elsewhere
    const int before = blocks;
    ASSERT_TRUE(PumpUntil(dispatcher,
                          [&] {
                              const auto h = engine.Health();
                              return blocks >= before + 20 && h.CaptureGaps > 0 && h.RenderGaps > 0;
                          }))
        << "capture gaps " << engine.Health().CaptureGaps << ", render gaps "
        << engine.Health().RenderGaps;
    const auto health = engine.Health();
    engine.Stop();
    EXPECT_TRUE(failures.empty());
    // Most of the stall is missing from the input (2 s less the buffering: over a second).
    EXPECT_GT(health.CaptureFramesLost, static_cast<std::uint64_t>(kRate));
    EXPECT_GT(health.RenderFramesLost, 0u);
    const auto lines = FormatStreamHealth(health);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Input gaps: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("Output gaps: ", 0), 0u) << lines[1];
}

// A server that is frozen before the start: Start returns at once, the main thread keeps
// running its tasks, and after the deadline one failure names the device that did not answer.
TEST(MmeEngineFrozenServer, StartGivesUpAfterTheDeadlineWithOneMessage) {
    PrivateSoundServer server;
    if (!server.Start() || !SoundServerReachable(SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
    TQueuedDispatcher dispatcher;
    TMmeAudioStream engine(PulseDevices(), &dispatcher);
    engine.Directions = ddBoth;
    engine.OpenTimeout = 2s;
    engine.InputDevice = TDeviceSettings(0, 2, kRate, 16, kBlock);
    engine.OutputDevice = TDeviceSettings(0, 2, kRate, 16, kBlock);
    int blocks = 0;
    engine.OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) { ++blocks; };
    std::vector<std::string> failures;
    engine.OnFailure = [&failures](const std::string& why) { failures.push_back(why); };

    server.Signal(SIGSTOP);
    const auto begin = std::chrono::steady_clock::now();
    engine.Start();
    const auto startTook = std::chrono::steady_clock::now() - begin;
    EXPECT_TRUE(engine.Active()); // starting
    ASSERT_TRUE(PumpUntil(
        dispatcher, [&] { return !failures.empty(); }, 20s))
        << "no failure";
    const auto failedAfter = std::chrono::steady_clock::now() - begin;
    PumpFor(dispatcher, 300ms); // a second report would arrive here
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], "Cannot capture from \"01  Sound server\" at 48000 samples/s, 16 bit: "
                           "the device did not answer");
    EXPECT_EQ(engine.ErrorMessage(), failures[0]);
    EXPECT_FALSE(engine.Active());
    EXPECT_EQ(blocks, 0);
    EXPECT_LT(startTook, 100ms);
    EXPECT_GE(failedAfter, 2s);
    std::printf("start returned after %.1f ms, gave up after %.2f s\n",
                std::chrono::duration<double, std::milli>(startTook).count(),
                std::chrono::duration<double>(failedAfter).count());
    engine.Stop(); // nothing left to stop

    // Once the server answers again, the thread left behind closes what it opened.
    server.Signal(SIGCONT);
    EXPECT_TRUE(PumpUntil(
        dispatcher, [] { return TAlsaPcm::OpenCount() == 0; }, 20s));
    // And the engine starts normally.
    engine.Start();
    EXPECT_TRUE(PumpUntil(dispatcher, [&] { return blocks >= 2; }));
    engine.Stop();
}

// Stop while the server is frozen mid-run, capture and sine output both on: the threads hang in
// the device layer, Stop does not wait for them.
TEST(MmeEngineFrozenServer, StopReturnsQuicklyWhileTheServerIsFrozen) {
    PrivateSoundServer server;
    if (!server.Start() || !SoundServerReachable(SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
    TQueuedDispatcher dispatcher;
    TMmeAudioStream engine(PulseDevices(), &dispatcher);
    engine.Directions = ddBoth;
    engine.InputDevice = TDeviceSettings(0, 2, kRate, 16, kBlock);
    engine.OutputDevice = TDeviceSettings(0, 2, kRate, 16, kBlock);
    int blocks = 0;
    engine.OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF& out) {
        ++blocks;
        WriteTone(out);
    };
    engine.Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return blocks >= 3; }));
    server.Signal(SIGSTOP);
    PumpFor(dispatcher, 300ms);
    const auto begin = std::chrono::steady_clock::now();
    engine.Stop();
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_LT(took, 500ms);
    std::printf("Stop against a frozen server took %.0f ms\n",
                std::chrono::duration<double, std::milli>(took).count());
    EXPECT_FALSE(engine.Active());
    const int after = blocks;
    PumpFor(dispatcher, 100ms);
    EXPECT_EQ(blocks, after);
    server.Signal(SIGCONT);
    EXPECT_TRUE(PumpUntil(
        dispatcher, [] { return TAlsaPcm::OpenCount() == 0; }, 20s));
}
