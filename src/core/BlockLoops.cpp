// SPDX-License-Identifier: GPL-3.0-or-later
// The per-sample and per-bin loops of the block pipeline, built for the loop vectoriser.
#include "core/BlockLoops.h"

#include "core/SpectrumSmoothing.h"

#include <array>
#include <cmath>

namespace {

template <class Select, class Out>
void SelectAndWindowWith(std::size_t count, Select select, const double* __restrict window,
                         double* __restrict windowed, Out* __restrict selected) {
    for (std::size_t i = 0; i < count; ++i) {
        const float m = select(i);
        selected[i] = m;
        windowed[i] = window[i] * m;
    }
}

template <class Out>
void SelectAndWindowTo(int channel, const float* __restrict left, const float* __restrict right,
                       std::size_t count, const double* window, double* windowed, Out* selected) {
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

template <bool Weighted, TSpectrumUpdate Update> void BinPass(const TBinPass& pass) {
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

template <bool Weighted> void BinPassWeighted(const TBinPass& pass) {
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

void SelectAndWindow(int channel, const float* left, const float* right, std::size_t count,
                     const double* window, double* windowed, float* selected) {
    SelectAndWindowTo(channel, left, right, count, window, windowed, selected);
}

void SelectAndWindow(int channel, const float* left, const float* right, std::size_t count,
                     const double* window, double* windowed, double* selected) {
    SelectAndWindowTo(channel, left, right, count, window, windowed, selected);
}

void RunBinPass(const TBinPass& pass) {
    if (pass.weight != nullptr) {
        BinPassWeighted<true>(pass);
    } else {
        BinPassWeighted<false>(pass);
    }
}

double ScaledSquareSum(std::span<const double> v, double fullScale) {
    // The divisions go sixteen at a time through a vectorised loop; the sum stays in order.
    constexpr std::size_t kRun = 16;
    std::array<double, kRun> scaled;
    double sum = 0.0;
    std::size_t i = 0;
    for (; i + kRun <= v.size(); i += kRun) {
        for (std::size_t k = 0; k < kRun; ++k) {
            scaled[k] = v[i + k] / fullScale;
        }
        for (std::size_t k = 0; k < kRun; ++k) {
            sum += scaled[k] * scaled[k];
        }
    }
    for (; i < v.size(); ++i) {
        const double x = v[i] / fullScale;
        sum += x * x;
    }
    return sum;
}
