// SPDX-License-Identifier: GPL-3.0-or-later
// FIR band filter: frequency-sampling design and overlap-add block convolution.
#include "dsp/TBDSP.h"

#include "dsp/WindowFunctions.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>

namespace {

const char* const kNotCreated = "You must run CreateFilter before filtering.";
const char* const kBlockTooLong = "Data Block too long for filtering.";
const char* const kNoCustomHandler = "You must specify a SetCustomFilter handler";
const char* const kNoSampleRate =
    "SamplesPerSecond must not be 0 for a BandPass or BandStop filter.";
const char* const kNegativeCount = "Data Block length must not be negative.";
const char* const kShortBuffers = "Data Block longer than the buffers passed to Filter.";
const char* const kNotBegun = "FilterEnd needs a FilterBegin of the current design.";
const char* const kNotPowerOfTwo = "NumSamples is not a positive integer power of 2";
const char* const kNoMemory = "Could not allocate memory for complex arrays";

constexpr int kMaxFFTOrder = 30;

std::size_t Index(int i) {
    return static_cast<std::size_t>(i);
}

} // namespace

TTBDSP::TTBDSP() = default;
TTBDSP::~TTBDSP() = default;
TTBDSP::TTBDSP(TTBDSP&&) noexcept = default;
TTBDSP& TTBDSP::operator=(TTBDSP&&) noexcept = default;

void TTBDSP::SetKernelLength(int value) noexcept {
    kernelLength_ = value | 1;
    filterCreated_ = false;
}

int TTBDSP::FFT_Order() const noexcept {
    int order = 0;
    for (int n = fftSize_; n > 1; n /= 2) {
        ++order;
    }
    return order;
}

void TTBDSP::SetFFT_Order(int value) {
    // Cleared first so that a failed allocation cannot leave a created filter without buffers.
    filterCreated_ = false;
    if (!filterFFT_) {
        filterFFT_ = std::make_unique<TDSXFastFourier>();
    }
    if (value > kMaxFFTOrder) {
        throw EFastFourierError(kNotPowerOfTwo);
    }
    fftSize_ = value < 0 ? 0 : 1 << value; // round(2^value); 2^-1 = 0.5 rounds to even 0
    filterFFT_->SetNumSamples(fftSize_);
}

void TTBDSP::SetStartFrequency(double freqHz) {
    startFrequency_ = freqHz;
    RedesignIfSized();
}

void TTBDSP::SetStopFrequency(double freqHz) {
    stopFrequency_ = freqHz;
    RedesignIfSized();
}

void TTBDSP::SetSamplesPerSecond(int rateHz) noexcept {
    samplesPerSecond_ = rateHz;
    filterCreated_ = false;
}

void TTBDSP::SetAmplification(double gain) {
    amplification_ = gain;
    if (fftSize_ > 0) {
        CreateFilter();
    }
}

void TTBDSP::RedesignIfSized() {
    filterCreated_ = false;
    if (fftSize_ > 0) {
        CreateFilter();
    }
}

int TTBDSP::FrequencyToBin(double freqHz) const {
    const double n = static_cast<double>(fftSize_);
    double x = n * (freqHz / static_cast<double>(samplesPerSecond_));
    if (x < 0.0) {
        x = n + x;
    }
    // Limiting keeps the conversion to int defined; max(bin, 0) and min(bin, N/2) see no change.
    if (!(x >= -1.0)) {
        x = -1.0; // also NaN
    }
    if (x > n + 1.0) {
        x = n + 1.0;
    }
    return static_cast<int>(std::nearbyint(x)); // default rounding mode: ties to even
}

double TTBDSP::KernelWindow(int i) const {
    const int taps = kernelLength_; // L = K, so M = K - 1
    if (i < 0 || i >= taps) {
        return 0.0;
    }
    if (taps == 1) {
        return 1.0; // a single tap is the window's centre, where every window is 1
    }
    switch (windowType_) {
    case Blackman:
        return WindowBlackman(i, taps);
    case Blackman2:
        return WindowBlackman2(i, taps);
    case Hanning:
        return WindowHanning(i, taps);
    case Hamming:
        return WindowHamming(i, taps);
    case Rect:
        break;
    }
    return WindowRect(i, taps);
}

void TTBDSP::WriteDesiredResponse() {
    const std::span<TComplex> buffer = filterFFT_->ComplexInput();
    const int n = fftSize_;
    switch (filterType_) {
    case BandPass:
    case BandStop: {
        const bool pass = filterType_ == BandPass;
        const int lo = std::max(FrequencyToBin(startFrequency_), 0);
        const int hi = std::min(FrequencyToBin(stopFrequency_), n / 2);
        std::fill(buffer.begin(), buffer.end(), TComplex{pass ? 0.0 : 1.0, 0.0});
        for (int i = lo; i <= hi; ++i) {
            buffer[Index(i)].Re = pass ? 1.0 : 0.0;
        }
        break;
    }
    case Custom:
        for (int i = 0; i < n; ++i) {
            buffer[Index(i)] = setCustomFilter_(i);
        }
        break;
    case Hilbert: {
        // Ideal Hilbert transformer taps 2 / (n pi) for odd n, 0 for even n, centred at half;
        // taps that would fall beyond the N buffer positions (K > N) are dropped.
        const int half = kernelLength_ / 2;
        std::fill(buffer.begin(), buffer.end(), TComplex{});
        for (int k = -half; k <= half; ++k) {
            const std::int64_t position = static_cast<std::int64_t>(half) + k;
            if (k % 2 != 0 && position < n) {
                buffer[static_cast<std::size_t>(position)].Re =
                    2.0 / (static_cast<double>(k) * std::numbers::pi);
            }
        }
        break;
    }
    }
}

void TTBDSP::CreateFilter() {
    const int n = fftSize_;
    if (!filterFFT_ || !TDSXFastFourier::IsPowerOfTwo(n)) {
        throw EFastFourierError(kNotPowerOfTwo);
    }
    TDSXFastFourier& fft = *filterFFT_;
    if (fft.ComplexInput().size() != Index(n)) {
        throw EFastFourierError(kNoMemory); // the last FFT_Order write could not allocate
    }
    if (filterType_ == Custom && !setCustomFilter_) {
        throw EDSPError(kNoCustomHandler);
    }
    if ((filterType_ == BandPass || filterType_ == BandStop) && samplesPerSecond_ == 0) {
        throw EDSPError(kNoSampleRate);
    }
    const int half = kernelLength_ / 2;
    // Sized before the design so that nothing below can fail after the design succeeded. While
    // the size stays N a previous design remains usable if the design below throws.
    response_.resize(Index(n));
    overlapBuffer_.resize(Index(n));
    convolution_.resize(Index(n));
    delayBuffer_.resize(Index(std::clamp(half, 0, n)));

    WriteDesiredResponse();
    const std::span<TComplex> buffer = fft.ComplexInput();
    const std::span<const TComplex> transformed = fft.ComplexOutput();
    if (filterType_ != Hilbert) {
        // A real, even response: mirror the real parts of bins 1 ... N/2 onto N-1 ... N/2.
        for (int m = 1; m <= n / 2; ++m) {
            buffer[Index(n - m)].Re = buffer[Index(m)].Re;
        }
        fft.InverseFourierTransform(); // zero-phase impulse response centred on index 0
        // Rotate by half so that the centre tap lands at index K div 2.
        const std::int64_t shift = ((static_cast<std::int64_t>(half) % n) + n) % n;
        for (int i = 0; i < n; ++i) {
            buffer[static_cast<std::size_t>((shift + i) % n)] = transformed[Index(i)];
        }
    }
    for (int i = 0; i < n; ++i) {
        // Truncate to taps 0 ... K-1 under the window and keep only the real kernel.
        buffer[Index(i)].Re *= KernelWindow(i);
        buffer[Index(i)].Im = 0.0;
    }
    fft.FourierTransform();

    const double gain = filterType_ == Hilbert ? 1.0 : amplification_;
    for (int i = 0; i < n; ++i) {
        response_[Index(i)] = {transformed[Index(i)].Re * gain, transformed[Index(i)].Im * gain};
    }
    std::fill(overlapBuffer_.begin(), overlapBuffer_.end(), 0.0);
    std::fill(delayBuffer_.begin(), delayBuffer_.end(), 0.0);
    designedType_ = filterType_;
    filterCreated_ = true;
    pendingCount_ = -1;
}

void TTBDSP::Filter(std::span<const double> input, std::span<double> output, int count,
                    std::span<double> inPhaseOutput) {
    FilterBegin(input, count);
    FilterEnd(output, inPhaseOutput);
}

void TTBDSP::FilterBegin(std::span<const double> input, int count) {
    pendingCount_ = -1;
    if (!filterCreated_) {
        throw EDSPError(kNotCreated);
    }
    const int n = fftSize_;
    // A negative K designs an all-zero kernel; it must not admit blocks longer than N.
    if (count > n - std::max(kernelLength_, 0)) {
        throw EDSPError(kBlockTooLong);
    }
    if (count < 0) {
        throw EDSPError(kNegativeCount);
    }
    const std::size_t used = Index(count);
    if (input.size() < used) {
        throw EDSPError(kShortBuffers);
    }

    TDSXFastFourier& fft = *filterFFT_;
    const std::span<double> block = fft.RealInput();
    std::copy_n(input.begin(), used, block.begin());
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(used), block.end(), 0.0);
    // Cannot fail: N was valid and allocated when the filter was created, and any later change
    // of N marks the filter not created.
    fft.RealFourierTransformLowerHalf();
    // The block's spectrum waits in ComplexOutput for FilterEnd.
    pendingCount_ = count;
}

std::span<const TComplex> TTBDSP::PendingSpectrum() const noexcept {
    if (!FilterPending()) {
        return {};
    }
    return filterFFT_->ComplexOutput().first(Index(fftSize_ / 2 + 1));
}

void TTBDSP::FilterEnd(std::span<double> output, std::span<double> inPhaseOutput) {
    if (!filterCreated_ || pendingCount_ < 0) {
        throw EDSPError(kNotBegun);
    }
    const int n = fftSize_;
    const bool hilbert = designedType_ == Hilbert;
    const std::size_t used = Index(pendingCount_);
    if (output.size() < used || (hilbert && inPhaseOutput.size() < used)) {
        throw EDSPError(kShortBuffers);
    }
    pendingCount_ = -1;
    TDSXFastFourier& fft = *filterFFT_;
    const std::span<const double> block = fft.RealInput();
    // The product of two spectra of real sequences is Hermitian: bins 0 ... N/2 determine it,
    // and the real inverse transform returns the real part of the full inverse.
    fft.InverseRealFourierTransformOfProduct(response_, convolution_);

    // Overlap-add. The tail beyond count is added to the carried tail rather than replacing it,
    // so that blocks shorter than K - 1 keep the whole convolution.
    const std::span<const double> convolution = convolution_;
    for (std::size_t i = 0; i < used; ++i) {
        output[i] = convolution[i] + overlapBuffer_[i];
    }
    const std::size_t size = Index(n);
    for (std::size_t j = 0; j + used < size; ++j) {
        overlapBuffer_[j] = convolution[j + used] + overlapBuffer_[j + used];
    }
    std::fill(overlapBuffer_.begin() + static_cast<std::ptrdiff_t>(size - used),
              overlapBuffer_.end(), 0.0);

    if (hilbert) {
        // In-phase path: the input delayed by K div 2 samples through a delay line. The block
        // is read back from RealInput, so output may alias input.
        const std::size_t delay = delayBuffer_.size();
        for (std::size_t i = 0; i < used; ++i) {
            inPhaseOutput[i] = i < delay ? delayBuffer_[i] : block[i - delay];
        }
        if (used >= delay) {
            std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(used - delay), delay,
                        delayBuffer_.begin());
        } else {
            std::copy(delayBuffer_.begin() + static_cast<std::ptrdiff_t>(used), delayBuffer_.end(),
                      delayBuffer_.begin());
            std::copy_n(block.begin(), used,
                        delayBuffer_.begin() + static_cast<std::ptrdiff_t>(delay - used));
        }
    }
}
