// SPDX-License-Identifier: GPL-3.0-or-later
// The program's binding: loading by name, the position scale and its guards, the automatic level.
#include "../audio/AudioTestSupport.h"
#include "PactlView.h"

#include "mixtrel/CodecLibrary.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>

using namespace mixtreltest;

namespace {

// The stand-in library with its test controls.
struct Fake {
    void* module = dlopen(FAKE_CODEC_PATH, RTLD_NOW | RTLD_LOCAL);
    void (*setRange)(float,
                     float) = reinterpret_cast<void (*)(float, float)>(dlsym(module,
                                                                             "fakeSetRange"));
    float (*lastLevel)() = reinterpret_cast<float (*)()>(dlsym(module, "fakeLastLevel"));
    int (*setCalls)() = reinterpret_cast<int (*)()>(dlsym(module, "fakeSetCalls"));
    int (*balanceCalls)() = reinterpret_cast<int (*)()>(dlsym(module, "fakeBalanceCalls"));
    int (*openHandles)() = reinterpret_cast<int (*)()>(dlsym(module, "fakeOpenHandles"));
    ~Fake() {
        if (module != nullptr)
            dlclose(module);
    }
};

} // namespace

TEST(CodecBinding, LoadGivesMinusOneMinusTwoOrZero) {
    TCodecLibrary missing;
    EXPECT_EQ(missing.LoadCodecLibrary("/nonexistent/folder/libmixtrel-absent.so"), -1);
    EXPECT_FALSE(missing.CodecAvailable());
    EXPECT_EQ(missing.ZeroDbPosition("Fake Device"), -1);
    float level = 5.0f;
    EXPECT_FALSE(missing.SetLevelPosition("Fake Device", 100, level));
    EXPECT_EQ(level, 5.0f);

    TCodecLibrary incomplete; // closeCodec missing: unloaded again
    EXPECT_EQ(incomplete.LoadCodecLibrary(FAKE_INCOMPLETE_PATH), -2);
    EXPECT_FALSE(incomplete.CodecAvailable());

    TCodecLibrary real;
    EXPECT_EQ(real.LoadCodecLibrary(MIXTREL_PATH), 0);
    EXPECT_TRUE(real.CodecAvailable());
    EXPECT_EQ(real.LoadCodecLibrary(MIXTREL_PATH), 0);
}

TEST(CodecBinding, PositionScaleOverTheRange) {
    Fake fake;
    ASSERT_NE(fake.module, nullptr);
    TCodecLibrary codec;
    ASSERT_EQ(codec.LoadCodecLibrary(FAKE_CODEC_PATH), 0);
    float level = 99.0f;

    fake.setRange(-96.0f, 0.0f); // position 100, exactly 0 dB
    EXPECT_EQ(codec.ZeroDbPosition("Fake"), 100);
    EXPECT_TRUE(codec.SetLevelPosition("Fake", 100, level));
    EXPECT_FLOAT_EQ(level, 0.0f);
    EXPECT_FLOAT_EQ(fake.lastLevel(), 0.0f);
    EXPECT_EQ(fake.balanceCalls(), 1);

    fake.setRange(-12.0f, 30.0f); // position 4: 10^(24/42) = 3.73; about 0.64 dB
    EXPECT_EQ(codec.ZeroDbPosition("Fake Device"), 4);
    EXPECT_TRUE(codec.SetLevelPosition("Fake Device", 4, level));
    EXPECT_NEAR(level, std::log10(4.0) / 2 * 42 - 12, 1e-5);
    EXPECT_NEAR(level, 0.64, 0.005);

    fake.setRange(-40.0f, 10.0f); // 0 or less is position 1: the minimum
    EXPECT_TRUE(codec.SetLevelPosition("Fake Device", 0, level));
    EXPECT_FLOAT_EQ(level, -40.0f);
    EXPECT_TRUE(codec.SetLevelPosition("Fake Device", -7, level));
    EXPECT_FLOAT_EQ(level, -40.0f);

    // No match: -1, false, nothing set.
    fake.setRange(-96.0f, 0.0f);
    level = 99.0f;
    EXPECT_EQ(codec.ZeroDbPosition("Other Device"), -1);
    EXPECT_FALSE(codec.SetLevelPosition("Other Device", 100, level));
    EXPECT_EQ(level, 99.0f);
    EXPECT_EQ(fake.setCalls(), 0);
    EXPECT_EQ(fake.openHandles(), 0); // every handle was closed again
}

TEST(CodecBinding, AnEmptyOrNonFiniteRangeLeavesTheLevel) {
    Fake fake;
    TCodecLibrary codec;
    ASSERT_EQ(codec.LoadCodecLibrary(FAKE_CODEC_PATH), 0);
    const float ranges[][2] = {
        {0.0f, 0.0f}, {-10.0f, -10.0f}, {NAN, 0.0f}, {-INFINITY, 0.0f}, {-96.0f, INFINITY}};
    for (const auto& r : ranges) {
        fake.setRange(r[0], r[1]);
        float level = 99.0f;
        EXPECT_EQ(codec.ZeroDbPosition("Fake Device"), -1) << r[0] << " " << r[1];
        EXPECT_FALSE(codec.SetLevelPosition("Fake Device", 50, level));
        EXPECT_EQ(level, 99.0f);
        EXPECT_EQ(fake.setCalls(), 0);
        EXPECT_EQ(fake.balanceCalls(), 0);
    }
    EXPECT_EQ(fake.openHandles(), 0);
}

TEST(CodecBinding, DeviceNameIsTheEntryWithoutItsNumber) {
    EXPECT_EQ(CodecDeviceName("01  PulseAudio Sound Server"), "PulseAudio Sound Server");
    EXPECT_EQ(CodecDeviceName("12  x"), "x");
    EXPECT_EQ(CodecDeviceName("01  "), "");
    EXPECT_EQ(CodecDeviceName(""), "");
}

TEST(CodecBinding, AutoSetInputLevelBringsTheServersSourceToZeroDb) {
    audiotest::PrivateSoundServer server;
    if (!server.Start() || !audiotest::SoundServerReachable(audiotest::SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
    ASSERT_TRUE(CodecPlatformSupported());
    TCodecLibrary codec;
    ASSERT_EQ(codec.LoadCodecLibrary(MIXTREL_PATH), 0);
    ASSERT_TRUE(Pactl("set-source-volume loop.monitor -20dB -26dB"));

    AutoSetInputLevel(codec, false, "01  PulseAudio Sound Server"); // the low-latency engine
    EXPECT_NEAR(ChannelDb("loop.monitor").at(0), -20.0, 0.01);
    AutoSetInputLevel(codec, true, "03  JACK Audio Connection Kit"); // no source: unchanged
    EXPECT_NEAR(ChannelDb("loop.monitor").at(0), -20.0, 0.01);

    AutoSetInputLevel(codec, true, "01  PulseAudio Sound Server");
    for (const double db : ChannelDb("loop.monitor"))
        EXPECT_NEAR(db, 0.0, 0.5);
    EXPECT_EQ(ChannelDb("loop.monitor").size(), 2u);

    server.Stop(); // no server: the platform test fails and nothing is tried
    EXPECT_FALSE(CodecPlatformSupported());
    AutoSetInputLevel(codec, true, "01  PulseAudio Sound Server");
}

// The level from before the automatic 0 dB comes back, as the server reports it, unless someone
// changed the level since; repeated settings keep the level from before the first.
TEST(CodecBinding, RestoreInputLevelGivesBackTheLevelFromBeforeUnlessChangedSince) {
    audiotest::PrivateSoundServer server;
    if (!server.Start() || !audiotest::SoundServerReachable(audiotest::SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
    TCodecLibrary codec;
    ASSERT_EQ(codec.LoadCodecLibrary(MIXTREL_PATH), 0);
    const std::string entry = "01  PulseAudio Sound Server";
    const auto raw = [] { return ChannelRaw("loop.monitor"); };
    // Levels before (pactl reads "-20dB" as a change): 30 %, below the range offered (1 %),
    // above 100 % (120 %).
    for (const char* before : {"30%", "1%", "120%"}) {
        ASSERT_TRUE(Pactl(std::string("set-source-volume loop.monitor ") + before));
        const auto original = raw();
        AutoSetInputLevel(codec, true, entry);
        AutoSetInputLevel(codec, true, entry); // again: the level from before the first is kept
        EXPECT_EQ(raw(), (std::vector<long>{65536, 65536})) << before;
        EXPECT_TRUE(codec.HoldsLevel());
        RestoreInputLevel(codec);
        EXPECT_EQ(raw(), original) << before;
        EXPECT_FALSE(codec.HoldsLevel());
        RestoreInputLevel(codec); // nothing kept: nothing changes
        EXPECT_EQ(raw(), original) << before;
    }
    // Changed by someone else meanwhile: that level stays, and is the one kept from then on.
    ASSERT_TRUE(Pactl("set-source-volume loop.monitor 30%"));
    AutoSetInputLevel(codec, true, entry);
    ASSERT_TRUE(Pactl("set-source-volume loop.monitor 20%"));
    const auto changed = raw();
    RestoreInputLevel(codec);
    EXPECT_EQ(raw(), changed);
    AutoSetInputLevel(codec, true, entry);
    ASSERT_TRUE(Pactl("set-source-volume loop.monitor 70%"));
    const auto users = raw();
    AutoSetInputLevel(codec, true, entry); // the user's 70 % is now the level to give back
    RestoreInputLevel(codec);
    EXPECT_EQ(raw(), users);
}
