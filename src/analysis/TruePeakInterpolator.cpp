// SPDX-License-Identifier: GPL-3.0-or-later
// True peak of one or two channels through twofold oversampling.
#include "analysis/TruePeakInterpolator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <numbers>

namespace {

constexpr std::size_t kHalf = TTruePeakInterpolator::kHalfTaps;
constexpr std::size_t kChunk = TTruePeakInterpolator::kChunk;

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

// Vectors of doubles in the compilers' generic vector extension, lowered to the instruction set
// at hand: 2 wide for the baseline (SSE2 on x86-64), 4 for AVX2, 8 for AVX-512.
typedef double TVector2 __attribute__((vector_size(16)));
typedef double TVector4 __attribute__((vector_size(32)));
typedef double TVector8 __attribute__((vector_size(64)));

// sum = the vector at a + the vector at b (neither aligned).
template <class TVector>
[[gnu::always_inline]] inline void SumOfPair(TVector& sum, const double* a, const double* b) {
    TVector u, v;
    std::memcpy(&u, a, sizeof u);
    std::memcpy(&v, b, sizeof v);
    sum = u + v;
}

// Raises peaks[c] to lanes[l] for every lane l of channel c = l % C (the vector's values come
// from C interleaved channels, starting with channel 0).
template <class TVector, std::size_t C>
[[gnu::always_inline]] inline void RaiseByLane(const TVector& lanes, double* peaks) {
    for (std::size_t l = 0; l < sizeof(TVector) / sizeof(double); ++l)
        peaks[l % C] = std::max(peaks[l % C], lanes[l]);
}

// The values halfway for `outputs` frames of C interleaved channels from w on: the one after
// frame i lies between w's frames i + kHalf - 1 and i + kHalf, and is, channel by channel,
// sum_k taps[k] (w[i + kHalf - 1 - k] + w[i + kHalf + k]). Raises samplePeaks and truePeaks by
// channel to the highest magnitude of the samples and of those and the values halfway. In
// chunks of kChunk frames, each skipped when the highest magnitude of its samples times `bound`
// stays within the true peaks: no value halfway can then exceed them, so the peaks are those of
// the full interpolation. Vectorised over consecutive values of the interleaved frames (so over
// both channels at once); the maxima are kept per vector lane, each lane one channel's.
template <class TVector, std::size_t C>
[[gnu::always_inline]] inline void Interpolate(const double* w, std::size_t outputs,
                                               const double* taps, double bound,
                                               double* samplePeaks, double* truePeaks) {
    constexpr std::size_t width = sizeof(TVector) / sizeof(double);
    static_assert(width % C == 0);
    constexpr std::size_t span = 2 * kHalf;
    TVector h[kHalf];
    for (std::size_t k = 0; k < kHalf; ++k)
        h[k] = TVector{} + taps[k];
    for (std::size_t from = 0; from < outputs; from += kChunk) {
        const std::size_t n = std::min(kChunk, outputs - from);
        const double* x = w + from * C;

        // The highest magnitude of the chunk's samples and of the kHalf - 1 before and kHalf
        // after it, in two vectors of partial maxima so that the comparisons overlap.
        const std::size_t count = (n + span - 1) * C;
        TVector m0{}, m1{};
        std::size_t i = 0;
        for (; i + 2 * width <= count; i += 2 * width) {
            TVector a, b;
            std::memcpy(&a, x + i, sizeof a);
            std::memcpy(&b, x + i + width, sizeof b);
            m0 = a > m0 ? a : m0;
            m1 = b > m1 ? b : m1;
            a = -a;
            b = -b;
            m0 = a > m0 ? a : m0;
            m1 = b > m1 ? b : m1;
        }
        double highest[C] = {};
        RaiseByLane<TVector, C>(m1 > m0 ? m1 : m0, highest);
        for (; i < count; ++i)
            highest[i % C] = std::max(highest[i % C], std::abs(x[i]));

        bool skip = true;
        for (std::size_t c = 0; c < C; ++c) {
            samplePeaks[c] = std::max(samplePeaks[c], highest[c]);
            truePeaks[c] = std::max(truePeaks[c], highest[c]);
            // The smallest normal number covers the rounding of values that underflow.
            skip =
                skip && (highest[c] == 0.0 ||
                         highest[c] * bound + std::numeric_limits<double>::min() <= truePeaks[c]);
        }
        if (skip)
            continue;

        const double* p = x + (kHalf - 1) * C; // the sample before the first value halfway
        const std::size_t values = n * C;
        TVector t{};
        std::size_t j = 0;
        for (; j + width <= values; j += width) {
            TVector y;
            SumOfPair(y, p + j, p + j + C);
            y *= h[0];
            for (std::size_t k = 1; k < kHalf; ++k) {
                TVector pair;
                SumOfPair(pair, p + j - k * C, p + j + (k + 1) * C);
                y += h[k] * pair;
            }
            // |y| first, so that only one comparison per vector waits on the previous ones.
            const TVector negative = -y;
            const TVector magnitude = negative > y ? negative : y;
            t = magnitude > t ? magnitude : t;
        }
        RaiseByLane<TVector, C>(t, truePeaks);
        for (; j < values; ++j) {
            double y = taps[0] * (p[j] + p[j + C]);
            for (std::size_t k = 1; k < kHalf; ++k)
                y += taps[k] * (p[j - k * C] + p[j + (k + 1) * C]);
            truePeaks[j % C] = std::max(truePeaks[j % C], std::abs(y));
        }
    }
}

using TKernel = void (*)(const double*, std::size_t, const double*, double, double*, double*);

void MonoBaseline(const double* w, std::size_t outputs, const double* taps, double bound,
                  double* samplePeaks, double* truePeaks) {
    Interpolate<TVector2, 1>(w, outputs, taps, bound, samplePeaks, truePeaks);
}

void StereoBaseline(const double* w, std::size_t outputs, const double* taps, double bound,
                    double* samplePeaks, double* truePeaks) {
    Interpolate<TVector2, 2>(w, outputs, taps, bound, samplePeaks, truePeaks);
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
