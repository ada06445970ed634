// Per-block measurement: spectrum, band level, peak, meters, band filter and scope sweep.
#include "core/BlockPipeline.h"

#include "core/LevelMeters.h"
#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "core/PeakRefinement.h"
#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"
#include "dsp/WeightingCurves.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>
#include <stdexcept>

TBlockPipeline::TBlockPipeline(MeasurementState& state, TPipelineComponents& components)
    : state_(state), components_(components) {}

void TBlockPipeline::AStreamData(void* /*sender*/, TDataBufferI& /*int32Buffer*/,
                                 TDataBufferF& inBuffer, TDataBufferF& outBuffer) {
    FillOutBuffer(state_.Generator, outBuffer);
    alphaBuilt_ = false;
    overlayHidden_ = false;
    try {
        if (inBuffer.size() < 2) {
            throw std::runtime_error("The input block needs two channels.");
        }
        const std::size_t n = static_cast<std::size_t>(std::max(state_.BlockLength, 0));
        const std::size_t blocks = static_cast<std::size_t>(std::max(state_.SubBlocks, 1));
        const std::size_t length = std::min(inBuffer[0].size(), inBuffer[1].size());
        if (n == 0 || blocks * n > length) {
            throw std::runtime_error("The input block is shorter than the sample length.");
        }
        const std::span<const float> left(inBuffer[0]);
        const std::span<const float> right(inBuffer[1]);
        for (std::size_t s = 0; s < blocks; ++s) {
            const bool shown = !lean_ || s + 1 == blocks;
            if (shown) {
                ShowHiddenScopeTexts(); // the last block may overwrite them
            }
            ProcessBlock(left.subspan(s * n, n), right.subspan(s * n, n), shown);
        }
        ++state_.Texts.RepaintRequests;
    } catch (const std::exception& error) {
        ShowHiddenScopeTexts();
        state_.StreamErrors.Record(error.what());
    }
}

std::string TBlockPipeline::CustomLabelText() {
    if (!components_.CustomLabelText) {
        return "error";
    }
    SetCustomVariables(state_);
    return components_.CustomLabelText();
}

void TBlockPipeline::SizeBuffers(int n) {
    const auto count = static_cast<std::size_t>(n);
    measured_.resize(count);
    amplitude_.resize(count / 2);
    if (state_.FilterIn.size() < count) {
        state_.FilterIn.resize(count);
    }
    if (state_.FilterOut.size() < count) {
        state_.FilterOut.resize(count);
    }
}

const std::vector<double>& TBlockPipeline::WeightTable(int n) {
    if (weightTableKind_ != state_.Weighting || weightTableLength_ != n ||
        weightTableRate_ != state_.SampleRate) {
        // Only bins 0 ... N/2 - 1 are ever read after weighting, so only they are weighted.
        weightTable_.resize(static_cast<std::size_t>(n / 2));
        for (int i = 0; i < n / 2; ++i) {
            const double f = BinToFrequency(i, state_.SampleRate, n);
            weightTable_[static_cast<std::size_t>(i)] =
                state_.Weighting == 1 ? PsophometricFactor(f) : CMessageFactor(f);
        }
        weightTableKind_ = state_.Weighting;
        weightTableLength_ = n;
        weightTableRate_ = state_.SampleRate;
    }
    return weightTable_;
}

void TBlockPipeline::AnalyseBlock(std::span<const float> left, std::span<const float> right) {
    Analyse(left, right, true);
}

void TBlockPipeline::Analyse(std::span<const float> left, std::span<const float> right,
                             bool shown) {
    MeasurementState& st = state_;
    if (components_.FFT == nullptr) {
        throw std::logic_error("The pipeline has no FFT.");
    }
    const int n = st.BlockLength;
    const int half = n / 2;
    const auto count = static_cast<std::size_t>(n);
    SizeBuffers(n);

    // Channel selection, in 32-bit float arithmetic.
    switch (st.Controls.ComboChannel) {
    case 1:
        std::copy_n(right.begin(), count, measured_.begin());
        break;
    case 2:
        for (std::size_t i = 0; i < count; ++i)
            measured_[i] = left[i] + right[i];
        break;
    case 3:
        for (std::size_t i = 0; i < count; ++i)
            measured_[i] = left[i] - right[i];
        break;
    default:
        std::copy_n(left.begin(), count, measured_.begin());
        break;
    }

    // Window and transform: X[k] = sum w(i, N - 1) x[i] exp(+i 2 pi i k / N), unscaled.
    TDSXFastFourier& fft = *components_.FFT;
    EnsureWindowCalibrated(st, fft); // N, the rate or the window changed since the last block
    if (fft.NumSamples() != n) {
        fft.SetNumSamples(n);
    }
    const auto& window = WindowWeights(st);
    const auto realInput = fft.RealInput();
    for (std::size_t i = 0; i < count; ++i) {
        realInput[i] = window[i] * measured_[i];
    }
    fft.RealFourierTransform();
    const auto x = fft.ComplexOutput();
    if (st.Weighting == 1 || st.Weighting == 2) {
        const auto& weight = WeightTable(n);
        for (int i = 0; i < half; ++i) {
            x[static_cast<std::size_t>(i)].Re *= weight[static_cast<std::size_t>(i)];
            x[static_cast<std::size_t>(i)].Im *= weight[static_cast<std::size_t>(i)];
        }
    }

    // Band power between LowerBin and UpperBin and the strongest bin inside the band.
    double bandSum = 0.0;
    double largest = 0.0;
    st.PeakBin = 0;
    for (int i = 0; i < half; ++i) {
        const TComplex bin = x[static_cast<std::size_t>(i)];
        const double p = bin.Re * bin.Re + bin.Im * bin.Im;
        if (i >= st.LowerBin && i <= st.UpperBin) {
            bandSum += p;
            if (p > largest) {
                largest = p;
                st.PeakBin = i;
            }
        }
        amplitude_[static_cast<std::size_t>(i)] = std::sqrt(p) / n;
    }
    st.BandTotal = std::sqrt(bandSum) / n / st.WindowTotalGain / st.FullScale;

    // Spectrum smoothing and reduction for the view.
    const int filterRate = components_.DSP != nullptr
                               ? components_.DSP->SamplesPerSecond()
                               : static_cast<int>(std::nearbyint(st.SampleRate));
    if (shown || !alphaBuilt_) { // its inputs change only between engine blocks
        BuildSmoothAlpha(st, filterRate);
        alphaBuilt_ = true;
    }
    UpdateSpectrum(st, amplitude_);
    if (shown) {
        ReduceSpectrum(st, bands_);
    }

    // Strongest component: root-sum-square of the peak's main lobe.
    const int first = std::max(st.PeakBin - st.PeakHalfWidth, 0);
    const int last = std::min(st.PeakBin + st.PeakHalfWidth, half - 1);
    double lobe = 0.0;
    for (int j = first; j <= last; ++j) {
        const double a = amplitude_[static_cast<std::size_t>(j)];
        lobe += a * a;
    }
    st.PeakAmplitude = std::sqrt(lobe) / st.WindowTotalGain / st.FullScale;
    st.PeakBinFine = RefinePeak(st.Spectrum, st.PeakBin, st.PeakFit);
    if (shown && st.SpecialMeter == 0) {
        st.Texts.LSp = FormatFixed(PeakFrequency(st)) + " Hz";
    }
}

TBlockPipeline::TScopeReadings TBlockPipeline::Readings() const {
    return {state_.SNLevel, state_.SLevel, state_.PeakAmplitude, state_.PeakBinFine};
}

namespace {

// Puts a hidden block's readings into the state for the lifetime of the object and restores
// the current ones afterwards.
template <class Readings> class TReadingsScope {
public:
    TReadingsScope(MeasurementState& state, const Readings& readings)
        : state_(state), saved_{state.SNLevel, state.SLevel, state.PeakAmplitude,
                                state.PeakBinFine} {
        Put(readings);
    }
    ~TReadingsScope() { Put(saved_); }
    TReadingsScope(const TReadingsScope&) = delete;
    TReadingsScope& operator=(const TReadingsScope&) = delete;

private:
    void Put(const Readings& r) {
        state_.SNLevel = r.SNLevel;
        state_.SLevel = r.SLevel;
        state_.PeakAmplitude = r.PeakAmplitude;
        state_.PeakBinFine = r.PeakBinFine;
    }
    MeasurementState& state_;
    Readings saved_;
};

} // namespace

void TBlockPipeline::ShowHiddenScopeTexts() {
    if (overlayHidden_) {
        const TReadingsScope scope(state_, overlayReadings_);
        state_.Texts.LSN_O = MainMeterText(state_);
        state_.Texts.LCS = CustomLabelText();
    }
    overlayHidden_ = false;
}

void TBlockPipeline::ShowFailedBlock() {
    MeasurementState& st = state_;
    ReduceSpectrum(st, bands_);
    if (st.SpecialMeter == 0) {
        st.Texts.LSp = FormatFixed(PeakFrequency(st)) + " Hz";
    }
}

void TBlockPipeline::SubStreamData(std::span<const float> left, std::span<const float> right) {
    ProcessBlock(left, right, true);
}

void TBlockPipeline::ProcessBlock(std::span<const float> left, std::span<const float> right,
                                  bool shown) {
    MeasurementState& st = state_;
    if (components_.FFT == nullptr || components_.DSP == nullptr) {
        throw std::logic_error("The pipeline has no FFT or band filter.");
    }
    Analyse(left, right, shown);
    const int n = st.BlockLength;
    const auto count = static_cast<std::size_t>(n);
    if (components_.RefreshMarkers) {
        components_.RefreshMarkers();
    }

    // Band filter for the scope and the RMS bar.
    for (std::size_t i = 0; i < count; ++i) {
        st.FilterIn[i] = measured_[i];
    }
    if (shown) {
        components_.DSP->Filter(st.FilterIn, st.FilterOut, n);
    } else {
        try {
            components_.DSP->Filter(st.FilterIn, st.FilterOut, n);
        } catch (...) {
            ShowFailedBlock();
            throw;
        }
    }
    if (st.Scope.NewScopeData) {
        double sum = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            const double v = st.FilterOut[i] / st.FullScale;
            sum += v * v;
        }
        st.ScopeRms = std::sqrt(sum / n);
    }

    LevelStep(st);
    if (shown) {
        const double bandwidth =
            components_.DSP->StopFrequency() - components_.DSP->StartFrequency();
        TextStep(st, bandwidth, [this] { return CustomLabelText(); });
        const double percent = std::nearbyint(std::sqrt(2.0) * st.ScopeRms * 100.0);
        st.Texts.ProgressBar1 =
            static_cast<std::int32_t>(std::clamp(percent, 0.0, double{INT_MAX}));
    } else if (st.Scope.NewScopeData) {
        // The text step would write LSN_O and LCS from this block's readings.
        overlayReadings_ = Readings();
        overlayHidden_ = true;
        st.Scope.NewScopeData = false;
    }

    AssembleSweep(st.Scope, std::span<const double>(st.FilterOut).first(count), st.SampleRate);
    if (st.Scope.ScopeRedraw) {
        st.Texts.LayoutRequested = true;
        st.Scope.ScopeRedraw = false;
    }
    // A hidden block's LCS would be overwritten by the next block's text step, which sees the
    // NewScopeData that this block's sweep set.
    if (shown && st.Scope.NewScopeData) {
        st.Texts.LCS = CustomLabelText();
    }
    if (shown && st.SpecialMeter == 2) {
        st.Texts.LSp = CustomLabelText();
        st.Texts.LCus = st.Texts.LSp;
    }
    st.ResetSmoothing = false;
}
