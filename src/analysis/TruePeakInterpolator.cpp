// SPDX-License-Identifier: GPL-3.0-or-later
// True peak of one or two channels through twofold oversampling.
#include "analysis/TruePeakInterpolator.h"

#include "analysis/TruePeakFilter.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace {

using namespace true_peak_filter;

// I0(x) = sum_k ((x/2)^k / k!)^2, summed until the terms no longer change the sum.
double BesselI0(double x) {
    const double half = 0.5 * x;
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < 200 && term > sum * 1e-18; ++k) {
        term *= (half / k) * (half / k);
        sum += term;
    }
    return sum;
}

bool Always() {
    return true;
}

// On x86-64 the same filter once more for AVX2 with FMA and once for AVX-512, chosen at run time.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PS_TRUE_PEAK_X86 1

[[gnu::target("avx2,fma")]] void MonoAvx2(const double* w, std::size_t outputs, const double* taps,
                                          double bound, double* samplePeaks, double* truePeaks) {
    Interpolate<TVector4, 1>(w, outputs, taps, bound, samplePeaks, truePeaks);
}

[[gnu::target("avx2,fma")]] void StereoAvx2(const double* w, std::size_t outputs,
                                            const double* taps, double bound, double* samplePeaks,
                                            double* truePeaks) {
    Interpolate<TVector4, 2>(w, outputs, taps, bound, samplePeaks, truePeaks);
}

[[gnu::target("avx512f")]] void MonoAvx512(const double* w, std::size_t outputs, const double* taps,
                                           double bound, double* samplePeaks, double* truePeaks) {
    Interpolate<TVector8, 1>(w, outputs, taps, bound, samplePeaks, truePeaks);
}

[[gnu::target("avx512f")]] void StereoAvx512(const double* w, std::size_t outputs,
                                             const double* taps, double bound, double* samplePeaks,
                                             double* truePeaks) {
    Interpolate<TVector8, 2>(w, outputs, taps, bound, samplePeaks, truePeaks);
}

bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool HasAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f");
}
#endif

struct TKernels {
    const char* Name;
    TKernel Mono, Stereo;
    bool (*Runs)(); // whether this processor runs them
};

// Fastest first.
constexpr TKernels kKernels[] = {
#ifdef PS_TRUE_PEAK_X86
    {"avx512", &MonoAvx512, &StereoAvx512, &HasAvx512},
    {"avx2", &MonoAvx2, &StereoAvx2, &HasAvx2},
#endif
    {"baseline", &MonoBaseline, &StereoBaseline, &Always}};

// The index in kKernels of the fastest this processor runs, found once.
std::size_t FastestKernel() {
    static const std::size_t fastest = [] {
        std::size_t k = 0;
        while (!kKernels[k].Runs())
            ++k;
        return k;
    }();
    return fastest;
}

} // namespace

TTruePeakInterpolator::TTruePeakInterpolator() {
    // sinc(t) at t = k + 1/2 under a Kaiser window (beta 7) that reaches 0 at t = kHalfTaps,
    // scaled so that a constant passes unchanged (the weights of both sides add up to 1).
    constexpr double beta = 7.0;
    std::array<double, kHalfTaps> taps{};
    double sum = 0.0;
    for (std::size_t k = 0; k < kHalfTaps; ++k) {
        const double t = static_cast<double>(k) + 0.5;
        const double r = t / kHalfTaps;
        const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        taps[k] = sinc * BesselI0(beta * std::sqrt(1.0 - r * r)) / BesselI0(beta);
        sum += 2.0 * taps[k];
    }
    double magnitudes = 0.0;
    for (std::size_t k = 0; k < kHalfTaps; ++k) {
        Taps_[k] = taps[k] / sum;
        magnitudes += 2.0 * std::abs(Taps_[k]);
    }
    // The rounding of the sum and of the filter's own arithmetic stays far below 1e-12 of it.
    Bound_ = magnitudes * (1.0 + 1e-12);
    Kernel_ = FastestKernel();
    Reset();
}

std::vector<std::string> TTruePeakInterpolator::Kernels() {
    std::vector<std::string> names;
    for (const TKernels& k : kKernels)
        if (k.Runs())
            names.emplace_back(k.Name);
    return names;
}

bool TTruePeakInterpolator::SelectKernel(std::string_view name) {
    for (std::size_t k = 0; k < std::size(kKernels); ++k) {
        if (kKernels[k].Name == name && kKernels[k].Runs()) {
            Kernel_ = k;
            return true;
        }
    }
    return false;
}

const char* TTruePeakInterpolator::Kernel() const {
    return kKernels[Kernel_].Name;
}

void TTruePeakInterpolator::Reset(int channels) {
    Channels_ = channels == 1 ? 1 : 2;
    Joint_.fill(0.0); // silence before the first sample
    SamplePeak_.fill(0.0);
    TruePeak_.fill(0.0);
}

void TTruePeakInterpolator::Process(std::span<const double> frames) {
    const auto channels = static_cast<std::size_t>(Channels_);
    const std::size_t n = frames.size() / channels;
    if (n == 0)
        return;
    // The first values halfway reach back into the held frames: those from the held frames
    // followed by the first new ones, the rest from the new frames where they are.
    const std::size_t head = std::min(n, kHeld);
    const TKernel kernel = Channels_ == 1 ? kKernels[Kernel_].Mono : kKernels[Kernel_].Stereo;
    double* joint = Joint_.data();
    std::copy_n(frames.data(), head * channels, joint + kHeld * channels);
    kernel(joint, head, Taps_.data(), Bound_, SamplePeak_.data(), TruePeak_.data());
    if (n > kHeld)
        kernel(frames.data(), n - kHeld, Taps_.data(), Bound_, SamplePeak_.data(),
               TruePeak_.data());
    // Hold the last kHeld frames.
    if (n >= kHeld)
        std::copy_n(frames.data() + (n - kHeld) * channels, kHeld * channels, joint);
    else
        std::copy_n(joint + n * channels, kHeld * channels, joint);
}
