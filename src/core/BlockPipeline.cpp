// SPDX-License-Identifier: GPL-3.0-or-later
// Per-block measurement: spectrum, band level, peak, meters, band filter and scope sweep.
#include "core/BlockPipeline.h"

#include "core/BlockLoops.h"
#include "core/LevelCorrection.h"
#include "core/LevelMeters.h"
#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "core/PeakRefinement.h"
#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <exception>
#include <numbers>
#include <optional>
#include <stdexcept>

TBlockPipeline::TBlockPipeline(MeasurementState& state, TPipelineComponents& components)
    : state_(state), components_(components) {}

bool BlockIsFinite(int channel, std::span<const float> left, std::span<const float> right) {
    // The exponent field is all ones exactly for infinities and NaNs; adding one to it then
    // carries into the sign bit, so an OR over the block tells without a branch per sample.
    const auto flag = [](float x) {
        return (std::bit_cast<std::uint32_t>(x) & 0x7f800000u) + 0x00800000u;
    };
    const std::size_t count = std::min(left.size(), right.size());
    const float* const l = left.data();
    const float* const r = right.data();
    const bool combined = channel == 2 || channel == 3;
    const float sign = channel == 3 ? -1.0f : 1.0f; // -r is exact: l + -r is l - r
    // Runs of a fixed length, which the compiler turns into vector instructions.
    constexpr std::size_t kRun = 16;
    std::uint32_t any = 0;
    std::size_t i = 0;
    for (; i + kRun <= count; i += kRun) {
        for (std::size_t j = i; j < i + kRun; ++j) {
            any |= flag(l[j]) | flag(r[j]);
        }
        if (combined) {
            for (std::size_t j = i; j < i + kRun; ++j) {
                any |= flag(l[j] + sign * r[j]);
            }
        }
    }
    for (; i < count; ++i) {
        any |= flag(l[i]) | flag(r[i]) | (combined ? flag(l[i] + sign * r[i]) : 0u);
    }
    return (any & 0x80000000u) == 0;
}

void TBlockPipeline::AStreamData(void* /*sender*/, TDataBufferI& /*int32Buffer*/,
                                 TDataBufferF& inBuffer, TDataBufferF& outBuffer) {
    FinishPendingBlock(); // blocks are processed in the order they came
    FillOutBuffer(state_.Generator, outBuffer, state_.SampleRate);
    overlayHidden_ = false;
    outLeft_ =
        outBuffer.size() >= 2 ? std::span<const float>(outBuffer[0]) : std::span<const float>();
    outRight_ =
        outBuffer.size() >= 2 ? std::span<const float>(outBuffer[1]) : std::span<const float>();
    try {
        if (inBuffer.size() < 2) {
            throw std::runtime_error("The input block needs two channels.");
        }
        const std::span<const float> left(inBuffer[0]);
        const std::span<const float> right(inBuffer[1]);
        FeedEngineBlock(left, right);
        const int n = state_.BlockLength;
        if (components_.PostSlice && state_.SubBlocks <= 1 && n >= sliceLength_ &&
            left.size() >= static_cast<std::size_t>(n) &&
            right.size() >= static_cast<std::size_t>(n)) {
            const auto count = static_cast<std::size_t>(n);
            if (!BlockIsFinite(state_.Controls.ComboChannel, left.first(count),
                               right.first(count))) {
                ++state_.InvalidBlocks; // left out: every reading stays as it was
                return;
            }
            StartSlicedBlock(left.first(count), right.first(count));
            return;
        }
        RunEngineBlock(left, right);
    } catch (const std::exception& error) {
        ShowHiddenScopeTexts();
        state_.StreamErrors.Record(error.what());
    }
}

void TBlockPipeline::RunEngineBlock(std::span<const float> left, std::span<const float> right) {
    const std::size_t n = static_cast<std::size_t>(std::max(state_.BlockLength, 0));
    const std::size_t blocks = static_cast<std::size_t>(std::max(state_.SubBlocks, 1));
    const std::size_t length = std::min(left.size(), right.size());
    if (n == 0 || blocks * n > length) {
        throw std::runtime_error("The input block is shorter than the sample length.");
    }
    // A processed block with a sample that is not a finite number is left out of every reading
    // and counted; the last block that is measured is the one shown.
    const int channel = state_.Controls.ComboChannel;
    const auto finite = [&](std::size_t s) {
        return BlockIsFinite(channel, left.subspan(s * n, n), right.subspan(s * n, n));
    };
    std::size_t measured = blocks; // one past the last block that is measured
    for (; measured > 0 && !finite(measured - 1); --measured) {
        ++state_.InvalidBlocks;
    }
    for (std::size_t s = 0; s < measured; ++s) {
        const bool last = s + 1 == measured;
        if (!last && !finite(s)) {
            ++state_.InvalidBlocks;
            continue;
        }
        const bool shown = !lean_ || last;
        if (shown) {
            ShowHiddenScopeTexts(); // the last block may overwrite them
        }
        blockOffset_ = s * n;
        ProcessBlock(left.subspan(s * n, n), right.subspan(s * n, n), shown);
    }
    if (measured > 0) {
        ++state_.Texts.RepaintRequests;
    }
}

TBlockPipeline::TSliceStamp TBlockPipeline::CurrentStamp() const {
    const MeasurementState& st = state_;
    return {st.BlockLength,
            st.SubBlocks,
            st.WindowKind,
            st.Controls.ComboChannel,
            st.SampleRate,
            components_.FFT,
            components_.FFT != nullptr ? components_.FFT->Generation() : 0,
            components_.DSP};
}

bool TBlockPipeline::StampHolds() const {
    const TSliceStamp now = CurrentStamp();
    return now.N == stamp_.N && now.SubBlocks == stamp_.SubBlocks && now.Window == stamp_.Window &&
           now.Channel == stamp_.Channel && now.Rate == stamp_.Rate && now.FFT == stamp_.FFT &&
           now.FFTGeneration == stamp_.FFTGeneration && now.DSP == stamp_.DSP &&
           components_.PostSlice;
}

void TBlockPipeline::StartSlicedBlock(std::span<const float> left, std::span<const float> right) {
    // The engine's rows are not kept beyond this call.
    copiedLeft_.assign(left.begin(), left.end());
    copiedRight_.assign(right.begin(), right.end());
    const bool fed = std::any_of(components_.Consumers.begin(), components_.Consumers.end(),
                                 [](const TBlockConsumer* c) { return c->Active(); });
    const auto played = [&](std::span<const float> row, std::vector<float>& copy) {
        copy.assign(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(
                                                   fed ? std::min(row.size(), left.size()) : 0));
        return std::span<const float>(copy);
    };
    outLeft_ = played(outLeft_, copiedOutLeft_);
    outRight_ = played(outRight_, copiedOutRight_);
    blockOffset_ = 0;
    if (components_.FFT == nullptr || components_.DSP == nullptr) {
        throw std::logic_error("The pipeline has no FFT or band filter.");
    }
    TransformBlock(copiedLeft_, copiedRight_);
    stamp_ = CurrentStamp();
    pendingStage_ = 1;
    PostNextSlice();
}

void TBlockPipeline::PostNextSlice() {
    const std::uint64_t ticket = ++sliceTicket_;
    components_.PostSlice([this, life = std::weak_ptr<int>(life_), ticket] {
        if (life.expired() || ticket != sliceTicket_ || pendingStage_ == 0) {
            return; // the pipeline is gone, or the block was finished another way
        }
        RunSlice();
    });
}

void TBlockPipeline::FinishPendingBlock() {
    while (pendingStage_ != 0) {
        ++sliceTicket_; // the posted slice is run here instead
        RunSlice();
    }
}

void TBlockPipeline::RunCopiedBlockNow() {
    pendingStage_ = 0;
    overlayHidden_ = false;
    try {
        RunEngineBlock(copiedLeft_, copiedRight_);
    } catch (const std::exception& error) {
        ShowHiddenScopeTexts();
        state_.StreamErrors.Record(error.what());
    }
}

void TBlockPipeline::RunSlice() {
    MeasurementState& st = state_;
    if (!StampHolds()) {
        RunCopiedBlockNow();
    } else if (pendingStage_ == 1) {
        try {
            const auto count = static_cast<std::size_t>(st.BlockLength);
            for (std::size_t i = 0; i < count; ++i) {
                st.FilterIn[i] = measured_[i];
            }
            components_.DSP->FilterBegin(st.FilterIn, st.BlockLength);
        } catch (const std::exception&) {
            RunCopiedBlockNow(); // fails again where a block in one go fails
        }
        if (pendingStage_ == 1) {
            pendingStage_ = 2;
            PostNextSlice();
            return;
        }
    } else if (!components_.DSP->FilterPending()) {
        RunCopiedBlockNow();
    } else {
        pendingStage_ = 0;
        try {
            AnalyseSpectrum(true);
            if (components_.RefreshMarkers) {
                components_.RefreshMarkers();
            }
            FeedProcessedBlock(copiedLeft_, copiedRight_, true);
            components_.DSP->FilterEnd(st.FilterOut);
            FinishBlock(true);
            ++st.Texts.RepaintRequests;
        } catch (const std::exception& error) {
            st.StreamErrors.Record(error.what());
        }
    }
    if (pendingStage_ == 0 && components_.SlicedBlockDone) {
        components_.SlicedBlockDone();
    }
}

namespace {

// Runs `feed` on each active consumer; a consumer's exception is recorded, the others go on.
template <class Feed>
void FeedConsumers(const std::vector<TBlockConsumer*>& consumers, TStreamErrorLog& errors,
                   Feed feed) {
    for (TBlockConsumer* consumer : consumers) {
        if (consumer == nullptr || !consumer->Active()) {
            continue;
        }
        try {
            feed(*consumer);
        } catch (const std::exception& error) {
            errors.Record(error.what());
        }
    }
}

double GeneratorFrequency(const MeasurementState& st) {
    return st.Generator.CheckOut ? st.SampleRate / std::ldexp(1.0, st.Generator.TrackF) : 0.0;
}

} // namespace

void TBlockPipeline::FeedEngineBlock(std::span<const float> left, std::span<const float> right) {
    auto& consumers = components_.Consumers;
    if (consumers.empty()) {
        return;
    }
    if (consumersRun_ != state_.RunNumber) {
        consumersRun_ = state_.RunNumber;
        for (TBlockConsumer* consumer : consumers) {
            if (consumer != nullptr) {
                consumer->Restart();
            }
        }
    }
    TEngineBlockView view;
    view.SampleRate = state_.SampleRate;
    view.FullScale = state_.FullScale;
    view.Left = left;
    view.Right = right;
    view.OutLeft = outLeft_;
    view.OutRight = outRight_;
    view.GeneratorHz = GeneratorFrequency(state_);
    view.Gaps = components_.StreamGaps ? components_.StreamGaps() : 0;
    FeedConsumers(consumers, state_.StreamErrors,
                  [&view](TBlockConsumer& c) { c.EngineBlock(view); });
}

void TBlockPipeline::FeedProcessedBlock(std::span<const float> left, std::span<const float> right,
                                        bool shown) {
    if (components_.Consumers.empty()) {
        return;
    }
    const MeasurementState& st = state_;
    const auto n = static_cast<std::size_t>(st.BlockLength);
    const auto played = [&](std::span<const float> row) {
        return row.size() >= blockOffset_ + n ? row.subspan(blockOffset_, n)
                                              : std::span<const float>();
    };
    TProcessedBlockView view;
    view.SampleRate = st.SampleRate;
    view.FullScale = st.FullScale;
    view.N = st.BlockLength;
    view.Channel = st.Controls.ComboChannel;
    view.Left = left.first(n);
    view.Right = right.first(n);
    view.OutLeft = played(outLeft_);
    view.OutRight = played(outRight_);
    view.Bins = std::span<const TComplex>(components_.FFT->ComplexOutput()).first(n / 2);
    view.PaddedBins = components_.DSP != nullptr ? components_.DSP->PendingSpectrum()
                                                 : std::span<const TComplex>();
    view.Spectrum = st.Spectrum;
    view.GeneratorHz = GeneratorFrequency(st);
    view.Shown = shown;
    FeedConsumers(components_.Consumers, state_.StreamErrors,
                  [&view](TBlockConsumer& c) { c.ProcessedBlock(view); });
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
    if (state_.FilterIn.size() < count) {
        state_.FilterIn.resize(count);
    }
    if (state_.FilterOut.size() < count) {
        state_.FilterOut.resize(count);
    }
}

const std::vector<double>& TBlockPipeline::WeightTable(int n) {
    const std::uint64_t correction = state_.Correction.Generation;
    if (weightTableKind_ != state_.Weighting || weightTableLength_ != n ||
        weightTableRate_ != state_.SampleRate || weightTableCorrection_ != correction) {
        // Only bins 0 ... N/2 - 1 are ever read after weighting, so only they are weighted.
        weightTable_.resize(static_cast<std::size_t>(n / 2));
        for (int i = 0; i < n / 2; ++i) {
            const double f = BinToFrequency(i, state_.SampleRate, n);
            weightTable_[static_cast<std::size_t>(i)] =
                BinFactor(state_.Weighting, state_.Correction, f);
        }
        weightTableKind_ = state_.Weighting;
        weightTableLength_ = n;
        weightTableRate_ = state_.SampleRate;
        weightTableCorrection_ = correction;
    }
    return weightTable_;
}

void TBlockPipeline::AnalyseBlock(std::span<const float> left, std::span<const float> right) {
    Analyse(left, right, true);
}

void TBlockPipeline::Analyse(std::span<const float> left, std::span<const float> right, bool shown,
                             std::span<double> filterIn) {
    TransformBlock(left, right, filterIn);
    AnalyseSpectrum(shown);
}

void TBlockPipeline::TransformBlock(std::span<const float> left, std::span<const float> right,
                                    std::span<double> filterIn) {
    MeasurementState& st = state_;
    if (components_.FFT == nullptr) {
        throw std::logic_error("The pipeline has no FFT.");
    }
    const int n = st.BlockLength;
    const auto count = static_cast<std::size_t>(n);
    SizeBuffers(n);

    // Window and transform: X[k] = sum w(i, N - 1) x[i] exp(+i 2 pi i k / N), unscaled.
    TDSXFastFourier& fft = *components_.FFT;
    EnsureWindowCalibrated(st, fft); // N, the rate or the window changed since the last block
    if (fft.NumSamples() != n) {
        fft.SetNumSamples(n);
    }
    const auto& window = WindowWeights(st);
    const auto realInput = fft.RealInput();
    const int channel = st.Controls.ComboChannel;
    if (left.size() < count || right.size() < count || window.size() < count ||
        realInput.size() < count) {
        throw std::logic_error("The block is shorter than N.");
    }
    if (filterIn.size() >= count) {
        SelectAndWindow(channel, left.data(), right.data(), count, window.data(), realInput.data(),
                        filterIn.data());
        lastSample_ = count > 0 ? static_cast<float>(filterIn[count - 1]) : 0.0f;
    } else {
        SelectAndWindow(channel, left.data(), right.data(), count, window.data(), realInput.data(),
                        measured_.data());
        lastSample_ = count > 0 ? measured_[count - 1] : 0.0f;
    }
    fft.RealFourierTransformLowerHalf(); // only bins below N/2 are read
}

namespace {

// The rectangular window's peak position from this block's complex bins around bin k: its
// weight 0 on the last sample is undone (X[m] += s[N - 1] exp(-i 2 pi m / N)) and the
// weighting divided out, then RealTonePosition. Nothing where that cannot be formed.
std::optional<double> RectanglePeak(std::span<const TComplex> x, int k, int n, float lastSample,
                                    const double* weight) {
    if (k < 1 || k > n / 2 - 2) {
        return std::nullopt;
    }
    std::array<TComplex, 3> bins;
    for (int j = -1; j <= 1; ++j) {
        const auto m = static_cast<std::size_t>(k + j);
        TComplex v = x[m];
        if (weight != nullptr) {
            if (!(weight[m] > 0.0)) {
                return std::nullopt;
            }
            v.Re /= weight[m];
            v.Im /= weight[m];
        }
        const double angle = -2.0 * std::numbers::pi * static_cast<double>(k + j) / n;
        v.Re += lastSample * std::cos(angle);
        v.Im += lastSample * std::sin(angle);
        bins[static_cast<std::size_t>(j + 1)] = v;
    }
    return RealTonePosition(bins, k, n);
}

} // namespace

namespace {

// a == b for the short texts of the time-constant edits, without a library call per text.
bool SameTexts(const std::array<std::string, 6>& a, const std::array<std::string, 6>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::string& x = a[i];
        const std::string& y = b[i];
        if (x.size() != y.size()) {
            return false;
        }
        for (std::size_t j = 0; j < x.size(); ++j) {
            if (x[j] != y[j]) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

void TBlockPipeline::EnsureSmoothAlpha(int filterRate) {
    const MeasurementState& st = state_;
    const TSmoothAlphaKey& key = alphaKey_;
    const auto half = static_cast<std::size_t>(std::max(st.BlockLength / 2, 0));
    if (key.Built && key.N == st.BlockLength && key.MeterAlpha == st.MeterAlpha &&
        key.CTC == st.Controls.CTC && SameTexts(key.ET, st.Controls.ET) &&
        key.SampleRate == st.SampleRate && key.FilterRate == filterRate &&
        st.SmoothAlpha.size() == half) {
        return;
    }
    alphaKey_.Built = false; // until the build has succeeded
    BuildSmoothAlpha(state_, filterRate);
    alphaKey_ = {true,           st.BlockLength, st.MeterAlpha, st.Controls.CTC,
                 st.Controls.ET, st.SampleRate,  filterRate};
}

void TBlockPipeline::AnalyseSpectrum(bool shown) {
    MeasurementState& st = state_;
    const int n = st.BlockLength;
    const int half = n / 2;
    const auto x = components_.FFT->ComplexOutput();

    // The smoothing factors and the spectrum's length for UpdateSpectrum.
    const int filterRate = components_.DSP != nullptr
                               ? components_.DSP->SamplesPerSecond()
                               : static_cast<int>(std::nearbyint(st.SampleRate));
    EnsureSmoothAlpha(filterRate);
    if (st.Spectrum.size() != static_cast<std::size_t>(half)) {
        st.Spectrum.assign(static_cast<std::size_t>(half), 0.0); // as UpdateSpectrum does
    }

    // One pass over the bins: weighting, power and the spectrum smoothing (UpdateSpectrum).
    binPower_.resize(static_cast<std::size_t>(std::max(half, 0))); // only when N changed
    TBinPass pass;
    pass.bins = x.first(binPower_.size());
    pass.alpha = st.SmoothAlpha.data();
    pass.spectrum = st.Spectrum.data();
    pass.power = binPower_.data();
    if (const std::pair key{st.FullScale, st.WindowKind}; scaleKey_ != key) {
        spectrumScale_ = SpectrumScale(st);
        scaleKey_ = key;
    }
    pass.scale = spectrumScale_;
    pass.n = n;
    pass.update = st.ResetSmoothing                                ? TSpectrumUpdate::Reset
                  : (st.Controls.CTC == 0 || st.Controls.CTC == 1) ? TSpectrumUpdate::Smooth
                                                                   : TSpectrumUpdate::Hold;
    if (WeightingShapes(st.Weighting) || st.Correction.Active()) {
        pass.weight = WeightTable(n).data();
    }
    RunBinPass(pass);
    // The band power between LowerBin and UpperBin and the strongest bin inside the band.
    double bandSum = 0.0;
    double largest = 0.0;
    int peakBin = 0;
    for (int i = std::max(st.LowerBin, 0); i <= std::min(st.UpperBin, half - 1); ++i) {
        const double p = binPower_[static_cast<std::size_t>(i)];
        bandSum += p;
        if (p > largest) {
            largest = p;
            peakBin = i;
        }
    }
    st.PeakBin = peakBin;
    st.BandTotal = std::sqrt(bandSum) / n / st.WindowTotalGain / st.FullScale;
    if (shown) {
        ReduceSpectrum(st, bands_);
    }

    // Strongest component: root-sum-square of the peak's main lobe.
    const int first = std::max(st.PeakBin - st.PeakHalfWidth, 0);
    const int last = std::min(st.PeakBin + st.PeakHalfWidth, half - 1);
    const double lobe = first <= last
                            ? AmplitudeSquareSum(std::span<const double>(binPower_).subspan(
                                                     static_cast<std::size_t>(first),
                                                     static_cast<std::size_t>(last - first + 1)),
                                                 n)
                            : 0.0;
    st.PeakAmplitude = std::sqrt(lobe) / st.WindowTotalGain / st.FullScale;
    std::optional<double> tone;
    if (st.WindowKind == 0) {
        tone = RectanglePeak(x, st.PeakBin, n, lastSample_, pass.weight);
    }
    st.PeakBinFine = tone ? *tone : RefinePeak(st.Spectrum, st.PeakBin, st.PeakFit);
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
    // The selected channel goes straight into FilterIn for the band filter.
    const int n = st.BlockLength;
    if (st.FilterIn.size() < static_cast<std::size_t>(std::max(n, 0))) {
        st.FilterIn.resize(static_cast<std::size_t>(std::max(n, 0)));
    }
    Analyse(left, right, shown, st.FilterIn);
    if (components_.RefreshMarkers) {
        components_.RefreshMarkers();
    }

    // Band filter for the scope and the RMS bar. The consumers are fed between its two halves,
    // so that they see its transform of the block; when it fails they are fed without it.
    const auto filter = [&] {
        try {
            components_.DSP->FilterBegin(st.FilterIn, n);
        } catch (...) {
            FeedProcessedBlock(left, right, shown);
            throw;
        }
        FeedProcessedBlock(left, right, shown);
        components_.DSP->FilterEnd(st.FilterOut);
    };
    if (shown) {
        filter();
    } else {
        try {
            filter();
        } catch (...) {
            ShowFailedBlock();
            throw;
        }
    }
    FinishBlock(shown);
}

void TBlockPipeline::FinishBlock(bool shown) {
    MeasurementState& st = state_;
    const int n = st.BlockLength;
    const auto count = static_cast<std::size_t>(n);
    const std::span<const double> filtered = std::span<const double>(st.FilterOut).first(count);
    const auto scopeRms = [&] {
        st.ScopeRms = std::sqrt(ScaledSquareSum(filtered, st.FullScale) / n);
    };
    // The RMS bar follows the scope. A hidden block's value is read only when no later block of
    // the engine block replaces it, that is when its own sweep leaves NewScopeData clear (the
    // last block is always shown, and nothing else reads ScopeRms in between).
    const bool rmsWanted = st.Scope.NewScopeData;
    if (rmsWanted && shown) {
        scopeRms();
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

    AssembleSweep(st.Scope, filtered, st.SampleRate);
    if (rmsWanted && !shown && !st.Scope.NewScopeData) {
        scopeRms();
    }
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
