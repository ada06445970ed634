// SPDX-License-Identifier: GPL-3.0-or-later
// Set-up of the shared measurement state and pipeline for a run without a window.
#include "measure/MeasureRun.h"

#include "core/Calibration.h"
#include "core/LevelMeters.h"
#include "core/LevelUnits.h"
#include "core/SpectrumFiles.h"
#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

int RoundToInt(double x) {
    return static_cast<int>(std::nearbyint(x));
}

} // namespace

TMeasureRun::TMeasureRun(const TMeasureOptions& options, int sampleRateHz) {
    const int n = options.Length;
    const int half = sampleRateHz / 2;
    int cutOn = options.BandLow.value_or(0);
    int cutOff = options.BandHigh.value_or(half);
    if (options.BandFromSetup) {
        // The sliders hold 0 .. half the rate, and the cut-off follows a cut-on above it.
        cutOn = std::clamp(cutOn, 0, half);
        cutOff = std::max(std::clamp(cutOff, 0, half), cutOn);
    }
    if (cutOff > half)
        throw EUsageError("Bad value for --band: the cut-off " + std::to_string(cutOff) +
                          " Hz lies above half the sample rate (" + std::to_string(half) + " Hz)");

    // The sample-rate, sample-length and band handlers of the window, in that order.
    state_.SampleRate = sampleRateHz;
    state_.BlockLength = n;
    state_.PeakBin = 0;
    fft_.SetNumSamples(n);
    state_.FilterIn.assign(static_cast<std::size_t>(n), 0.0);
    state_.FilterOut.assign(static_cast<std::size_t>(n), 0.0);
    state_.LowerBin = RoundToInt(cutOn / state_.SampleRate * n);
    state_.UpperBin = RoundToInt(cutOff / state_.SampleRate * n);
    state_.Controls.TrackL = cutOn;
    state_.Controls.TrackU = cutOff;
    state_.Controls.ComboChannel = options.Channel;
    state_.Controls.CUnits = options.Units;
    state_.WindowKind = options.WindowKind;
    state_.Weighting = options.Weighting;
    state_.MeterDigits = options.Digits;
    state_.Controls.CTC = options.SpectrumTimeMode;
    state_.Controls.ET = options.CustomTimes;
    state_.RefLevel = options.RefLevel;
    state_.CalVpp = options.RefV;
    state_.Calibrated = options.Calibrated;
    state_.YOffset = options.YOffset;
    ECalDBChange(state_, options.CalLevelText); // a text that is not a number leaves CalLevel
    if (options.CalVolts)
        SetFullScaleVolts(state_, *options.CalVolts);
    state_.SplSensitivityDb = options.SplSensitivityDb;
    // The microphone's curve first, then the interface's.
    for (std::size_t k = 0; k < options.Corrections.size() && k < 2; ++k)
        (k == 0 ? state_.Correction.Microphone : state_.Correction.Interface) =
            ReadCorrectionFile(options.Corrections[k]);
    ++state_.Correction.Generation;

    dsp_->SetAmplification(1.0);
    dsp_->SetFilterType(BandPass);
    dsp_->SetSamplesPerSecond(sampleRateHz);
    dsp_->SetStartFrequency(cutOn);
    dsp_->SetStopFrequency(cutOff);
    dsp_->SetKernelLength(n - 1);
    dsp_->SetFFT_Order(std::countr_zero(static_cast<unsigned>(n)) + 1);
    dsp_->CreateFilter();
    parts_.FFT = &fft_;
    parts_.DSP = dsp_.get();

    CalibrateWindow(state_, fft_);
    ETimeChange(state_, options.TimeConstant, dsp_->SamplesPerSecond());

    // Start of sampling.
    state_.EngineBlock = 2048;
    ResetForStart(state_);
    state_.Generator.CheckOut = PlaysOutput(options);
    state_.Generator.COutChan = 0; // "+L/+R"
    if (options.Generator)
        generatorCaption_ = TrackFChange(state_.Generator, *options.Generator, sampleRateHz);
    if (options.Stimulus != 0) {
        // Periodic noise whose period is the analysis length.
        state_.Generator.Stimulus = static_cast<TStimulusKind>(options.Stimulus);
        state_.Generator.NoisePower = std::countr_zero(static_cast<unsigned>(n));
        generatorCaption_ = std::string(options.Stimulus == 2 ? "pink" : "white") +
                            " periodic noise of " + std::to_string(n) + " samples";
    }
    if (options.Generator && options.Distortion && options.Imd != 0) {
        // The generator plays the intermodulation test's two tones.
        const auto kind = static_cast<TImdKind>(options.Imd);
        TTwoTones& tones = state_.Generator.Tones;
        tones = DefaultTwoTones(kind);
        tones.F1Hz = options.ImdF1.value_or(tones.F1Hz);
        tones.F2Hz = options.ImdF2.value_or(tones.F2Hz);
        tones.Ratio = options.ImdRatio.value_or(tones.Ratio);
        generatorCaption_ = TwoToneCaption(state_.Generator, sampleRateHz);
    }
    state_.SubBlocks = std::max(state_.EngineBlock / n, 1);
    // The meters and the spectrum start from the first block rather than from silence.
    state_.ResetSmoothing = true;
    AllocateBlock(outBuffer_, 2, static_cast<int>(EngineBlockLength()));
}

std::size_t TMeasureRun::EngineBlockLength() const {
    return static_cast<std::size_t>(std::max(state_.BlockLength, state_.EngineBlock));
}

bool TMeasureRun::Feed(TDataBufferF& in, std::size_t frames, TDataBufferF* out) {
    const auto n = static_cast<std::size_t>(state_.BlockLength);
    const std::int32_t whole = static_cast<std::int32_t>(frames / n);
    if (whole < 1)
        return true;
    const std::int32_t full = state_.SubBlocks;
    state_.SubBlocks = std::min(whole, full);
    const std::string before = state_.StreamErrors.FirstError;
    const std::uint64_t repeats = state_.StreamErrors.Repeats;
    pipeline_.AStreamData(nullptr, int32Buffer_, in, out != nullptr ? *out : outBuffer_);
    processed_ += state_.SubBlocks;
    state_.SubBlocks = full;
    ++blocks_;
    return state_.StreamErrors.FirstError == before && state_.StreamErrors.Repeats == repeats;
}

TMeasureReading TMeasureRun::Reading() const {
    TMeasureReading r;
    r.Blocks = blocks_;
    r.InvalidBlocks = static_cast<std::int64_t>(state_.InvalidBlocks);
    const bool measured = processed_ > r.InvalidBlocks;
    const double none = std::nan("");
    r.SNdB = measured ? state_.SNLevel : none;
    r.SdB = measured ? state_.SLevel : none;
    r.SNValue = measured ? ReadingValue(state_, state_.SNLevel) : none;
    r.SValue = measured ? ReadingValue(state_, state_.SLevel) : none;
    r.Unit = ReadingUnitText(state_);
    r.PeakHz = measured ? PeakFrequency(state_) : none;
    r.SNText = state_.Texts.LSN_M;
    r.SText = state_.Texts.LS;
    r.SpecialText = state_.Texts.LSp;
    return r;
}

void TMeasureRun::SaveSpectrum(const std::string& path) const {
    WriteSpectrumAs(path, TraceFormatOfName(path).value_or(TTraceFileFormat::tfTouchstone), state_);
}
