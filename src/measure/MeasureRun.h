// SPDX-License-Identifier: GPL-3.0-or-later
// One measurement without a window: the window's state, FFT, band filter and block pipeline.
#pragma once

#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"
#include "measure/MeasureOptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

// The readings after an engine block: levels as the meters compute them and the meter texts.
struct TMeasureReading {
    std::int64_t Blocks = 0; // engine blocks measured so far
    std::int64_t Gaps = 0;   // stream gaps counted so far (a file has none)
    // Processed blocks left out because they hold a sample that is not a finite number.
    std::int64_t InvalidBlocks = 0;
    // Samples beyond full scale (float files), measured as they are.
    std::int64_t ClippedSamples = 0;
    // The readings; NaN while no processed block has been measured.
    double SNdB = 0.0;       // SNLevel, dB (dBm when calibrated)
    double SdB = 0.0;        // SLevel
    double SNValue = 0.0;    // SNLevel and SLevel in the chosen unit (ReadingValue)
    double SValue = 0.0;     //
    std::string Unit;        // that unit's text ("dBu(A)")
    double PeakHz = 0.0;     // interpolated peak frequency
    std::string SNText;      // LSN_M, the large S+N read-out
    std::string SText;       // LS
    std::string SpecialText; // LSp (peak frequency)
};

// Sets the measurement up as the window does when it starts sampling with these options at
// `sampleRateHz`, and runs the pipeline on engine blocks. Owns the state, the FFT, the band
// filter and the pipeline; one thread. EUsageError when the band does not fit the rate,
// ECorrectionFileError when a correction file cannot be read.
class TMeasureRun {
public:
    TMeasureRun(const TMeasureOptions& options, int sampleRateHz);

    // Samples per engine block: max(N, 2048), as the window asks of the engine.
    std::size_t EngineBlockLength() const;

    // One engine block of `frames` samples in rows 0 and 1 of `in` (at most EngineBlockLength;
    // a short last block runs the whole blocks of N it holds). Nothing runs when frames < N.
    // With the sine on (--generator), it is written into `out` (the engine's output block) or,
    // when that is null, into a block of the run's own. Returns false when the pipeline recorded
    // an error for this block.
    bool Feed(TDataBufferF& in, std::size_t frames, TDataBufferF* out = nullptr);

    // The sine's frequency caption, "12000 Hz" and the like; empty when the sine is off.
    const std::string& GeneratorCaption() const { return generatorCaption_; }

    TMeasureReading Reading() const;
    const MeasurementState& State() const { return state_; }

    // Feeds `consumer` with the run's blocks from the next block on (not owned: it must outlive
    // the run).
    void AddConsumer(TBlockConsumer& consumer) { parts_.Consumers.push_back(&consumer); }
    // The device's gaps so far, for the consumers (a file has none).
    void SetStreamGaps(std::function<std::uint64_t()> gaps) { parts_.StreamGaps = std::move(gaps); }

    // The final spectrum, as "Save Data to File" writes it: the display points, shown levels, in
    // the format of the file's extension (".csv", ".frd" or ".txt"; else Touchstone).
    void SaveSpectrum(const std::string& path) const;

private:
    MeasurementState state_;
    TDSXFastFourier fft_;
    std::unique_ptr<TTBDSP> dsp_ = std::make_unique<TTBDSP>();
    TPipelineComponents parts_;
    TBlockPipeline pipeline_{state_, parts_};
    TDataBufferI int32Buffer_;
    TDataBufferF outBuffer_;
    std::int64_t blocks_ = 0;
    std::int64_t processed_ = 0; // processed blocks fed, measured or left out
    std::string generatorCaption_;
};
