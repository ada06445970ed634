// Benchmarks of the block pipeline: cost per second of 192 ksps stereo audio, longest stall.
#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <ctime>
#include <deque>
#include <functional>
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

// CPU time of this thread in ms (other processes on a shared machine do not count).
double ThreadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// Pipeline time per second of audio: "cpu_s_per_audio_s" (1.0 = one core busy) and the thread's
// CPU time in percent of the audio time, "percent_of_core" (the goal is at most 0.5). Second
// argument: 1 lean engine blocks (the default), 0 every processed block shown in full (texts,
// reduction) as before.
void BM_PipelinePerAudioSecond(benchmark::State& bench) {
    PipelineBench rig(static_cast<int>(bench.range(0)));
    rig.pipeline.SetLean(bench.range(1) != 0);
    double cpuMs = 0.0;
    for (auto _ : bench) {
        const double start = ThreadMs();
        rig.pipeline.AStreamData(nullptr, rig.int32Buffer, rig.inBuffer, rig.outBuffer);
        cpuMs += ThreadMs() - start;
        benchmark::DoNotOptimize(rig.state.SNLevel);
    }
    const double audio = rig.BlockSeconds() * static_cast<double>(bench.iterations());
    bench.counters["cpu_s_per_audio_s"] =
        benchmark::Counter(audio, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    bench.counters["percent_of_core"] = 100.0 * cpuMs / 1000.0 / audio;
    if (!rig.state.StreamErrors.FirstError.empty()) {
        bench.SkipWithError(rig.state.StreamErrors.FirstError.c_str());
    }
}
BENCHMARK(BM_PipelinePerAudioSecond)
    ->ArgsProduct({{64, 256, 1024, 4096, 16384, 65536, 262144, 1 << 20}, {0, 1}})
    ->ArgNames({"N", "lean"})
    ->Unit(benchmark::kMillisecond);

// Longest single AStreamData call at N = 1048576 (one engine block of 5.46 s of audio) when the
// whole block runs in one go, as the measure command runs it: "longest_ms".
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

// The main thread's longest uninterrupted stretch per engine block at N = 1048576 as the window
// runs it: AStreamData, then each posted slice as its own event. "longest_slice_ms" is the
// longest of all (the goal is at most 100), "slice1_ms" ... "slice3_ms" the longest of each
// slice, measured in thread CPU time so that other processes on the machine do not count.
void BM_LongestSliceAtLargestLength(benchmark::State& bench) {
    PipelineBench rig(1 << 20);
    std::deque<std::function<void()>> posted;
    rig.parts.PostSlice = [&posted](std::function<void()> task) {
        posted.push_back(std::move(task));
    };
    std::array<double, 3> longest{};
    for (auto _ : bench) {
        double start = ThreadMs();
        rig.pipeline.AStreamData(nullptr, rig.int32Buffer, rig.inBuffer, rig.outBuffer);
        longest[0] = std::max(longest[0], ThreadMs() - start);
        for (std::size_t slice = 1; !posted.empty(); ++slice) {
            auto task = std::move(posted.front());
            posted.pop_front();
            start = ThreadMs();
            task();
            const double took = ThreadMs() - start;
            longest[std::min<std::size_t>(slice, 2)] =
                std::max(longest[std::min<std::size_t>(slice, 2)], took);
        }
        benchmark::DoNotOptimize(rig.state.SNLevel);
    }
    bench.counters["slice1_ms"] = longest[0];
    bench.counters["slice2_ms"] = longest[1];
    bench.counters["slice3_ms"] = longest[2];
    bench.counters["longest_slice_ms"] = *std::max_element(longest.begin(), longest.end());
    if (rig.state.Texts.RepaintRequests != static_cast<std::uint64_t>(bench.iterations())) {
        bench.SkipWithError("a sliced engine block did not complete");
    }
}
BENCHMARK(BM_LongestSliceAtLargestLength)->Iterations(6)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
