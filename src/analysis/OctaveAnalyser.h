// SPDX-License-Identifier: GPL-3.0-or-later
// Fractional-octave analyser: band levels from the spectrum's bins, time-weighted, held and Leq.
#pragma once

#include "analysis/BlockConsumer.h"
#include "analysis/OctaveBands.h"
#include "analysis/WindowSums.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// One band's readings, levels in dB re a full-scale sine (the band's mean square relative to
// that of a full-scale sine, 10 lg).
struct TOctaveBandReading {
    TOctaveBand Band;
    bool Resolved = false; // the band spans at least two bins at this N (see BandResolved)
    double LastDb = 0.0;   // the last block's band level
    double LevelDb = 0.0;  // exponentially time-weighted band power (the bars)
    double PeakDb = 0.0;   // highest LevelDb since the readings restarted (peak hold)
    double LeqDb = 0.0;    // power mean of all blocks since the readings restarted
};

struct TOctaveReadings {
    int Fraction = 3;        // b of 1/b octave
    double SampleRate = 0.0; // samples/s of the blocks analysed
    int N = 0;               // their length
    std::int64_t Blocks = 0; // blocks in Leq and peak hold
    double Seconds = 0.0;    // signal time in Leq: Blocks * N / SampleRate
    std::vector<TOctaveBandReading> Bands;
};

// An amplitude weighting by frequency (1.0 = flat); squared into each bin's power. Empty: flat.
using TOctaveWeighting = std::function<double(double freqHz)>;

// Band powers from the windowed, weighted bins of each processed block: a bin k covers
// (k - 1/2 ... k + 1/2) * fs / N, and a bin at a band edge counts by the share of its width that
// lies in the band. Scaled with the window's power gain (TBinScale::PowerFactor), so white noise
// and tones read their mean square whatever the window. Every block adds to the Leq; the bars
// follow an exponential average with the chosen time constant. Main thread only (the pipeline's).
class TOctaveAnalyser final : public TBlockConsumer {
public:
    // The window kind the spectrum uses (0 rect ... 5 flat top); asked per block. Empty: 2.
    std::function<int()> WindowKind;

    // 1/b octave (one of OctaveFractions); other values are ignored. Restarts the readings.
    void SetFraction(int b);
    int Fraction() const { return Fraction_; }
    // Time constant of the bars in seconds (0: each block alone).
    void SetTimeConstant(double seconds) { TimeConstant_ = seconds; }
    double TimeConstant() const { return TimeConstant_; }
    // The per-bin weighting: a factor by frequency applied to every bin's amplitude before the
    // bands are summed. Empty (the default): flat. Takes effect with the next block.
    void SetWeighting(TOctaveWeighting weighting);
    void SetActive(bool active) { Active_ = active; }
    // Peak hold, Leq and the bars start afresh with the next block.
    void ResetReadings();
    // Lays the bands out for blocks of n samples at sampleRate (done by Process as well): the
    // readings list the bands before the first block. A change restarts the readings.
    void Prepare(double sampleRate, int n);

    // One block: its bins X[0 ... N/2 - 1] (unscaled, as TProcessedBlockView::Bins), at
    // `sampleRate` with samples of full scale `fullScale`, windowed with `windowKind`.
    void Process(std::span<const TComplex> bins, double sampleRate, int n, double fullScale,
                 int windowKind);

    TOctaveReadings Readings() const;
    // The last block's band powers re a full-scale sine (linear; Readings().Bands order).
    std::span<const double> LastPowers() const { return Last_; }

    // TBlockConsumer
    bool Active() const override { return Active_; }
    void Restart() override { ResetReadings(); }
    void ProcessedBlock(const TProcessedBlockView& block) override;

private:
    // Bins [First, First + Count) with coefficients Coefficients_[Offset ...] for one band.
    struct TBandBins {
        int First = 0;
        int Count = 0;
        std::size_t Offset = 0;
    };
    void Layout();

    bool Active_ = true;
    int Fraction_ = 3;
    double TimeConstant_ = 0.125;
    TOctaveWeighting Weighting_;
    bool LayoutStale_ = true;
    double Rate_ = 0.0;
    int N_ = 0;
    TBinScale Scale_;
    std::vector<TOctaveBand> Bands_;
    std::vector<TBandBins> BandBins_;
    std::vector<double> Coefficients_; // overlap share times the weighting's power factor
    std::vector<double> Power_;        // |X[k]|^2 of the block
    std::vector<double> Last_, Level_, Peak_, Sum_; // band powers re a full-scale sine
    std::int64_t Blocks_ = 0;
};
