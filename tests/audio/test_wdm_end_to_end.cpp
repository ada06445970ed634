// SPDX-License-Identifier: GPL-3.0-or-later
// The whole measurement through the low-latency engine on a private JACK server: the test's
// tone client plays a sine of known level into our capture ports and the block pipeline
// measures it; the generator's sine arrives in the tone client sample by sample.
#include "AudioTestSupport.h"
#include "JackTestSupport.h"

#include "audio/WdmStrm.h"
#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <gtest/gtest.h>

#include <numbers>

using namespace audiotest;
using namespace jacktest;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = 48000;
constexpr int kN = 2048;

// A measurement set up as the window does for 48 ksps, sample length 2048, band 0 ... 24 kHz,
// the generator (period 2^p) on or off, the default window, meters without smoothing.
struct Measurement {
    MeasurementState state;
    TDSXFastFourier fft;
    TTBDSP dsp;
    TPipelineComponents parts;
    std::unique_ptr<TBlockPipeline> pipeline;

    Measurement(bool generator, int p) {
        state.BlockLength = kN;
        state.SubBlocks = 1;
        state.LowerBin = 0;
        state.UpperBin = kN / 2;
        state.MeterAlpha = 1.0;
        state.Controls.TrackU = kRate / 2;
        state.Generator.CheckOut = generator;
        state.Generator.TrackF = p;
        fft.SetNumSamples(kN);
        dsp.SetSamplesPerSecond(kRate);
        dsp.SetStartFrequency(0);
        dsp.SetStopFrequency(kRate / 2);
        dsp.SetKernelLength(kN - 1);
        dsp.SetFFT_Order(12);
        dsp.CreateFilter();
        state.FilterIn.assign(kN, 0.0);
        state.FilterOut.assign(kN, 0.0);
        CalibrateWindow(state, fft);
        parts.FFT = &fft;
        parts.DSP = &dsp;
        pipeline = std::make_unique<TBlockPipeline>(state, parts);
    }
};

class WdmEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PrivateJackServer::Installed())
            GTEST_SKIP() << "jackd is not installed: the JACK engine tests are skipped";
        ASSERT_TRUE(server_.Start()) << "the private JACK server did not start";
        // 1500 Hz is bin 64 of 2048 at 48 kHz; amplitude 0.5 is -6.0206 dB of full scale.
        tone_ = std::make_unique<ToneClient>("pstest", 1500.0, 0.5, kRate * 3);
        ASSERT_TRUE(tone_->Open());
        WdmAudio().Refresh();
        device_ = WdmAudio().Find("02  pstest");
        ASSERT_EQ(device_, 1);
    }

    PrivateJackServer server_;
    std::unique_ptr<ToneClient> tone_;
    TQueuedDispatcher dispatcher_;
    int device_ = -1;
};

} // namespace

TEST_F(WdmEndToEnd, TheToneClientsSineIsMeasuredAtItsBinWithinAThousandthOfADecibel) {
    Measurement m(false, 5);
    TWdmAudioStream engine(&dispatcher_);
    engine.Directions = ddCapture;
    engine.InputDevice = TDeviceSettings(device_, 2, kRate, 16, kN);
    int blocks = 0;
    engine.OnData = [&](void* sender, TDataBufferI& ints, TDataBufferF& in, TDataBufferF& out) {
        m.pipeline->AStreamData(sender, ints, in, out);
        ++blocks;
    };
    engine.Start();
    const bool got = PumpUntil(
        dispatcher_, [&] { return blocks >= 6; }, 15s);
    engine.Stop();
    ASSERT_TRUE(got);
    const double expected = 20.0 * std::log10(0.5 * 2147483648.0 / 2147483647.0);
    std::printf("S level %.6f dB, expected %.6f dB, error %.2e dB, peak at bin %.4f\n",
                m.state.SLevel, expected, m.state.SLevel - expected, m.state.PeakBinFine);
    EXPECT_NEAR(m.state.SLevel, expected, 0.001);
    EXPECT_NEAR(m.state.SNLevel, expected, 0.001); // nothing else in the band
    EXPECT_NEAR(m.state.PeakBinFine, 64.0, 0.01);
    EXPECT_TRUE(m.state.StreamErrors.FirstError.empty()) << m.state.StreamErrors.Summary();
}

TEST_F(WdmEndToEnd, TheGeneratorsCoherentSineArrivesInTheDevicesPortsSampleBySample) {
    constexpr int p = 5; // period 32 samples: 1500 Hz
    Measurement m(true, p);
    TWdmAudioStream engine(&dispatcher_);
    engine.Directions = ddBoth;
    engine.InputDevice = TDeviceSettings(device_, 2, kRate, 16, kN);
    engine.OutputDevice = TDeviceSettings(device_, 2, kRate, 16, kN);
    engine.OnData = [&](void* sender, TDataBufferI& ints, TDataBufferF& in, TDataBufferF& out) {
        m.pipeline->AStreamData(sender, ints, in, out);
    };
    engine.Start();
    const bool got = PumpUntil(
        dispatcher_, [&] { return tone_->Recorded() >= kRate * 2; }, 15s);
    engine.Stop();
    ASSERT_TRUE(got);

    // The tone begins with a whole block at phase 0 after the leading silence; from there on
    // sample i is A sin(2 pi i / 32) in the block scale, 2^-31 of it in the port.
    const auto& l = tone_->Left();
    const auto& r = tone_->Right();
    std::size_t first = 0;
    while (first < static_cast<std::size_t>(kRate) && l[first] == 0.0f)
        ++first;
    ASSERT_LT(first, static_cast<std::size_t>(kRate)) << "no tone arrived";
    // A server xrun on a busy machine may skip or repeat a period: the phase is then found
    // again, and each such jump must be one the engine counted as a gap.
    const auto expected = [](std::size_t phase) {
        const long double angle =
            2.0L * std::numbers::pi_v<long double> * static_cast<long double>(phase % 32) / 32.0L;
        return static_cast<float>(2147483391.0L * std::sin(angle)) / 2147483648.0f;
    };
    std::size_t phase = 0, jumps = 0, wrong = 0, checked = 0;
    std::size_t start = first - 1; // sin(0) = 0 comes first
    for (std::size_t i = start; i < static_cast<std::size_t>(kRate) * 2; ++i, ++checked, ++phase) {
        if (l[i] == expected(phase) && r[i] == l[i])
            continue;
        // A jump: the phase that explains this sample and the next three.
        bool found = false;
        for (std::size_t p2 = 0; p2 < 32 && !found && i + 3 < l.size(); ++p2)
            found = l[i] == expected(p2) && l[i + 1] == expected(p2 + 1) &&
                    l[i + 2] == expected(p2 + 2) && l[i + 3] == expected(p2 + 3) && r[i] == l[i];
        if (!found) {
            ++wrong;
            continue;
        }
        for (std::size_t p2 = 0; p2 < 32; ++p2)
            if (l[i] == expected(p2) && l[i + 1] == expected(p2 + 1) &&
                l[i + 2] == expected(p2 + 2) && l[i + 3] == expected(p2 + 3)) {
                phase = p2;
                break;
            }
        ++jumps;
    }
    const auto health = engine.Health();
    std::printf("checked %zu samples from sample %zu, %zu jumps, %llu output gaps counted\n",
                checked, start, jumps, static_cast<unsigned long long>(health.RenderGaps));
    EXPECT_GT(checked, static_cast<std::size_t>(kRate));
    EXPECT_EQ(wrong, 0u) << "samples that are not the generator's sine";
    EXPECT_LE(jumps, health.RenderGaps + health.CaptureGaps) << "jumps the engine did not count";
}
