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
