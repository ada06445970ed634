// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of keeping the spectrogram's picture while its tab is shown: new rows coloured in.
#include "ui/spectrogram/SpectrogramPicture.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <random>
#include <vector>

namespace {

double ThreadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// A 1000 x 500 picture (newest row at the top or at the right) updated at the screen's pace
// while rows arrive at the finest interval, 25 rows a second (N = 4096 at 192 ksps gathered
// over 40 ms): "percent_of_core" of one core per second of audio (the goal is at most 0.5).
void BM_SpectrogramPicturePerAudioSecond(benchmark::State& bench) {
    constexpr double rate = 192000.0;
    constexpr int n = 4096;
    TSpectrogram history;
    history.SetAxis({20.0, rate / 2.0, true});
    std::mt19937 random(3);
    std::uniform_real_distribution<double> level(1e3, 1e12);
    std::vector<TComplex> bins(n / 2);
    TSpectrogramView view;
    view.Newest = bench.range(0) != 0 ? TNewestAt::Right : TNewestAt::Top;
    view.Width = 1000;
    view.Height = 500;
    view.Axis = history.Axis();
    TSpectrogramPicture picture;
    picture.Update(history, view);
    const int blocksPerRow = history.BlocksPerRow(rate, n);
    double cpuMs = 0.0;
    for (auto _ : bench) {
        bench.PauseTiming();
        for (int b = 0; b < blocksPerRow; ++b) {
            for (auto& bin : bins)
                bin = {level(random), 0.0};
            history.Process(bins, rate, n, 2147483647.0, 2);
        }
        bench.ResumeTiming();
        const double start = ThreadMs();
        picture.Update(history, view);
        cpuMs += ThreadMs() - start;
        benchmark::DoNotOptimize(picture.Buffer().data());
    }
    const double audio = blocksPerRow * n / rate * static_cast<double>(bench.iterations());
    bench.counters["percent_of_core"] = 100.0 * cpuMs / 1000.0 / audio;
}
BENCHMARK(BM_SpectrogramPicturePerAudioSecond)->Arg(0)->Arg(1)->ArgName("right");

} // namespace

BENCHMARK_MAIN();
