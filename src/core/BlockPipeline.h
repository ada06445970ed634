// SPDX-License-Identifier: GPL-3.0-or-later
// The block pipeline: from each engine block to spectrum, meters, scope sweep and output tone.
#pragma once

#include "analysis/BlockConsumer.h"
#include "audio/SndTypes.h"
#include "core/SpectrumSmoothing.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

class TDSXFastFourier;
class TTBDSP;
struct MeasurementState;

// Components that the window owns and lends to the pipeline. The window sets the pointers after
// creating the components and sets DSP again whenever RebuildFilter replaces the band filter;
// the pipeline only uses them during AStreamData / SubStreamData and never deletes them.
struct TPipelineComponents {
    TDSXFastFourier* FFT = nullptr; // spectrum transform, N = BlockLength points (required)
    TTBDSP* DSP = nullptr;          // input band filter, designed for N samples (required)
    // The custom label text; called after SetCustomVariables. Empty: the label reads "error".
    std::function<std::string()> CustomLabelText;
    // Refreshes the marker read-outs from the new spectrum once per processed block (optional);
    // it reads Spectrum (lean engine blocks reduce DisplayPoints only for their last block).
    std::function<void()> RefreshMarkers;
    // Runs a task on the main thread after the events already waiting there (optional). When
    // set, an engine block of one processed block of at least SliceLength samples is processed
    // in three slices: AStreamData transforms the spectrum, a posted task transforms the block
    // for the band filter, a second one does the rest and calls SlicedBlockDone. The slices
    // touch MeasurementState only in the last one, on the main thread like everything else.
    std::function<void(std::function<void()>)> PostSlice;
    // Called after the last slice of a sliced engine block (also when it failed): the texts,
    // errors and repaint request of that block are then in place.
    std::function<void()> SlicedBlockDone;
    // The running source's gaps so far in this run, capture and playback (optional; none when
    // unset): read once per engine block for the consumers (TEngineBlockView::Gaps).
    std::function<std::uint64_t()> StreamGaps;
    // Analysers fed with every engine block and every processed block while they are active, in
    // this order (not owned; each must outlive its place in the list). They are restarted
    // before the first block of each run (see ResetForStart).
    std::vector<TBlockConsumer*> Consumers;
};

// True when every sample of a processed block that the measurement reads is a finite number:
// both rows, and for `channel` 2 or 3 ("Left+Right", "Left-Right") their float sum or
// difference, which can overflow. One pass, no allocation.
bool BlockIsFinite(int channel, std::span<const float> left, std::span<const float> right);

// Runs the measurement on every engine block. Holds references to the window's state and
// component table (both must outlive it) and its own work buffers, which are sized when N
// changes and reused, so steady-state blocks allocate nothing. Main thread only.
class TBlockPipeline {
public:
    TBlockPipeline(MeasurementState& state, TPipelineComponents& components);

    // OnData handler of the stream facade: fills OutBuffer with the sine when CheckOut is set,
    // runs SubStreamData on each of the SubBlocks blocks of N samples of InBuffer rows 0 and 1,
    // then counts one repaint request (Texts.RepaintRequests). A block holding a sample that is
    // not a finite number (see BlockIsFinite) is left out and counted in InvalidBlocks: every
    // reading stays as after the block before it, and the last finite block is the one shown
    // (no repaint request when none was). An exception from a processed block (the band
    // filter's, for example) ends this engine block without its repaint request and is recorded
    // in StreamErrors instead of being thrown. Int32Buffer is ignored.
    void AStreamData(void* sender, TDataBufferI& int32Buffer, TDataBufferF& inBuffer,
                     TDataBufferF& outBuffer);

    // One processed block of N = BlockLength samples (both spans hold at least N): channel
    // selection, window, transform, weighting, band power and peak, spectrum smoothing and
    // reduction, peak amplitude and position, band filter, levels, texts, RMS bar, scope sweep,
    // custom label. Raises what the components raise.
    void SubStreamData(std::span<const float> left, std::span<const float> right);

    // The spectrum part of SubStreamData (needs only the FFT): recalibrates the window when N,
    // the rate or the window changed, then channel selection, window, transform, weighting, band
    // power and peak, spectrum smoothing and reduction, PeakAmplitude, PeakBinFine (RefinePeak
    // on the smoothed spectrum; for Rect RealTonePosition on this block's bins) and the peak
    // frequency text. Raises what the FFT raises.
    void AnalyseBlock(std::span<const float> left, std::span<const float> right);

    // The custom label text of the window's parser after SetCustomVariables, or "error".
    std::string CustomLabelText();

    // Lean engine blocks (the default): every processed block but the last of an engine block
    // leaves out what the next one overwrites before the views repaint: the display reduction,
    // the texts (LSN_M, LSN, LS, LSp, LCus, ProgressBar1).
    // RefreshMarkers still runs for every block, so it must read Spectrum, not DisplayPoints. The
    // scope texts LSN_O and LCS, which a block writes only when it follows scope data, are
    // formatted once at the end from the readings of the block that wrote them last. Spectrum,
    // levels, peak log, scope sweep and flags advance per block as before, so the state after an
    // engine block is the one of SubStreamData on every block. With lean off, AStreamData runs
    // SubStreamData on every processed block.
    void SetLean(bool lean) noexcept { lean_ = lean; }
    bool Lean() const noexcept { return lean_; }

    // Sliced engine blocks (see TPipelineComponents::PostSlice) give the same readings as
    // AStreamData in one go: when a setting that the earlier slices used changed in between
    // (N, the window, the channel, the rate, SubBlocks, the FFT's or the filter's buffers, a
    // redesign), the block is processed again from a copy in one go with the current settings,
    // as if the change had come before the block. A new engine block first finishes a pending
    // one. SliceLength is the smallest N that is sliced (default 131072).
    void SetSliceLength(int n) noexcept { sliceLength_ = n; }
    int SliceLength() const noexcept { return sliceLength_; }
    // True while a sliced engine block waits for its posted slices.
    bool BlockPending() const noexcept { return pendingStage_ != 0; }
    // Runs what is left of a pending sliced engine block now (nothing when none is pending).
    void FinishPendingBlock();

private:
    // The readings that the scope texts are formatted from.
    struct TScopeReadings {
        double SNLevel = 0.0;
        double SLevel = 0.0;
        double PeakAmplitude = 0.0;
        double PeakBinFine = 0.0;
    };

    // What the slices of a sliced engine block rely on staying as it was.
    struct TSliceStamp {
        int N = 0;
        int SubBlocks = 0;
        int Window = 0;
        int Channel = 0;
        double Rate = 0.0;
        TDSXFastFourier* FFT = nullptr;
        std::uint64_t FFTGeneration = 0;
        TTBDSP* DSP = nullptr;
    };

    // The loop of AStreamData over the processed blocks of rows 0 and 1, with the repaint
    // request; raises what a block raises.
    void RunEngineBlock(std::span<const float> left, std::span<const float> right);
    // SubStreamData / AnalyseBlock; shown = false leaves out the hidden work (see SetLean).
    void ProcessBlock(std::span<const float> left, std::span<const float> right, bool shown);
    // filterIn: see TransformBlock.
    void Analyse(std::span<const float> left, std::span<const float> right, bool shown,
                 std::span<double> filterIn = {});
    // The first part of Analyse: channel selection, window and transform (into the FFT). The
    // selected channel goes to measured_, or, when filterIn is given, straight into it (as
    // doubles, for the band filter) instead.
    void TransformBlock(std::span<const float> left, std::span<const float> right,
                        std::span<double> filterIn = {});
    // The rest of Analyse, from the transform in the FFT's ComplexOutput.
    void AnalyseSpectrum(bool shown);
    // ProcessBlock after the band filter: levels, texts, RMS bar, scope sweep, custom label.
    void FinishBlock(bool shown);
    // Sliced engine blocks.
    void StartSlicedBlock(std::span<const float> left, std::span<const float> right);
    void PostNextSlice();
    void RunSlice();
    void RunCopiedBlockNow();
    TSliceStamp CurrentStamp() const;
    bool StampHolds() const;
    // The hidden work of a block whose processing failed after its analysis: what it would
    // have shown stays shown, as without lean blocks.
    void ShowFailedBlock();
    // The consumers' share of an engine block and of a processed block (see
    // TPipelineComponents::Consumers); blockOffset_ says where the processed block starts.
    void FeedEngineBlock(std::span<const float> left, std::span<const float> right);
    void FeedProcessedBlock(std::span<const float> left, std::span<const float> right, bool shown);
    // Formats LSN_O and LCS from the readings of the hidden block that wrote them last.
    void ShowHiddenScopeTexts();
    TScopeReadings Readings() const;
    void SizeBuffers(int n);
    const std::vector<double>& WeightTable(int n);
    // Rebuilds SmoothAlpha when one of BuildSmoothAlpha's inputs changed since the pipeline
    // last built it, or when its length is not N/2 (another writer); otherwise the table stays
    // as it is, also one of length N/2 that someone else wrote.
    void EnsureSmoothAlpha(int filterRate);

    // The inputs of the last BuildSmoothAlpha of the pipeline.
    struct TSmoothAlphaKey {
        bool Built = false;
        int N = 0;
        double MeterAlpha = 0.0;
        int CTC = 0;
        std::array<std::string, 6> ET;
        double SampleRate = 0.0;
        int FilterRate = 0;
    };

    bool lean_ = true;
    TSmoothAlphaKey alphaKey_;
    bool overlayHidden_ = false; // a hidden block wrote LSN_O and LCS (from overlayReadings_)
    TScopeReadings overlayReadings_;
    TReductionBands bands_; // log-axis band edges of the display reduction

    int sliceLength_ = 1 << 17;
    int pendingStage_ = 0;          // 0 none; 1 the filter's transform next; 2 the rest next
    std::uint64_t sliceTicket_ = 0; // ticket of the one posted slice that may still run
    TSliceStamp stamp_;
    std::vector<float> copiedLeft_; // rows 0 and 1 of the pending engine block
    std::vector<float> copiedRight_;
    std::vector<float> copiedOutLeft_; // and what played over it, for the consumers
    std::vector<float> copiedOutRight_;

    // The played rows of the engine block in progress (empty when the engine gives none), the
    // first frame of the processed block in progress, and the run the consumers last restarted
    // for.
    std::span<const float> outLeft_;
    std::span<const float> outRight_;
    std::size_t blockOffset_ = 0;
    std::uint64_t consumersRun_ = 0;
    // Expires with the pipeline: posted slices that run later do nothing.
    std::shared_ptr<int> life_ = std::make_shared<int>(0);

    MeasurementState& state_;
    TPipelineComponents& components_;
    std::vector<float> measured_;  // the selected channel of the block (float arithmetic)
    std::vector<double> binPower_; // |X[k]|^2 of the weighted bins k < N/2 of the block
    float lastSample_ = 0.0f;      // its sample N - 1 (the rectangular window's peak fit)
    double spectrumScale_ = 0.0;   // SpectrumScale for the FullScale and WindowKind in scaleKey_
    std::optional<std::pair<std::int32_t, std::int32_t>> scaleKey_;
    std::vector<double> weightTable_;
    int weightTableKind_ = 0;
    int weightTableLength_ = 0;
    double weightTableRate_ = 0.0;
    std::uint64_t weightTableCorrection_ = 0; // Correction.Generation the table was built for
};
