// SPDX-License-Identifier: GPL-3.0-or-later
// The frequency response through the low-latency engine on a private JACK server: our periodic
// noise goes through a test client that passes its left port through and gives its right port
// -6 dB and a delay of 10 samples; the response analyser reads that from our own output.
#include "AudioTestSupport.h"
#include "JackTestSupport.h"

#include "analysis/ResponseConsumer.h"
#include "audio/WdmStrm.h"
#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <gtest/gtest.h>

using namespace audiotest;
using namespace jacktest;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = 48000;
constexpr int kN = 4096;
constexpr int kDelay = 10;
const float kGain = static_cast<float>(std::pow(10.0, -6.0 / 20.0));

// A JACK client with two inputs and two outputs: out_1 = in_1, out_2 = kGain in_2 delayed by
// kDelay samples (a ring of its own). Its process callback only computes.
class DelayClient {
public:
    explicit DelayClient(const char* name) {
        client_ = OpenTestClient(name);
        if (client_ == nullptr)
            return;
        RegisterStereoPorts(client_, out_, in_);
        client_ = ActivateTestClient(client_, &DelayClient::Process, this);
    }
    ~DelayClient() { CloseTestClient(client_); }
    DelayClient(const DelayClient&) = delete;
    DelayClient& operator=(const DelayClient&) = delete;
    bool Open() const { return client_ != nullptr; }

private:
    static int Process(jack_nframes_t frames, void* arg) {
        auto& d = *static_cast<DelayClient*>(arg);
        const auto* inL = static_cast<const float*>(jack_port_get_buffer(d.in_[0], frames));
        const auto* inR = static_cast<const float*>(jack_port_get_buffer(d.in_[1], frames));
        auto* outL = static_cast<float*>(jack_port_get_buffer(d.out_[0], frames));
        auto* outR = static_cast<float*>(jack_port_get_buffer(d.out_[1], frames));
        for (jack_nframes_t i = 0; i < frames; ++i) {
            outL[i] = inL[i];
            outR[i] = kGain * d.line_[d.at_];
            d.line_[d.at_] = inR[i];
            d.at_ = (d.at_ + 1) % kDelay;
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    std::array<jack_port_t*, 2> out_{};
    std::array<jack_port_t*, 2> in_{};
    std::array<float, kDelay> line_{}; // the process thread's own
    std::size_t at_ = 0;
};

} // namespace

TEST(ResponseJack, OurOutputThroughAClientReadsItsGainAndDelay) {
    if (!PrivateJackServer::Installed())
        GTEST_SKIP() << "jackd is not installed: the JACK engine tests are skipped";
    PrivateJackServer server;
    ASSERT_TRUE(server.Start()) << "the private JACK server did not start";
    DelayClient client("psdelay");
    ASSERT_TRUE(client.Open());
    WdmAudio().Refresh();
    const int device = WdmAudio().Find("02  psdelay");
    ASSERT_EQ(device, 1);

    // The window's set-up for 48 ksps and N = 4096, the generator playing white periodic noise
    // of period N on both outputs.
    MeasurementState state;
    TDSXFastFourier fft;
    TTBDSP dsp;
    TPipelineComponents parts;
    state.BlockLength = kN;
    state.SubBlocks = 1;
    state.LowerBin = 0;
    state.UpperBin = kN / 2;
    state.Controls.TrackU = kRate / 2;
    state.Generator.CheckOut = true;
    state.Generator.Stimulus = TStimulusKind::WhiteNoise;
    state.Generator.NoisePower = 12;
    fft.SetNumSamples(kN);
    dsp.SetSamplesPerSecond(kRate);
    dsp.SetStartFrequency(0);
    dsp.SetStopFrequency(kRate / 2);
    dsp.SetKernelLength(kN - 1);
    dsp.SetFFT_Order(13);
    dsp.CreateFilter();
    state.FilterIn.assign(kN, 0.0);
    state.FilterOut.assign(kN, 0.0);
    CalibrateWindow(state, fft);
    parts.FFT = &fft;
    parts.DSP = &dsp;
    // Our output against the left (the loop alone) and the right input (the loop and the
    // client's gain and delay), and the two inputs against each other.
    TResponseConsumer loop, through, inputs;
    TResponseSettings settings;
    settings.Averages = 4;
    settings.Rectangular = true;
    for (TResponseConsumer* c : {&loop, &through, &inputs}) {
        c->SetActive(true);
        c->Analyser().SetSettings(settings);
        parts.Consumers.push_back(c);
    }
    loop.SetReference(TResponseReference::Output);
    loop.SetResponseChannel(0);
    through.SetReference(TResponseReference::Output);
    through.SetResponseChannel(1);
    TBlockPipeline pipeline(state, parts);

    TQueuedDispatcher dispatcher;
    TWdmAudioStream engine(&dispatcher);
    engine.Directions = ddBoth;
    engine.InputDevice = TDeviceSettings(device, 2, kRate, 16, kN);
    engine.OutputDevice = engine.InputDevice;
    parts.StreamGaps = [&engine] { return engine.Health().Gaps(); };
    engine.OnData = [&](void* sender, TDataBufferI& ints, TDataBufferF& in, TDataBufferF& out) {
        pipeline.AStreamData(sender, ints, in, out);
    };
    engine.Start();
    const bool measured = PumpUntil(
        dispatcher,
        [&] {
            return loop.Analyser().Averaged() >= 4 && through.Analyser().Averaged() >= 4 &&
                   inputs.Analyser().Averaged() >= 4;
        },
        60s);
    engine.Stop();
    ASSERT_TRUE(measured) << "no complete average";
    EXPECT_TRUE(state.StreamErrors.FirstError.empty()) << state.StreamErrors.Summary();
    const auto health = engine.Health();
    // A gap (the server's, or ours on a busy machine) starts the measurement afresh after it.
    std::printf("gaps: capture %llu, render %llu\n",
                static_cast<unsigned long long>(health.CaptureGaps),
                static_cast<unsigned long long>(health.RenderGaps));

    const TResponseReadings& l = loop.Analyser().Readings();
    const TResponseReadings& r = through.Analyser().Readings();
    const TResponseReadings& i = inputs.Analyser().Readings();
    ASSERT_TRUE(l.Valid && r.Valid && i.Valid) << l.Problem << r.Problem << i.Problem;
    std::printf("loop %.4f samples, through the client %.4f samples, right after left %.4f\n",
                l.DelaySamples, r.DelaySamples, i.DelaySamples);
    EXPECT_GT(l.DelaySamples, 0.0);
    EXPECT_NEAR(r.DelaySamples - l.DelaySamples, kDelay, 1e-6);
    EXPECT_NEAR(i.DelaySamples, kDelay, 1e-6);
    for (const TResponseReadings* x : {&r, &i}) {
        for (std::size_t k = 0; k < x->FrequencyHz.size(); ++k) {
            if (x->FrequencyHz[k] < 20.0 || x->FrequencyHz[k] > 20000.0)
                continue;
            ASSERT_NEAR(x->MagnitudeDb[k], -6.0, 0.005) << x->FrequencyHz[k] << " Hz";
            ASSERT_NEAR(x->PhaseDeg[k], 0.0, 0.01) << x->FrequencyHz[k] << " Hz";
        }
    }
}
