// SPDX-License-Identifier: GPL-3.0-or-later
// Sound level meter: frequency- and time-weighted level, Leq, Lmax/Lmin and the C-weighted peak.
#pragma once

#include "analysis/BlockConsumer.h"
#include "analysis/WeightingFilter.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Readings in dB: re a full-scale sine (a full-scale sine's mean square, 1/2 in full-scale
// units) or, with an SPL sensitivity, dB SPL (that sensitivity added). Peak levels use the same
// reference: 20 lg(|x|max sqrt 2 / full scale), so a full-scale sine has a peak of +3.01 dB.
// Levels of nothing are -infinity (NaN for a reading not there yet).
struct TSoundLevelReadings {
    char Letter = 'A';                 // the frequency weighting: 'A', 'C' or 'Z'
    bool SlowForExtremes = false;      // Lmax and Lmin follow S (else F)
    bool Spl = false;                  // dB SPL
    double FastDb = 0.0;               // LxF now: exponential time weighting, 125 ms
    double SlowDb = 0.0;               // LxS now: 1 s
    double LeqDb = 0.0;                // LxEQ since the restart
    double IntervalLeqDb = 0.0;        // LxEQ of the last completed interval (NaN before the first)
    double CurrentIntervalLeqDb = 0.0; // of the interval in progress
    double IntervalSeconds = 60.0;
    std::int64_t Intervals = 0; // completed intervals
    double MaxDb = 0.0;         // LxFmax (or LxSmax) since the restart
    double MinDb = 0.0;         // LxFmin (LxSmin), from five time constants after the restart
    double CPeakDb = 0.0;       // LCpeak since the restart
    double Seconds = 0.0;       // signal time since the restart
};

// Reading names with the weighting's letter: "LAF", "LAS", "LAeq", "LAFmax", "LCpeak".
std::string SoundLevelName(char letter, const char* suffix);

// Runs every captured sample of the chosen channel through the frequency weighting (A, C or Z,
// designed for the run's rate), squares it and feeds the F and S exponential averages,
//   m[n] = m[n-1] + (1 - e^{-1 / (tau fs)}) (x[n]^2 - m[n-1]),  tau = 0.125 s or 1 s,
// the run's Leq (mean square since the restart), an interval Leq that starts afresh every
// interval, and the extremes; a C-weighted copy of the signal gives the peak. Fed through
// EngineBlock (not the FFT blocks). The A weighting is the C filter followed by what A adds to C
// (three sections in all, the C-weighted peak included). Main thread only (the pipeline's).
class TSoundLevelMeter final : public TBlockConsumer {
public:
    // The channel as the spectrum selects it: 0 left, 1 right, 2 left + right, 3 left - right.
    // Asked per block. Empty: 0.
    std::function<int()> Channel;
    // dB SPL of a full-scale sine, or nothing (readings in dB re a full-scale sine). Asked when
    // the readings are read. Empty: nothing.
    std::function<std::optional<double>()> SplSensitivity;

    // The frequency weighting; restarts the readings.
    void SetWeighting(TAudioWeighting weighting);
    TAudioWeighting Weighting() const { return Weighting_; }
    // Lmax and Lmin from the S (true) or F (false) average.
    void SetSlowExtremes(bool slow);
    bool SlowExtremes() const { return SlowExtremes_; }
    // Length of the repeating Leq interval, seconds (1 ... 3600); restarts the interval.
    void SetIntervalSeconds(double seconds);
    double IntervalSeconds() const { return IntervalSeconds_; }
    void SetActive(bool active) { Active_ = active; }
    // Designs the filters for sampleRate (samples/s) and restarts; Process does it on a change.
    void Configure(double sampleRate);
    // All readings start afresh with the next sample.
    void ResetReadings();

    // Samples of one channel at sampleRate, full scale `fullScale` (the peak of a full-scale
    // sine).
    void Process(std::span<const double> samples, double sampleRate, double fullScale);

    TSoundLevelReadings Readings() const;

    // TBlockConsumer
    bool Active() const override { return Active_; }
    void Restart() override { ResetReadings(); }
    void EngineBlock(const TEngineBlockView& block) override;

private:
    template <TAudioWeighting W> void Run(std::span<const double> samples);

    bool Active_ = true;
    TAudioWeighting Weighting_ = TAudioWeighting::A;
    bool SlowExtremes_ = false;
    double IntervalSeconds_ = 60.0;
    double Rate_ = 0.0;
    double FullScale_ = 1.0;
    TWeightingFilter CFilter_; // C weighting: the peak, and the start of A
    TWeightingFilter AOverC_;  // C followed by this is A
    double AlphaF_ = 0.0, AlphaS_ = 0.0;
    // Mean squares in full-scale units squared.
    double Fast_ = 0.0, Slow_ = 0.0, Max_ = 0.0, Min_ = 0.0, Peak_ = 0.0;
    bool MinValid_ = false;
    double Sum_ = 0.0, IntervalSum_ = 0.0, LastInterval_ = 0.0;
    std::int64_t Count_ = 0, IntervalCount_ = 0, IntervalLength_ = 1, Intervals_ = 0;
    std::int64_t SettleSamples_ = 0;
    std::vector<double> Scratch_;
};
