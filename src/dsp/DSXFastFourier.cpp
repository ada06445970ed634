// SPDX-License-Identifier: GPL-3.0-or-later
// Radix-2 reference FFT and the buffer-owning component with its fast radix-4 kernels.
#include "dsp/DSXFastFourier.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <numbers>
#include <string_view>
#include <utility>

namespace {

// Twiddles of one transform length L: w^p, w^2p, w^3p for p < L/4, w = exp(+i 2 pi / L).
struct Twiddles {
    const double* w1r;
    const double* w1i;
    const double* w2r;
    const double* w2i;
    const double* w3r;
    const double* w3i;
};

// Scratch of a transform: three pairs of separate arrays, each at least L doubles.
struct Scratch {
    double* re[3];
    double* im[3];
};

} // namespace

// The kernels, once for the baseline instruction set and on x86-64 once more for AVX2 + FMA.
namespace fft_baseline {
#include "dsp/FftKernels.inc"
#undef PS_FFT_FIRST_STAGE
#undef PS_FFT_SPLIT
} // namespace fft_baseline

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PS_FFT_AVX2 1
#include <immintrin.h>
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif
namespace fft_avx2 {
#define PS_FFT_AVX2_INTRINSICS 1
#include "dsp/FftKernels.inc"
#undef PS_FFT_AVX2_INTRINSICS
#undef PS_FFT_FIRST_STAGE
#undef PS_FFT_SPLIT
} // namespace fft_avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

namespace {

// Entry points of one instruction set.
struct Kernels {
    const char* name;
    void (*complexTransform)(int, const double*, double*, const Scratch&, const Twiddles&, double,
                             double, double);
    void (*realForward)(int, const double*, double*, const Scratch&, const Twiddles&, const double*,
                        const double*, bool);
    void (*realInverse)(int, const double*, const double*, double*, const Scratch&,
                        const Twiddles&, const double*, const double*);
};

// The kernels for this processor, chosen once. PHONOSCALE_FFT_KERNELS=baseline keeps the
// portable ones on any processor, so that their tests also run on a machine with AVX2.
const Kernels& ActiveKernels() {
    static const Kernels kernels = [] {
#ifdef PS_FFT_AVX2
        const char* const forced = std::getenv("PHONOSCALE_FFT_KERNELS");
        const bool baselineOnly = forced != nullptr && std::string_view(forced) == "baseline";
        __builtin_cpu_init();
        if (!baselineOnly && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
            return Kernels{"avx2", &fft_avx2::ComplexTransform, &fft_avx2::RealForward,
                           &fft_avx2::RealInverse};
        }
#endif
        return Kernels{"baseline", &fft_baseline::ComplexTransform, &fft_baseline::RealForward,
                       &fft_baseline::RealInverse};
    }();
    return kernels;
}

} // namespace

const char* ActiveFftKernels() {
    return ActiveKernels().name;
}

namespace {

const char* const kNotPowerOfTwo = "NumSamples is not a positive integer power of 2";
const char* const kNoMemory = "Could not allocate memory for complex arrays";
const char* const kWrongOutputLength =
    "The output of the real inverse transform must hold N values";
const char* const kShortFactor = "The factor of the real inverse transform must hold N/2 + 1 values";

// Shortest length done by the radix-4 kernels; shorter ones use the reference algorithm.
constexpr std::size_t kMinFastLength = 8;

// Gap in doubles after every array of the scratch and of the twiddle tables. The arrays are
// powers of two long, and a stage reads and writes up to sixteen rows of them at once; without
// the gaps all rows fall into the same few cache sets and evict one another. With it the k-th
// array is shifted by k * 512 bytes against a power-of-two boundary.
constexpr std::size_t kGap = 64;

// Offsets in the twiddle table of N of the tables of N/2 and of the split factors.
constexpr std::size_t HalfTablesOffset(std::size_t n) {
    return 6 * (n / 4 + kGap);
}
constexpr std::size_t SplitOffset(std::size_t n) {
    return HalfTablesOffset(n) + 6 * (n / 8 + kGap);
}

// Butterfly stages in place on data already in bit-reversed order. For block size B the m-th
// butterfly of every block uses w = exp(i m d), d = angleNumerator / B, advanced by the
// recurrence w <- w - (alpha w - i beta w) with alpha = 2 sin^2(d/2) = 1 - cos d, beta = sin d.
void Butterflies(std::span<TComplex> data, double angleNumerator) {
    const std::size_t n = data.size();
    std::size_t blockEnd = 1;
    for (std::size_t blockSize = 2; blockSize <= n; blockSize *= 2) {
        const double delta = angleNumerator / static_cast<double>(blockSize);
        const double halfSine = std::sin(0.5 * delta);
        const double alpha = 2.0 * halfSine * halfSine;
        const double beta = std::sin(delta);
        for (std::size_t start = 0; start < n; start += blockSize) {
            double wr = 1.0;
            double wi = 0.0;
            for (std::size_t j = start; j < start + blockEnd; ++j) {
                TComplex& upper = data[j];
                TComplex& lower = data[j + blockEnd];
                const double tr = wr * lower.Re - wi * lower.Im;
                const double ti = wr * lower.Im + wi * lower.Re;
                lower.Re = upper.Re - tr;
                lower.Im = upper.Im - ti;
                upper.Re += tr;
                upper.Im += ti;
                const double oldWr = wr;
                wr = wr - (alpha * wr + beta * wi);
                wi = wi - (alpha * wi - beta * oldWr);
            }
        }
        blockEnd = blockSize;
    }
}

// Validates the pair of lengths and returns the number of index bits.
int CheckedBits(std::size_t inputSize, std::size_t outputSize) {
    if (inputSize != outputSize || inputSize > (std::size_t{1} << 30) ||
        !TDSXFastFourier::IsPowerOfTwo(static_cast<int>(inputSize))) {
        throw EFastFourierError(kNotPowerOfTwo);
    }
    return TDSXFastFourier::NumberOfBitsNeeded(static_cast<int>(inputSize));
}

} // namespace

void ReferenceFourierTransform(std::span<const TComplex> input, std::span<TComplex> output,
                               double angleNumerator) {
    const int bits = CheckedBits(input.size(), output.size());
    const int n = static_cast<int>(input.size());
    for (int i = 0; i < n; ++i) {
        output[static_cast<std::size_t>(TDSXFastFourier::ReverseBits(i, bits))] =
            input[static_cast<std::size_t>(i)];
    }
    Butterflies(output, angleNumerator);
}

void ReferenceFourierTransform(std::span<const double> input, std::span<TComplex> output,
                               double angleNumerator) {
    const int bits = CheckedBits(input.size(), output.size());
    const int n = static_cast<int>(input.size());
    for (int i = 0; i < n; ++i) {
        output[static_cast<std::size_t>(TDSXFastFourier::ReverseBits(i, bits))] =
            TComplex{input[static_cast<std::size_t>(i)], 0.0};
    }
    Butterflies(output, angleNumerator);
}

void TDSXFastFourier::SetNumSamples(int n) {
    ++generation_;
    numSamples_ = n;
    buffersAllocated_ = false;
    TComplexArray().swap(complexInput_);
    TComplexArray().swap(complexOutput_);
    const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
    TFloatArray().swap(twiddles_);
    TFloatArray().swap(scratch_);
    try {
        complexInput_.resize(count);
        complexOutput_.resize(count);
        realInput_.resize(count); // strong guarantee: unchanged if this throws
        Prepare();
    } catch (const std::bad_alloc&) {
        TComplexArray().swap(complexInput_);
        TComplexArray().swap(complexOutput_);
        TFloatArray().swap(twiddles_);
        TFloatArray().swap(scratch_);
        throw EFastFourierError(kNoMemory);
    }
    buffersAllocated_ = true;
}

void TDSXFastFourier::Prepare() {
    const int n = numSamples_;
    if (!IsPowerOfTwo(n) || static_cast<std::size_t>(n) < kMinFastLength) {
        return;
    }
    const std::size_t size = static_cast<std::size_t>(n);
    twiddles_.resize(TwiddleCount(size));
    scratch_.resize(4 * size + 6 * kGap);
    // Each factor is rounded once from extended precision, which keeps the tables more exact
    // than factors built up by a recurrence.
    const auto fill = [](double* re, double* im, std::size_t count, std::size_t step,
                         std::size_t length) {
        for (std::size_t j = 0; j < count; ++j) {
            const long double angle = 2.0L * std::numbers::pi_v<long double> *
                                      static_cast<long double>(j * step) /
                                      static_cast<long double>(length);
            re[j] = static_cast<double>(std::cos(angle));
            im[j] = static_cast<double>(std::sin(angle));
        }
    };
    double* table = twiddles_.data();
    for (std::size_t length : {size, size / 2}) {
        const std::size_t quarter = length / 4;
        for (std::size_t r = 1; r <= 3; ++r) {
            fill(table, table + quarter + kGap, quarter, r, length);
            table += 2 * (quarter + kGap);
        }
    }
    fill(table, table + size / 2 + kGap, size / 2, 1, size);
}

std::size_t TDSXFastFourier::TwiddleCount(std::size_t n) noexcept {
    return SplitOffset(n) + 2 * (n / 2 + kGap);
}

void TDSXFastFourier::CheckUsable() const {
    if (!IsPowerOfTwo(numSamples_)) {
        throw EFastFourierError(kNotPowerOfTwo);
    }
    if (!buffersAllocated_) {
        throw EFastFourierError(kNoMemory);
    }
}

namespace {

// Twiddles of length `length` starting at `table` (six arrays of length/4, each followed by the
// gap).
Twiddles TwiddlesAt(const double* table, std::size_t length) {
    const std::size_t q = length / 4 + kGap;
    return {table, table + q, table + 2 * q, table + 3 * q, table + 4 * q, table + 5 * q};
}

// Pairs of arrays of `length` doubles, each followed by the gap, carved from `scratch`: three
// pairs for the real transforms (length N/2), two for the complex ones (length N; the third pair
// is then null, the scratch holds only four arrays of N).
Scratch ScratchOf(double* scratch, std::size_t length, bool threePairs) {
    const std::size_t a = length + kGap;
    return {{scratch, scratch + 2 * a, threePairs ? scratch + 4 * a : nullptr},
            {scratch + a, scratch + 3 * a, threePairs ? scratch + 5 * a : nullptr}};
}

double* Doubles(TComplex* values) {
    static_assert(sizeof(TComplex) == 2 * sizeof(double) && alignof(TComplex) == alignof(double));
    return reinterpret_cast<double*>(values);
}

const double* Doubles(const TComplex* values) {
    return reinterpret_cast<const double*>(values);
}

} // namespace

void TDSXFastFourier::ComplexTransform(double sign) {
    ++generation_;
    CheckUsable();
    const std::size_t n = complexInput_.size();
    if (n < kMinFastLength) {
        ReferenceFourierTransform(std::span<const TComplex>(complexInput_), complexOutput_,
                                  sign * 2.0 * std::numbers::pi);
        if (sign < 0.0) {
            for (TComplex& value : complexOutput_) {
                value.Re /= static_cast<double>(n);
                value.Im /= static_cast<double>(n);
            }
        }
        return;
    }
    // The inverse is the conjugate of the forward transform of the conjugate input.
    const double scale = sign < 0.0 ? 1.0 / static_cast<double>(n) : 1.0;
    ActiveKernels().complexTransform(
        static_cast<int>(n), Doubles(std::as_const(complexInput_).data()),
        Doubles(complexOutput_.data()), ScratchOf(scratch_.data(), n, false),
        TwiddlesAt(twiddles_.data(), n), sign, scale, sign * scale);
}

void TDSXFastFourier::FourierTransform() {
    ComplexTransform(1.0);
}

void TDSXFastFourier::InverseFourierTransform() {
    ComplexTransform(-1.0);
}

void TDSXFastFourier::RealFourierTransform() {
    RealTransform(true);
}

void TDSXFastFourier::RealFourierTransformLowerHalf() {
    RealTransform(false);
}

void TDSXFastFourier::RealTransform(bool upperHalf) {
    ++generation_;
    CheckUsable();
    const std::size_t n = realInput_.size();
    if (n < 2 * kMinFastLength) {
        ReferenceFourierTransform(std::span<const double>(realInput_), complexOutput_,
                                  2.0 * std::numbers::pi);
        return;
    }
    const double* split = twiddles_.data() + SplitOffset(n);
    ActiveKernels().realForward(
        static_cast<int>(n), realInput_.data(), Doubles(complexOutput_.data()),
        ScratchOf(scratch_.data(), n / 2, true),
        TwiddlesAt(twiddles_.data() + HalfTablesOffset(n), n / 2), split, split + n / 2 + kGap,
        upperHalf);
}

void TDSXFastFourier::InverseRealFourierTransform(std::span<double> output) {
    InverseReal(complexInput_, false, {}, output);
}

void TDSXFastFourier::InverseRealFourierTransformOfProduct(std::span<const TComplex> factor,
                                                           std::span<double> output) {
    InverseReal(complexOutput_, true, factor, output);
}

void TDSXFastFourier::InverseReal(std::span<const TComplex> spectrum, bool times,
                                  std::span<const TComplex> factor, std::span<double> output) {
    ++generation_; // ComplexOutput is left alone, but the count stays simple
    CheckUsable();
    const std::size_t n = complexInput_.size();
    if (output.size() != n) {
        throw EFastFourierError(kWrongOutputLength);
    }
    if (times && factor.size() < n / 2 + 1) {
        throw EFastFourierError(kShortFactor);
    }
    if (n < 2 * kMinFastLength) {
        const auto bin = [&](std::size_t k) {
            const TComplex x = spectrum[k];
            if (!times) {
                return x;
            }
            const TComplex f = factor[k];
            return TComplex{x.Re * f.Re - x.Im * f.Im, x.Re * f.Im + x.Im * f.Re};
        };
        // x[n] = (1/N) (X0 + (-1)^n X[N/2] + 2 sum_{0<k<N/2} Re(X[k] exp(-i 2 pi n k / N))).
        const std::size_t half = n / 2;
        for (std::size_t t = 0; t < n; ++t) {
            double sum = bin(0).Re + (t % 2 == 0 ? bin(half).Re : -bin(half).Re);
            for (std::size_t k = 1; k < half; ++k) {
                const double angle = -2.0 * std::numbers::pi * static_cast<double>(t * k % n) /
                                     static_cast<double>(n);
                const TComplex x = bin(k);
                sum += 2.0 * (x.Re * std::cos(angle) - x.Im * std::sin(angle));
            }
            output[t] = sum / static_cast<double>(n);
        }
        return;
    }
    const double* split = twiddles_.data() + SplitOffset(n);
    ActiveKernels().realInverse(static_cast<int>(n), Doubles(spectrum.data()),
                                times ? Doubles(factor.data()) : nullptr, output.data(),
                                ScratchOf(scratch_.data(), n / 2, true),
                                TwiddlesAt(twiddles_.data() + HalfTablesOffset(n), n / 2), split,
                                split + n / 2 + kGap);
}

bool TDSXFastFourier::IsPowerOfTwo(int n) noexcept {
    return n >= 2 && n <= (1 << 30) && (n & (n - 1)) == 0;
}

int TDSXFastFourier::NumberOfBitsNeeded(int n) noexcept {
    if (n <= 0) {
        return 0;
    }
    int bits = 0;
    while ((n & (1 << bits)) == 0) {
        ++bits;
    }
    return bits;
}

int TDSXFastFourier::ReverseBits(int index, int bits) noexcept {
    unsigned source = static_cast<unsigned>(index);
    unsigned reversed = 0;
    for (int b = 0; b < bits; ++b) {
        reversed = (reversed << 1) | (source & 1U);
        source >>= 1;
    }
    return static_cast<int>(reversed);
}
