// SPDX-License-Identifier: GPL-3.0-or-later
// The distortion analyser: power-averaged spectrum of each block, coherent or free, and its
// readings.
#pragma once

#include "analysis/DistortionReadings.h"
#include "dsp/DSXFastFourier.h"

#include <cstdint>
#include <span>
#include <vector>

// The free mode's window: Kaiser with beta = HighRejectionBeta, "periodic" (w[n] for n = 0 ...
// N - 1 of the symmetric window of N + 1 points), w[n] = I0(beta sqrt(1 - (2n/N - 1)^2)) /
// I0(beta). Its side lobes stay below -185 dB (the highest, next to the main lobe, near -189 dB)
// and its main lobe reaches its first zero 7.7 bins from the centre.
std::vector<double> HighRejectionWindow(int n);
inline constexpr double HighRejectionBeta = 24.0;
// Half-width in bins of a component in the free mode: the main lobe and a little of the first
// side lobe (everything beyond is below -185 dB).
inline constexpr int HighRejectionLobe = 8;

// Measures distortion block by block. Each block of N samples is transformed, either with a
// rectangular window when the coherent generator plays a tone that falls on a bin (its period
// divides N: every tone and harmonic sits on one bin), or else with HighRejectionWindow
// (components are then summed over their main lobe). The block's power spectrum joins a power
// average: the plain mean of the blocks so far until Averages blocks are in, then an
// exponential average that gives each new block the weight 1 / Averages. The readings are
// taken from the average when asked for. Not thread-safe; the window's main thread or a
// measurement's own thread.
class TDistortionAnalyser {
public:
    // Sample rate in Hz and block length N (a power of two from 8 to 2^20, else
    // EFastFourierError); allocates, computes the window and restarts the average.
    void Configure(double rateHz, int n);
    double RateHz() const { return rateHz_; }
    int N() const { return n_; }

    // Takes effect at the next readings; changing Averages keeps the average (a shorter one
    // continues from where it is).
    void SetSettings(const TDistortionSettings& settings);
    const TDistortionSettings& Settings() const { return settings_; }

    // Starts the average afresh (sampling starts).
    void Restart();

    // One block: `samples` holds N values (more are ignored; fewer raise std::invalid_argument),
    // 1.0 being the amplitude of a full-scale sine. generatorHz is the coherent generator's
    // frequency while it plays, else 0. A block of the other mode than the last one (or of
    // another generator frequency), or whose mean square differs from the last block's by more
    // than 0.5 dB (the signal changed, or a tone set in), restarts the average with it.
    void Process(std::span<const double> samples, double generatorHz);
    // The same without a copy: fill Input() (N values), then call ProcessInput.
    std::span<double> Input() { return fft_.RealInput(); }
    void ProcessInput(double generatorHz);
    // Process on the samples scale * a[i] (combine 0), scale * (a[i] + b[i]) (combine > 0) or
    // scale * (a[i] - b[i]) (combine < 0), formed in double precision, in one pass without a
    // copy. Raises std::invalid_argument when a (or b, where it is read) is shorter than N.
    void ProcessFloats(std::span<const float> a, std::span<const float> b, int combine,
                       double scale, double generatorHz);

    // True when a block with the generator at generatorHz (0: none) is measured in the coherent
    // mode: the tone falls on a bin below N/2, f N / fs whole.
    bool CoherentAt(double generatorHz) const;
    // A block of the coherent mode given by its rectangular transform instead of its samples (as
    // a band filter's zero-padded transform holds it): X[k] = bins[k * stride] for k = 0 ... N/2,
    // X[k] = sum x[i] exp(+i 2 pi i k / N) with x in units of 1 / `scale` (the samples that
    // Process would take are scale * x). The same as Process on those samples (the level that
    // restarts the average is their mean square, from the bins by Parseval), but the transform
    // is not taken again. Raises
    // std::invalid_argument when CoherentAt(generatorHz) is false or bins is too short.
    void ProcessRectangularBins(std::span<const TComplex> bins, std::size_t stride, double scale,
                                double generatorHz);

    // Blocks in the average (at most Averages).
    int Averaged() const { return averaged_; }
    // The averaged power spectrum P[k], k = 0 ... N/2 (see TPowerSpectrum).
    std::span<const double> Power() const { return power_; }
    // True when the blocks in the average were coherent.
    bool Coherent() const { return gridHz_ > 0.0; }

    // The readings of the average (computed when blocks or settings changed since the last
    // call).
    const TDistortionReadings& Readings();
    // The residual of the average: for each bin k = 0 ... N/2 the amplitude that a sine centred
    // on the bin would give, sqrt(2 * P[k] * ENBW) (ENBW: the window's equivalent noise
    // bandwidth in bins), and NaN for the bins of DC and the fundamental (computed, with the
    // readings, when blocks or settings changed since the last call).
    std::span<const double> Residual();

private:
    // Enters a block of the mode of `grid` (the generator's frequency when coherent, else 0)
    // whose mean square is meanSquare: the average starts afresh when the mode, the tone or the
    // level changed.
    void StartBlock(double grid, double meanSquare);
    // The rest of a block whose samples (windowed when not coherent) are in Input(), with the
    // sum of their squares before the window: the average's restart, transform, power average.
    void TransformInput(bool coherent, double generatorHz, double sumOfSquares);
    // True when meanSquare is more than 0.5 dB off the last block's while blocks are averaged.
    bool LevelChanged(double meanSquare) const;
    // Moves the average by `weight` towards the block's power spectrum P[k] = scale |bins[k
    // stride]|^2 (twice that for 0 < k < N/2); returns the sum of P (the block's mean square
    // when P is scaled as a sine's power).
    double AddBlock(const TComplex* bins, std::size_t stride, double scale, double weight);

    double rateHz_ = 0.0;
    int n_ = 0;
    TDistortionSettings settings_;
    TDSXFastFourier fft_;
    std::vector<double> window_;
    double windowPowerSum_ = 0.0; // sum of w[n]^2
    double windowEnbw_ = 1.0;     // N sum w^2 / (sum w)^2, bins
    std::vector<double> power_;
    int averaged_ = 0;
    double lastMeanSquare_ = 0.0; // of the last block
    double gridHz_ = 0.0;         // the generator's frequency of the averaged blocks; 0 free
    bool stale_ = true;           // the readings are older than the average or the settings
    bool residualStale_ = true;   // the residual is older than the readings
    TDistortionReadings readings_;
    std::vector<double> residual_;
    std::vector<std::uint8_t> marks_;
};
