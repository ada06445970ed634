// SPDX-License-Identifier: GPL-3.0-or-later
// Loudness meter: momentary, short-term and integrated loudness, loudness range, true peak.
#include "analysis/LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

constexpr int kStepsMomentary = 4;  // 400 ms
constexpr int kStepsShortTerm = 30; // 3 s

// Loudness of a mean K-weighted power, LUFS: -0.691 + 10 lg(power).
double Lufs(double power) {
    return -0.691 + 10.0 * std::log10(power);
}

double Db(double linear) {
    return 20.0 * std::log10(linear);
}

} // namespace

struct TLoudnessMeter::TLibraryState {
    ebur128_state* St = nullptr;
    explicit TLibraryState(ebur128_state* st) : St(st) {}
    ~TLibraryState() { ebur128_destroy(&St); }
    TLibraryState(const TLibraryState&) = delete;
    TLibraryState& operator=(const TLibraryState&) = delete;
};

TLoudnessMeter::TLoudnessMeter() {
    ResetReadings();
}

TLoudnessMeter::~TLoudnessMeter() = default;

void TLoudnessMeter::Configure(double sampleRate, int channels) {
    Rate_ = sampleRate;
    Channels_ = channels == 1 ? 1 : 2;
    // The library oversamples 4 times below 96 ksps and twice below 192 ksps; above, its true
    // peak is the sample peak, which the meter's own oversampling takes anyway.
    OwnPeaks_ = sampleRate >= 192000.0;
    const int peaks = OwnPeaks_ ? 0 : EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_TRUE_PEAK;
    const int mode = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA | peaks;
    ebur128_state* st = ebur128_init(static_cast<unsigned>(Channels_),
                                     static_cast<unsigned long>(std::lround(sampleRate)), mode);
    if (st == nullptr)
        throw std::runtime_error("The loudness meter cannot measure at this sample rate");
    State_ = std::make_unique<TLibraryState>(st);
    Peaks_.Reset(Channels_);
    StepFrames_ = std::max<std::int64_t>(1, std::llround(sampleRate / 10.0));
    InStep_ = Steps_ = Frames_ = 0;
    StepEnergy_.assign(kStepsShortTerm, 0.0);
    const double inf = -std::numeric_limits<double>::infinity();
    Momentary_ = ShortTerm_ = MomentaryMax_ = ShortTermMax_ = inf;
    History_.clear();
    CachedAt_ = -1;
}

void TLoudnessMeter::ResetReadings() {
    // The library has no reset: a fresh state (at the last rate, or 48 kHz before any block).
    Configure(Rate_ > 0.0 ? Rate_ : 48000.0, Channels_);
}

void TLoudnessMeter::Process(std::span<const double> left, std::span<const double> right,
                             double sampleRate, double fullScale) {
    ProcessFrames(left, right, sampleRate, fullScale);
}

template <class TSample>
void TLoudnessMeter::ProcessFrames(std::span<const TSample> left, std::span<const TSample> right,
                                   double sampleRate, double fullScale) {
    const int channels = right.empty() ? 1 : 2;
    if (sampleRate != Rate_ || channels != Channels_)
        Configure(sampleRate, channels);
    const std::size_t n = channels == 1 ? left.size() : std::min(left.size(), right.size());
    const double scale = 1.0 / fullScale;
    std::size_t done = 0;
    while (done < n) {
        const std::size_t count =
            std::min(n - done, static_cast<std::size_t>(StepFrames_ - InStep_));
        Feed(left.data() + done, channels == 1 ? nullptr : right.data() + done, count, scale);
        done += count;
        InStep_ += static_cast<std::int64_t>(count);
        Frames_ += static_cast<std::int64_t>(count);
        if (InStep_ == StepFrames_)
            Step();
    }
}

// `count` frames from left (and right with two channels), interleaved and scaled to full scale
// 1.0 once for the library and the meter's own peaks.
template <class TSample>
void TLoudnessMeter::Feed(const TSample* left, const TSample* right, std::size_t count,
                          double scale) {
    Interleaved_.resize(count * static_cast<std::size_t>(Channels_));
    double* out = Interleaved_.data();
    if (Channels_ == 1) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<double>(left[i]) * scale;
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            out[2 * i] = static_cast<double>(left[i]) * scale;
            out[2 * i + 1] = static_cast<double>(right[i]) * scale;
        }
    }
    if (ebur128_add_frames_double(State_->St, out, count) != EBUR128_SUCCESS)
        throw std::runtime_error("The loudness meter ran out of memory");
    if (OwnPeaks_)
        Peaks_.Process(Interleaved_);
}

// The end of a 100 ms step: its power from the library's 100 ms window, then the 400 ms and 3 s
// power means of the last steps (steps before the restart count as silence, as in the library).
void TLoudnessMeter::Step() {
    double stepLufs = 0.0;
    ebur128_loudness_window(State_->St, 100, &stepLufs);
    const double power = std::isfinite(stepLufs) ? std::pow(10.0, (stepLufs + 0.691) / 10.0) : 0.0;
    StepEnergy_[static_cast<std::size_t>(Steps_ % kStepsShortTerm)] = power;
    ++Steps_;
    InStep_ = 0;
    double m = 0.0, s = 0.0;
    for (int k = 0; k < kStepsShortTerm; ++k) {
        const double e = StepEnergy_[static_cast<std::size_t>(
            (Steps_ - 1 - k + kStepsShortTerm * 2) % kStepsShortTerm)];
        s += e;
        if (k < kStepsMomentary)
            m += e;
    }
    Momentary_ = Lufs(m / kStepsMomentary);
    ShortTerm_ = Lufs(s / kStepsShortTerm);
    MomentaryMax_ = std::max(MomentaryMax_, Momentary_);
    if (Steps_ >= kStepsShortTerm)
        ShortTermMax_ = std::max(ShortTermMax_, ShortTerm_);
    History_.push_back({static_cast<double>(Frames_) / Rate_, Momentary_, ShortTerm_});
    if (History_.size() > kHistoryPoints)
        History_.pop_front();
}

void TLoudnessMeter::EngineBlock(const TEngineBlockView& block) {
    const int channel = Channel ? Channel() : 2;
    const std::size_t n = std::min(block.Left.size(), block.Right.size());
    const std::span<const float> left = (channel == 1 ? block.Right : block.Left).first(n);
    const std::span<const float> right =
        channel <= 1 ? std::span<const float>() : block.Right.first(n);
    ProcessFrames(left, right, block.SampleRate, block.FullScale);
}

TLoudnessReadings TLoudnessMeter::Readings(int maxAgeSteps) const {
    TLoudnessReadings r;
    r.Channels = Channels_;
    r.Seconds = Rate_ > 0.0 ? static_cast<double>(Frames_) / Rate_ : 0.0;
    r.MomentaryLufs = Momentary_;
    r.ShortTermLufs = ShortTerm_;
    r.MomentaryMaxLufs = MomentaryMax_;
    r.ShortTermMaxLufs = ShortTermMax_;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    r.IntegratedLufs = r.RangeLu = r.TruePeakDbtp = r.SamplePeakDbfs = nan;
    ebur128_state* st = State_ ? State_->St : nullptr;
    if (Frames_ == 0 || st == nullptr)
        return r;
    double v = 0.0;
    if (maxAgeSteps <= 0 || CachedAt_ < 0 || Steps_ - CachedAt_ >= maxAgeSteps) {
        CachedIntegrated_ = CachedRange_ = std::numeric_limits<double>::quiet_NaN();
        if (ebur128_loudness_global(st, &v) == EBUR128_SUCCESS)
            CachedIntegrated_ = v;
        if (ebur128_loudness_range(st, &v) == EBUR128_SUCCESS)
            CachedRange_ = v;
        CachedAt_ = Steps_;
    }
    r.IntegratedLufs = CachedIntegrated_;
    r.RangeLu = CachedRange_;
    double tp = 0.0, sp = 0.0;
    for (int c = 0; c < Channels_; ++c) {
        if (OwnPeaks_) {
            tp = std::max(tp, Peaks_.Peak(c));
            sp = std::max(sp, Peaks_.SamplePeak(c));
            continue;
        }
        if (ebur128_true_peak(st, static_cast<unsigned>(c), &v) == EBUR128_SUCCESS)
            tp = std::max(tp, v);
        if (ebur128_sample_peak(st, static_cast<unsigned>(c), &v) == EBUR128_SUCCESS)
            sp = std::max(sp, v);
    }
    r.TruePeakDbtp = Db(tp);
    r.SamplePeakDbfs = Db(sp);
    return r;
}
