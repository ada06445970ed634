// SPDX-License-Identifier: GPL-3.0-or-later
// The per-sample and per-bin loops of the block pipeline, built for the loop vectoriser.
#include "core/BlockLoops.h"

#include "core/SpectrumSmoothing.h"

#include <array>
#include <cmath>

// On x86-64 each entry point is built twice, for the baseline instruction set and for AVX2
// (four lanes; no fused multiply-adds, so both give the same bits), and the loader picks one.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define PS_LOOPS_CLONES __attribute__((target_clones("avx2", "default")))
#define PS_LOOPS_INLINE __attribute__((always_inline)) inline // into each clone
#else
#define PS_LOOPS_CLONES
#define PS_LOOPS_INLINE inline
#endif

namespace {

template <class Select, class Out>
PS_LOOPS_INLINE void SelectAndWindowWith(std::size_t count, Select select,
                                         const double* __restrict window,
                                         double* __restrict windowed, Out* __restrict selected) {
    for (std::size_t i = 0; i < count; ++i) {
        const float m = select(i);
        selected[i] = m;
        windowed[i] = window[i] * m;
    }
}

template <class Out>
PS_LOOPS_INLINE void SelectAndWindowTo(int channel, const float* __restrict left,
                                       const float* __restrict right, std::size_t count,
                                       const double* window, double* windowed, Out* selected) {
    switch (channel) {
    case 1:
        SelectAndWindowWith(
            count, [right](std::size_t i) { return right[i]; }, window, windowed, selected);
        break;
    case 2:
        SelectAndWindowWith(
            count, [left, right](std::size_t i) { return left[i] + right[i]; }, window, windowed,
            selected);
        break;
    case 3:
        SelectAndWindowWith(
            count, [left, right](std::size_t i) { return left[i] - right[i]; }, window, windowed,
            selected);
        break;
    default:
        SelectAndWindowWith(
            count, [left](std::size_t i) { return left[i]; }, window, windowed, selected);
        break;
    }
}

template <bool Weighted, TSpectrumUpdate Update>
PS_LOOPS_INLINE void BinPass(const TBinPass& pass) {
    const double inverse = 1.0 / pass.n;
    const double scale = pass.scale;
    TComplex* __restrict const x = pass.bins.data();
    const double* __restrict const weight = pass.weight;
    const double* __restrict const alpha = pass.alpha;
    double* __restrict const spectrum = pass.spectrum;
    double* __restrict const power = pass.power;
    const std::size_t count = pass.bins.size();
    for (std::size_t k = 0; k < count; ++k) {
        double re = x[k].Re;
        double im = x[k].Im;
        if constexpr (Weighted) {
            re *= weight[k];
            im *= weight[k];
            x[k].Re = re;
            x[k].Im = im;
        }
        const double p = re * re + im * im;
        power[k] = p;
        const double value = std::sqrt(p) * inverse * scale;
        if constexpr (Update == TSpectrumUpdate::Reset) {
            spectrum[k] = value;
        } else if constexpr (Update == TSpectrumUpdate::Smooth) {
            spectrum[k] = SmoothedBin(spectrum[k], alpha[k], value);
        } else {
            spectrum[k] = HeldBin(spectrum[k], value);
        }
    }
}

template <bool Weighted> PS_LOOPS_INLINE void BinPassWeighted(const TBinPass& pass) {
    switch (pass.update) {
    case TSpectrumUpdate::Reset:
        BinPass<Weighted, TSpectrumUpdate::Reset>(pass);
        break;
    case TSpectrumUpdate::Smooth:
        BinPass<Weighted, TSpectrumUpdate::Smooth>(pass);
        break;
    case TSpectrumUpdate::Hold:
        BinPass<Weighted, TSpectrumUpdate::Hold>(pass);
        break;
    }
}

} // namespace

PS_LOOPS_CLONES void SelectAndWindow(int channel, const float* left, const float* right,
                                     std::size_t count, const double* window, double* windowed,
                                     float* selected) {
    SelectAndWindowTo(channel, left, right, count, window, windowed, selected);
}

PS_LOOPS_CLONES void SelectAndWindow(int channel, const float* left, const float* right,
                                     std::size_t count, const double* window, double* windowed,
                                     double* selected) {
    SelectAndWindowTo(channel, left, right, count, window, windowed, selected);
}

PS_LOOPS_CLONES void RunBinPass(const TBinPass& pass) {
    if (pass.weight != nullptr) {
        BinPassWeighted<true>(pass);
    } else {
        BinPassWeighted<false>(pass);
    }
}

namespace {

// The sum of f(v[i])^2 in index order; f goes Run values at a time through a vectorised loop.
template <std::size_t Run, class F>
PS_LOOPS_INLINE double SquareSum(std::span<const double> v, F f) {
    constexpr std::size_t kRun = Run;
    std::array<double, kRun> mapped;
    double sum = 0.0;
    std::size_t i = 0;
    for (; i + kRun <= v.size(); i += kRun) {
        for (std::size_t k = 0; k < kRun; ++k) {
            mapped[k] = f(v[i + k]);
        }
        for (std::size_t k = 0; k < kRun; ++k) {
            sum += mapped[k] * mapped[k];
        }
    }
    for (; i < v.size(); ++i) {
        const double x = f(v[i]);
        sum += x * x;
    }
    return sum;
}

} // namespace

PS_LOOPS_CLONES double ScaledSquareSum(std::span<const double> v, double fullScale) {
    return SquareSum<16>(v, [fullScale](double x) { return x / fullScale; });
}

PS_LOOPS_CLONES double AmplitudeSquareSum(std::span<const double> power, int n) {
    const double length = n;
    return SquareSum<4>(power, [length](double p) { return std::sqrt(p) / length; }); // a main lobe
}
