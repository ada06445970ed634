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
    const int mode = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA |
                     EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_TRUE_PEAK;
    ebur128_state* st = ebur128_init(static_cast<unsigned>(Channels_),
                                     static_cast<unsigned long>(std::lround(sampleRate)), mode);
    if (st == nullptr)
        throw std::runtime_error("The loudness meter cannot measure at this sample rate");
    State_ = std::make_unique<TLibraryState>(st);
    // The library oversamples 4 times below 96 ksps and twice below 192 ksps.
    OwnTruePeak_ = sampleRate >= 192000.0;
    for (TTruePeakInterpolator& peak : TruePeak_)
        peak.Reset();
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
    const int channels = right.empty() ? 1 : 2;
    if (sampleRate != Rate_ || channels != Channels_)
        Configure(sampleRate, channels);
    const std::size_t n = channels == 1 ? left.size() : std::min(left.size(), right.size());
    const double scale = 1.0 / fullScale;
    std::size_t done = 0;
    while (done < n) {
        const std::size_t count =
            std::min(n - done, static_cast<std::size_t>(StepFrames_ - InStep_));
        Feed(left, right, done, count, scale);
        done += count;
        InStep_ += static_cast<std::int64_t>(count);
        Frames_ += static_cast<std::int64_t>(count);
        if (InStep_ == StepFrames_)
            Step();
    }
}

void TLoudnessMeter::Feed(std::span<const double> left, std::span<const double> right,
                          std::size_t from, std::size_t count, double scale) {
    Interleaved_.resize(count * static_cast<std::size_t>(Channels_));
    if (Channels_ == 1) {
        for (std::size_t i = 0; i < count; ++i)
            Interleaved_[i] = left[from + i] * scale;
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            Interleaved_[2 * i] = left[from + i] * scale;
            Interleaved_[2 * i + 1] = right[from + i] * scale;
        }
    }
    if (ebur128_add_frames_double(State_->St, Interleaved_.data(), count) != EBUR128_SUCCESS)
        throw std::runtime_error("The loudness meter ran out of memory");
    if (OwnTruePeak_) {
        for (int c = 0; c < Channels_; ++c)
            TruePeak_[static_cast<std::size_t>(c)].Process(
                (c == 0 ? left : right).subspan(from, count), scale);
    }
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
    Left_.resize(n);
    Right_.resize(channel <= 1 ? 0 : n);
    for (std::size_t i = 0; i < n; ++i)
        Left_[i] = channel == 1 ? block.Right[i] : block.Left[i];
    for (std::size_t i = 0; i < Right_.size(); ++i)
        Right_[i] = block.Right[i];
    Process(Left_, Right_, block.SampleRate, block.FullScale);
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
    for (unsigned c = 0; c < static_cast<unsigned>(Channels_); ++c) {
        if (ebur128_true_peak(st, c, &v) == EBUR128_SUCCESS)
            tp = std::max(tp, v);
        if (ebur128_sample_peak(st, c, &v) == EBUR128_SUCCESS)
            sp = std::max(sp, v);
        if (OwnTruePeak_)
            tp = std::max(tp, TruePeak_[c].Peak());
    }
    r.TruePeakDbtp = Db(tp);
    r.SamplePeakDbfs = Db(sp);
    return r;
}
