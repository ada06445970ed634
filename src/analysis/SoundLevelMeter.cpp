// SPDX-License-Identifier: GPL-3.0-or-later
// Sound level meter: frequency- and time-weighted level, Leq, Lmax/Lmin and the C-weighted peak.
#include "analysis/SoundLevelMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kFastSeconds = 0.125;
constexpr double kSlowSeconds = 1.0;

// 10 lg(meanSquare / (fullScale^2 / 2)) + offset; -infinity for 0.
double LevelDb(double meanSquare, double fullScale, double offsetDb) {
    return 10.0 * std::log10(2.0 * meanSquare / (fullScale * fullScale)) + offsetDb;
}

} // namespace

std::string SoundLevelName(char letter, const char* suffix) {
    return std::string("L") + letter + suffix;
}

void TSoundLevelMeter::SetWeighting(TAudioWeighting weighting) {
    Weighting_ = weighting;
    if (Rate_ > 0.0)
        Configure(Rate_);
}

void TSoundLevelMeter::SetSlowExtremes(bool slow) {
    SlowExtremes_ = slow;
    ResetReadings();
}

void TSoundLevelMeter::SetIntervalSeconds(double seconds) {
    IntervalSeconds_ = std::clamp(seconds, 1.0, 3600.0);
    IntervalLength_ = std::max<std::int64_t>(1, std::llround(IntervalSeconds_ * Rate_));
    IntervalSum_ = 0.0;
    IntervalCount_ = 0;
    Intervals_ = 0;
    LastInterval_ = 0.0;
}

void TSoundLevelMeter::Configure(double sampleRate) {
    Rate_ = sampleRate;
    CFilter_.Design(TAudioWeighting::C, sampleRate);
    AOverC_.DesignAOverC(sampleRate);
    AlphaF_ = -std::expm1(-1.0 / (kFastSeconds * sampleRate));
    AlphaS_ = -std::expm1(-1.0 / (kSlowSeconds * sampleRate));
    ResetReadings();
}

void TSoundLevelMeter::ResetReadings() {
    CFilter_.Reset();
    AOverC_.Reset();
    Fast_ = Slow_ = Max_ = Min_ = Peak_ = 0.0;
    MinValid_ = false;
    Sum_ = 0.0;
    Count_ = 0;
    SettleSamples_ =
        std::llround(5.0 * (SlowExtremes_ ? kSlowSeconds : kFastSeconds) * std::max(Rate_, 0.0));
    SetIntervalSeconds(IntervalSeconds_);
}

void TSoundLevelMeter::Process(std::span<const double> samples, double sampleRate,
                               double fullScale) {
    if (sampleRate != Rate_)
        Configure(sampleRate);
    FullScale_ = fullScale;
    switch (Weighting_) {
    case TAudioWeighting::A:
        Run<TAudioWeighting::A>(samples);
        break;
    case TAudioWeighting::C:
        Run<TAudioWeighting::C>(samples);
        break;
    case TAudioWeighting::Z:
        Run<TAudioWeighting::Z>(samples);
        break;
    }
}

// The per-sample loop, one for each weighting, on local copies of the running sums (so that
// they stay in registers).
template <TAudioWeighting W> void TSoundLevelMeter::Run(std::span<const double> samples) {
    double fast = Fast_, slow = Slow_, peak = Peak_, max = Max_, min = Min_;
    double sum = Sum_, intervalSum = IntervalSum_;
    const double alphaF = AlphaF_, alphaS = AlphaS_;
    const bool slowLevel = SlowExtremes_;
    for (const double x : samples) {
        const double c = CFilter_.Process(x);
        double w = x;
        if constexpr (W == TAudioWeighting::A)
            w = AOverC_.Process(c);
        else if constexpr (W == TAudioWeighting::C)
            w = c;
        peak = std::max(peak, std::fabs(c));
        const double sq = w * w;
        fast += alphaF * (sq - fast);
        slow += alphaS * (sq - slow);
        const double level = slowLevel ? slow : fast;
        max = std::max(max, level);
        if (Count_ >= SettleSamples_) {
            min = MinValid_ ? std::min(min, level) : level;
            MinValid_ = true;
        }
        sum += sq;
        ++Count_;
        intervalSum += sq;
        if (++IntervalCount_ == IntervalLength_) {
            LastInterval_ = intervalSum / static_cast<double>(IntervalLength_);
            intervalSum = 0.0;
            IntervalCount_ = 0;
            ++Intervals_;
        }
    }
    Fast_ = fast;
    Slow_ = slow;
    Peak_ = peak;
    Max_ = max;
    Min_ = min;
    Sum_ = sum;
    IntervalSum_ = intervalSum;
}

void TSoundLevelMeter::EngineBlock(const TEngineBlockView& block) {
    const std::size_t n = std::min(block.Left.size(), block.Right.size());
    Scratch_.resize(n);
    const int channel = Channel ? Channel() : 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double l = block.Left[i];
        const double r = block.Right[i];
        Scratch_[i] = channel == 1 ? r : channel == 2 ? l + r : channel == 3 ? l - r : l;
    }
    Process(Scratch_, block.SampleRate, block.FullScale);
}

TSoundLevelReadings TSoundLevelMeter::Readings() const {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::optional<double> spl = SplSensitivity ? SplSensitivity() : std::nullopt;
    const double offset = spl.value_or(0.0);
    const double fs = FullScale_;
    TSoundLevelReadings r;
    r.Letter = WeightingLetter(Weighting_);
    r.SlowForExtremes = SlowExtremes_;
    r.Spl = spl.has_value();
    r.Seconds = Rate_ > 0.0 ? static_cast<double>(Count_) / Rate_ : 0.0;
    r.IntervalSeconds = IntervalSeconds_;
    r.Intervals = Intervals_;
    if (Count_ == 0) {
        r.FastDb = r.SlowDb = r.LeqDb = r.IntervalLeqDb = r.CurrentIntervalLeqDb = nan;
        r.MaxDb = r.MinDb = r.CPeakDb = nan;
        return r;
    }
    r.FastDb = LevelDb(Fast_, fs, offset);
    r.SlowDb = LevelDb(Slow_, fs, offset);
    r.LeqDb = LevelDb(Sum_ / static_cast<double>(Count_), fs, offset);
    r.IntervalLeqDb = Intervals_ > 0 ? LevelDb(LastInterval_, fs, offset) : nan;
    r.CurrentIntervalLeqDb =
        IntervalCount_ > 0 ? LevelDb(IntervalSum_ / static_cast<double>(IntervalCount_), fs, offset)
                           : r.IntervalLeqDb;
    r.MaxDb = LevelDb(Max_, fs, offset);
    r.MinDb = MinValid_ ? LevelDb(Min_, fs, offset) : nan;
    r.CPeakDb = LevelDb(Peak_ * Peak_, fs, offset);
    return r;
}
