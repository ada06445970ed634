// SPDX-License-Identifier: GPL-3.0-or-later
// Radix-2 fast Fourier transform of one fixed length on buffers owned by the component.
#pragma once

#include "dsp/FloatTypes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

// Raised for an unusable transform length or when the buffers cannot be allocated.
class EFastFourierError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reference radix-2 decimation-in-time transform: loads `input` into `output` in bit-reversed
// order, then runs the butterflies in place in `output` with twiddle factors from the recurrence
// w <- w * (cos d + i sin d), d = angleNumerator / blockSize (two sines per stage, no tables).
// With angleNumerator = +2*pi this is X[k] = sum_n x[n] * exp(+i 2 pi n k / N); no scaling.
// Both spans must have the same length N, a power of two from 2 to 2^30, else EFastFourierError
// is raised and nothing is written. Allocates nothing.
void ReferenceFourierTransform(std::span<const TComplex> input, std::span<TComplex> output,
                               double angleNumerator);
// The same for real input (imaginary parts taken as 0).
void ReferenceFourierTransform(std::span<const double> input, std::span<TComplex> output,
                               double angleNumerator);

// The instruction set of the transforms in use, chosen once per process: "avx2" (with FMA) where
// the processor has it, else "baseline"; PHONOSCALE_FFT_KERNELS=baseline forces the latter.
const char* ActiveFftKernels();

// Fourier transforms of length NumSamples: callers fill ComplexInput or RealInput, call a
// transform and read ComplexOutput. The component owns its three buffers, its scratch and its
// twiddle tables; all are allocated and the tables computed only when NumSamples is assigned,
// never during a transform. The transforms are self-sorting radix-4 FFTs (the real ones through
// a half-length complex transform), vectorised, with AVX2/FMA kernels chosen at run time where
// the processor has them. Not thread-safe: one thread at a time fills, transforms and reads.
class TDSXFastFourier {
public:
    TDSXFastFourier() = default;

    // Transform length N. Assigning it replaces both complex buffers (their contents are lost and
    // they hold N zeros) and resizes RealInput, keeping its first min(old N, new N) values and
    // zero-filling the rest. N is not validated here but at transform time; N < 0 gives empty
    // buffers. Out of memory raises EFastFourierError "Could not allocate memory for complex
    // arrays"; NumSamples then already holds the new value and every transform raises that error
    // until NumSamples is assigned successfully.
    int NumSamples() const noexcept { return numSamples_; }
    void SetNumSamples(int n);
    // Same as NumSamples.
    int SampleCount() const noexcept { return numSamples_; }

    // Buffers of N elements. No transform changes ComplexInput or RealInput.
    std::span<TComplex> ComplexInput() noexcept { return complexInput_; }
    std::span<const TComplex> ComplexInput() const noexcept { return complexInput_; }
    std::span<TComplex> ComplexOutput() noexcept { return complexOutput_; }
    std::span<const TComplex> ComplexOutput() const noexcept { return complexOutput_; }
    std::span<double> RealInput() noexcept { return realInput_; }
    std::span<const double> RealInput() const noexcept { return realInput_; }

    // ComplexOutput[k] = sum_n ComplexInput[n] * exp(+i 2 pi n k / N), unscaled.
    void FourierTransform();
    // ComplexOutput[n] = (1/N) sum_k ComplexInput[k] * exp(-i 2 pi n k / N).
    void InverseFourierTransform();
    // ComplexOutput[k] = sum_n RealInput[n] * exp(+i 2 pi n k / N), unscaled.
    void RealFourierTransform();
    // RealFourierTransform for callers that read only bins 0 ... N/2 (the others are conjugates
    // of these): it gives those bins the same values, bit for bit, and leaves the bins above N/2
    // unspecified. Saves the writes of half the spectrum.
    void RealFourierTransformLowerHalf();
    // Inverse of RealFourierTransform for a Hermitian spectrum given by ComplexInput[0 ... N/2]
    // (bins above N/2 and the imaginary parts of bins 0 and N/2 are not read):
    // output[n] = (1/N) sum_k X[k] * exp(-i 2 pi n k / N), X[N-k] = conj X[k]. This is the real
    // part of InverseFourierTransform of that spectrum. output must hold N values and must not
    // overlap the component's buffers; ComplexOutput is left alone.
    void InverseRealFourierTransform(std::span<double> output);
    // InverseRealFourierTransform of the spectrum X[k] = ComplexOutput[k] * factor[k] (k = 0 ...
    // N/2), as a convolution by FFT needs it after RealFourierTransform: the products are formed
    // on the way, saving a pass. factor must hold N/2 + 1 values, else EFastFourierError is
    // raised; output as above. ComplexInput and ComplexOutput are left alone.
    void InverseRealFourierTransformOfProduct(std::span<const TComplex> factor,
                                              std::span<double> output);

    // Counts the assignments of NumSamples and the transforms run so far: a caller that keeps
    // ComplexOutput for later can tell whether it is still the result of its own transform.
    std::uint64_t Generation() const noexcept { return generation_; }

    // True for N = 2, 4, 8, ... 2^30 (N = 1 is refused).
    static bool IsPowerOfTwo(int n) noexcept;
    // Index of the lowest set bit of n: log2 n for a power of two; 0 for n <= 0.
    static int NumberOfBitsNeeded(int n) noexcept;
    // The lowest `bits` bits of index in reverse order.
    static int ReverseBits(int index, int bits) noexcept;

private:
    // Raises EFastFourierError unless N is valid and the buffers were allocated.
    void CheckUsable() const;

    // Computes the twiddle tables and sizes the scratch for N (a valid length).
    void Prepare();
    // Number of doubles in the twiddle tables of length n.
    static std::size_t TwiddleCount(std::size_t n) noexcept;
    // Forward (sign = +1) or scaled inverse (sign = -1) complex transform.
    void ComplexTransform(double sign);
    // The real forward transform into all N bins or only into bins 0 ... N/2.
    void RealTransform(bool upperHalf);
    // The real inverse transform of spectrum, with times of spectrum[k] * factor[k].
    void InverseReal(std::span<const TComplex> spectrum, bool times,
                     std::span<const TComplex> factor, std::span<double> output);

    int numSamples_ = 0;
    std::uint64_t generation_ = 0;
    bool buffersAllocated_ = true; // false after an allocation failure in SetNumSamples
    TComplexArray complexInput_;
    TComplexArray complexOutput_;
    TFloatArray realInput_;
    // exp(+i 2 pi r p / N) for r = 1, 2, 3 and p < N/4 (separate real and imaginary arrays),
    // then the same for N/2, then exp(+i 2 pi k / N) for k < N/2; empty for N < 8. A short gap
    // follows every array, as in the scratch, so that rows read together do not share cache sets.
    TFloatArray twiddles_;
    TFloatArray scratch_; // four arrays of N doubles (and gaps) for the stages of one transform
};
