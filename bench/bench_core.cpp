// Benchmarks of the block pipeline: cost per second of 192 ksps stereo audio, longest block.
#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

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

// Pipeline time per second of audio: the "cpu_s_per_audio_s" counter (1.0 = one core busy).
void BM_PipelinePerAudioSecond(benchmark::State& bench) {
    PipelineBench rig(static_cast<int>(bench.range(0)));
    for (auto _ : bench) {
        rig.pipeline.AStreamData(nullptr, rig.int32Buffer, rig.inBuffer, rig.outBuffer);
        benchmark::DoNotOptimize(rig.state.SNLevel);
    }
    bench.counters["cpu_s_per_audio_s"] =
        benchmark::Counter(rig.BlockSeconds() * static_cast<double>(bench.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (!rig.state.StreamErrors.FirstError.empty()) {
        bench.SkipWithError(rig.state.StreamErrors.FirstError.c_str());
    }
}
BENCHMARK(BM_PipelinePerAudioSecond)
    ->Arg(64)
    ->Arg(1024)
    ->Arg(65536)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond);

// Longest single AStreamData call at N = 1048576 (one engine block of 5.46 s of audio).
void BM_LongestBlockAtLargestLength(benchmark::State& bench) {
    PipelineBench rig(1 << 20);
    double longest = 0.0;
    for (auto _ : bench) {
        const auto start = std::chrono::steady_clock::now();
        rig.pipeline.AStreamData(nullptr, rig.int32Buffer, rig.inBuffer, rig.outBuffer);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        longest = std::max(longest, took.count());
        benchmark::DoNotOptimize(rig.state.SNLevel);
    }
    bench.counters["longest_ms"] = longest;
}
BENCHMARK(BM_LongestBlockAtLargestLength)->Iterations(6)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
