// SPDX-License-Identifier: GPL-3.0-or-later
// Loudness meter: momentary, short-term and integrated loudness, loudness range, true peak.
#pragma once

#include "analysis/BlockConsumer.h"
#include "analysis/TruePeakInterpolator.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <vector>

// Loudness in LUFS, loudness range in LU, peaks in dB re full scale (dBTP, dBFS). Values not
// there yet (nothing measured, everything gated away) are -infinity or NaN.
struct TLoudnessReadings {
    int Channels = 2;              // 1: the one selected channel, 2: left and right
    double MomentaryLufs = 0.0;    // the last 400 ms
    double ShortTermLufs = 0.0;    // the last 3 s
    double MomentaryMaxLufs = 0.0; // highest momentary value since the restart
    double ShortTermMaxLufs = 0.0; // highest short-term value since the restart
    double IntegratedLufs = 0.0;   // gated over the run
    double RangeLu = 0.0;          // loudness range over the run
    double TruePeakDbtp = 0.0;     // highest of the channels since the restart
    double SamplePeakDbfs = 0.0;
    double Seconds = 0.0; // signal time since the restart
};

// One point of the history: momentary and short-term loudness at the end of a 100 ms step.
struct TLoudnessPoint {
    double Seconds = 0.0;
    double MomentaryLufs = 0.0;
    double ShortTermLufs = 0.0;
};

// Feeds the captured samples (scaled to full scale 1.0) to the loudness library, which does the
// K-weighting, the gating of the integrated loudness, the loudness range and the oversampled
// true peak. Every 100 ms of signal (at exact multiples of 100 ms since the restart, whatever the
// block length) it reads the library's loudness of the last 100 ms; the momentary loudness is
// the power mean of the last 4 of these steps and the short-term of the last 30, i.e. the
// library's own 400 ms and 3 s windows at those instants, updated 10 times a second, and each
// step adds a history point. Channels: left and right with weight 1.0, or the selected one alone
// when the spectrum's channel is left or right. The library oversamples for the true peak below
// 192 ksps only; from 192 ksps on the meter oversamples twice itself (and takes the sample peak
// on the way). Main thread only (the pipeline's).
class TLoudnessMeter final : public TBlockConsumer {
public:
    // Longest history kept, points (one per 100 ms): one hour.
    static constexpr std::size_t kHistoryPoints = 36000;

    TLoudnessMeter();
    ~TLoudnessMeter() override;
    TLoudnessMeter(const TLoudnessMeter&) = delete;
    TLoudnessMeter& operator=(const TLoudnessMeter&) = delete;

    // The channel as the spectrum selects it: 0 left, 1 right (one channel), 2 and 3 both.
    // Asked at each block; a change restarts the readings. Empty: 2.
    std::function<int()> Channel;

    void SetActive(bool active) { Active_ = active; }
    // A fresh measurement for `channels` (1 or 2) at sampleRate (samples/s). Raises
    // std::runtime_error if the library refuses.
    void Configure(double sampleRate, int channels);
    // Everything starts afresh with the next sample.
    void ResetReadings();

    // Frames of one or two channels (right empty for one), full scale `fullScale`.
    void Process(std::span<const double> left, std::span<const double> right, double sampleRate,
                 double fullScale);

    // The readings. The integrated loudness and the range take the library a pass over all
    // blocks of the run (and a sort for the range), so with maxAgeSteps > 0 they are computed
    // again only when that many 100 ms steps have passed since they last were (a view that
    // refreshes 30 times a second passes 10); 0 computes them now.
    TLoudnessReadings Readings(int maxAgeSteps = 0) const;
    // History points, oldest first (at most kHistoryPoints).
    const std::deque<TLoudnessPoint>& History() const { return History_; }

    // TBlockConsumer
    bool Active() const override { return Active_; }
    void Restart() override { ResetReadings(); }
    void EngineBlock(const TEngineBlockView& block) override;

private:
    struct TLibraryState; // the library's measurement, destroyed with it
    template <class TSample>
    void ProcessFrames(std::span<const TSample> left, std::span<const TSample> right,
                       double sampleRate, double fullScale);
    template <class TSample>
    void Feed(const TSample* left, const TSample* right, std::size_t count, double scale);
    void Step();

    bool Active_ = true;
    double Rate_ = 0.0;
    int Channels_ = 2;
    std::unique_ptr<TLibraryState> State_;
    std::int64_t StepFrames_ = 4800; // frames per 100 ms
    std::int64_t InStep_ = 0;        // frames of the step in progress
    std::int64_t Steps_ = 0;
    std::int64_t Frames_ = 0;
    std::vector<double> StepEnergy_; // the last 30 steps' mean K-weighted power (ring)
    double Momentary_ = 0.0, ShortTerm_ = 0.0, MomentaryMax_ = 0.0, ShortTermMax_ = 0.0;
    std::deque<TLoudnessPoint> History_;
    mutable std::int64_t CachedAt_ = -1; // Steps_ when the two below were computed
    mutable double CachedIntegrated_ = 0.0, CachedRange_ = 0.0;
    bool OwnPeaks_ = false; // the rate is one the library does not oversample: the meter takes
                            // the sample and true peaks itself
    TTruePeakInterpolator Peaks_;
    std::vector<double> Interleaved_; // the frames for the library, full scale 1.0
};
