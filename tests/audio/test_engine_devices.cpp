// SPDX-License-Identifier: GPL-3.0-or-later
// Engine tests on ALSA test devices that play known files (no sound server needed).
#include "AudioTestSupport.h"

#include "audio/AlsaPcm.h"
#include "audio/AudioError.h"
#include "audio/MmeStrm.h"
#include "audio/Quibex_Strm.h"
#include "audio/WdmStrm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
                "channels 2 } }\n"
             << "pcm.ps_out24_raw { type file slave.pcm \"null\" file \"" << f.Dir
             << "/out24.raw\" format \"raw\" }\n";
        conf.close();
        const std::string path = "/usr/share/alsa/alsa.conf:" + f.Dir + "/test.conf";
        setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(Files().Dir, ignored);
    }
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
            ASSERT_EQ(block[0][i], static_cast<float>(f.Left16[b * 2048 + i] * 65536))
                << b << " " << i;
            ASSERT_EQ(block[1][i], static_cast<float>(f.Right16[b * 2048 + i] * 65536))
                << b << " " << i;
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
            ASSERT_EQ(block[0][i], static_cast<float>(f.Left24[b * 2048 + i] * 256))
                << b << " " << i;
            ASSERT_EQ(block[1][i], static_cast<float>(f.Right24[b * 2048 + i] * 256))
                << b << " " << i;
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
                ASSERT_EQ(
                    got.Blocks[b][0][i],
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
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return !got.Blocks.empty(); }));
    EXPECT_EQ(TAlsaPcm::OpenCount(), 1);
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
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return engine->CaptureOpen(); }));
    EXPECT_FALSE(engine->RenderOpen());
    EXPECT_EQ(TAlsaPcm::OpenCount(), 1);
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return !got.Blocks.empty(); }));
    engine->Stop();
}

TEST(MmeEngineLifecycle, BadDeviceIndexSaysWhatWasAskedAndOpensNothing) {
    TQueuedDispatcher dispatcher;
    Captured got;
    auto engine = CaptureEngine(dispatcher, got, 7, 16);
    const std::string expected =
        "Cannot capture from \"device 8\" at 48000 samples/s, 16 bit: No such device";
    try {
        engine->Start();
        FAIL() << "Start succeeded";
    } catch (const EAudioError& e) {
        EXPECT_EQ(e.what(), expected);
    }
    EXPECT_EQ(engine->ErrorMessage(), expected);
    EXPECT_FALSE(engine->Active());
    EXPECT_EQ(TAlsaPcm::OpenCount(), 0);
}

// A start that fails in the device layer is reported once through OnFailure, naming the list
// entry and what was asked of it before the device layer's text.
TEST(MmeEngineLifecycle, MissingDeviceNamesTheEntryAndTheRequest) {
    TQueuedDispatcher dispatcher;
    auto engine = std::make_unique<TMmeAudioStream>(TestDeviceList(), &dispatcher);
    engine->Directions = ddRender;
    engine->OutputDevice = TDeviceSettings(1, 2, kRate, 16, 2048); // "ps_no_such_device"
    std::vector<std::string> failures;
    engine->OnFailure = [&failures](const std::string& why) { failures.push_back(why); };
    engine->Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return !failures.empty(); }));
    PumpFor(dispatcher, 50ms);
    ASSERT_EQ(failures.size(), 1u);
    const std::string prefix = "Cannot play to \"02  Missing output\" at 48000 samples/s, 16 bit: ";
    EXPECT_EQ(failures[0].rfind(prefix, 0), 0u) << failures[0];
    EXPECT_GT(failures[0].size(), prefix.size()) << "no device-layer text";
    EXPECT_EQ(engine->ErrorMessage(), failures[0]);
    EXPECT_FALSE(engine->Active());
    EXPECT_TRUE(PumpUntil(dispatcher, [] { return TAlsaPcm::OpenCount() == 0; }));
}

TEST(MmeEngineLifecycle, RejectedFormatClosesWhatWasOpened) {
    TQueuedDispatcher dispatcher;
    Captured got;
    auto engine = CaptureEngine(dispatcher, got, 0, 16);
    engine->Directions = ddBoth;
    // The capture side opens; the output refuses a rate below its 4000 Hz minimum.
    engine->OutputDevice = TDeviceSettings(0, 2, 1000, 16, 2048);
    std::vector<std::string> failures;
    engine->OnFailure = [&failures](const std::string& why) { failures.push_back(why); };
    engine->Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return !failures.empty(); }));
    const std::string expected =
        "Cannot play to \"01  Test output file\" at 1000 samples/s, 16 bit: Invalid argument";
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], expected);
    EXPECT_EQ(engine->ErrorMessage(), expected);
    EXPECT_TRUE(got.Blocks.empty());
    EXPECT_FALSE(engine->Active());
    EXPECT_FALSE(engine->CaptureOpen());
    EXPECT_TRUE(
        PumpUntil(dispatcher, [] { return TAlsaPcm::OpenCount() == 0; })); // closed by its thread
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
        const double v = std::nearbyint(static_cast<double>(static_cast<float>(
            2147483391.0 * std::sin(2.0 * M_PI * static_cast<double>(i % 2048) / 32.0))));
        ASSERT_EQ(sample(silent + i, 0),
                  static_cast<std::int16_t>(static_cast<std::int64_t>(v) / 65536))
            << i;
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

// A device that takes 24-bit samples in the low three bytes of a 32-bit word: the bytes handed
// to it are left-justified words and must stay so, since a buffer whose refill failed is written
// again as it is.
TEST(AlsaPcmLowAligned24, WritingTheSameBufferTwicePlaysItTwiceUnchanged) {
    TPcmRequest request;
    request.Name = "ps_out24_raw";
    request.Capture = false;
    request.Channels = 2;
    request.Rate = kRate;
    request.Bits = 24;
    request.PeriodFrames = 256;
    request.BufferFrames = 2048;
    request.StartThreshold = 1;
    request.Containers = {TPcmContainer::S24LowAligned};
    constexpr std::size_t frames = 1000; // not a whole number of periods
    std::vector<std::int32_t> samples(2 * frames);
    for (std::size_t i = 0; i < samples.size(); ++i) // 24-bit values of both signs, full scale too
        samples[i] = static_cast<std::int32_t>(
            std::lround(8388607.0 * std::sin(0.05 * static_cast<double>(i))));
    TByteArray bytes(samples.size() * 4);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto word = static_cast<std::uint32_t>(samples[i]) << 8; // left-justified
        std::memcpy(bytes.data() + 4 * i, &word, 4);
    }
    const TByteArray original = bytes;
    {
        TAlsaPcm pcm(request);
        ASSERT_EQ(pcm.Format().ContainerBits, 32);
        ASSERT_EQ(pcm.Format().ValidBits, 24);
        TStopSignal stop;
        TGapCounters gaps;
        ASSERT_TRUE(pcm.Transfer(bytes.data(), frames, stop, gaps));
        EXPECT_EQ(bytes, original) << "the caller's buffer was realigned in place";
        ASSERT_TRUE(pcm.Transfer(bytes.data(), frames, stop, gaps)); // the same buffer again
        pcm.Close();
    }
    std::ifstream file(Files().Dir + "/out24.raw", std::ios::binary);
    const std::vector<char> written{std::istreambuf_iterator<char>(file), {}};
    ASSERT_EQ(written.size(), 2 * samples.size() * 4);
    for (std::size_t copy = 0; copy < 2; ++copy)
        for (std::size_t i = 0; i < samples.size(); ++i) {
            std::int32_t word;
            std::memcpy(&word, written.data() + 4 * (copy * samples.size() + i), 4);
            ASSERT_EQ(word, samples[i]) << "copy " << copy << ", sample " << i;
        }
}

namespace {

// The program's engines over the test devices; `dispatcher` must outlive the facade.
TQuibexStream FileStream(TQueuedDispatcher& dispatcher) {
    const auto devices = TestDeviceList();
    return TQuibexStream(
        [devices, &dispatcher](TAudioEngine kind) -> std::unique_ptr<TAudioStreamEngine> {
            if (kind == aeWDM)
                return std::make_unique<TWdmAudioStream>();
            return std::make_unique<TMmeAudioStream>(devices, &dispatcher);
        });
}

} // namespace

// A handler that restarts sampling, or switches engines, from inside the data event: the engine
// that raised it still runs its completion code afterwards, on an object that must still exist
// (the sanitizer build reports a use after free otherwise).
TEST(FacadeOnFileDevices, RestartAndEngineSwitchFromInsideTheDataEventAreSafe) {
    TQueuedDispatcher dispatcher;
    TQuibexStream stream = FileStream(dispatcher);
    stream.Directions = ddCapture;
    stream.InputDevice = TDeviceSettings(0, 2, kRate, 16, 512);
    int blocks = 0, restarts = 0, switches = 0;
    std::vector<std::string> errors;
    stream.OnBlockError = [&errors](const std::string& text) { errors.push_back(text); };
    stream.OnData = [&](void*, TDataBufferI&, TDataBufferF& in, TDataBufferF&) {
        ASSERT_EQ(in.size(), 2u);
        ++blocks;
        if (blocks % 3 == 1) { // restart, as the window's Stop and Start do
            stream.Stop();
            stream.Start();
            ++restarts;
        } else if (blocks % 3 == 2) { // to the other engine and back, then start again
            stream.Stop();
            stream.SetEngine(aeWDM);
            stream.SetEngine(aeMME);
            stream.Start();
            ++switches;
        }
    };
    stream.Start();
    ASSERT_TRUE(PumpUntil(dispatcher, [&] { return blocks >= 12; }));
    EXPECT_GE(restarts, 4);
    EXPECT_GE(switches, 4);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_LE(stream.RetiredEngines(), 3u); // only those of the last block wait for a safe point
    stream.Stop();                          // called from outside every handler: one
    EXPECT_EQ(stream.RetiredEngines(), 0u);
    EXPECT_EQ(TAlsaPcm::OpenCount(), 0);
}
