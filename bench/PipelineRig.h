// SPDX-License-Identifier: GPL-3.0-or-later
// The block pipeline as the window sets it up, for the benchmarks that measure it or what it feeds.
#pragma once

#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <ctime>
#include <numbers>
#include <random>

namespace benchrig {

constexpr double kRate = 192000.0;

// The window's set-up for sample length n at 192 ksps: band 20 Hz ... 20 kHz, Blackman²,
// sine output on, 1 s meter time constant, reduction to 1000 points on a log axis.
struct PipelineBench {
    MeasurementState state;
    TDSXFastFourier fft;
    TTBDSP dsp;
    TPipelineComponents parts;
    TBlockPipeline pipeline{state, parts};
    TDataBufferI int32Buffer;
    TDataBufferF inBuffer;
    TDataBufferF outBuffer;

    explicit PipelineBench(int n) {
        state.BlockLength = n;
        state.SampleRate = kRate;
        state.SubBlocks = std::max(2048 / n, 1);
        state.LowerBin = static_cast<int>(std::nearbyint(20.0 / kRate * n));
        state.UpperBin = static_cast<int>(std::nearbyint(20000.0 / kRate * n));
        state.FilterIn.assign(static_cast<std::size_t>(n), 0.0);
        state.FilterOut.assign(static_cast<std::size_t>(n), 0.0);
        state.ReducePoints = 1000;
        state.Controls.CRed = 1;
        state.Controls.LogF = true;
        state.Generator.CheckOut = true;
        dsp.SetAmplification(1.0);
        dsp.SetSamplesPerSecond(static_cast<int>(kRate));
        dsp.SetStartFrequency(20.0);
        dsp.SetStopFrequency(20000.0);
        dsp.SetKernelLength(n - 1);
        dsp.SetFFT_Order(static_cast<int>(std::log2(n)) + 1);
        dsp.CreateFilter();
        parts.FFT = &fft;
        parts.DSP = &dsp;
        CalibrateWindow(state, fft);
        ETimeChange(state, "1", dsp.SamplesPerSecond());

        // A 997 Hz tone at -6 dB plus noise at about -60 dB, left and right.
        const std::size_t length =
            static_cast<std::size_t>(state.SubBlocks) * static_cast<std::size_t>(n);
        AllocateBlock(inBuffer, 2, static_cast<int>(length));
        AllocateBlock(outBuffer, 2, 2048);
        std::mt19937 gen(7);
        std::normal_distribution<double> noise(0.0, 2.0e6);
        for (std::size_t i = 0; i < length; ++i) {
            const double tone =
                1.07e9 * std::sin(2.0 * std::numbers::pi * 997.0 * static_cast<double>(i) / kRate);
            inBuffer[0][i] = static_cast<float>(tone + noise(gen));
            inBuffer[1][i] = static_cast<float>(0.5 * tone + noise(gen));
        }
    }

    // Seconds of audio in one engine block.
    double BlockSeconds() const { return static_cast<double>(inBuffer[0].size()) / kRate; }
};

// CPU time of this thread in ms (other processes on a shared machine do not count).
inline double ThreadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

} // namespace benchrig
