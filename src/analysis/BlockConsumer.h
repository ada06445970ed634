// SPDX-License-Identifier: GPL-3.0-or-later
// The block pipeline's extension point: analysers that take every engine block or every processed
// block as the pipeline sees it.
#pragma once

#include "dsp/FloatTypes.h"

#include <cstdint>
#include <span>

// One engine block as captured and, while something plays, as played. Samples are left-justified
// 32-bit integers held in floats: FullScale is the peak of a full-scale sine. The spans are valid
// only during the call.
struct TEngineBlockView {
    double SampleRate = 0.0; // samples/s
    double FullScale = 2147483647.0;
    std::span<const float> Left; // captured, every frame of the engine block
    std::span<const float> Right;
    std::span<const float> OutLeft; // played in this block; empty when nothing plays
    std::span<const float> OutRight;
    double GeneratorHz = 0.0; // the coherent sine's frequency while it plays, else 0
    // Gaps the engine has counted in this run so far, capture and playback (0 for a file). When
    // it grows, frames were lost or silence played somewhere in what the engine holds: the
    // captured signal may jump in this block or in one that follows shortly.
    std::uint64_t Gaps = 0;
};

// One processed block of N samples, after the pipeline's spectrum analysis and the band filter's
// forward transform (before its output). The spans are valid only during the call.
struct TProcessedBlockView {
    double SampleRate = 0.0; // samples/s
    double FullScale = 2147483647.0;
    int N = 0;                   // samples of the block, the FFT length
    int Channel = 0;             // the spectrum's channel: 0 left, 1 right, 2 sum, 3 difference
    std::span<const float> Left; // the block's captured samples (N each)
    std::span<const float> Right;
    std::span<const float> OutLeft; // what played over the same frames; empty when nothing plays
    std::span<const float> OutRight;
    // X[k] for k = 0 ... N/2 - 1 of the selected channel, windowed and weighted as the spectrum
    // is: X[k] = sum w[i] x[i] exp(+i 2 pi i k / N), unscaled (a full-scale sine on bin k gives
    // |X[k]| = N * FullScale * (coherent gain of the window) / 2).
    std::span<const TComplex> Bins;
    // The band filter's transform of the same block: the selected channel as the filter takes
    // it (left or right; the sum or difference formed in float), without window or weighting,
    // zero-padded to M = 2 (PaddedBins.size() - 1) points, Y[j] = sum_{i < N} x[i]
    // exp(+i 2 pi i j / M) for j = 0 ... M/2, unscaled. Where M is a multiple of N, Y[j M / N]
    // is bin j of the block's rectangular N-point transform. Empty when the filter has not
    // transformed the block.
    std::span<const TComplex> PaddedBins;
    // The spectrum as the view shows it before calibration: N/2 linear amplitudes after
    // smoothing or peak hold, 1.0 = a full-scale sine.
    std::span<const double> Spectrum;
    // The coherent sine's frequency (rate / 2^p) while it plays, else 0. With the generator's
    // two tones it is still rate / 2^p: the tones are whole multiples of it.
    double GeneratorHz = 0.0;
    bool Shown = true; // the last processed block of its engine block
};

// An analyser fed by the pipeline (see TPipelineComponents::Consumers). The pipeline calls it on
// the main thread only, and only while Active(); a consumer that throws has the text recorded
// among the stream errors and the pipeline goes on with the block.
class TBlockConsumer {
public:
    virtual ~TBlockConsumer() = default;

    // False: the pipeline does not call it (a view that is not shown costs nothing).
    virtual bool Active() const { return true; }
    // A sampling run starts (also a file measurement): averages and histories start afresh.
    virtual void Restart() {}
    // Each engine block, before its processed blocks, with every captured sample.
    virtual void EngineBlock(const TEngineBlockView& /*block*/) {}
    // Each processed block.
    virtual void ProcessedBlock(const TProcessedBlockView& /*block*/) {}
};
