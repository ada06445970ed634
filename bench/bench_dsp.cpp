// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of the FFT component and the band filter, with FFTW3 as the yardstick when present.
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <complex>
#include <random>
#include <vector>

#ifdef PS_HAVE_FFTW3
#include <fftw3.h>
#endif

namespace {

std::vector<double> Noise(std::size_t n) {
    std::mt19937 gen(1);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x)
        v = dist(gen);
    return x;
}

// One real forward transform of N points.
void BM_RealFourierTransform(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    TDSXFastFourier fft;
    fft.SetNumSamples(n);
    const auto x = Noise(static_cast<std::size_t>(n));
    std::copy(x.begin(), x.end(), fft.RealInput().begin());
    for (auto _ : state) {
        fft.RealFourierTransform();
        benchmark::DoNotOptimize(fft.ComplexOutput().data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RealFourierTransform)->RangeMultiplier(2)->Range(64, 1 << 20);

// One call of Filter on a block of N/2 samples with K = N/2 - 1 taps and an FFT of N points, as
// the pipeline configures it.
void BM_BandFilter(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const int block = n / 2;
    TTBDSP filter;
    filter.SetAmplification(1.0);
    filter.SetFilterType(BandPass);
    filter.SetSamplesPerSecond(48000);
    filter.SetStartFrequency(300.0);
    filter.SetStopFrequency(3400.0);
    filter.SetKernelLength(block - 1);
    filter.SetFFT_Order(std::countr_zero(static_cast<unsigned>(n)));
    filter.CreateFilter();
    const auto x = Noise(static_cast<std::size_t>(block));
    std::vector<double> y(x.size());
    for (auto _ : state) {
        filter.Filter(x, y, block);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BandFilter)->RangeMultiplier(2)->Range(64, 1 << 20);

#ifdef PS_HAVE_FFTW3

// Runs `ours` and `theirs` in turn, each `reps` times per benchmark iteration, so that both see
// the same machine load. Reports the time of one call of each in nanoseconds from the fastest
// timed run ("ours_ns", "fftw_ns"; on a shared machine the fastest run is the one least
// disturbed by other processes) and their quotient "ratio" = ours / FFTW (the goal is at most
// 2); "ratio_mean" is the quotient of the mean times.
template <class Ours, class Theirs>
void RunPaired(benchmark::State& state, int n, Ours&& ours, Theirs&& theirs) {
    using Clock = std::chrono::steady_clock;
    const int reps = std::max(1, (1 << 13) / n); // a few microseconds or more per timed run
    Clock::duration oursTotal{};
    Clock::duration theirsTotal{};
    Clock::duration oursFastest = Clock::duration::max();
    Clock::duration theirsFastest = Clock::duration::max();
    ours(); // warm caches and pages
    theirs();
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int r = 0; r < reps; ++r) {
            ours();
        }
        const auto t1 = Clock::now();
        for (int r = 0; r < reps; ++r) {
            theirs();
        }
        const auto t2 = Clock::now();
        oursTotal += t1 - t0;
        theirsTotal += t2 - t1;
        oursFastest = std::min(oursFastest, t1 - t0);
        theirsFastest = std::min(theirsFastest, t2 - t1);
    }
    const auto ns = [](Clock::duration d) {
        return std::chrono::duration<double, std::nano>(d).count();
    };
    const double calls = static_cast<double>(state.iterations()) * reps;
    state.counters["ours_ns"] = ns(oursFastest) / reps;
    state.counters["fftw_ns"] = ns(theirsFastest) / reps;
    state.counters["ratio"] = ns(oursFastest) / ns(theirsFastest);
    state.counters["ratio_mean"] = (ns(oursTotal) / calls) / (ns(theirsTotal) / calls);
}

// Buffers of FFTW, released with the benchmark.
struct FftwBuffers {
    explicit FftwBuffers(std::size_t n)
        : real(fftw_alloc_real(n)), complexIn(fftw_alloc_complex(n)),
          complexOut(fftw_alloc_complex(n)) {}
    ~FftwBuffers() {
        fftw_free(complexOut);
        fftw_free(complexIn);
        fftw_free(real);
    }
    FftwBuffers(const FftwBuffers&) = delete;
    FftwBuffers& operator=(const FftwBuffers&) = delete;
    double* real;
    fftw_complex* complexIn;
    fftw_complex* complexOut;
};

// RealFourierTransform (all N bins) against FFTW's out-of-place real-to-complex transform
// (N/2 + 1 bins), FFTW_MEASURE.
void BM_VsFftw_RealForward(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::size_t size = static_cast<std::size_t>(n);
    TDSXFastFourier fft;
    fft.SetNumSamples(n);
    FftwBuffers fftw(size);
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, fftw.real, fftw.complexOut, FFTW_MEASURE);
    const auto x = Noise(size);
    std::copy(x.begin(), x.end(), fft.RealInput().begin());
    std::copy(x.begin(), x.end(), fftw.real);
    RunPaired(
        state, n,
        [&] {
            fft.RealFourierTransform();
            benchmark::DoNotOptimize(fft.ComplexOutput().data());
            benchmark::ClobberMemory();
        },
        [&] {
            fftw_execute(plan);
            benchmark::DoNotOptimize(fftw.complexOut);
            benchmark::ClobberMemory();
        });
    fftw_destroy_plan(plan);
}
BENCHMARK(BM_VsFftw_RealForward)->RangeMultiplier(2)->Range(64, 1 << 20);

// FourierTransform (sign > 0) or InverseFourierTransform (sign < 0, scaled by 1/N) against
// FFTW's out-of-place complex transform of the same exponent sign (unscaled), FFTW_MEASURE.
void PairedComplex(benchmark::State& state, int sign) {
    const int n = static_cast<int>(state.range(0));
    const std::size_t size = static_cast<std::size_t>(n);
    TDSXFastFourier fft;
    fft.SetNumSamples(n);
    FftwBuffers fftw(size);
    // FFTW_BACKWARD is FFTW's positive exponent, the one of FourierTransform.
    fftw_plan plan = fftw_plan_dft_1d(n, fftw.complexIn, fftw.complexOut,
                                      sign > 0 ? FFTW_BACKWARD : FFTW_FORWARD, FFTW_MEASURE);
    const auto re = Noise(size);
    const auto im = Noise(size + 1);
    for (std::size_t i = 0; i < size; ++i) {
        fft.ComplexInput()[i] = {re[i], im[i + 1]};
        fftw.complexIn[i][0] = re[i];
        fftw.complexIn[i][1] = im[i + 1];
    }
    RunPaired(
        state, n,
        [&] {
            if (sign > 0) {
                fft.FourierTransform();
            } else {
                fft.InverseFourierTransform();
            }
            benchmark::DoNotOptimize(fft.ComplexOutput().data());
            benchmark::ClobberMemory();
        },
        [&] {
            fftw_execute(plan);
            benchmark::DoNotOptimize(fftw.complexOut);
            benchmark::ClobberMemory();
        });
    fftw_destroy_plan(plan);
}

void BM_VsFftw_ComplexForward(benchmark::State& state) {
    PairedComplex(state, +1);
}
BENCHMARK(BM_VsFftw_ComplexForward)->RangeMultiplier(2)->Range(64, 1 << 20);

void BM_VsFftw_ComplexInverse(benchmark::State& state) {
    PairedComplex(state, -1);
}
BENCHMARK(BM_VsFftw_ComplexInverse)->RangeMultiplier(2)->Range(64, 1 << 20);

// Filter on blocks of N/2 samples with K = N/2 - 1 taps and an FFT of N points, as the pipeline
// configures it, against the same overlap-add built on FFTW: r2c of the zero-padded block,
// product with the kernel spectrum, c2r, scaling by 1/N and overlap-add (FFTW_MEASURE).
void BM_VsFftw_BandFilter(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::size_t size = static_cast<std::size_t>(n);
    const std::size_t bins = size / 2 + 1;
    const std::size_t block = size / 2;
    TTBDSP filter;
    filter.SetAmplification(1.0);
    filter.SetFilterType(BandPass);
    filter.SetSamplesPerSecond(48000);
    filter.SetStartFrequency(300.0);
    filter.SetStopFrequency(3400.0);
    filter.SetKernelLength(static_cast<int>(block) - 1);
    filter.SetFFT_Order(std::countr_zero(static_cast<unsigned>(n)));
    filter.CreateFilter();

    double* time = fftw_alloc_real(size);
    fftw_complex* spectrum = fftw_alloc_complex(bins);
    fftw_plan forward = fftw_plan_dft_r2c_1d(n, time, spectrum, FFTW_MEASURE);
    fftw_plan inverse = fftw_plan_dft_c2r_1d(n, spectrum, time, FFTW_MEASURE);
    std::vector<std::complex<double>> response(bins);
    for (std::size_t k = 0; k < bins; ++k) {
        response[k] = {filter.Response()[k].Re, filter.Response()[k].Im};
    }
    std::vector<double> overlap(size, 0.0);
    const auto x = Noise(block);
    std::vector<double> ours(block);
    std::vector<double> theirs(block);
    const double scale = 1.0 / n;
    RunPaired(
        state, n,
        [&] {
            filter.Filter(x, ours, static_cast<int>(block));
            benchmark::DoNotOptimize(ours.data());
            benchmark::ClobberMemory();
        },
        [&] {
            std::copy(x.begin(), x.end(), time);
            std::fill(time + block, time + size, 0.0);
            fftw_execute(forward);
            for (std::size_t k = 0; k < bins; ++k) {
                const std::complex<double> v(spectrum[k][0], spectrum[k][1]);
                const std::complex<double> p = v * response[k];
                spectrum[k][0] = p.real();
                spectrum[k][1] = p.imag();
            }
            fftw_execute(inverse);
            for (std::size_t i = 0; i < block; ++i) {
                theirs[i] = time[i] * scale + overlap[i];
            }
            for (std::size_t j = 0; j + block < size; ++j) {
                overlap[j] = time[j + block] * scale + overlap[j + block];
            }
            std::fill(overlap.begin() + static_cast<std::ptrdiff_t>(size - block), overlap.end(),
                      0.0);
            benchmark::DoNotOptimize(theirs.data());
            benchmark::ClobberMemory();
        });
    fftw_destroy_plan(inverse);
    fftw_destroy_plan(forward);
    fftw_free(spectrum);
    fftw_free(time);
}
BENCHMARK(BM_VsFftw_BandFilter)->RangeMultiplier(2)->Range(64, 1 << 20);

#endif

} // namespace

BENCHMARK_MAIN();
