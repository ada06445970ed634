// SPDX-License-Identifier: GPL-3.0-or-later
// libmixtrel.so against a private sound server; results are checked in the server's own report.
#include "../audio/AudioTestSupport.h"
#include "PactlView.h"

#include "mixtrel/Mixtrel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>

using namespace mixtreltest;

namespace {

constexpr const char* kLoop = "loop.monitor"; // the test server's first (and default) source
// The server's own ALSA device: it records from the default source, the loop's monitor.
constexpr const char* kServerDevice = "pulse";

// One private server for the whole suite; every case restores what it changed.
class MixtrelLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = std::make_unique<audiotest::PrivateSoundServer>();
        running_ =
            server_->Start() && audiotest::SoundServerReachable(audiotest::SoundServerSocket());
    }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        if (!running_)
            GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
        Pactl(std::string("set-source-volume ") + kLoop + " 100%");
        Pactl(std::string("set-source-mute ") + kLoop + " 0");
        Pactl(std::string("set-default-source ") + kLoop);
    }
    void TearDown() override {
        for (const auto& module : modules_)
            Pactl("unload-module " + module);
    }
    // Loads a module and unloads it after the case; its index, or "" on failure.
    std::string Load(const std::string& args) {
        std::string index = mixtreltest::Run("pactl load-module " + args);
        while (!index.empty() && (index.back() == '\n' || index.back() == ' '))
            index.pop_back();
        if (!index.empty())
            modules_.push_back(index);
        return index;
    }
    // A capture source "name" of one channel with the description and extra properties given.
    bool AddSource(const std::string& name, const std::string& properties) {
        if (Load("module-null-source source_name=" + name + "_master").empty())
            return false;
        std::string quoted; // for the shell's double quotes
        for (const char ch : properties) {
            if (ch == '"' || ch == '\\')
                quoted += '\\';
            quoted += ch;
        }
        return !Load("module-remap-source source_name=" + name + " master=" + name +
                     "_master channels=1 \"source_properties='" + quoted + "'\"")
                    .empty();
    }

    static std::unique_ptr<audiotest::PrivateSoundServer> server_;
    static bool running_;
    std::vector<std::string> modules_;
};

std::unique_ptr<audiotest::PrivateSoundServer> MixtrelLibrary::server_;
bool MixtrelLibrary::running_ = false;

// The source a handle stands for, found out through the server: setting -6 dB on the handle
// must show on exactly that source.
bool HandleIsSource(int32_t handle, const std::string& source) {
    if (setVolume(handle, -6.0f) != 1)
        return false;
    const auto levels = ChannelDb(source);
    const bool onIt = !levels.empty() && std::fabs(levels[0] + 6.0) < 0.01;
    Pactl("set-source-volume " + source + " 100%");
    return onIt;
}

} // namespace

TEST_F(MixtrelLibrary, OpenMatchesADescriptionPrefixTheFirstSourceOrNothing) {
    // The loop's monitor is the only source: no name means it by its description.
    for (const char* name : {"", "M", "Monitor of", "Monitor of Null Output"})
        EXPECT_EQ(openCodec(name), 0) << '"' << name << '"';
    ASSERT_TRUE(AddSource("probe", "device.description=\"Phonoscale Probe Mic\""));
    const int32_t probe = openCodec("Phonoscale Probe");
    ASSERT_NE(probe, 0);
    EXPECT_TRUE(HandleIsSource(probe, "probe"));
    EXPECT_EQ(closeCodec(probe), 1);

    const int32_t first = openCodec(""); // the first source that is not a monitor
    ASSERT_NE(first, 0);
    EXPECT_TRUE(HandleIsSource(first, "probe_master"));
    closeCodec(first);

    EXPECT_EQ(openCodec("No Such Source"), 0);
    EXPECT_EQ(openCodec("phonoscale probe"), 0); // case-sensitive
    EXPECT_EQ(openCodec(nullptr), 0);
    // Calls on a handle never given, or closed, fail.
    float level = 0;
    EXPECT_EQ(getVolume(probe, &level), -1);
    EXPECT_EQ(getVolume(0, &level), -1);
}

TEST_F(MixtrelLibrary, SetVolumeShowsInTheServerAndGetVolumeReadsItBack) {
    const int32_t h = openCodec(kServerDevice);
    ASSERT_NE(h, 0);
    EXPECT_EQ(setVolume(h, -6.0f), 1);
    for (const double db : ChannelDb(kLoop))
        EXPECT_NEAR(db, -6.0, 0.01);
    EXPECT_EQ(ChannelDb(kLoop).size(), 2u);
    float level = 0;
    EXPECT_EQ(getVolume(h, &level), 1);
    EXPECT_NEAR(level, -6.0, 0.01);

    float minDb = 1, maxDb = 1, stepDb = 0;
    EXPECT_EQ(getVolumeRange(h, &minDb, &maxDb, &stepDb), 1);
    EXPECT_FLOAT_EQ(minDb, -96.0f);
    EXPECT_FLOAT_EQ(maxDb, 0.0f);
    EXPECT_GT(stepDb, 0.0f);
    EXPECT_LT(stepDb, 0.01f);

    // Levels beyond the range offered that getVolume reports are written back as they are (a
    // level read before a change can be given back); not a number or beyond the server's
    // largest volume: refused, the level stays.
    for (const float db : {3.0f, -120.0f}) {
        EXPECT_EQ(setVolume(h, db), 1);
        EXPECT_NEAR(ChannelDb(kLoop).at(0), db, 0.05);
        EXPECT_EQ(getVolume(h, &level), 1);
        EXPECT_NEAR(level, db, 0.05);
    }
    EXPECT_EQ(setVolume(h, -INFINITY), 1);
    EXPECT_EQ(getVolume(h, &level), 1);
    EXPECT_EQ(level, -200.0f); // silence
    EXPECT_EQ(setVolume(h, level), 1);
    EXPECT_EQ(ChannelRaw(kLoop).at(0), 0);
    ASSERT_EQ(setVolume(h, -6.0f), 1);
    EXPECT_EQ(setVolume(h, NAN), -1);
    EXPECT_EQ(setVolume(h, 400.0f), -1);
    EXPECT_NEAR(ChannelDb(kLoop).at(0), -6.0, 0.01);
    EXPECT_EQ(getVolume(h, nullptr), -1);
    closeCodec(h);
}

TEST_F(MixtrelLibrary, SetVolumeKeepsTheBalanceAndBalanceChannelsEvensItAtTheMaster) {
    ASSERT_TRUE(Pactl(std::string("set-source-volume ") + kLoop + " 30% 60%"));
    const int32_t h = openCodec(kServerDevice);
    ASSERT_NE(h, 0);
    float level = 0;
    EXPECT_EQ(getVolume(h, &level), 1); // master = loudest channel
    EXPECT_NEAR(level, ChannelDb(kLoop).at(1), 0.01);

    EXPECT_EQ(balanceChannels(h), 1);
    const auto raw = ChannelRaw(kLoop);
    ASSERT_EQ(raw.size(), 2u);
    EXPECT_EQ(raw[0], raw[1]);
    EXPECT_NEAR(static_cast<double>(raw[1]), 0.6 * 65536, 2);

    // -3 dB on an unbalanced source keeps the ratio; balancing then gives -3 dB on both.
    Pactl(std::string("set-source-volume ") + kLoop + " 30% 60%");
    EXPECT_EQ(setVolume(h, -3.0f), 1);
    auto db = ChannelDb(kLoop);
    ASSERT_EQ(db.size(), 2u);
    EXPECT_NEAR(db[1], -3.0, 0.01);
    EXPECT_LT(db[0], -3.5);
    EXPECT_EQ(balanceChannels(h), 1);
    db = ChannelDb(kLoop);
    EXPECT_NEAR(db[0], -3.0, 0.01);
    EXPECT_NEAR(db[1], -3.0, 0.01);
    closeCodec(h);
}

TEST_F(MixtrelLibrary, MuteStateFollowsAndSetsTheServers) {
    const int32_t h = openCodec(kServerDevice);
    ASSERT_NE(h, 0);
    EXPECT_EQ(getMuteState(h), 0);
    ASSERT_TRUE(Pactl(std::string("set-source-mute ") + kLoop + " 1"));
    EXPECT_EQ(getMuteState(h), 1);
    EXPECT_EQ(setMuteState(h, 0), 1);
    EXPECT_FALSE(Muted(kLoop));
    EXPECT_EQ(setMuteState(h, 7), 1); // non-zero mutes
    EXPECT_TRUE(Muted(kLoop));
    EXPECT_EQ(setMuteState(h, 0), 1);
    closeCodec(h);
}

TEST_F(MixtrelLibrary, MixerFormatIsTheSourcesSampleSpec) {
    ASSERT_FALSE(Load("module-null-source source_name=fmt format=s24le channels=1 rate=44100 "
                      "description=FormatProbe")
                     .empty());
    const std::string format = SampleSpec("fmt");
    ASSERT_EQ(format, "s24le 1ch 44100Hz"); // the server's report that the figures below follow
    const int32_t h = openCodec("FormatProbe");
    ASSERT_NE(h, 0);
    int32_t channels = 0, bits = 0, rate = 0;
    EXPECT_EQ(getMixerFormat(h, &channels, &bits, &rate), 1);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(getMixerFormat(h, nullptr, &bits, &rate), -1);
    closeCodec(h);

    const int32_t loop = openCodec(kServerDevice);
    ASSERT_EQ(SampleSpec(kLoop), "s16le 2ch 48000Hz");
    EXPECT_EQ(getMixerFormat(loop, &channels, &bits, &rate), 1);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(rate, 48000);
    closeCodec(loop);
}

TEST_F(MixtrelLibrary, TheServersOwnAlsaDevicesMeanItsDefaultSource) {
    ASSERT_TRUE(AddSource("probe", "device.description=\"Phonoscale Probe Mic\""));
    ASSERT_TRUE(Pactl("set-default-source probe"));
    // The device names themselves, and the description ALSA gives the "pulse" device.
    for (const char* name : {"pulse", "default", "pipewire", "PulseAudio Sound Server"}) {
        const int32_t h = openCodec(name);
        ASSERT_NE(h, 0) << name;
        EXPECT_TRUE(HandleIsSource(h, "probe")) << name;
        closeCodec(h);
    }
    // An ALSA device that the server does not stand behind matches nothing.
    EXPECT_EQ(openCodec("JACK Audio Connection Kit"), 0);
}

TEST_F(MixtrelLibrary, AHardwareEntryMeansTheSourceOnItsCard) {
    // The server keeps a card's ALSA names in the properties of its capture source.
    ASSERT_TRUE(AddSource("card7", "device.description=\"Built-in Audio Analog Stereo\" "
                                   "alsa.card=7 alsa.device=0 alsa.card_name=\"Test Card\" "
                                   "alsa.name=\"Test Analog\""));
    ASSERT_TRUE(AddSource("card7b", "device.description=\"Built-in Audio Digital\" "
                                    "alsa.card=7 alsa.device=1 alsa.card_name=\"Test Card\" "
                                    "alsa.name=\"Test Digital\""));
    struct Case {
        const char* name;
        const char* source;
    } const cases[] = {
        {"Test Card, Test Digital", "card7b"}, // ALSA's description of the card's device 1
        {"Test Card, Test Analog", "card7"},
        {"Test Card, Another PCM", "card7"}, // a device of the card without a source of its own
        {"hw:7,1", "card7b"},                // ALSA names of the card's devices
        {"plughw:CARD=7,DEV=0", "card7"},
        {"sysdefault:CARD=7", "card7"},
    };
    for (const auto& c : cases) {
        const int32_t h = openCodec(c.name);
        ASSERT_NE(h, 0) << c.name;
        EXPECT_TRUE(HandleIsSource(h, c.source)) << c.name;
        closeCodec(h);
    }
    EXPECT_EQ(openCodec("Other Card, Test Analog"), 0);
    EXPECT_EQ(openCodec("hw:8,0"), 0);
}

TEST_F(MixtrelLibrary, AFrozenOrVanishedServerGivesFailuresNotAHang) {
    const int32_t h = openCodec(kServerDevice);
    ASSERT_NE(h, 0);
    float level = 0, a = 0, b = 0, c = 0;
    int32_t i = 0, j = 0, k = 0;

    server_->Signal(SIGSTOP); // the server hangs: every call gives up after its time limit
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(getVolume(h, &level), -1);
    EXPECT_EQ(setVolume(h, -10.0f), -1);
    EXPECT_EQ(openCodec(kServerDevice), 0);
    const auto spent = std::chrono::steady_clock::now() - start;
    server_->Signal(SIGCONT);
    EXPECT_LT(spent, std::chrono::seconds(30)); // a hang would not return at all
    EXPECT_EQ(getVolume(h, &level), 1);         // the same handle works again

    server_->Stop(); // the server is gone
    EXPECT_EQ(getVolume(h, &level), -1);
    EXPECT_EQ(setVolume(h, -6.0f), -1);
    EXPECT_EQ(balanceChannels(h), -1);
    EXPECT_EQ(getMuteState(h), -1);
    EXPECT_EQ(setMuteState(h, 1), -1);
    EXPECT_EQ(getVolumeRange(h, &a, &b, &c), -1);
    EXPECT_EQ(getMixerFormat(h, &i, &j, &k), -1);
    EXPECT_EQ(openCodec(kServerDevice), 0);
    EXPECT_EQ(closeCodec(h), 1);
    running_ = server_->Start() && audiotest::SoundServerReachable(audiotest::SoundServerSocket());
}
