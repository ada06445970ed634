// Radix-2 decimation-in-time FFT: reference algorithm and the buffer-owning component.
#include "dsp/DSXFastFourier.h"

#include <cmath>
#include <new>
#include <numbers>

namespace {

const char* const kNotPowerOfTwo = "NumSamples is not a positive integer power of 2";
const char* const kNoMemory = "Could not allocate memory for complex arrays";

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
    numSamples_ = n;
    buffersAllocated_ = false;
    TComplexArray().swap(complexInput_);
    TComplexArray().swap(complexOutput_);
    const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
    try {
        complexInput_.resize(count);
        complexOutput_.resize(count);
        realInput_.resize(count); // strong guarantee: unchanged if this throws
    } catch (const std::bad_alloc&) {
        TComplexArray().swap(complexInput_);
        TComplexArray().swap(complexOutput_);
        throw EFastFourierError(kNoMemory);
    }
    buffersAllocated_ = true;
}

void TDSXFastFourier::CheckUsable() const {
    if (!IsPowerOfTwo(numSamples_)) {
        throw EFastFourierError(kNotPowerOfTwo);
    }
    if (!buffersAllocated_) {
        throw EFastFourierError(kNoMemory);
    }
}

void TDSXFastFourier::FourierTransform() {
    CheckUsable();
    ReferenceFourierTransform(std::span<const TComplex>(complexInput_), complexOutput_,
                              2.0 * std::numbers::pi);
}

void TDSXFastFourier::InverseFourierTransform() {
    CheckUsable();
    ReferenceFourierTransform(std::span<const TComplex>(complexInput_), complexOutput_,
                              -2.0 * std::numbers::pi);
    const double n = static_cast<double>(numSamples_);
    for (TComplex& value : complexOutput_) {
        value.Re /= n;
        value.Im /= n;
    }
}

void TDSXFastFourier::RealFourierTransform() {
    CheckUsable();
    ReferenceFourierTransform(std::span<const double>(realInput_), complexOutput_,
                              2.0 * std::numbers::pi);
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
