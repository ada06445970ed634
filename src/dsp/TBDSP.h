// SPDX-License-Identifier: GPL-3.0-or-later
// Linear-phase FIR filter designed by frequency sampling and applied block by block by FFT
// convolution with overlap-add.
#pragma once

#include "dsp/DSXFastFourier.h"
#include "dsp/FloatTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <utility>

// Raised for filter misuse; carries a fixed English text.
class EDSPError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Window applied to the kernel (unscoped so that both `Hamming` and `TWindowType::Hamming` read).
enum TWindowType : std::uint8_t { Rect, Blackman, Blackman2, Hanning, Hamming };
// Design of the filter.
enum TFilterType : std::uint8_t { BandPass, BandStop, Hilbert, Custom };
// Desired complex response at FFT bin i (0 ... FFTSize - 1), for the Custom design.
using TSetCustomFilterEvent = std::function<TComplex(int i)>;

// FIR filter of odd length K = KernelLength with an FFT of N = 2^FFT_Order points. The kernel is
// centred at tap K div 2, so the output lags the input by K div 2 samples. Consecutive calls of
// Filter continue one stream: the concatenated outputs equal the linear convolution of the
// concatenated inputs with the windowed kernel (times Amplification, except for Hilbert).
// Owns its FFT. Configure, design and filter from one thread; never redesign during Filter.
// Every property starts at zero: the caller must set Amplification (1.0 for unity gain).
class TTBDSP {
public:
    TTBDSP();
    ~TTBDSP();
    TTBDSP(const TTBDSP&) = delete;
    TTBDSP& operator=(const TTBDSP&) = delete;
    TTBDSP(TTBDSP&&) noexcept;
    TTBDSP& operator=(TTBDSP&&) noexcept;

    // Stored only; takes effect at the next CreateFilter.
    TWindowType WindowType() const noexcept { return windowType_; }
    void SetWindowType(TWindowType type) noexcept { windowType_ = type; }
    // Stored only: Filter keeps the previous design until CreateFilter runs.
    TFilterType FilterType() const noexcept { return filterType_; }
    void SetFilterType(TFilterType type) noexcept { filterType_ = type; }

    // K, always odd: a write stores value | 1 (an even value becomes the next odd number) and
    // marks the filter not created.
    int KernelLength() const noexcept { return kernelLength_; }
    void SetKernelLength(int value) noexcept;

    // floor(log2 N), 0 while N = 0. A write sets N = round(2^value) (0 for value < 0), assigns it
    // to the FFT and marks the filter not created. Values above 30 raise EFastFourierError
    // "NumSamples is not a positive integer power of 2" and leave N unchanged.
    int FFT_Order() const noexcept;
    void SetFFT_Order(int value);
    // N, 0 until FFT_Order is assigned.
    int FFTSize() const noexcept { return fftSize_; }

    // Band edges in Hz. A write marks the filter not created and, once N > 0, redesigns at once.
    double StartFrequency() const noexcept { return startFrequency_; }
    void SetStartFrequency(double freqHz);
    double StopFrequency() const noexcept { return stopFrequency_; }
    void SetStopFrequency(double freqHz);

    // Sampling rate in Hz. A write marks the filter not created; it does not redesign.
    int SamplesPerSecond() const noexcept { return samplesPerSecond_; }
    void SetSamplesPerSecond(int rateHz) noexcept;

    // Linear gain multiplied into the response (not for Hilbert). A write redesigns at once
    // once N > 0; it never marks the filter not created.
    double Amplification() const noexcept { return amplification_; }
    void SetAmplification(double gain);

    // Handler giving the desired response per bin for the Custom design. Stored only.
    const TSetCustomFilterEvent& SetCustomFilter() const noexcept { return setCustomFilter_; }
    void SetCustomFilter(TSetCustomFilterEvent handler) { setCustomFilter_ = std::move(handler); }

    // True after a successful CreateFilter until a write that marks the filter not created.
    bool FilterCreated() const noexcept { return filterCreated_; }
    // Spectrum of the windowed kernel (times Amplification except for Hilbert), N bins.
    std::span<const TComplex> Response() const noexcept { return response_; }

    // Designs the kernel for the current properties, computes Response, clears the carried state
    // and marks the filter created. Raises EFastFourierError when N is not a power of two of at
    // least 2, EDSPError for Custom without handler and for a band design with
    // SamplesPerSecond = 0. On failure the previous design and state are kept.
    void CreateFilter();

    // Filters count samples of input into output, carrying state to the next call. For the
    // Hilbert design inPhaseOutput receives the input delayed by K div 2 samples, time-aligned
    // with output; other designs leave it alone (it may be empty). count may be at most N - K.
    // Input and output may be the same buffer. Allocates nothing.
    void Filter(std::span<const double> input, std::span<double> output, int count,
                std::span<double> inPhaseOutput = {});

    // Filter in two halves, for callers that spread one block over time: FilterBegin checks
    // and transforms count samples of input (and reads nothing of it later); FilterEnd runs
    // the inverse transform and the overlap-add into output (and, for Hilbert, inPhaseOutput).
    // Only the latter changes the carried state. A redesign or a property write between the two
    // makes FilterEnd raise EDSPError; so does FilterEnd without FilterBegin.
    void FilterBegin(std::span<const double> input, int count);
    void FilterEnd(std::span<double> output, std::span<double> inPhaseOutput = {});
    // True between a successful FilterBegin and its FilterEnd, while the design is unchanged.
    bool FilterPending() const noexcept { return filterCreated_ && pendingCount_ >= 0; }
    // While FilterPending: the transform that FilterBegin took of its count samples x[i],
    // zero-padded to N, Y[j] = sum_{i < count} x[i] exp(+i 2 pi i j / N) for j = 0 ... N/2,
    // unscaled. Empty otherwise.
    std::span<const TComplex> PendingSpectrum() const noexcept;

    // (a.Re b.Re - a.Im b.Im, a.Re b.Im + a.Im b.Re).
    static TComplex ComplexProduct(TComplex a, TComplex b) noexcept {
        return {a.Re * b.Re - a.Im * b.Im, a.Re * b.Im + a.Im * b.Re};
    }

private:
    // Round(N * f / fs) with negative values wrapped to N + value, limited to -1 ... N + 1
    // (every bin outside 0 ... N/2 acts the same in the band designs).
    int FrequencyToBin(double freqHz) const;
    // Weight of kernel tap i for the current window, M = K - 1; 0 for i > M, 1 when M = 0.
    double KernelWindow(int i) const;
    // Writes the desired response (or, for Hilbert, the kernel itself) into the FFT's input.
    void WriteDesiredResponse();
    // Marks the filter not created and, once N > 0, redesigns.
    void RedesignIfSized();

    TWindowType windowType_ = Rect;
    TFilterType filterType_ = BandPass;
    std::unique_ptr<TDSXFastFourier> filterFFT_;
    int kernelLength_ = 0;
    int fftSize_ = 0;
    double startFrequency_ = 0.0;
    double stopFrequency_ = 0.0;
    int samplesPerSecond_ = 0;
    TComplexArray response_;
    TFloatArray overlapBuffer_; // tail of the previous convolution, added to the next block
    TFloatArray convolution_;   // circular convolution of the current block, N samples
    TFloatArray delayBuffer_;   // Hilbert: the last K div 2 input samples, oldest first
    bool filterCreated_ = false;
    int pendingCount_ = -1; // count of the block between FilterBegin and FilterEnd, else -1
    TFilterType designedType_ = BandPass; // design that Response belongs to
    TSetCustomFilterEvent setCustomFilter_;
    double amplification_ = 0.0;
};
