// SPDX-License-Identifier: GPL-3.0-or-later
// Test rig: a measurement state with its FFT and band filter set up as the window does it.
#pragma once

#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

// Full scale of the float samples: a full-scale sine has this amplitude.
inline constexpr double kFullScaleSine = 2147483647.0;

// A sine of amplitude `amplitude` at freqHz sampled at rateHz, `count` float samples.
inline std::vector<float> SineSamples(std::size_t count, double freqHz, double rateHz,
                                      double amplitude = kFullScaleSine, double phase = 0.3) {
    std::vector<float> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        // Whole cycles are dropped before the sine: long blocks keep small arguments.
        const double cycles = freqHz * static_cast<double>(i) / rateHz;
        out[i] = static_cast<float>(
            amplitude * std::sin(2.0 * std::numbers::pi * (cycles - std::floor(cycles)) + phase));
    }
    return out;
}

// State, components and pipeline for one sample length N, rate and band, with meters that
// follow every block (ETime 0) unless the test changes MeterAlpha.
struct CoreTestRig {
    MeasurementState state;
    TDSXFastFourier fft;
    std::unique_ptr<TTBDSP> dsp = std::make_unique<TTBDSP>();
    TPipelineComponents parts;
    TBlockPipeline pipeline{state, parts};
    TDataBufferI int32Buffer;
    TDataBufferF outBuffer;

    CoreTestRig(int n, double rateHz, int cutOnHz, int cutOffHz, int windowKind = 2) {
        state.BlockLength = n;
        state.SampleRate = rateHz;
        state.SubBlocks = std::max(2048 / n, 1);
        state.LowerBin = static_cast<int>(std::nearbyint(cutOnHz / rateHz * n));
        state.UpperBin = static_cast<int>(std::nearbyint(cutOffHz / rateHz * n));
        state.Controls.TrackL = cutOnHz;
        state.Controls.TrackU = cutOffHz;
        state.FilterIn.assign(static_cast<std::size_t>(n), 0.0);
        state.FilterOut.assign(static_cast<std::size_t>(n), 0.0);
        dsp->SetAmplification(1.0);
        dsp->SetFilterType(BandPass);
        dsp->SetSamplesPerSecond(static_cast<int>(std::nearbyint(rateHz)));
        dsp->SetStartFrequency(cutOnHz);
        dsp->SetStopFrequency(cutOffHz);
        dsp->SetKernelLength(n - 1);
        dsp->SetFFT_Order(static_cast<int>(std::log2(n)) + 1);
        dsp->CreateFilter();
        parts.FFT = &fft;
        parts.DSP = dsp.get();
        state.WindowKind = windowKind;
        CalibrateWindow(state, fft);
        ETimeChange(state, "0", dsp->SamplesPerSecond());
        AllocateBlock(outBuffer, 2, 2048);
    }

    // Samples of one engine block: max(N, 2048).
    std::size_t EngineBlockLength() const {
        return static_cast<std::size_t>(state.SubBlocks) *
               static_cast<std::size_t>(state.BlockLength);
    }

    // One engine block with these two channels.
    void Feed(const std::vector<float>& left, const std::vector<float>& right) {
        TDataBufferF in{left, right};
        pipeline.AStreamData(nullptr, int32Buffer, in, outBuffer);
    }
    void Feed(const std::vector<float>& both) { Feed(both, both); }
};
