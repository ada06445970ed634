// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram history: one row of levels per block or per interval, in a bounded ring.
#pragma once

#include "analysis/BlockConsumer.h"
#include "analysis/WindowSums.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// The frequency axis a row was taken on: Columns equal steps from FMin to FMax, linear or
// logarithmic (FMin > 0 then).
struct TSpectrogramAxis {
    double FMin = 0.0; // Hz at the left edge of column 0
    double FMax = 0.0; // Hz at the right edge of the last column
    bool Log = false;
    bool operator==(const TSpectrogramAxis&) const = default;

    // Frequency at a fractional column position c (0 ... columns): linear
    // FMin + c / columns * (FMax - FMin), logarithmic FMin * (FMax / FMin)^(c / columns).
    double FrequencyAt(double column, int columns) const;
    // The inverse: the fractional column of frequency f (may lie outside 0 ... columns; -1 for
    // f <= 0 on a logarithmic axis).
    double ColumnOf(double freqHz, int columns) const;
    // True when FrequencyAt can be used: FMax > FMin, and FMin > 0 on a log axis.
    bool Valid() const;
};

// What is known of one row besides its levels.
struct TSpectrogramRowInfo {
    double TimeS = 0.0; // start of the row's first block in recorded signal time, s
    TSpectrogramAxis Axis;
};

// Keeps the spectrogram of the selected channel: each row holds Columns levels across the
// frequency axis in force when it was taken (each the strongest bin that the column covers), and
// a row is the strongest of the blocks in its interval (one block, or as many as the chosen row
// interval holds, at least MinRowSeconds). Levels are those of a sine centred on the bin, in dB
// re a full-scale sine (TBinScale::PeakFactor), stored in 0.01 dB steps. The ring holds
// `capacity` rows and is allocated whole with the first row, so memory stays flat from then on:
// Columns * capacity * 2 bytes (30 MiB by default). Time counts the signal recorded: blocks that
// are not fed (the view hidden or paused) add none. Main thread only (the pipeline's).
class TSpectrogram final : public TBlockConsumer {
public:
    static constexpr int Columns = 1024;
    static constexpr std::size_t DefaultCapacity = 15000;
    static constexpr double MinRowSeconds = 0.04;

    explicit TSpectrogram(std::size_t capacity = DefaultCapacity);

    // The window kind the spectrum uses (0 rect ... 5 flat top); asked per block. Empty: 2.
    std::function<int()> WindowKind;

    // The axis of the rows from the next one on (a row being gathered is dropped on a change).
    void SetAxis(const TSpectrogramAxis& axis);
    const TSpectrogramAxis& Axis() const { return Axis_; }
    // Row interval in seconds; 0 for one row per processed block. Rows are never shorter than
    // MinRowSeconds: shorter blocks are gathered until a row lasts at least that long.
    void SetRowSeconds(double seconds) { RowSeconds_ = seconds; }
    double RowSeconds() const { return RowSeconds_; }
    // Blocks per row for blocks of n samples at sampleRate: ceil(max(interval, MinRowSeconds) /
    // (n / sampleRate)), at least 1.
    int BlocksPerRow(double sampleRate, int n) const;
    void SetActive(bool active) { Active_ = active; }

    // One block: bins X[0 ... N/2 - 1] (unscaled), windowed with windowKind.
    void Process(std::span<const TComplex> bins, double sampleRate, int n, double fullScale,
                 int windowKind);
    // Empties the history; time starts at 0 again.
    void Clear();

    // History. Age 0 is the newest row; ages run to RowCount() - 1.
    std::size_t Capacity() const { return Capacity_; }
    std::size_t RowCount() const { return Count_; }
    // Rows added since the history was last emptied (counts on past the capacity).
    std::uint64_t RowsAdded() const { return Added_; }
    // Changes whenever the history is emptied.
    std::uint64_t Generation() const { return Generation_; }
    const TSpectrogramRowInfo& RowInfo(std::size_t age) const;
    std::span<const std::uint16_t> RowLevels(std::size_t age) const;
    // Signal time recorded so far, s.
    double Seconds() const { return Time_; }
    // Bytes held by the history and the gathering row.
    std::size_t MemoryBytes() const;

    // Level codes: code = round((dB - FloorDb) * 100) within 0 ... 65535; code 0 is FloorDb or
    // less (also "no data").
    static constexpr double FloorDb = -300.0;
    static std::uint16_t LevelCode(double db);
    static double LevelDb(std::uint16_t code);

    // TBlockConsumer
    bool Active() const override { return Active_; }
    void Restart() override { Clear(); }
    void ProcessedBlock(const TProcessedBlockView& block) override;

private:
    void MapColumns(double sampleRate, int n);
    std::size_t Slot(std::size_t age) const;

    bool Active_ = true;
    TSpectrogramAxis Axis_;
    double RowSeconds_ = 0.0;
    std::size_t Capacity_;
    // Column c takes the strongest of bins First_[c] ... Last_[c] (none when First_ > Last_).
    TSpectrogramAxis MappedAxis_;
    double MappedRate_ = 0.0;
    int MappedN_ = 0;
    std::vector<int> First_, Last_;
    TBinScale Scale_;
    std::vector<double> Power_; // |X[k]|^2 of the block
    std::vector<double> Row_;   // strongest |X|^2 per bin over the row's blocks so far
    int BlocksInRow_ = 0;
    double RowTime_ = 0.0;
    double Time_ = 0.0;
    // The ring: Capacity_ rows of Columns codes; Head_ is the slot of the newest row.
    std::vector<std::uint16_t> Levels_;
    std::vector<TSpectrogramRowInfo> Infos_;
    std::size_t Head_ = 0;
    std::size_t Count_ = 0;
    std::uint64_t Added_ = 0;
    std::uint64_t Generation_ = 0;
};
