// SPDX-License-Identifier: GPL-3.0-or-later
// The low-latency engine: its error table, its device table, and streaming on a private JACK
// server with a tone client of the test's own.
#include "AudioTestSupport.h"
#include "JackTestSupport.h"

#include "audio/Quibex_Strm.h"
#include "audio/SpscRing.h"
#include "audio/WdmStrm.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <set>
#include <sstream>
#include <thread>

using namespace audiotest;
using namespace jacktest;
using namespace std::chrono_literals;

namespace {

// The message and index of the EWdmAudioError that `action` throws ("" when none).
std::pair<std::string, int> WdmError(const std::function<void()>& action) {
    try {
        action();
    } catch (const EWdmAudioError& e) {
        return {e.what(), e.Index()};
    } catch (const std::exception& e) {
        return {std::string("not a table error: ") + e.what(), -1};
    }
    return {"", 0};
}

} // namespace

TEST(WdmErrors, EveryMessageOfTheTableWithItsIndex) {
    const std::vector<std::pair<EWdmAudioError, std::string>> cases = {
        {EWdmAudioError(0), "No error"},
        {EWdmAudioError(1), "WDM Audio Engine failed to initialize"},
        {EWdmAudioError(2), "Invalid assignment to DeviceSettings"},
        {EWdmAudioError(3), "Waiting thread failed"},
        {EWdmAudioError(4), "Unable to read data from the sound card"},
        {EWdmAudioError(5), "Unable to write data to the sound card"},
        {EWdmAudioError(6, -1), "Invalid device number: -1"},
        {EWdmAudioError(7, 0), "Invalid number of channels: 0"},
        {EWdmAudioError(8, 33), "Invalid data format: 33 bits"},
        {EWdmAudioError(9, 999), "Invalid sampling rate: 999 Hz"},
        {EWdmAudioError(10, 144001), "Buffer too large: 144001 samples"},
        {EWdmAudioError(11), "Input/output buffer size mismatch"},
        {EWdmAudioError(12, "01  system"), "Unable to open device: 01  system"},
        {EWdmAudioError(13, "02  x", -5), "Unable to start output to 02  x: error -5"},
        {EWdmAudioError(14, "02  x", 17), "Unable to start input from 02  x: error 17"},
        {EWdmAudioError(15), "Output device does not support selected parameters"},
        {EWdmAudioError(16), "Input device does not support selected parameters"},
        {EWdmAudioError(17, "03  y", -1), "Cannot negotiate output format with 03  y: error -1"},
        {EWdmAudioError(18, "03  y", -1), "Cannot negotiate input format with 03  y: error -1"},
    };
    ASSERT_EQ(cases.size(), static_cast<std::size_t>(EWdmAudioError::kMessages));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].first.what(), cases[i].second);
        EXPECT_EQ(cases[i].first.Index(), static_cast<int>(i));
    }
    // The shared settings record refuses other objects with the table's text 2.
    TDeviceSettings settings;
    TPersistentObject other;
    try {
        settings.Assign(other);
        FAIL() << "no exception";
    } catch (const EAudioError& e) {
        EXPECT_STREQ(e.what(), EWdmAudioError::Template(2));
    }
}

TEST(WdmDeviceTable, OneDevicePerClientWithItsPortsAsPinsAndOurOwnClientsLeftOut) {
    const std::vector<TJackPortInfo> ports = {
        {"system:capture_1", "system", true},
        {"system:capture_2", "system", true},
        {"system:playback_1", "system", false},
        {"Phonoscale:in_1", "Phonoscale", false},
        {"Phonoscale-01:out_1", "Phonoscale-01", true},
        {"recorder:in_L", "recorder", false},
        {"synth:out", "synth", true},
        {"system:playback_2", "system", false},
        {"Phonoscale-x:out", "Phonoscale-x", true},
    };
    const TWdmAudio table(BuildFilters(ports, 44100), 44100);
    ASSERT_EQ(table.Filters().size(), 4u);
    EXPECT_EQ(table.Filters()[0].DisplayName, "01  system");
    EXPECT_EQ(table.Filters()[1].DisplayName, "02  recorder");
    EXPECT_EQ(table.Filters()[2].DisplayName, "03  synth");
    EXPECT_EQ(table.Filters()[3].DisplayName, "04  Phonoscale-x"); // not a name of ours
    const TPin* capture = table.Filters()[0].PinOf(dfCapture);
    const TPin* render = table.Filters()[0].PinOf(dfRender);
    ASSERT_NE(capture, nullptr);
    ASSERT_NE(render, nullptr);
    EXPECT_EQ(capture->MaxChannels, 2);
    EXPECT_EQ(render->Ports, (std::vector<std::string>{"system:playback_1", "system:playback_2"}));
    EXPECT_EQ(capture->MinRate, 44100);
    EXPECT_EQ(capture->MaxRate, 44100);
    EXPECT_EQ(capture->MinBits, 32);
    EXPECT_EQ(table.Filters()[1].PinOf(dfCapture), nullptr);
    // Lists per direction keep the table's numbers.
    EXPECT_EQ(table.CaptureNames(),
              (std::vector<std::string>{"01  system", "03  synth", "04  Phonoscale-x"}));
    EXPECT_EQ(table.RenderNames(), (std::vector<std::string>{"01  system", "02  recorder"}));
    // Look-up by name ignores case, takes the table position, and knows no empty name.
    EXPECT_EQ(table.Find("03  SYNTH"), 2);
    EXPECT_EQ(table.Find("02  Recorder"), 1);
    EXPECT_EQ(table.Find(""), -1);
    EXPECT_EQ(table.Find("synth"), -1);
}

TEST(WdmRing, ValuesArriveInOrderAcrossThreadsAndWrapAround) {
    TSpscRing<std::uint32_t> ring(1000); // 1024 slots
    ASSERT_EQ(ring.Capacity(), 1024u);
    constexpr std::uint32_t kCount = 300'000;
    std::thread producer([&ring] {
        std::uint32_t next = 0;
        while (next < kCount) {
            const std::size_t n = std::min<std::size_t>(ring.WriteSpace(), kCount - next);
            if (n == 0)
                std::this_thread::yield();
            for (std::size_t i = 0; i < n; ++i)
                ring.WriteSlot(i) = next + static_cast<std::uint32_t>(i);
            ring.CommitWrite(n);
            next += static_cast<std::uint32_t>(n);
        }
    });
    std::uint32_t expected = 0;
    bool inOrder = true;
    while (expected < kCount) {
        const std::size_t n = ring.ReadAvailable();
        ASSERT_LE(n, ring.Capacity());
        if (n == 0)
            std::this_thread::yield();
        for (std::size_t i = 0; i < n; ++i)
            inOrder = inOrder && ring.ReadSlot(i) == expected + i;
        ring.CommitRead(n);
        expected += static_cast<std::uint32_t>(n);
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(ring.ReadAvailable(), 0u);
    EXPECT_EQ(ring.WriteSpace(), ring.Capacity());
}

// The lists hold one direction each while the table holds both: an entry's position in its
// list is not the device's position in the table.
TEST(WdmDeviceTable, EachListEntryNamesItsOwnTableDeviceThroughTheFacade) {
    setenv("JACK_DEFAULT_SERVER", "ps-no-such-server-here", 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    const std::vector<TJackPortInfo> ports = {
        {"system:capture_1", "system", true}, {"system:playback_1", "system", false},
        {"asink:in_1", "asink", false},       {"bsrcA:out_1", "bsrcA", true},
        {"csrcB:out_1", "csrcB", true},       {"dsink:in_1", "dsink", false}};
    WdmAudio() = TWdmAudio(BuildFilters(ports, 48000), 48000);
    TQueuedDispatcher dispatcher;
    TQuibexStream stream(
        [&](TAudioEngine) { return std::make_unique<TWdmAudioStream>(&dispatcher); });
    stream.SetEngine(aeWDM);
    ASSERT_EQ(stream.InputDeviceNames(),
              (std::vector<std::string>{"01  system", "03  bsrcA", "04  csrcB"}));
    ASSERT_EQ(stream.OutputDeviceNames(),
              (std::vector<std::string>{"01  system", "02  asink", "05  dsink"}));
    const int capture[] = {0, 2, 3, -1}, render[] = {0, 1, 4, -1};
    for (int entry = 0; entry < 4; ++entry) {
        EXPECT_EQ(stream.SelectInputEntry(entry), capture[entry]) << entry;
        EXPECT_EQ(stream.InputDevice.Index, capture[entry]);
        EXPECT_EQ(stream.SelectOutputEntry(entry), render[entry]) << entry;
    }
    WdmAudio() = TWdmAudio();
}

// No server: an empty, uninitialised table at once, nothing printed, and the first error of
// the table at start.
TEST(WdmNoServer, EmptyListsQuietlyAndStartFailsToInitialize) {
    setenv("JACK_DEFAULT_SERVER", "ps-no-such-server-here", 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    char path[] = "/tmp/ps-jack-stderr-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(file, 2);
    const auto begin = std::chrono::steady_clock::now();
    WdmAudio().Refresh();
    TQueuedDispatcher dispatcher;
    TWdmAudioStream engine(&dispatcher);
    const auto error = WdmError([&] { engine.Start(); });
    const auto took = std::chrono::steady_clock::now() - begin;
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    const off_t printed = lseek(file, 0, SEEK_END);
    close(file);
    unlink(path);

    EXPECT_FALSE(WdmAudio().Initialised());
    EXPECT_TRUE(engine.InputNames().empty());
    EXPECT_TRUE(engine.OutputNames().empty());
    EXPECT_EQ(error.first, "WDM Audio Engine failed to initialize");
    EXPECT_EQ(error.second, 1);
    EXPECT_FALSE(engine.Active());
    EXPECT_EQ(printed, 0) << "the JACK library printed on stderr";
    EXPECT_LT(took, 5s) << "looking for a server must not wait for one";
}

namespace {

constexpr int kRate = 48000;

// A private server with the test's tone client "pstest" (1500 Hz, amplitude 0.5).
class WdmOnJack : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PrivateJackServer::Installed())
            GTEST_SKIP() << "jackd is not installed: the JACK engine tests are skipped";
        ASSERT_TRUE(server_.Start()) << "the private JACK server did not start";
        tone_ = std::make_unique<ToneClient>("pstest", 1500.0, 0.5);
        ASSERT_TRUE(tone_->Open());
        WdmAudio().Refresh();
        ASSERT_TRUE(WdmAudio().Initialised());
        tester_ = WdmAudio().Find("02  pstest");
        ASSERT_EQ(tester_, 1) << "the tone client is the second device";
    }
    void TearDown() override {
        tone_.reset();
        server_.Stop();
    }

    // An engine on the tone client: both directions, stereo, blocks of 2048.
    std::unique_ptr<TWdmAudioStream> Engine(TDataDirections directions = ddBoth) {
        auto engine = std::make_unique<TWdmAudioStream>(&dispatcher_);
        engine->Directions = directions;
        engine->InputDevice = TDeviceSettings(tester_, 2, kRate, 16, 2048);
        engine->OutputDevice = TDeviceSettings(tester_, 2, kRate, 16, 2048);
        return engine;
    }

    PrivateJackServer server_;
    std::unique_ptr<ToneClient> tone_;
    TQueuedDispatcher dispatcher_;
    int tester_ = -1;
};

} // namespace

TEST_F(WdmOnJack, DeviceTableAgreesWithTheServersOwnPortList) {
    // jack_lsp -p: port names, each followed by a properties line "input,..." or "output,...".
    std::istringstream lsp(PrivateJackServer::Run("jack_lsp -p"));
    std::map<std::string, std::pair<int, int>> expected; // client: outputs, inputs
    std::string port, properties;
    while (std::getline(lsp, port) && std::getline(lsp, properties)) {
        const std::string client = port.substr(0, port.find(':'));
        auto& counts = expected[client];
        (properties.find("output") != std::string::npos ? counts.first : counts.second)++;
    }
    ASSERT_EQ(expected.size(), 2u); // system and pstest
    const auto& filters = WdmAudio().Filters();
    ASSERT_EQ(filters.size(), expected.size());
    for (const auto& filter : filters) {
        ASSERT_TRUE(expected.count(filter.ClientName)) << filter.ClientName;
        const auto [outputs, inputs] = expected[filter.ClientName];
        ASSERT_NE(filter.PinOf(dfCapture), nullptr);
        ASSERT_NE(filter.PinOf(dfRender), nullptr);
        EXPECT_EQ(filter.PinOf(dfCapture)->MaxChannels, outputs);
        EXPECT_EQ(filter.PinOf(dfRender)->MaxChannels, inputs);
        EXPECT_EQ(filter.PinOf(dfCapture)->MaxRate, kRate);
    }
    EXPECT_EQ(WdmAudio().Filters()[0].DisplayName, "01  system");
    EXPECT_EQ(WdmAudio().SampleRate(), kRate);
    EXPECT_EQ(WdmAudio().Find("02  PSTEST"), 1);
    EXPECT_EQ(WdmAudio().Find(""), -1);
}

TEST_F(WdmOnJack, SettingsChecksInTheirOrderWithTheTablesMessages) {
    auto engine = Engine();
    const auto startWith = [&](auto change) {
        engine = Engine();
        change(*engine);
        auto result = WdmError([&] { engine->Start(); });
        engine->Stop();
        return result;
    };
    using E = TWdmAudioStream;
    EXPECT_EQ(startWith([](E& e) { e.InputDevice.SamplesPerBuf = 4096; }),
              std::make_pair(std::string("Input/output buffer size mismatch"), 11));
    EXPECT_EQ(startWith([](E& e) {
                  e.InputDevice.SamplesPerBuf = 144000;
                  e.OutputDevice.SamplesPerBuf = 144000;
              }).first,
              "");
    EXPECT_EQ(startWith([](E& e) { e.InputDevice.SamplesPerBuf = 144001; }),
              std::make_pair(std::string("Buffer too large: 144001 samples"), 10));
    EXPECT_EQ(startWith([](E& e) {
                  e.InputDevice.SamplingRate = 96000;
                  e.OutputDevice.SamplingRate = 96000;
              }),
              std::make_pair(std::string("Input device does not support selected parameters"), 16));
    EXPECT_EQ(
        startWith([](E& e) {
            e.Directions = ddRender;
            e.OutputDevice.SamplingRate = 44100;
        }),
        std::make_pair(std::string("Output device does not support selected parameters"), 15));
    EXPECT_EQ(startWith([](E& e) { e.InputDevice.Channels = 3; }).second, 16);
    EXPECT_EQ(startWith([](E& e) { e.InputDevice.Index = 2; }),
              std::make_pair(std::string("Invalid device number: 2"), 6));
    EXPECT_EQ(startWith([](E& e) { e.InputDevice.Index = -1; }).first, "Invalid device number: -1");
    EXPECT_EQ(startWith([](E& e) { e.OutputDevice.Channels = 0; }),
              std::make_pair(std::string("Invalid number of channels: 0"), 7));
    EXPECT_EQ(startWith([](E& e) { e.InputDevice.BitsPerSample = 7; }),
              std::make_pair(std::string("Invalid data format: 7 bits"), 8));
    EXPECT_EQ(startWith([](E& e) { e.InputDevice.SamplingRate = 999; }),
              std::make_pair(std::string("Invalid sampling rate: 999 Hz"), 9));
    // The first failing check wins: the device number before the channels, input before output.
    EXPECT_EQ(startWith([](E& e) {
                  e.InputDevice.Channels = 0;
                  e.InputDevice.Index = 7;
                  e.OutputDevice.Index = 8;
              }).first,
              "Invalid device number: 7");
    // Capture alone does not look at the output side.
    EXPECT_EQ(startWith([](E& e) {
                  e.Directions = ddCapture;
                  e.OutputDevice.Index = 9;
              }).first,
              "");
}

TEST_F(WdmOnJack, CapturesTheToneClientsSineOnTheMainThreadAtItsLevel) {
    auto engine = Engine(ddCapture);
    const auto mainThread = std::this_thread::get_id();
    int blocks = 0;
    bool onMain = true, shaped = true;
    std::int64_t lastStamp = 0;
    bool stampsRise = true;
    double left = 0, right = 0;
    engine->OnData = [&](void* sender, TDataBufferI& ints, TDataBufferF& in, TDataBufferF&) {
        onMain = onMain && std::this_thread::get_id() == mainThread;
        shaped = shaped && sender == engine.get() && in.size() == 2 && in[0].size() == 2048 &&
                 ints.size() == 2;
        stampsRise = stampsRise && engine->CaptureTimestamp() > lastStamp;
        lastStamp = engine->CaptureTimestamp();
        if (++blocks >= 3) { // 1500 Hz is bin 64 of 2048 at 48 kHz
            left = ToneAmplitude(in[0], 64.0);
            right = ToneAmplitude(in[1], 64.0);
        }
    };
    engine->Start();
    ASSERT_TRUE(engine->Active());
    EXPECT_EQ(engine->InputDevice.BitsPerSample, 32); // what the ports carry
    const bool got = PumpUntil(
        dispatcher_, [&] { return blocks >= 5; }, 10s);
    // The server's view: our ports exist and are connected to the device's.
    const std::string lsp = PrivateJackServer::Run("jack_lsp -c");
    engine->Stop();
    ASSERT_TRUE(got) << "no blocks arrived";
    EXPECT_TRUE(onMain);
    EXPECT_TRUE(shaped);
    EXPECT_TRUE(stampsRise);
    EXPECT_NEAR(Db(left), Db(0.5), 0.001);
    EXPECT_NEAR(Db(right), Db(0.5), 0.001);
    EXPECT_NE(lsp.find("Phonoscale:in_1\n   pstest:out_1"), std::string::npos) << lsp;
    EXPECT_NE(lsp.find("Phonoscale:in_2\n   pstest:out_2"), std::string::npos) << lsp;
    EXPECT_EQ(lsp.find("Phonoscale:out_"), std::string::npos) << "capture only";
    // Stopped: our client and its ports are gone.
    EXPECT_EQ(PrivateJackServer::Run("jack_lsp").find("Phonoscale"), std::string::npos);
}

TEST_F(WdmOnJack, RendersEveryBlockInOrderIntoTheDevicesPortsWithAndWithoutCapture) {
    for (const auto directions : {ddBoth, ddRender}) {
        SCOPED_TRACE(directions == ddBoth ? "both ways" : "render only");
        tone_.reset(); // a fresh recording under the same name
        tone_ = std::make_unique<ToneClient>("pstest", 1500.0, 0.5);
        ASSERT_TRUE(tone_->Open());
        auto engine = Engine(directions);
        // Each output sample carries its running number (exact in float below 2^24), right = -left.
        std::int64_t next = 1;
        engine->OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF& out) {
            for (std::size_t i = 0; i < out[0].size(); ++i, ++next) {
                out[0][i] = static_cast<float>(next) * 256.0f; // 2^-23 per step at JACK's scale
                out[1][i] = -out[0][i];
            }
        };
        engine->Start();
        const bool got = PumpUntil(
            dispatcher_, [&] { return tone_->Recorded() >= 48000 * 2; }, 15s);
        const std::string lsp = PrivateJackServer::Run("jack_lsp -c");
        engine->Stop();
        ASSERT_TRUE(got);
        EXPECT_NE(lsp.find("Phonoscale:out_1\n   pstest:in_1"), std::string::npos) << lsp;
        const auto& l = tone_->Left();
        const auto& r = tone_->Right();
        std::size_t first = 0;
        while (first < 48000 && l[first] == 0.0f)
            ++first;
        ASSERT_LT(first, 48000u) << "nothing arrived";
        // Every sample is one of ours, unchanged, and the numbers rise one by one; a server
        // xrun (a busy machine) may skip or repeat a period, and each such jump must be one the
        // engine counted as a gap.
        std::size_t foreign = 0, jumps = 0;
        const std::size_t end = 48000 * 2;
        double previous = 0;
        for (std::size_t i = first; i < end; ++i) {
            const double number = static_cast<double>(l[i]) * 2147483648.0 / 256.0;
            if (number != std::floor(number) || number < 1 || r[i] != -l[i])
                ++foreign;
            else if (i > first && number != previous + 1)
                ++jumps;
            previous = number;
        }
        const auto gaps = engine->Health().RenderGaps;
        EXPECT_EQ(foreign, 0u) << "samples changed on their way";
        EXPECT_LE(jumps, gaps) << "jumps the engine did not count";
    }
}

TEST_F(WdmOnJack, ABusyHandlerAndAServerXrunCountAsGaps) {
    auto engine = Engine(ddCapture);
    int blocks = 0;
    engine->OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) {
        if (++blocks == 3)
            std::this_thread::sleep_for(1500ms); // far longer than the capture ring holds
    };
    engine->Start();
    ASSERT_TRUE(PumpUntil(
        dispatcher_, [&] { return blocks >= 6; }, 15s));
    // The ring held about 0.4 s of the 1.5 s stall: about 1.1 s lost (server xruns on a busy
    // machine may add a few gaps of their own).
    const TStreamHealth busy = engine->Health();
    EXPECT_GE(busy.CaptureGaps, 1u);
    EXPECT_GT(busy.CaptureFramesLost, 48000u / 2);
    EXPECT_LT(busy.CaptureFramesLost, 48000u * 3 / 2);
    const auto lines = FormatStreamHealth(busy);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("Input gaps: ", 0), 0u) << lines[0];

    tone_->StallOnce(200); // the server misses its deadline
    const int before = blocks;
    ASSERT_TRUE(PumpUntil(
        dispatcher_, [&] { return blocks >= before + 20; }, 15s));
    engine->Stop();
    EXPECT_GT(engine->Health().CaptureGaps, busy.CaptureGaps) << "the xrun was not counted";
}

TEST_F(WdmOnJack, AServerThatGoesAwayStopsTheRunWithOneMessageAndARestartWorks) {
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGKILL");
        auto engine = Engine(ddBoth);
        int blocks = 0;
        std::vector<std::string> failures;
        engine->OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) { ++blocks; };
        engine->OnFailure = [&](const std::string& reason) { failures.push_back(reason); };
        engine->Start();
        ASSERT_TRUE(PumpUntil(
            dispatcher_, [&] { return blocks >= 2; }, 10s));
        tone_.reset();
        server_.Signal(signal);
        ASSERT_TRUE(PumpUntil(
            dispatcher_, [&] { return !failures.empty(); }, 10s))
            << "the lost server was not reported";
        PumpFor(dispatcher_, 300ms); // a second report would arrive here
        EXPECT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].rfind("Unable to read data from the sound card: ", 0), 0u)
            << failures[0];
        EXPECT_FALSE(engine->Active());
        engine->Stop(); // harmless after the failure
        engine.reset();

        // The server is back: the same device streams again.
        server_.Stop();
        ASSERT_TRUE(server_.Start());
        tone_ = std::make_unique<ToneClient>("pstest", 1500.0, 0.5);
        ASSERT_TRUE(tone_->Open());
        auto again = Engine(ddBoth);
        int more = 0;
        again->OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) { ++more; };
        again->Start();
        EXPECT_TRUE(PumpUntil(
            dispatcher_, [&] { return more >= 3; }, 10s));
        again->Stop();
    }
}

TEST_F(WdmOnJack, ADevicePortThatDisappearsEndsTheRunWithOneMessage) {
    auto engine = Engine(ddCapture);
    int blocks = 0;
    std::vector<std::string> failures;
    engine->OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) { ++blocks; };
    engine->OnFailure = [&](const std::string& reason) { failures.push_back(reason); };
    engine->Start();
    ASSERT_TRUE(PumpUntil(
        dispatcher_, [&] { return blocks >= 2; }, 10s));
    tone_->Close();
    ASSERT_TRUE(PumpUntil(
        dispatcher_, [&] { return !failures.empty(); }, 10s));
    PumpFor(dispatcher_, 200ms);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0],
              "Unable to read data from the sound card: the port pstest:out_1 is gone");
    EXPECT_FALSE(engine->Active());
}

// A server that is frozen (SIGSTOP) holds neither Stop, nor Start, nor the device look-up for
// longer than the engine's wait for an answer.
TEST_F(WdmOnJack, AFrozenServerHoldsNeitherStopNorStartNorTheDeviceList) {
    auto engine = Engine(ddCapture);
    int blocks = 0;
    engine->OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) { ++blocks; };
    engine->Start();
    ASSERT_TRUE(PumpUntil(
        dispatcher_, [&] { return blocks >= 2; }, 10s));
    server_.Signal(SIGSTOP);
    auto begin = std::chrono::steady_clock::now();
    engine->Stop();
    const auto stopTook = std::chrono::steady_clock::now() - begin;

    auto again = Engine(ddCapture);
    begin = std::chrono::steady_clock::now();
    const auto error = WdmError([&] { again->Start(); });
    const auto startTook = std::chrono::steady_clock::now() - begin;
    begin = std::chrono::steady_clock::now();
    WdmAudio().Refresh();
    const auto listTook = std::chrono::steady_clock::now() - begin;
    const bool listed = WdmAudio().Initialised();
    server_.Signal(SIGCONT);

    EXPECT_LT(stopTook, 2s);
    EXPECT_EQ(error, std::make_pair(std::string("Unable to open device: 02  pstest"), 12));
    EXPECT_FALSE(again->Active());
    EXPECT_LT(startTook, kAnswerWait + 2s);
    EXPECT_FALSE(listed) << "a server that does not answer has no devices";
    EXPECT_LT(listTook, kAnswerWait + 2s);
    // Awake again: the devices are back and streaming works.
    WdmAudio().Refresh();
    EXPECT_TRUE(WdmAudio().Initialised());
    auto third = Engine(ddCapture);
    int more = 0;
    third->OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) { ++more; };
    third->Start();
    EXPECT_TRUE(PumpUntil(
        dispatcher_, [&] { return more >= 2; }, 10s));
    third->Stop();
}

// Stop from inside the data event, and the facade's engine switch while streaming: the worker
// waiting for the hand-over lets go, nothing hangs, nothing is used after it is freed.
TEST_F(WdmOnJack, StopInsideTheHandOverAndAnEngineSwitchWhileRunningAreSafe) {
    auto engine = Engine(ddBoth);
    int blocks = 0;
    engine->OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) {
        if (++blocks == 2)
            engine->Stop();
    };
    engine->Start();
    ASSERT_TRUE(PumpUntil(
        dispatcher_, [&] { return blocks >= 2; }, 10s));
    PumpFor(dispatcher_, 200ms);
    EXPECT_EQ(blocks, 2);
    EXPECT_FALSE(engine->Active());

    TQuibexStream stream([this](TAudioEngine) -> std::unique_ptr<TAudioStreamEngine> {
        return std::make_unique<TWdmAudioStream>(&dispatcher_);
    });
    stream.SetEngine(aeWDM);
    stream.Directions = ddBoth;
    std::string name = "02  PStest";
    EXPECT_EQ(stream.SelectInputDevice(name), 1);
    EXPECT_EQ(stream.SelectOutputDevice(name), 1);
    int seen = 0;
    stream.OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) {
        if (++seen == 3)
            stream.SetEngine(aeWDM); // stops the running engine from inside its own event
    };
    stream.Start();
    ASSERT_TRUE(PumpUntil(
        dispatcher_, [&] { return seen >= 3; }, 10s));
    PumpFor(dispatcher_, 200ms);
    EXPECT_FALSE(stream.Active());
    stream.Start();
    EXPECT_TRUE(PumpUntil(
        dispatcher_, [&] { return seen >= 6; }, 10s));
    stream.Stop();
}
