// SPDX-License-Identifier: GPL-3.0-or-later
// The response analyser: averaged auto- and cross-spectra of a reference and a response, and the
// response, coherence and delay taken from them.
#pragma once

#include "dsp/DSXFastFourier.h"
#include "dsp/FloatTypes.h"

#include <limits>
#include <span>
#include <string>
#include <vector>

// How the response is measured. Plain data; the analyser limits the values to their ranges.
struct TResponseSettings {
    int Averages = 16;           // K: blocks of a linear average (1 ... 1000)
    bool Exponential = false;    // exponential average with TimeConstantS instead
    double TimeConstantS = 1.0;  // its time constant, s (0.01 ... 1000)
    int Smoothing = 0;           // 0 off, else b of 1/b-octave smoothing (1 ... 48)
    bool RemoveDelay = true;     // the measured delay is taken out of the phase
    bool Rectangular = false;    // rectangular window (periodic noise of period N), else Hann
    double BandLowHz = 20.0;     // the band of the delay fit and of the mean coherence, Hz
    double BandHighHz = 20000.0; // (its top limited to half the rate)
};

// The settings with every value in its range (a non-finite band edge becomes its default).
TResponseSettings LimitedSettings(TResponseSettings settings);

// The readings of one evaluation, bin by bin for k = 1 ... N/2 - 1 (DC and half the rate left
// out). NaN where a value is missing.
struct TResponseReadings {
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();

    bool Valid = false;         // the readings below hold values
    std::string Problem;        // why not, when not
    int Averaged = 0;           // blocks in the average shown
    double DelaySamples = None; // y(t) = h * x(t - delay): the alignment plus the phase slope
    double DelayMs = None;
    double CoherenceMean = None; // mean over the bins of the band

    std::vector<double> FrequencyHz;  // k rate / N
    std::vector<double> MagnitudeDb;  // 20 lg |H1|
    std::vector<double> PhaseDeg;     // arg H1 in -180 ... 180, a delay gives a falling phase
    std::vector<double> UnwrappedDeg; // the same without the jumps of 360, from bin 1 on
    std::vector<double> GroupDelayMs; // -d(phase)/d(omega) of the unwrapped phase
    std::vector<double> Coherence;    // |Gxy|^2 / (Gxx Gyy), 0 ... 1
};

// Measures the response y / x block by block. Each call of Process gets a block of N samples of
// the reference x and of the response y, already aligned by `alignment` samples (y(t) against
// x(t - alignment)). Both are windowed alike (Hann or rectangular) and transformed; the products
// Gxx = |X|^2, Gyy = |Y|^2 and Gxy = conj(X) Y (X, Y the transforms with the usual sign,
// sum x[n] exp(-i 2 pi n k / N)) are averaged: linear (the plain mean of K blocks; once K are in,
// that average is shown until the next K are in) or exponential (each block enters with the
// weight 1 - exp(-N / (rate T)), the plain mean until that many blocks are in).
// H1 = Gxy / Gxx, coherence = |Gxy|^2 / (Gxx Gyy). The residual delay r below one sample (or a
// few) is where Re sum_k c_k exp(i (arg Gxy[k] + omega_k r)) peaks over the bins of the band
// (c_k the coherence, omega_k = 2 pi k / N): the phase slope of the cross-spectrum weighted by
// its coherence; the delay is alignment + r. Not thread-safe; one owner and thread.
class TResponseAnalyser {
public:
    // Sample rate in Hz and block length N (a power of two from 16 to 2^20, else
    // EFastFourierError); allocates and restarts.
    void Configure(double rateHz, int n);
    double RateHz() const { return rateHz_; }
    int N() const { return n_; }

    void SetSettings(const TResponseSettings& settings);
    const TResponseSettings& Settings() const { return settings_; }

    // Starts the average afresh.
    void Restart();

    // One block of each (N values; 1.0 = full scale). alignment: samples by which the reference
    // block was taken earlier than the response block.
    void Process(std::span<const double> x, std::span<const double> y, int alignment);

    // Blocks in the average shown.
    int Averaged() const;
    // Blocks since the last restart.
    long long Blocks() const { return blocks_; }
    // True when a linear average of K blocks has just been completed by the last Process (the
    // moment to check the alignment); in exponential mode every K blocks.
    bool AverageCompleted() const { return completed_; }
    // The residual delay of the average in samples (NaN when nothing is averaged).
    double ResidualDelay();

    // The readings of the average (recomputed when blocks or settings changed since).
    const TResponseReadings& Readings();

private:
    // The averaged spectra shown: the last complete linear average, or the running one.
    void ShownSpectra(std::span<const double>& gxx, std::span<const double>& gyy,
                      std::span<const TComplex>& gxy) const;
    void Evaluate();

    double rateHz_ = 0.0;
    int n_ = 0;
    TResponseSettings settings_;
    TDSXFastFourier fftX_;
    TDSXFastFourier fftY_;
    std::vector<double> window_;
    // Running sums (linear) or averages (exponential), bins 0 ... N/2.
    std::vector<double> gxx_, gyy_;
    std::vector<TComplex> gxy_;
    // The last complete linear average.
    std::vector<double> heldXx_, heldYy_;
    std::vector<TComplex> heldXy_;
    int running_ = 0; // blocks in the running sum or average
    int held_ = 0;    // blocks in the held average (0: none yet)
    long long blocks_ = 0;
    int alignment_ = 0;
    bool completed_ = false;
    bool stale_ = true;
    TResponseReadings readings_;
    std::vector<double> coherence_; // scratch, bins 0 ... N/2
    struct TScratch {
        std::vector<double> Phase, Magnitude2, Weight, Unwrapped, SumM, SumP, SumC, Shown;
        std::vector<TComplex> Unit;
    } scratch_; // of Evaluate, kept between evaluations
};
