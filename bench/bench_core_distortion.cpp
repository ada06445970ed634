// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark of the distortion analyser beside the block pipeline that feeds it: its cost per
// block in percent of the pipeline's own, and in percent of a core per second of 192 ksps.
#include "analysis/DistortionConsumer.h"
#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numbers>
#include <random>

namespace {

constexpr double kRate = 192000.0;

// CPU time of this thread in ms.
double ThreadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// The window's pipeline at 192 ksps and sample length n (band 20 Hz ... 20 kHz, Blackman²,
// sine output on, log-axis reduction to 1000 points), fed a 997 Hz tone with noise.
struct Rig {
    MeasurementState state;
    TDSXFastFourier fft;
    TTBDSP dsp;
    TPipelineComponents parts;
    TBlockPipeline pipeline{state, parts};
    TDataBufferI int32Buffer;
    TDataBufferF inBuffer;
    TDataBufferF outBuffer;

    explicit Rig(int n) {
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
        const auto length = static_cast<std::size_t>(state.SubBlocks) * static_cast<std::size_t>(n);
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
};

// Per processed block of N samples: "pipeline_ms" (the pipeline alone, per processed block),
// "distortion_ms" (the analyser's share of a block: channel selection, window, transform and
// power average, plus one evaluation of the readings and the residual, which the window does
// at most 30 times a second and phonoscale-measure once per engine block; "readings_ms" is
// that evaluation alone),
// "percent_of_pipeline" (the goal at N = 65536: below 10) and "percent_of_core" (the analyser's
// CPU time per second of 192 ksps audio). Second argument: 1 free mode, 0 coherent (the
// generator's tone falls on a bin).
void BM_DistortionBesidePipeline(benchmark::State& bench) {
    const int n = static_cast<int>(bench.range(0));
    const bool free = bench.range(1) != 0;
    Rig rig(n);
    TDistortionConsumer consumer;
    consumer.SetActive(true);
    TDistortionSettings settings;
    settings.Averages = 16;
    consumer.Analyser().SetSettings(settings);
    TProcessedBlockView view;
    view.SampleRate = kRate;
    view.FullScale = rig.state.FullScale;
    view.N = n;
    view.Left = std::span<const float>(rig.inBuffer[0]).first(static_cast<std::size_t>(n));
    view.Right = std::span<const float>(rig.inBuffer[1]).first(static_cast<std::size_t>(n));
    view.GeneratorHz = free ? 0.0 : kRate / 64.0;
    const double blocks = rig.state.SubBlocks;
    double pipelineMs = 0.0;
    double distortionMs = 0.0;
    double readingsMs = 0.0;
    for (auto _ : bench) {
        double start = ThreadMs();
        rig.pipeline.AStreamData(nullptr, rig.int32Buffer, rig.inBuffer, rig.outBuffer);
        pipelineMs += ThreadMs() - start;
        start = ThreadMs();
        for (int s = 0; s < rig.state.SubBlocks; ++s)
            consumer.ProcessedBlock(view);
        const double processed = ThreadMs();
        benchmark::DoNotOptimize(consumer.Analyser().Readings().ThdnDb);
        const double end = ThreadMs();
        distortionMs += end - start;
        readingsMs += end - processed;
    }
    const double iterations = static_cast<double>(bench.iterations());
    bench.counters["pipeline_ms"] = pipelineMs / iterations / blocks;
    bench.counters["distortion_ms"] = distortionMs / iterations / blocks;
    bench.counters["readings_ms"] = readingsMs / iterations;
    bench.counters["percent_of_pipeline"] = 100.0 * distortionMs / pipelineMs;
    const double audio = iterations * blocks * n / kRate;
    bench.counters["percent_of_core"] = 100.0 * distortionMs / 1000.0 / audio;
}
BENCHMARK(BM_DistortionBesidePipeline)
    ->ArgsProduct({{1024, 16384, 65536, 1 << 20}, {1, 0}})
    ->ArgNames({"N", "free"})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
