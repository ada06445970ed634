// The block pipeline: from each engine block to spectrum, meters, scope sweep and output tone.
#pragma once

#include "audio/SndTypes.h"
#include "core/SpectrumSmoothing.h"

#include <functional>
#include <span>
#include <string>
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
};

// Runs the measurement on every engine block. Holds references to the window's state and
// component table (both must outlive it) and its own work buffers, which are sized when N
// changes and reused, so steady-state blocks allocate nothing. Main thread only.
class TBlockPipeline {
public:
    TBlockPipeline(MeasurementState& state, TPipelineComponents& components);

    // OnData handler of the stream facade: fills OutBuffer with the sine when CheckOut is set,
    // runs SubStreamData on each of the SubBlocks blocks of N samples of InBuffer rows 0 and 1,
    // then counts one repaint request (Texts.RepaintRequests). An exception from a processed
    // block (the band filter's, for example) ends this engine block without its repaint request
    // and is recorded in StreamErrors instead of being thrown. Int32Buffer is ignored.
    void AStreamData(void* sender, TDataBufferI& int32Buffer, TDataBufferF& inBuffer,
                     TDataBufferF& outBuffer);

    // One processed block of N = BlockLength samples (both spans hold at least N): channel
    // selection, window, transform, weighting, band power and peak, spectrum smoothing and
    // reduction, peak amplitude and position, band filter, levels, texts, RMS bar, scope sweep,
    // custom label. Raises what the components raise.
    void SubStreamData(std::span<const float> left, std::span<const float> right);

    // The spectrum part of SubStreamData (needs only the FFT): recalibrates the window when N,
    // the rate or the window changed, then channel selection, window, transform, weighting, band
    // power and peak, spectrum smoothing and reduction, PeakAmplitude, PeakBinFine and the peak
    // frequency text. Raises what the FFT raises.
    void AnalyseBlock(std::span<const float> left, std::span<const float> right);

    // The custom label text of the window's parser after SetCustomVariables, or "error".
    std::string CustomLabelText();

    // Lean engine blocks (the default): every processed block but the last of an engine block
    // leaves out what the next one overwrites before the views repaint: the display reduction,
    // the texts (LSN_M, LSN, LS, LSp, LCus, ProgressBar1) and the rebuild of SmoothAlpha.
    // RefreshMarkers still runs for every block, so it must read Spectrum, not DisplayPoints. The
    // scope texts LSN_O and LCS, which a block writes only when it follows scope data, are
    // formatted once at the end from the readings of the block that wrote them last. Spectrum,
    // levels, peak log, scope sweep and flags advance per block as before, so the state after an
    // engine block is the one of SubStreamData on every block. With lean off, AStreamData runs
    // SubStreamData on every processed block.
    void SetLean(bool lean) noexcept { lean_ = lean; }
    bool Lean() const noexcept { return lean_; }

private:
    // The readings that the scope texts are formatted from.
    struct TScopeReadings {
        double SNLevel = 0.0;
        double SLevel = 0.0;
        double PeakAmplitude = 0.0;
        double PeakBinFine = 0.0;
    };

    // SubStreamData / AnalyseBlock; shown = false leaves out the hidden work (see SetLean).
    void ProcessBlock(std::span<const float> left, std::span<const float> right, bool shown);
    void Analyse(std::span<const float> left, std::span<const float> right, bool shown);
    // The hidden work of a block whose processing failed after its analysis: what it would
    // have shown stays shown, as without lean blocks.
    void ShowFailedBlock();
    // Formats LSN_O and LCS from the readings of the hidden block that wrote them last.
    void ShowHiddenScopeTexts();
    TScopeReadings Readings() const;
    void SizeBuffers(int n);
    const std::vector<double>& WeightTable(int n);

    bool lean_ = true;
    bool alphaBuilt_ = false;    // SmoothAlpha is current for this engine block
    bool overlayHidden_ = false; // a hidden block wrote LSN_O and LCS (from overlayReadings_)
    TScopeReadings overlayReadings_;
    TReductionBands bands_; // log-axis band edges of the display reduction

    MeasurementState& state_;
    TPipelineComponents& components_;
    std::vector<float> measured_;   // the selected channel of the block (float arithmetic)
    std::vector<double> amplitude_; // |X[i]| / N of this block, N/2 bins
    std::vector<double> weightTable_;
    int weightTableKind_ = 0;
    int weightTableLength_ = 0;
    double weightTableRate_ = 0.0;
};
