// SPDX-License-Identifier: GPL-3.0-or-later
// The whole measurement through a real sound server: the engine plays the coherent test sine
// into a loop device, captures it back, and the block pipeline measures it.
#include "AudioTestSupport.h"

#include "audio/MmeStrm.h"
#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <gtest/gtest.h>

using namespace audiotest;
using namespace std::chrono_literals;

namespace {

// A measurement set up as the window would for 48 ksps, sample length `n`, band 0 ... 24 kHz,
// the generator on with period 2^p, Blackman² window and no smoothing.
struct Measurement {
    MeasurementState state;
    TDSXFastFourier fft;
    TTBDSP dsp;
    TPipelineComponents parts;
    std::unique_ptr<TBlockPipeline> pipeline;

    Measurement(int n, int p) {
        state.BlockLength = n;
        state.SubBlocks = std::max(2048 / n, 1);
        state.LowerBin = 0;
        state.UpperBin = n / 2;
        state.MeterAlpha = 1.0;
        state.Controls.TrackU = 24000;
        state.Generator.CheckOut = true;
        state.Generator.TrackF = p;
        fft.SetNumSamples(n);
        dsp.SetSamplesPerSecond(48000);
        dsp.SetStartFrequency(0);
        dsp.SetStopFrequency(24000);
        dsp.SetKernelLength(n - 1);
        int order = 0;
        while ((1 << order) < 2 * n)
            ++order;
        dsp.SetFFT_Order(order);
        dsp.CreateFilter();
        state.FilterIn.assign(static_cast<std::size_t>(n), 0.0);
        state.FilterOut.assign(static_cast<std::size_t>(n), 0.0);
        CalibrateWindow(state, fft);
        parts.FFT = &fft;
        parts.DSP = &dsp;
        pipeline = std::make_unique<TBlockPipeline>(state, parts);
    }
};

} // namespace

TEST(EndToEnd, CoherentSineMeasuredAtItsExactBinAndFullScaleThroughTheSoundServer) {
    PrivateSoundServer server;
    if (!server.Start() || !SoundServerReachable(SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";

    constexpr int n = 2048, p = 5; // 1500 Hz: bin 64 of 2048
    Measurement m(n, p);
    TQueuedDispatcher dispatcher;
    TMmeAudioStream engine(std::make_shared<const std::vector<TPcmDevice>>(
                               std::vector<TPcmDevice>{{"pulse", "Sound server", true, true}}),
                           &dispatcher);
    engine.Directions = ddBoth;
    engine.BufferCount = 3;
    engine.InputDevice = TDeviceSettings(0, 2, 48000, 16, 2048);
    engine.OutputDevice = TDeviceSettings(0, 2, 48000, 16, 2048);
    int steady = 0;
    double lastBin = 0, lastS = 0;
    engine.OnData = [&](void* sender, TDataBufferI& ints, TDataBufferF& in, TDataBufferF& out) {
        m.pipeline->AStreamData(sender, ints, in, out);
        lastBin = m.state.PeakBinFine;
        lastS = m.state.SLevel;
        const bool good = std::abs(lastBin - 64.0) < 0.01 && std::abs(lastS) < 0.05;
        steady = good ? steady + 1 : 0;
    };
    engine.Start();
    const bool measured = PumpUntil(dispatcher, [&] { return steady >= 5; }, 20s);
    engine.Stop();
    EXPECT_TRUE(measured) << "last block: peak at bin " << lastBin << ", S " << lastS << " dB";
    EXPECT_TRUE(m.state.StreamErrors.FirstError.empty()) << m.state.StreamErrors.Summary();
    EXPECT_NEAR(m.state.SNLevel, 0.0, 0.05); // nothing but the tone in the band
}
