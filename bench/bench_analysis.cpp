// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of the spectrogram, octave and response analysers per second of 192 ksps audio, beside FFTW.
#include "analysis/OctaveAnalyser.h"
#include "analysis/ResponseConsumer.h"
#include "analysis/Spectrogram.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/WindowFunctions.h"

#include <benchmark/benchmark.h>

#ifdef PS_HAVE_FFTW3
#include <fftw3.h>
#endif

#include <ctime>
#include <random>
#include <vector>

namespace {

constexpr double kRate = 192000.0;
constexpr double kFullScale = 2147483647.0;

double ThreadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// The windowed bins of a few blocks of noise at a third of full scale, as the pipeline hands
// them on (the analysers cost the same for any signal).
std::vector<std::vector<TComplex>> NoiseBins(int n, int blocks) {
    TDSXFastFourier fft;
    fft.SetNumSamples(n);
    std::mt19937 random(7);
    std::normal_distribution<double> gauss(0.0, kFullScale / 3.0);
    std::vector<std::vector<TComplex>> all;
    for (int b = 0; b < blocks; ++b) {
        auto input = fft.RealInput();
        for (int i = 0; i < n; ++i)
            input[static_cast<std::size_t>(i)] = WindowBlackman2(i, n - 1) * gauss(random);
        fft.RealFourierTransformLowerHalf();
        all.emplace_back(fft.ComplexOutput().begin(), fft.ComplexOutput().begin() + n / 2);
    }
    return all;
}

#ifdef PS_HAVE_FFTW3
// FFTW's real transform of one block of N: the floor any per-block analysis stands on.
class FftwFloor {
public:
    explicit FftwFloor(int n) {
        in_ = fftw_alloc_real(static_cast<std::size_t>(n));
        out_ = fftw_alloc_complex(static_cast<std::size_t>(n / 2 + 1));
        plan_ = fftw_plan_dft_r2c_1d(n, in_, out_, FFTW_MEASURE);
        for (int i = 0; i < n; ++i)
            in_[i] = (i * 7919 % 101) - 50.0;
    }
    ~FftwFloor() {
        fftw_destroy_plan(plan_);
        fftw_free(in_);
        fftw_free(out_);
    }
    FftwFloor(const FftwFloor&) = delete;
    FftwFloor& operator=(const FftwFloor&) = delete;
    void Run() { fftw_execute(plan_); }

private:
    double* in_ = nullptr;
    fftw_complex* out_ = nullptr;
    fftw_plan plan_ = nullptr;
};
#endif

// Runs `process` on the bins of one block per iteration and reports the thread's CPU time in
// percent of the audio time ("percent_of_core"; the goal is at most 0.5) and, with FFTW in the
// build, "fftw_floor_percent": FFTW's transform of the same blocks in the same run.
template <class Process> void PerAudioSecond(benchmark::State& bench, int n, Process process) {
    const auto blocks = NoiseBins(n, 8);
#ifdef PS_HAVE_FFTW3
    FftwFloor floor(n);
    double fftwMs = 0.0;
#endif
    double cpuMs = 0.0;
    std::size_t k = 0;
    for (auto _ : bench) {
        const double start = ThreadMs();
        process(blocks[k++ % blocks.size()]);
        cpuMs += ThreadMs() - start;
#ifdef PS_HAVE_FFTW3
        bench.PauseTiming();
        const double fftwStart = ThreadMs();
        floor.Run();
        fftwMs += ThreadMs() - fftwStart;
        bench.ResumeTiming();
#endif
    }
    const double audio = n / kRate * static_cast<double>(bench.iterations());
    bench.counters["percent_of_core"] = 100.0 * cpuMs / 1000.0 / audio;
#ifdef PS_HAVE_FFTW3
    bench.counters["fftw_floor_percent"] = 100.0 * fftwMs / 1000.0 / audio;
#endif
}

// The spectrogram at 192 ksps, one row per block or gathered over 40 ms (N = 64 to 65536) on
// a log axis 20 Hz ... 96 kHz.
void BM_SpectrogramPerAudioSecond(benchmark::State& bench) {
    const int n = static_cast<int>(bench.range(0));
    TSpectrogram spectrogram;
    spectrogram.SetAxis({20.0, kRate / 2.0, true});
    PerAudioSecond(bench, n, [&](const std::vector<TComplex>& bins) {
        spectrogram.Process(bins, kRate, n, kFullScale, 2);
        benchmark::DoNotOptimize(spectrogram.RowsAdded());
    });
}
BENCHMARK(BM_SpectrogramPerAudioSecond)->RangeMultiplier(4)->Range(64, 65536)->ArgName("N");

// The octave analyser at 192 ksps: 1/3 and 1/24 octave bands.
void BM_OctavePerAudioSecond(benchmark::State& bench) {
    const int n = static_cast<int>(bench.range(0));
    TOctaveAnalyser octave;
    octave.SetFraction(static_cast<int>(bench.range(1)));
    PerAudioSecond(bench, n, [&](const std::vector<TComplex>& bins) {
        octave.Process(bins, kRate, n, kFullScale, 2);
    });
    benchmark::DoNotOptimize(octave.Readings().Blocks);
}
BENCHMARK(BM_OctavePerAudioSecond)
    ->ArgsProduct({{64, 1024, 4096, 65536}, {3, 24}})
    ->ArgNames({"N", "B"});

// The response analyser at 192 ksps stereo: each processed block of N samples of two inputs
// (noise, and the same noise 37 samples later) into the rings, aligned and averaged over 16
// blocks; the delay search once at the start and the residual delay after each average count
// in. The readings themselves are taken at most 30 times a second (see
// BM_ResponseReadingsPerSecond).
void BM_ResponsePerAudioSecond(benchmark::State& bench) {
    const int n = static_cast<int>(bench.range(0));
    const auto count = static_cast<std::size_t>(n);
    std::mt19937 random(11);
    std::normal_distribution<double> gauss(0.0, kFullScale / 3.0);
    std::vector<float> noise(count * 9 + 37);
    for (float& v : noise)
        v = static_cast<float>(gauss(random));
    TResponseConsumer consumer;
    consumer.SetActive(true);
    std::size_t block = 0;
    PerAudioSecond(bench, n, [&](const std::vector<TComplex>&) {
        TProcessedBlockView view;
        view.SampleRate = kRate;
        view.N = n;
        const std::size_t at = (block++ % 8) * count;
        view.Left = std::span<const float>(noise).subspan(at + 37, count);
        view.Right = std::span<const float>(noise).subspan(at, count);
        consumer.ProcessedBlock(view);
    });
    benchmark::DoNotOptimize(consumer.Alignment());
}
BENCHMARK(BM_ResponsePerAudioSecond)->Arg(1024)->Arg(4096)->Arg(65536)->ArgName("N");

// One evaluation of the response's readings (magnitude, phase, group delay, coherence, delay;
// 1/3-octave smoothing) at N, in percent of a core when done 30 times a second.
void BM_ResponseReadingsPerSecond(benchmark::State& bench) {
    const int n = static_cast<int>(bench.range(0));
    const auto count = static_cast<std::size_t>(n);
    std::mt19937 random(13);
    std::normal_distribution<double> gauss(0.0, 0.3);
    std::vector<double> x(count), y(count);
    TResponseAnalyser analyser;
    analyser.Configure(kRate, n);
    TResponseSettings settings;
    settings.Smoothing = 3;
    analyser.SetSettings(settings);
    for (int b = 0; b < 4; ++b) {
        for (std::size_t i = 0; i < count; ++i)
            y[i] = 0.5 * (x[i] = gauss(random));
        analyser.Process(x, y, 0);
    }
    double cpuMs = 0.0;
    for (auto _ : bench) {
        analyser.SetSettings(settings); // makes the readings stale
        const double start = ThreadMs();
        benchmark::DoNotOptimize(analyser.Readings().DelaySamples);
        cpuMs += ThreadMs() - start;
    }
    bench.counters["percent_of_core_at_30_per_s"] =
        100.0 * cpuMs / 1000.0 / static_cast<double>(bench.iterations()) * 30.0;
}
BENCHMARK(BM_ResponseReadingsPerSecond)->Arg(4096)->Arg(65536)->ArgName("N");

} // namespace

BENCHMARK_MAIN();
