// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark of the distortion analyser beside the block pipeline that feeds it: its cost per
// block in percent of the pipeline's own, and in percent of a core per second of 192 ksps.
#include "PipelineRig.h"
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

using benchrig::kRate;
using benchrig::ThreadMs;
using Rig = benchrig::PipelineBench;

// Times the consumer it wraps, in CPU ms of this thread.
struct TTimedConsumer final : TBlockConsumer {
    explicit TTimedConsumer(TBlockConsumer& wrapped) : inner(wrapped) {}
    bool Active() const override { return inner.Active(); }
    void Restart() override { inner.Restart(); }
    void EngineBlock(const TEngineBlockView& block) override {
        const double start = ThreadMs();
        inner.EngineBlock(block);
        ms += ThreadMs() - start;
    }
    void ProcessedBlock(const TProcessedBlockView& block) override {
        const double start = ThreadMs();
        inner.ProcessedBlock(block);
        ms += ThreadMs() - start;
    }
    TBlockConsumer& inner;
    double ms = 0.0;
};

// The analyser fed by the pipeline as the window feeds it, per processed block of N samples:
// "pipeline_ms" (the pipeline alone, without the analyser), "distortion_ms" (the analyser's
// share of a block: channel selection, window, transform and power average, plus one
// evaluation of the readings per engine block, which the window does at most 30 times a second
// and phonoscale-measure once per engine block; "readings_ms" is that evaluation alone),
// "percent_of_pipeline" (the goal at N = 65536: below 10) and "percent_of_core" (the analyser's CPU
// time per second of 192 ksps audio). Second argument: 1 free mode (the generator off), 0 coherent
// (the generator's tone, 3 kHz, falls on a bin).
void BM_DistortionBesidePipeline(benchmark::State& bench) {
    const int n = static_cast<int>(bench.range(0));
    const bool free = bench.range(1) != 0;
    Rig rig(n);
    rig.state.Generator.CheckOut = !free;
    rig.state.Generator.TrackF = 6; // 192000 / 64 = 3000 Hz
    TDistortionConsumer consumer;
    consumer.SetActive(true);
    TDistortionSettings settings;
    settings.Averages = 16;
    consumer.Analyser().SetSettings(settings);
    TTimedConsumer timed(consumer);
    rig.parts.Consumers = {&timed};
    // One engine block first: the analyser configures itself (window, transform tables) on it.
    rig.pipeline.AStreamData(nullptr, rig.int32Buffer, rig.inBuffer, rig.outBuffer);
    timed.ms = 0.0;
    const double blocks = rig.state.SubBlocks;
    double totalMs = 0.0;
    double readingsMs = 0.0;
    for (auto _ : bench) {
        double start = ThreadMs();
        rig.pipeline.AStreamData(nullptr, rig.int32Buffer, rig.inBuffer, rig.outBuffer);
        const double processed = ThreadMs();
        benchmark::DoNotOptimize(consumer.Analyser().Readings().ThdnDb);
        const double end = ThreadMs();
        totalMs += processed - start;
        readingsMs += end - processed;
    }
    if (consumer.Analyser().Coherent() == free)
        bench.SkipWithError("the analyser ran in the other mode");
    const double iterations = static_cast<double>(bench.iterations());
    const double pipelineMs = totalMs - timed.ms;
    const double distortionMs = timed.ms + readingsMs;
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
