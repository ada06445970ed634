// Benchmarks of the FFT component and the band filter, with FFTW3 as the yardstick when present.
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <benchmark/benchmark.h>

#include <bit>
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

// FFTW real-to-complex transform of N points (planned with FFTW_MEASURE).
void BM_FftwRealForward(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    double* in = fftw_alloc_real(static_cast<std::size_t>(n));
    fftw_complex* out = fftw_alloc_complex(static_cast<std::size_t>(n / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    const auto x = Noise(static_cast<std::size_t>(n));
    std::copy(x.begin(), x.end(), in);
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}
BENCHMARK(BM_FftwRealForward)->RangeMultiplier(2)->Range(64, 1 << 20);

// The same overlap-add block filter as BM_BandFilter built on FFTW: r2c of the zero-padded block,
// product with the kernel spectrum, c2r, scaling by 1/N and overlap-add.
void BM_FftwBandFilter(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::size_t size = static_cast<std::size_t>(n);
    const std::size_t bins = size / 2 + 1;
    const std::size_t block = size / 2;
    double* time = fftw_alloc_real(size);
    fftw_complex* spectrum = fftw_alloc_complex(bins);
    fftw_plan forward = fftw_plan_dft_r2c_1d(n, time, spectrum, FFTW_MEASURE);
    fftw_plan inverse = fftw_plan_dft_c2r_1d(n, spectrum, time, FFTW_MEASURE);
    std::vector<std::complex<double>> response(bins, {0.5, 0.25});
    std::vector<double> overlap(size, 0.0);
    const auto x = Noise(block);
    std::vector<double> y(block);
    const double scale = 1.0 / n;
    for (auto _ : state) {
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
        for (std::size_t i = 0; i < block; ++i)
            y[i] = time[i] * scale + overlap[i];
        for (std::size_t j = 0; j + block < size; ++j)
            overlap[j] = time[j + block] * scale + overlap[j + block];
        std::fill(overlap.begin() + static_cast<std::ptrdiff_t>(size - block), overlap.end(), 0.0);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(inverse);
    fftw_destroy_plan(forward);
    fftw_free(spectrum);
    fftw_free(time);
}
BENCHMARK(BM_FftwBandFilter)->RangeMultiplier(2)->Range(64, 1 << 20);

#endif

} // namespace

BENCHMARK_MAIN();
