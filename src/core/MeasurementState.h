// SPDX-License-Identifier: GPL-3.0-or-later
// The one record of run parameters, settings and running results that the measurement shares.
#pragma once

#include "core/ControlSettings.h"
#include "core/LevelCorrection.h"
#include "core/PeakRefinement.h"
#include "core/PipelineTexts.h"
#include "core/ScopeSweep.h"
#include "core/SineOutput.h"
#include "dsp/FloatTypes.h"
#include "instruments/PeakRecorder.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One level calibration: the offset subtracted from raw levels (dB), the peak-peak volts of a
// full-scale sine, and whether the meters read in dBm and volts.
struct TLevelCalibration {
    double RefLevel = 0.0;
    double CalVpp = 1.0;
    bool Calibrated = false;
};

// A point of the reduced spectrum handed to the spectrum view: frequency in Hz and a linear
// magnitude (1.0 = full-scale sine).
struct TSpectrumPoint {
    double x = 0.0;
    double y = 0.0;
};

// Owned by the main window for its whole life and touched only on the main thread (the block
// pipeline runs there too), so it carries no locks. Defaults are those in force before the
// settings files are read. The window copies control values into Controls (and Scope,
// Generator) in its change handlers and copies Texts into its labels after each engine block.
struct MeasurementState {
    static constexpr int PeakLogSize = 10000;
    static constexpr std::size_t CustomVariableCount = 9;

    // Run parameters (sampling control; read by the pipeline).
    double SampleRate = 48000.0;     // samples/s, from the sample-rate combo
    std::int32_t BlockLength = 1024; // FFT length N = length of one processed block, 2^6..2^20
    std::int32_t SubBlocks = 1;      // processed blocks per engine block
    std::int32_t EngineBlock = 2048; // samples per engine block requested at start
    std::int32_t SampleBits = 16;    // 16 or 24
    std::int32_t InDeviceIndex = 0;
    std::int32_t OutDeviceIndex = 0;
    std::string SelectedDeviceName;      // text of the selected capture device entry
    std::string SelectedOutDeviceName;   // text of the selected render device entry
    bool AutoLevel = true;               // CLevel: automatic 0 dB input level
    std::int32_t LowerBin = 0;           // round(cut-on / SampleRate * N)
    std::int32_t UpperBin = 0;           // round(cut-off / SampleRate * N)
    std::int32_t FullScale = 2147483647; // sample full scale (left-justified 32-bit)

    // Spectrum settings.
    std::int32_t WindowKind =
        2; // 0 Rect, 1 Blackman, 2 Blackman², 3 Hanning, 4 Hamming, 5 Flat Top
    std::int32_t Weighting = 0;    // 0 flat, 1 psophometric, 2 C-message, 3 A, 4 C, 5 Z
    double MeterAlpha = 0.5;       // smoothing factor of the meters
    std::int32_t ReducePoints = 0; // target point count of the display reduction
    bool ResetSmoothing = false;   // the next block restarts all averages

    // Meter settings.
    std::int32_t MeterDigits = 3;  // significant digits of read-outs, 2..7
    std::int32_t SpecialMeter = 0; // 0 peak frequency, 1 spectral density, 2 custom, 3 off
    double RefLevel = 0.0;         // calibration offset in dB subtracted from raw levels
    double CalLevel = 0.0;         // calibration level, dBm into 50 Ohms
    bool CalRequest = false;       // set by "Calibrate Level", consumed by the next block
    double CalVpp = 1.0;           // peak-peak volts of the calibration level
    bool CalGuard = false;         // blocks re-entry between the two calibration edits
    double YOffset = 0.0;          // display offset in dB added to meter levels
    bool Calibrated = false;       // "Reset Level Cal" (BReset) is enabled: readings in dBm/volts
    // The calibration in force before the last "Calibrate Level" or "Reset Level Cal", which
    // "Undo Calibration" brings back; empty when there is nothing to undo.
    std::optional<TLevelCalibration> PreviousCal;
    // Sound pressure level that a full-scale sine stands for, dB SPL (re 20 uPa); empty while the
    // microphone has no SPL calibration.
    std::optional<double> SplSensitivityDb;
    // The calibrator's level for "Calibrate SPL", dB SPL.
    double SplCalibratorDb = 94.0;
    // Microphone and interface correction curves, subtracted from every bin with the weighting.
    TLevelCorrection Correction;

    // Running results, written once per processed block.
    std::vector<double> Spectrum;              // N/2 smoothed per-bin amplitudes
    std::vector<double> SmoothAlpha;           // N/2 per-bin smoothing factors
    std::vector<TSpectrumPoint> DisplayPoints; // reduced spectrum for the view
    // Memory traces 1..4 (index 0..3): copies of the spectrum, magnitudes already calibrated.
    std::array<std::vector<TSpectrumPoint>, 4> MemTrace;
    double WindowTotalGain = 1.0;   // band-power gain of the window for a unit sine
    std::int32_t PeakHalfWidth = 0; // main-lobe half width of the window, bins
    // w(i, N - 1) of the selected window for i = 0 ... N - 1, and the kind and N it was made for
    // (a cache shared by the window calibration and the pipeline; see WindowWeights).
    std::vector<double> WindowTable;
    std::int32_t WindowTableKind = -1;
    std::int32_t WindowTableLength = 0;
    // The window kind, N and rate that WindowTotalGain, PeakHalfWidth and PeakFit were measured
    // for (-1: not yet calibrated); the pipeline recalibrates when any of them differs.
    std::int32_t WindowCalKind = -1;
    std::int32_t WindowCalLength = 0;
    double WindowCalRate = 0.0;
    // Response of the peak fit to tones at known offsets from a bin, for the calibrated window
    // (RefinePeak inverts it).
    TPeakFitTable PeakFit;
    std::int32_t PeakBin = 0;      // bin of the largest power inside [LowerBin, UpperBin]
    double PeakBinFine = 0.0;      // interpolated peak position, bins
    double PeakAmplitude = 0.0;    // strongest component relative to a full-scale sine
    double BandTotal = 0.0;        // band root-sum-square of this block, 1.0 = full-scale sine
    double SNRaw = 0.0;            // smoothed band level in dB before calibration
    double SRaw = 0.0;             // smoothed S level in dB after calibration, before YOffset
    double SNLevel = 0.0;          // S+N level shown, dB (dBm when calibrated)
    double SLevel = 0.0;           // S level shown, dB (dBm when calibrated)
    double ScopeRms = 0.0;         // RMS of the filtered block, full-scale units
    std::vector<double> FilterIn;  // N work samples of the band filter
    std::vector<double> FilterOut; // N filtered samples

    // Peak recorder log (filled by the pipeline, read and cleared by the recorder).
    std::vector<TPeakLogEntry> PeakLog = std::vector<TPeakLogEntry>(PeakLogSize);
    std::int32_t PeakLogIndex = 0; // next slot
    bool PeakLogWrapped = false;   // true once the index has wrapped
    double PeakThreshold = -30.0;  // dB

    // Inputs of the custom expressions, nine values each in the order "f", "f_l", "f_u",
    // "samplerate", "n", "y_peak", "f_peak", "sn", "s" (filled by SetCustomVariables): RMS volts
    // for the label, amplitude ratios for the trace.
    TComplexArray CustomVarsVolts = TComplexArray(CustomVariableCount);
    TComplexArray CustomVarsRatio = TComplexArray(CustomVariableCount);

    TControlSettings Controls;    // control values the pipeline reads
    TScopeSweep Scope;            // scope settings, sweep state and points
    TSineOutput Generator;        // sine output settings and phase
    TPipelineTexts Texts;         // label texts, bar position and repaint requests for the window
    TStreamErrorLog StreamErrors; // errors raised while blocks stream, reported once
    std::uint64_t RunNumber = 0;  // counts sampling starts (ResetForStart)
    // Processed blocks left out of every reading because a sample in them is not a finite number
    // (NaN or infinity), since the start of sampling.
    std::uint64_t InvalidBlocks = 0;
};

// The resets of a sampling start that concern the measurement: the peak log restarts
// (PeakLogIndex 0, not wrapped), the scope sweep restarts and asks for a re-layout
// (ScopeRedraw), the tone starts at phase 0, the stream error log and the count of invalid
// blocks are cleared and RunNumber counts the start (the pipeline's consumers restart before the
// next block).
void ResetForStart(MeasurementState& state);
