// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of the block pipeline: cost per second of 192 ksps stereo audio, longest stall.
#include "PipelineRig.h"
#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <benchmark/benchmark.h>

#ifdef PS_HAVE_FFTW3
#include <fftw3.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

using benchrig::kRate;
using benchrig::PipelineBench;
using benchrig::ThreadMs;

#ifdef PS_HAVE_FFTW3

// The transforms of one processed block of N samples done by FFTW alone (FFTW_MEASURE plans):
// the spectrum's real-to-complex transform of N points, and the band filter's overlap-add with
// an FFT of 2N points (r2c of the zero-padded block, product with the filter's N + 1 response
// bins, c2r, scaling and overlap-add), as BM_VsFftw_BandFilter in bench_dsp measures it.
class FftwBlockFloor {
public:
    FftwBlockFloor(const PipelineBench& rig, int n)
        : n_(static_cast<std::size_t>(n)), spectrumIn_(fftw_alloc_real(n_)),
          spectrumOut_(fftw_alloc_complex(n_ / 2 + 1)), time_(fftw_alloc_real(2 * n_)),
          bins_(fftw_alloc_complex(n_ + 1)), response_(n_ + 1), overlap_(2 * n_, 0.0), output_(n_) {
        spectrum_ = fftw_plan_dft_r2c_1d(n, spectrumIn_, spectrumOut_, FFTW_MEASURE);
        forward_ = fftw_plan_dft_r2c_1d(2 * n, time_, bins_, FFTW_MEASURE);
        inverse_ = fftw_plan_dft_c2r_1d(2 * n, bins_, time_, FFTW_MEASURE);
        const auto response = rig.dsp.Response();
        for (std::size_t k = 0; k < response_.size() && k < response.size(); ++k) {
            response_[k] = {response[k].Re, response[k].Im};
        }
        block_.assign(rig.inBuffer[0].begin(),
                      rig.inBuffer[0].begin() + static_cast<std::ptrdiff_t>(n_));
    }
    ~FftwBlockFloor() {
        fftw_destroy_plan(inverse_);
        fftw_destroy_plan(forward_);
        fftw_destroy_plan(spectrum_);
        fftw_free(bins_);
        fftw_free(time_);
        fftw_free(spectrumOut_);
        fftw_free(spectrumIn_);
    }
    FftwBlockFloor(const FftwBlockFloor&) = delete;
    FftwBlockFloor& operator=(const FftwBlockFloor&) = delete;

    void Run() {
        std::copy(block_.begin(), block_.end(), spectrumIn_);
        fftw_execute(spectrum_);
        std::copy(block_.begin(), block_.end(), time_);
        std::fill(time_ + n_, time_ + 2 * n_, 0.0);
        fftw_execute(forward_);
        for (std::size_t k = 0; k <= n_; ++k) {
            const std::complex<double> p =
                std::complex<double>(bins_[k][0], bins_[k][1]) * response_[k];
            bins_[k][0] = p.real();
            bins_[k][1] = p.imag();
        }
        fftw_execute(inverse_);
        const double scale = 1.0 / static_cast<double>(2 * n_);
        for (std::size_t i = 0; i < n_; ++i) {
            output_[i] = time_[i] * scale + overlap_[i];
        }
        for (std::size_t j = 0; j < n_; ++j) {
            overlap_[j] = time_[j + n_] * scale + overlap_[j + n_];
        }
        std::fill(overlap_.begin() + static_cast<std::ptrdiff_t>(n_), overlap_.end(), 0.0);
        benchmark::DoNotOptimize(spectrumOut_);
        benchmark::DoNotOptimize(output_.data());
        benchmark::ClobberMemory();
    }

private:
    std::size_t n_;
    double* spectrumIn_;
    fftw_complex* spectrumOut_;
    double* time_;
    fftw_complex* bins_;
    fftw_plan spectrum_{};
    fftw_plan forward_{};
    fftw_plan inverse_{};
    std::vector<std::complex<double>> response_;
    std::vector<double> overlap_;
    std::vector<double> output_;
    std::vector<double> block_;
};

#endif

// Pipeline time per second of audio: "cpu_s_per_audio_s" (1.0 = one core busy) and the thread's
// CPU time in percent of the audio time, "percent_of_core" (the goal is at most 0.5). Second
// argument: 1 lean engine blocks (the default), 0 every processed block shown in full (texts,
// reduction) as before. With FFTW in the build, "fftw_floor_percent" is the same figure for
// FFTW alone doing the transforms of the engine block's SubBlocks processed blocks (see
// FftwBlockFloor), timed in the same loop right after every eighth engine block (outside the
// benchmark's timer): where it exceeds 0.5 the goal is out of reach of the transforms alone.
void BM_PipelinePerAudioSecond(benchmark::State& bench) {
    const int n = static_cast<int>(bench.range(0));
    PipelineBench rig(n);
    rig.pipeline.SetLean(bench.range(1) != 0);
#ifdef PS_HAVE_FFTW3
    FftwBlockFloor floor(rig, n);
    constexpr std::int64_t kFloorEvery = 8;
    std::int64_t engineBlocks = 0;
    std::int64_t floorRuns = 0;
    double fftwMs = 0.0;
#endif
    double cpuMs = 0.0;
    for (auto _ : bench) {
        const double start = ThreadMs();
        rig.pipeline.AStreamData(nullptr, rig.int32Buffer, rig.inBuffer, rig.outBuffer);
        cpuMs += ThreadMs() - start;
        benchmark::DoNotOptimize(rig.state.SNLevel);
#ifdef PS_HAVE_FFTW3
        // After every kFloorEvery-th engine block only, so that FFTW's use of the caches
        // barely touches the pipeline's figure.
        if (engineBlocks++ % kFloorEvery == 0) {
            bench.PauseTiming(); // the benchmark's own time stays the pipeline's
            const double fftwStart = ThreadMs();
            for (int s = 0; s < rig.state.SubBlocks; ++s) {
                floor.Run();
            }
            fftwMs += ThreadMs() - fftwStart;
            ++floorRuns;
            bench.ResumeTiming();
        }
#endif
    }
    const double audio = rig.BlockSeconds() * static_cast<double>(bench.iterations());
    bench.counters["cpu_s_per_audio_s"] =
        benchmark::Counter(audio, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    bench.counters["percent_of_core"] = 100.0 * cpuMs / 1000.0 / audio;
#ifdef PS_HAVE_FFTW3
    const double floorAudio = rig.BlockSeconds() * static_cast<double>(floorRuns);
    bench.counters["fftw_floor_percent"] =
        floorRuns > 0 ? 100.0 * fftwMs / 1000.0 / floorAudio : 0.0;
#endif
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

// The check for samples that are not finite numbers, which every processed block passes before
// it is analysed (both rows of N samples; "Left+Right" also forms their sum).
void BM_BlockIsFinite(benchmark::State& bench) {
    const auto n = static_cast<std::size_t>(bench.range(0));
    const int channel = static_cast<int>(bench.range(1));
    std::vector<float> left(n, 0.25f);
    std::vector<float> right(n, -0.5f);
    for (auto _ : bench) {
        benchmark::DoNotOptimize(BlockIsFinite(channel, left, right));
    }
    bench.SetItemsProcessed(static_cast<std::int64_t>(bench.iterations()) *
                            static_cast<std::int64_t>(n));
}
BENCHMARK(BM_BlockIsFinite)
    ->ArgsProduct({benchmark::CreateRange(64, 1 << 20, 16), {0, 2}})
    ->ArgNames({"N", "channel"});

BENCHMARK_MAIN();
