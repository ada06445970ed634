// Engine tests on ALSA test devices that play known files (no sound server needed).
#include "AudioTestSupport.h"

#include "audio/AlsaPcm.h"
#include "audio/AudioError.h"
#include "audio/MmeStrm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace audiotest;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = 48000;
constexpr int kFrames = 2 * kRate; // two seconds in each file
// Left: 1500 Hz (period 32 samples, bin 64 of a 2048 block); right: 3000 Hz (bin 128).
constexpr double kLeftHz = 1500.0, kRightHz = 3000.0;
constexpr double kLeftAmp = 0.5, kRightAmp = 0.25;

// The test devices: raw files behind ALSA's file plugin, written once per test program. The
// data are kept for exact comparisons (left, right, as stored in the file).
struct TestFiles {
    std::string Dir;
    std::vector<std::int32_t> Left16, Right16, Left24, Right24;
};

TestFiles& Files() {
    static TestFiles files;
    return files;
}

void WriteLe(std::ofstream& out, std::int32_t v, int bytes) {
    for (int b = 0; b < bytes; ++b)
        out.put(static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * b)) & 0xFF));
}

class AlsaTestDevices : public ::testing::Environment {
public:
    void SetUp() override {
        auto& f = Files();
        char pattern[] = "/tmp/ps-audio-test-XXXXXX";
        f.Dir = mkdtemp(pattern);
        std::ofstream s16(f.Dir + "/sine16.raw", std::ios::binary);
        std::ofstream s24(f.Dir + "/sine24.raw", std::ios::binary);
        for (int i = 0; i < kFrames; ++i) {
            const double l = std::sin(2.0 * M_PI * kLeftHz * i / kRate);
            const double r = std::sin(2.0 * M_PI * kRightHz * i / kRate);
            f.Left16.push_back(static_cast<std::int32_t>(std::lround(kLeftAmp * 32767.0 * l)));
            f.Right16.push_back(static_cast<std::int32_t>(std::lround(kRightAmp * 32767.0 * r)));
            f.Left24.push_back(static_cast<std::int32_t>(std::lround(kLeftAmp * 8388607.0 * l)));
            f.Right24.push_back(static_cast<std::int32_t>(std::lround(kRightAmp * 8388607.0 * r)));
            WriteLe(s16, f.Left16.back(), 2);
            WriteLe(s16, f.Right16.back(), 2);
            WriteLe(s24, f.Left24.back(), 3);
            WriteLe(s24, f.Right24.back(), 3);
        }
        std::ofstream conf(f.Dir + "/test.conf");
        conf << "pcm.ps_file16_raw { type file slave.pcm \"null\" file \"/dev/null\" infile \""
             << f.Dir << "/sine16.raw\" format \"raw\" }\n"
             << "pcm.ps_file16 { type plug slave { pcm \"ps_file16_raw\" format S16_LE rate 48000 "
                "channels 2 } hint { show on description \"Test sine 16 bit\" } }\n"
             << "pcm.ps_file24_raw { type file slave.pcm \"null\" file \"/dev/null\" infile \""
             << f.Dir << "/sine24.raw\" format \"raw\" }\n"
             << "pcm.ps_file24 { type plug slave { pcm \"ps_file24_raw\" format S24_3LE rate 48000 "
                "channels 2 } }\n"
             << "pcm.ps_out_raw { type file slave.pcm \"null\" file \"" << f.Dir
             << "/out.raw\" format \"raw\" }\n"
             << "pcm.ps_out16 { type plug slave { pcm \"ps_out_raw\" format S16_LE rate 48000 "
                "channels 2 } }\n";
        conf.close();
        const std::string path = "/usr/share/alsa/alsa.conf:" + f.Dir + "/test.conf";
        setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    }

    void TearDown() override { std::system(("rm -rf '" + Files().Dir + "'").c_str()); }
};

const auto* const kDevicesEnvironment = ::testing::AddGlobalTestEnvironment(new AlsaTestDevices);

// Capture list: 0 ps_file16, 1 ps_file24. Playback list: 0 ps_out16, 1 a name that does not exist.
std::shared_ptr<const std::vector<TPcmDevice>> TestDeviceList() {
    return std::make_shared<const std::vector<TPcmDevice>>(std::vector<TPcmDevice>{
        {"ps_file16", "Test sine 16 bit", true, false},
        {"ps_file24", "Test sine 24 bit", true, false},
        {"ps_out16", "Test output file", false, true},
        {"ps_no_such_device", "Missing output", false, true},
    });
}

struct Captured {
    std::vector<TDataBufferF> Blocks;
};

// An engine capturing from `inputIndex` with the given bits; keeps the first `keep` blocks.
std::unique_ptr<TMmeAudioStream> CaptureEngine(TQueuedDispatcher& dispatcher, Captured& out,
                                               int inputIndex, int bits, std::size_t keep = 8) {
    auto engine = std::make_unique<TMmeAudioStream>(TestDeviceList(), &dispatcher);
    engine->Directions = ddCapture;
    engine->InputDevice = TDeviceSettings(inputIndex, 2, kRate, bits, 2048);
    engine->OnData = [&out, keep](void*, TDataBufferI& ints, TDataBufferF& in, TDataBufferF&) {
        EXPECT_TRUE(ints.empty());
        if (out.Blocks.size() < keep)
            out.Blocks.push_back(in);
    };
    return engine;
}

} // namespace

TEST(MmeEngineFile, Captures16BitFileExactlyAndAtItsLevel) {
    TQueuedDispatcher dispatcher;
    Captured got;
    auto engine = CaptureEngine(dispatcher, got, 0, 16);
    engine->Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return got.Blocks.size() >= 4; }));
    engine->Stop();
    const auto& f = Files();
    for (std::size_t b = 0; b < 4; ++b) {
        const auto& block = got.Blocks[b];
        ASSERT_EQ(block.size(), 2u);
        ASSERT_EQ(block[0].size(), 2048u);
        for (std::size_t i = 0; i < 2048; ++i) {
            ASSERT_EQ(block[0][i], static_cast<float>(f.Left16[b * 2048 + i] * 65536)) << b << " " << i;
            ASSERT_EQ(block[1][i], static_cast<float>(f.Right16[b * 2048 + i] * 65536)) << b << " " << i;
        }
        EXPECT_NEAR(ToneAmplitude(block[0], 64), kLeftAmp, 1e-4);
        EXPECT_NEAR(ToneAmplitude(block[1], 128), kRightAmp, 1e-4);
        EXPECT_LT(ToneAmplitude(block[0], 128), 1e-5); // channels are not mixed
    }
}

TEST(MmeEngineFile, Captures24BitFileExactlyAndAtItsLevel) {
    TQueuedDispatcher dispatcher;
    Captured got;
    auto engine = CaptureEngine(dispatcher, got, 1, 24);
    engine->Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return got.Blocks.size() >= 4; }));
    engine->Stop();
    const auto& f = Files();
    for (std::size_t b = 0; b < 4; ++b) {
        const auto& block = got.Blocks[b];
        for (std::size_t i = 0; i < 2048; ++i) {
            // The 3 bytes become the upper 24 bits of the value; the lowest byte is zero.
            ASSERT_EQ(block[0][i], static_cast<float>(f.Left24[b * 2048 + i] * 256)) << b << " " << i;
            ASSERT_EQ(block[1][i], static_cast<float>(f.Right24[b * 2048 + i] * 256)) << b << " " << i;
        }
        EXPECT_NEAR(ToneAmplitude(block[0], 64), kLeftAmp, 1e-5);
        EXPECT_NEAR(ToneAmplitude(block[1], 128), kRightAmp, 1e-5);
    }
}

TEST(MmeEngineFile, Captures16BitFileAt24Bits) {
    TQueuedDispatcher dispatcher;
    Captured got;
    auto engine = CaptureEngine(dispatcher, got, 0, 24);
    engine->Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return !got.Blocks.empty(); }));
    engine->Stop();
    const auto& f = Files();
    for (std::size_t i = 0; i < 2048; ++i)
        ASSERT_EQ(got.Blocks[0][0][i], static_cast<float>(f.Left16[i] * 65536)) << i;
    EXPECT_NEAR(ToneAmplitude(got.Blocks[0][0], 64), kLeftAmp, 1e-4);
}

TEST(MmeEngineFile, OddBlockLengthsKeepTheSampleSequence) {
    for (int samples : {1021, 1024, 1027}) {
        TQueuedDispatcher dispatcher;
        Captured got;
        auto engine = CaptureEngine(dispatcher, got, 0, 16, 3);
        engine->InputDevice.SamplesPerBuf = samples;
        engine->Start();
        ASSERT_TRUE(PumpUntil(dispatcher, [&] { return got.Blocks.size() >= 3; }));
        engine->Stop();
        const auto& f = Files();
        for (std::size_t b = 0; b < 3; ++b) {
            ASSERT_EQ(got.Blocks[b][0].size(), static_cast<std::size_t>(samples));
            for (std::size_t i = 0; i < got.Blocks[b][0].size(); ++i)
                ASSERT_EQ(got.Blocks[b][0][i],
                          static_cast<float>(f.Left16[b * static_cast<std::size_t>(samples) + i] * 65536))
                    << samples << " " << b << " " << i;
        }
    }
}

TEST(MmeEngineLifecycle, StopTwiceAndStartWhileRunningDoNothing) {
    TQueuedDispatcher dispatcher;
    Captured got;
    auto engine = CaptureEngine(dispatcher, got, 0, 16);
    engine->Stop(); // stopped already: nothing happens
    engine->Start();
    EXPECT_TRUE(engine->Active());
    engine->Start(); // running already: no second device
    EXPECT_EQ(TAlsaPcm::OpenCount(), 1);
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return !got.Blocks.empty(); }));
    engine->Stop();
    EXPECT_FALSE(engine->Active());
    EXPECT_EQ(TAlsaPcm::OpenCount(), 0);
    engine->Stop();
    EXPECT_FALSE(engine->Active());
    // Completions of the ended run are ignored.
    const auto blocks = got.Blocks.size();
    PumpFor(dispatcher, 50ms);
    EXPECT_EQ(got.Blocks.size(), blocks);
}

TEST(MmeEngineLifecycle, RestartsAfterStop) {
    TQueuedDispatcher dispatcher;
    Captured got;
    auto engine = CaptureEngine(dispatcher, got, 0, 16, 100);
    for (int run = 0; run < 3; ++run) {
        got.Blocks.clear();
        engine->Start();
        ASSERT_TRUE(PumpUntil(dispatcher, [&] { return got.Blocks.size() >= 2; }));
        engine->Stop();
        // Each run opens the file afresh: the first block starts at the file's beginning.
        EXPECT_EQ(got.Blocks[0][0][1], static_cast<float>(Files().Left16[1] * 65536));
    }
}

TEST(MmeEngineLifecycle, CaptureOnlyOpensNoPlaybackDevice) {
    TQueuedDispatcher dispatcher;
    Captured got;
    auto engine = CaptureEngine(dispatcher, got, 0, 16);
    engine->OutputDevice.Index = 1; // "ps_no_such_device": opening it would fail
    engine->Start();
    EXPECT_TRUE(engine->CaptureOpen());
    EXPECT_FALSE(engine->RenderOpen());
    EXPECT_EQ(TAlsaPcm::OpenCount(), 1);
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return !got.Blocks.empty(); }));
    engine->Stop();
}

TEST(MmeEngineLifecycle, BadDeviceIndexGivesTheDeviceLayerTextAndOpensNothing) {
    TQueuedDispatcher dispatcher;
    Captured got;
    auto engine = CaptureEngine(dispatcher, got, 7, 16);
    try {
        engine->Start();
        FAIL() << "Start succeeded";
    } catch (const EAudioError& e) {
        EXPECT_STREQ(e.what(), "No such device");
    }
    EXPECT_EQ(engine->ErrorMessage(), "No such device");
    EXPECT_FALSE(engine->Active());
    EXPECT_EQ(TAlsaPcm::OpenCount(), 0);
}

TEST(MmeEngineLifecycle, MissingDeviceGivesTheDeviceLayerText) {
    TQueuedDispatcher dispatcher;
    auto engine = std::make_unique<TMmeAudioStream>(TestDeviceList(), &dispatcher);
    engine->Directions = ddRender;
    engine->OutputDevice = TDeviceSettings(1, 2, kRate, 16, 2048); // "ps_no_such_device"
    EXPECT_THROW(engine->Start(), EAudioError);
    EXPECT_FALSE(engine->ErrorMessage().empty());
    EXPECT_FALSE(engine->Active());
    EXPECT_EQ(TAlsaPcm::OpenCount(), 0);
}

TEST(MmeEngineLifecycle, RejectedFormatClosesWhatWasOpened) {
    TQueuedDispatcher dispatcher;
    Captured got;
    auto engine = CaptureEngine(dispatcher, got, 0, 16);
    engine->Directions = ddBoth;
    // The capture side opens; the output refuses a rate below its 4000 Hz minimum.
    engine->OutputDevice = TDeviceSettings(0, 2, 1000, 16, 2048);
    try {
        engine->Start();
        FAIL() << "Start succeeded";
    } catch (const EAudioError& e) {
        EXPECT_STREQ(e.what(), "Invalid argument");
    }
    EXPECT_EQ(engine->ErrorMessage(), "Invalid argument");
    EXPECT_FALSE(engine->Active());
    EXPECT_FALSE(engine->CaptureOpen());
    EXPECT_EQ(TAlsaPcm::OpenCount(), 0);
    // The engine is usable again after the failure.
    engine->Directions = ddCapture;
    engine->Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return !got.Blocks.empty(); }));
    engine->Stop();
}

TEST(MmeEngineLifecycle, FailingHandlerKeepsStreamingAndReportsOnce) {
    TQueuedDispatcher dispatcher;
    auto engine = std::make_unique<TMmeAudioStream>(TestDeviceList(), &dispatcher);
    engine->Directions = ddCapture;
    engine->InputDevice = TDeviceSettings(0, 2, kRate, 16, 512);
    int calls = 0;
    engine->OnData = [&calls](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) {
        if (++calls <= 20)
            throw std::runtime_error("handler failed " + std::to_string(calls));
    };
    std::vector<std::string> reports;
    engine->OnBlockError = [&reports](const std::string& text) { reports.push_back(text); };
    engine->Start();
    // Far more blocks than the 8 capture buffers: every failed buffer went back to the device.
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return calls >= 40; }));
    const auto health = engine->Health();
    engine->Stop();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "handler failed 1");
    EXPECT_EQ(health.BlockErrors, 20u);
    EXPECT_EQ(health.FirstBlockError, "handler failed 1");
    EXPECT_EQ(engine->Health().BlockErrors, 20u); // still readable after Stop
    const auto lines = FormatStreamHealth(health);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Block errors: 20, first: handler failed 1");
}

TEST(MmeEngineRender, RendersHandlerBlocksAfterLeadingSilence) {
    TQueuedDispatcher dispatcher;
    auto engine = std::make_unique<TMmeAudioStream>(TestDeviceList(), &dispatcher);
    engine->Directions = ddRender;
    engine->BufferCount = 3;
    engine->OutputDevice = TDeviceSettings(0, 2, kRate, 16, 2048);
    int calls = 0;
    engine->OnData = [&calls](void*, TDataBufferI&, TDataBufferF&, TDataBufferF& out) {
        ++calls;
        for (std::size_t i = 0; i < out[0].size(); ++i) {
            out[0][i] = static_cast<float>(2147483391.0 * std::sin(2.0 * M_PI * i / 32.0));
            out[1][i] = -1.0f; // renders as 0: truncation toward zero
        }
    };
    engine->Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return calls >= 4; }));
    engine->Stop();
    EXPECT_EQ(TAlsaPcm::OpenCount(), 0);

    std::ifstream file(Files().Dir + "/out.raw", std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    const auto sample = [&bytes](std::size_t frame, int channel) {
        const std::size_t at = frame * 4 + static_cast<std::size_t>(channel) * 2;
        return static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                         (static_cast<std::uint8_t>(bytes[at + 1]) << 8));
    };
    const std::size_t silent = 3 * 2048; // the three pre-queued buffers
    ASSERT_GE(bytes.size(), (silent + 2 * 2048) * 4);
    for (std::size_t i = 0; i < silent; ++i)
        ASSERT_EQ(sample(i, 0), 0) << i;
    for (std::size_t i = 0; i < 2 * 2048; ++i) {
        const double v = std::nearbyint(static_cast<double>(
            static_cast<float>(2147483391.0 * std::sin(2.0 * M_PI * static_cast<double>(i % 2048) / 32.0))));
        ASSERT_EQ(sample(silent + i, 0), static_cast<std::int16_t>(static_cast<std::int64_t>(v) / 65536)) << i;
        ASSERT_EQ(sample(silent + i, 1), 0) << i;
    }
    EXPECT_EQ(sample(silent + 8, 0), 32767); // the peak renders without overflow
}

TEST(PcmErrorText, UsesTheDeviceLayerTextOrTheCode) {
    EXPECT_EQ(PcmErrorText(-ENODEV), "No such device");
    EXPECT_EQ(PcmErrorText(-EPIPE), "Broken pipe");
    EXPECT_EQ(PcmErrorText(-4321), "Unknown error: -4321");
    EXPECT_EQ(PcmErrorText(-EINVAL, true), "Invalid argument");
}

TEST(StreamHealth, FormatsOnlyWhatHappened) {
    EXPECT_TRUE(FormatStreamHealth({}).empty());
    TStreamHealth h;
    h.CaptureGaps = 2;
    h.CaptureFramesLost = 1536;
    h.RenderGaps = 1;
    h.RenderFramesLost = 480;
    const auto lines = FormatStreamHealth(h);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Input gaps: 2 (1536 frames lost)");
    EXPECT_EQ(lines[1], "Output gaps: 1 (480 frames of silence)");
}
