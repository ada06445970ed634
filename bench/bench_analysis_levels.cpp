// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of the sound level meter and the loudness meter per second of stereo audio.
#include "analysis/LoudnessMeter.h"
#include "analysis/SoundLevelMeter.h"

#include <benchmark/benchmark.h>
#include <ebur128.h>

#ifdef PS_HAVE_FFTW3
#include <fftw3.h>
#endif

#include <ctime>
#include <random>
#include <vector>

namespace {

constexpr double kFullScale = 2147483647.0;
constexpr std::size_t kFrames = 8192; // one engine block

double ThreadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// An engine block of noise at a third of full scale on both channels.
struct TNoiseBlock {
    std::vector<float> Left, Right;
    TEngineBlockView View;
    explicit TNoiseBlock(double rate) : Left(kFrames), Right(kFrames) {
        std::mt19937 random(7);
        std::normal_distribution<float> gauss(0.0F, static_cast<float>(kFullScale / 3.0));
        for (std::size_t i = 0; i < kFrames; ++i) {
            Left[i] = gauss(random);
            Right[i] = gauss(random);
        }
        View.SampleRate = rate;
        View.FullScale = kFullScale;
        View.Left = Left;
        View.Right = Right;
    }
};

// Runs the consumer on one engine block per iteration and reports the thread's CPU time in
// percent of the audio time ("percent_of_core"; the goal is below 0.3 at 192 ksps stereo).
// With FFTW in the build, "fftw_floor_percent" is FFTW's real transform of the same frames
// (both channels, in blocks of 8192) in the same run, as a yardstick.
void PerAudioSecond(benchmark::State& bench, TBlockConsumer& consumer, double rate) {
    TNoiseBlock block(rate);
#ifdef PS_HAVE_FFTW3
    double* in = fftw_alloc_real(kFrames);
    fftw_complex* out = fftw_alloc_complex(kFrames / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(kFrames), in, out, FFTW_MEASURE);
    for (std::size_t i = 0; i < kFrames; ++i)
        in[i] = block.Left[i];
    double fftwMs = 0.0;
#endif
    double cpuMs = 0.0;
    for (auto _ : bench) {
        const double start = ThreadMs();
        consumer.EngineBlock(block.View);
        cpuMs += ThreadMs() - start;
#ifdef PS_HAVE_FFTW3
        bench.PauseTiming();
        const double fftwStart = ThreadMs();
        fftw_execute(plan);
        fftw_execute(plan);
        fftwMs += ThreadMs() - fftwStart;
        bench.ResumeTiming();
#endif
    }
    const double audio =
        static_cast<double>(kFrames) / rate * static_cast<double>(bench.iterations());
    bench.counters["percent_of_core"] = 100.0 * cpuMs / 1000.0 / audio;
#ifdef PS_HAVE_FFTW3
    bench.counters["fftw_floor_percent"] = 100.0 * fftwMs / 1000.0 / audio;
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
#endif
}

// The sound level meter, A (C for the peak besides), left channel, at 48 ... 192 ksps.
void BM_SoundLevelMeterPerAudioSecond(benchmark::State& bench) {
    TSoundLevelMeter meter;
    PerAudioSecond(bench, meter, static_cast<double>(bench.range(0)));
    benchmark::DoNotOptimize(meter.Readings().LeqDb);
}
BENCHMARK(BM_SoundLevelMeterPerAudioSecond)->Arg(48000)->Arg(96000)->Arg(192000)->ArgName("rate");

// The loudness meter, both channels, at 48 ... 192 ksps.
void BM_LoudnessMeterPerAudioSecond(benchmark::State& bench) {
    TLoudnessMeter meter;
    PerAudioSecond(bench, meter, static_cast<double>(bench.range(0)));
    benchmark::DoNotOptimize(meter.Readings().MomentaryLufs);
}
BENCHMARK(BM_LoudnessMeterPerAudioSecond)->Arg(48000)->Arg(96000)->Arg(192000)->ArgName("rate");

// The loudness library alone on the same frames (interleaved once beforehand), in the modes the
// meter asks for: the part of the meter's cost that is the library's.
void BM_LoudnessLibraryPerAudioSecond(benchmark::State& bench) {
    const double rate = static_cast<double>(bench.range(0));
    TNoiseBlock block(rate);
    std::vector<double> interleaved(2 * kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) {
        interleaved[2 * i] = block.Left[i] / kFullScale;
        interleaved[2 * i + 1] = block.Right[i] / kFullScale;
    }
    ebur128_state* st =
        ebur128_init(2, static_cast<unsigned long>(rate),
                     EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA |
                         EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_TRUE_PEAK);
    double cpuMs = 0.0;
    for (auto _ : bench) {
        const double start = ThreadMs();
        ebur128_add_frames_double(st, interleaved.data(), kFrames);
        cpuMs += ThreadMs() - start;
    }
    ebur128_destroy(&st);
    const double audio =
        static_cast<double>(kFrames) / rate * static_cast<double>(bench.iterations());
    bench.counters["percent_of_core"] = 100.0 * cpuMs / 1000.0 / audio;
}
BENCHMARK(BM_LoudnessLibraryPerAudioSecond)->Arg(48000)->Arg(96000)->Arg(192000)->ArgName("rate");

} // namespace

BENCHMARK_MAIN();
