// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram history: one row of levels per block or per interval, in a bounded ring.
#include "analysis/Spectrogram.h"

#include <algorithm>
#include <cmath>

bool TSpectrogramAxis::Valid() const {
    return std::isfinite(FMin) && std::isfinite(FMax) && FMax > FMin && (!Log || FMin > 0.0);
}

double TSpectrogramAxis::FrequencyAt(double column, int columns) const {
    const double t = column / columns;
    if (Log)
        return FMin * std::pow(FMax / FMin, t);
    return FMin + t * (FMax - FMin);
}

double TSpectrogramAxis::ColumnOf(double freqHz, int columns) const {
    if (Log)
        return freqHz > 0.0 ? columns * std::log(freqHz / FMin) / std::log(FMax / FMin) : -1.0;
    return columns * (freqHz - FMin) / (FMax - FMin);
}

TSpectrogram::TSpectrogram(std::size_t capacity) : Capacity_(std::max<std::size_t>(capacity, 1)) {}

void TSpectrogram::SetAxis(const TSpectrogramAxis& axis) {
    Axis_ = axis;
}

int TSpectrogram::BlocksPerRow(double sampleRate, int n) const {
    if (!(sampleRate > 0.0) || n <= 0)
        return 1;
    const double blockSeconds = n / sampleRate;
    const double rowSeconds = std::max(RowSeconds_, MinRowSeconds);
    // A small tolerance keeps an interval of exactly k blocks at k.
    return std::max(1, static_cast<int>(std::ceil(rowSeconds / blockSeconds - 1e-9)));
}

void TSpectrogram::Clear() {
    Count_ = 0;
    Added_ = 0;
    ++Generation_;
    Time_ = 0.0;
    BlocksInRow_ = 0;
}

std::size_t TSpectrogram::Slot(std::size_t age) const {
    return (Head_ + Capacity_ - age % Capacity_) % Capacity_;
}

const TSpectrogramRowInfo& TSpectrogram::RowInfo(std::size_t age) const {
    return Infos_[Slot(age)];
}

std::span<const std::uint16_t> TSpectrogram::RowLevels(std::size_t age) const {
    return std::span<const std::uint16_t>(Levels_).subspan(Slot(age) * Columns, Columns);
}

std::size_t TSpectrogram::MemoryBytes() const {
    return Levels_.capacity() * sizeof(std::uint16_t) +
           Infos_.capacity() * sizeof(TSpectrogramRowInfo) +
           (Row_.capacity() + Power_.capacity()) * sizeof(double) +
           (First_.capacity() + Last_.capacity()) * sizeof(int);
}

std::uint16_t TSpectrogram::LevelCode(double db) {
    if (!(db > FloorDb)) // also NaN
        return 0;
    return static_cast<std::uint16_t>(std::min(std::round((db - FloorDb) * 100.0), 65535.0));
}

double TSpectrogram::LevelDb(std::uint16_t code) {
    return FloorDb + code / 100.0;
}

void TSpectrogram::MapColumns(double sampleRate, int n) {
    MappedAxis_ = Axis_;
    MappedRate_ = sampleRate;
    MappedN_ = n;
    const int bins = n / 2;
    const double df = sampleRate / n;
    First_.assign(Columns, 0);
    Last_.assign(Columns, -1);
    if (!Axis_.Valid())
        return;
    for (int c = 0; c < Columns; ++c) {
        // Bin k covers (k - 1/2) df ... (k + 1/2) df: the bins that meet the column's span, or
        // the one bin that holds a column narrower than a bin.
        const double lo = Axis_.FrequencyAt(c, Columns) / df;
        const double hi = Axis_.FrequencyAt(c + 1, Columns) / df;
        const int first = std::max(0, static_cast<int>(std::floor(lo + 0.5)));
        const int last = std::max(first, static_cast<int>(std::ceil(hi + 0.5)) - 1);
        if (first >= bins)
            continue; // beyond the bins: no data
        First_[static_cast<std::size_t>(c)] = first;
        Last_[static_cast<std::size_t>(c)] = std::min(last, bins - 1);
    }
}

void TSpectrogram::Process(std::span<const TComplex> bins, double sampleRate, int n,
                           double fullScale, int windowKind) {
    if (n < 2 || !(sampleRate > 0.0) || bins.size() < static_cast<std::size_t>(n / 2))
        return;
    if (!(Axis_ == MappedAxis_) || sampleRate != MappedRate_ || n != MappedN_) {
        MapColumns(sampleRate, n);
        BlocksInRow_ = 0; // a row is taken on one axis only
    }
    Scale_.Prepare(windowKind, n, fullScale);
    const auto bins2 = static_cast<std::size_t>(n / 2);
    Power_.resize(bins2);
    BinPowers(bins, Power_);
    // The strongest power of each bin over the row's blocks; the columns take theirs when the
    // row is complete (the strongest of the strongest either way round).
    if (BlocksInRow_ == 0) {
        Row_.assign(Power_.begin(), Power_.end());
        RowTime_ = Time_;
    } else {
        for (std::size_t k = 0; k < bins2; ++k)
            Row_[k] = std::max(Row_[k], Power_[k]);
    }
    Time_ += n / sampleRate;
    if (++BlocksInRow_ < BlocksPerRow(sampleRate, n))
        return;
    BlocksInRow_ = 0;

    if (Levels_.empty()) { // the whole ring at once: memory stays flat from here on
        Levels_.assign(Capacity_ * Columns, 0);
        Infos_.assign(Capacity_, {});
    }
    Head_ = Count_ == 0 ? 0 : (Head_ + 1) % Capacity_;
    Count_ = std::min(Count_ + 1, Capacity_);
    ++Added_;
    Infos_[Head_] = {RowTime_, MappedAxis_};
    std::uint16_t* codes = Levels_.data() + Head_ * Columns;
    const double factor = Scale_.PeakFactor();
    for (std::size_t c = 0; c < static_cast<std::size_t>(Columns); ++c) {
        if (First_[c] > Last_[c]) {
            codes[c] = 0;
            continue;
        }
        double strongest = 0.0;
        for (int k = First_[c]; k <= Last_[c]; ++k)
            strongest = std::max(strongest, Row_[static_cast<std::size_t>(k)]);
        codes[c] = LevelCode(10.0 * std::log10(std::max(strongest * factor, 1e-300)));
    }
}

void TSpectrogram::ProcessedBlock(const TProcessedBlockView& block) {
    Process(block.Bins, block.SampleRate, block.N, block.FullScale, WindowKind ? WindowKind() : 2);
}
