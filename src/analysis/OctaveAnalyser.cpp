// SPDX-License-Identifier: GPL-3.0-or-later
// Fractional-octave analyser: band levels from the spectrum's bins, time-weighted, held and Leq.
#include "analysis/OctaveAnalyser.h"

#include <algorithm>
#include <cmath>

namespace {

// 10 lg p, with powers at or below 1e-30 (300 dB below full scale) shown as -300 dB.
double PowerDb(double p) {
    return 10.0 * std::log10(std::max(p, 1e-30));
}

} // namespace

void TOctaveAnalyser::SetFraction(int b) {
    if (!ValidOctaveFraction(b) || b == Fraction_)
        return;
    Fraction_ = b;
    LayoutStale_ = true;
    Prepare(Rate_, N_);
}

void TOctaveAnalyser::SetWeighting(TOctaveWeighting weighting) {
    Weighting_ = std::move(weighting);
    LayoutStale_ = true;
    Prepare(Rate_, N_);
}

void TOctaveAnalyser::Prepare(double sampleRate, int n) {
    if (n < 2 || !(sampleRate > 0.0))
        return;
    if (LayoutStale_ || sampleRate != Rate_ || n != N_) {
        Rate_ = sampleRate;
        N_ = n;
        Layout();
    }
}

void TOctaveAnalyser::ResetReadings() {
    Blocks_ = 0;
    std::fill(Last_.begin(), Last_.end(), 0.0);
    std::fill(Level_.begin(), Level_.end(), 0.0);
    std::fill(Peak_.begin(), Peak_.end(), 0.0);
    std::fill(Sum_.begin(), Sum_.end(), 0.0);
}

void TOctaveAnalyser::Layout() {
    LayoutStale_ = false;
    const double sampleRate = Rate_;
    const int n = N_;
    const int bins = n / 2;
    const double df = sampleRate / n;
    Bands_ = OctaveBands(Fraction_, sampleRate / 2.0);
    BandBins_.assign(Bands_.size(), {});
    Coefficients_.clear();
    for (std::size_t i = 0; i < Bands_.size(); ++i) {
        const TOctaveBand& band = Bands_[i];
        // Bin k covers (k - 1/2) df ... (k + 1/2) df; the bins holding the edges count by share.
        const int first = std::clamp(static_cast<int>(std::floor(band.LoHz / df + 0.5)), 0, bins);
        const int last =
            std::clamp(static_cast<int>(std::floor(band.HiHz / df + 0.5)), 0, bins - 1);
        TBandBins& where = BandBins_[i];
        where.First = first;
        where.Offset = Coefficients_.size();
        for (int k = first; k <= last; ++k) {
            const double lo = std::max(band.LoHz, (k - 0.5) * df);
            const double hi = std::min(band.HiHz, (k + 0.5) * df);
            double share = std::max(hi - lo, 0.0) / df;
            if (Weighting_) {
                const double a = Weighting_(std::min(k * df, sampleRate / 2.0));
                share *= a * a;
            }
            Coefficients_.push_back(share);
        }
        where.Count = static_cast<int>(Coefficients_.size() - where.Offset);
    }
    Power_.assign(static_cast<std::size_t>(std::max(bins, 0)), 0.0);
    Last_.assign(Bands_.size(), 0.0);
    Level_.assign(Bands_.size(), 0.0);
    Peak_.assign(Bands_.size(), 0.0);
    Sum_.assign(Bands_.size(), 0.0);
    Blocks_ = 0;
}

void TOctaveAnalyser::Process(std::span<const TComplex> bins, double sampleRate, int n,
                              double fullScale, int windowKind) {
    if (n < 2 || !(sampleRate > 0.0) || bins.size() < static_cast<std::size_t>(n / 2))
        return;
    Prepare(sampleRate, n);
    Scale_.Prepare(windowKind, n, fullScale);
    BinPowers(bins, Power_);
    const double factor = Scale_.PowerFactor();
    const double tau = TimeConstant_ * sampleRate / n; // in blocks
    const double alpha = tau > 0.0 ? 1.0 - std::exp(-1.0 / tau) : 1.0;
    const bool first = Blocks_ == 0;
    for (std::size_t i = 0; i < BandBins_.size(); ++i) {
        const TBandBins& where = BandBins_[i];
        const double* c = Coefficients_.data() + where.Offset;
        const double* p = Power_.data() + where.First;
        double sum = 0.0;
        for (int j = 0; j < where.Count; ++j)
            sum += c[j] * p[j];
        const double power = sum * factor;
        Last_[i] = power;
        Level_[i] = first ? power : Level_[i] + alpha * (power - Level_[i]);
        Peak_[i] = first ? Level_[i] : std::max(Peak_[i], Level_[i]);
        Sum_[i] += power;
    }
    ++Blocks_;
}

void TOctaveAnalyser::ProcessedBlock(const TProcessedBlockView& block) {
    Process(block.Bins, block.SampleRate, block.N, block.FullScale, WindowKind ? WindowKind() : 2);
}

TOctaveReadings TOctaveAnalyser::Readings() const {
    TOctaveReadings r;
    r.Fraction = Fraction_;
    r.SampleRate = Rate_;
    r.N = N_;
    r.Blocks = Blocks_;
    r.Seconds = Rate_ > 0.0 ? static_cast<double>(Blocks_) * N_ / Rate_ : 0.0;
    r.Bands.reserve(Bands_.size());
    for (std::size_t i = 0; i < Bands_.size(); ++i) {
        TOctaveBandReading band;
        band.Band = Bands_[i];
        band.Resolved = BandResolved(Bands_[i], Rate_, N_);
        band.LastDb = PowerDb(Last_[i]);
        band.LevelDb = PowerDb(Level_[i]);
        band.PeakDb = PowerDb(Peak_[i]);
        band.LeqDb = PowerDb(Blocks_ > 0 ? Sum_[i] / static_cast<double>(Blocks_) : 0.0);
        r.Bands.push_back(band);
    }
    return r;
}
