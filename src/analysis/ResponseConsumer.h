// SPDX-License-Identifier: GPL-3.0-or-later
// The response analyser as the block pipeline feeds it: the reference and response channels,
// their alignment by the measured delay, and the delay's first acquisition.
#pragma once

#include "analysis/BlockConsumer.h"
#include "analysis/ResponseAnalyser.h"

#include <cstdint>
#include <vector>

// Which signals are the reference x and the response y.
enum class TResponseReference : std::uint8_t {
    LeftRight = 0, // x the left input, y the right input
    RightLeft = 1, // x the right input, y the left input
    Output = 2,    // x what we played, y the spectrum's channel (x on the same channel; the
                   // left output for the sum and the difference)
};

// Owns a response analyser and feeds it from every processed block (N samples of each input and
// of what played over them; all of them together form the stream). The two signals are kept in
// rings; the response block [t, t + N) is analysed against the reference block
// [t - D, t - D + N), D the delay in whole samples, so that the average never spans a changing
// delay and the blocks hold the same stretch of the signal.
//
// D is first found by the phase transform of the generalised cross-correlation of the newest
// response block with the reference of the last MaxDelayS seconds before it (from -MaxDelayS on
// for two inputs): the lag where sum_k exp(i arg(conj(X[k]) Y[k])) exp(i omega_k lag) peaks. A
// stimulus that repeats (periodic noise of period N) gives equal peaks N apart: then the one
// nearest to the difference of the first moments where the response and the reference rose above
// -60 dB re full scale (we start playing at the run's start, so in the Output mode that is the
// loop's delay), else the one nearest to 0. The response waits for its signal (a response block
// that is all below -60 dB re full scale is not searched); after each completed average D follows
// the delay measured by the analyser (its residual rounded), and the average starts afresh when
// D changes. A new N, rate, reference or channel restarts everything.
//
// A gap the engine reports (frames lost, silence played) breaks the stream that the rings and
// the delay assume, and its jump reaches the blocks only after what the engine holds and the
// loop's delay: the consumer then drops the blocks of the next MaxDelayS seconds and 16 engine
// blocks (more than the engines queue), and starts everything afresh after them. Main thread
// (or a measurement's own thread) only.
class TResponseConsumer final : public TBlockConsumer {
public:
    TResponseAnalyser& Analyser() { return analyser_; }
    const TResponseAnalyser& Analyser() const { return analyser_; }

    void SetActive(bool active) { active_ = active; }
    bool Active() const override { return active_; }
    void Restart() override;
    void EngineBlock(const TEngineBlockView& block) override;
    void ProcessedBlock(const TProcessedBlockView& block) override;
    // Starts the average afresh within a run (the user's restart, a new stimulus) and keeps the
    // signals' history and the delay found: they still hold, and a search without the run's
    // start could neither tell apart the delays of a periodic stimulus nor find the reference
    // of the first blocks.
    void RestartAverage();

    void SetReference(TResponseReference reference);
    TResponseReference Reference() const { return reference_; }
    // The response channel of the Output mode: 0 left, 1 right, 2 sum, 3 difference, or -1 for
    // the spectrum's channel (the default).
    void SetResponseChannel(int channel);
    // The longest delay looked for, s (0.001 ... 10; default 0.5).
    void SetMaxDelay(double seconds);

    // True while the blocks after a gap in the stream are dropped.
    bool Settling() const { return settle_ > 0; }
    // True once the delay was found.
    bool Acquired() const { return acquired_; }
    // The whole samples of the alignment.
    int Alignment() const { return shift_; }

private:
    // Everything but the gap count starts afresh: signals, onsets, delay and average.
    void StartAfresh();
    void Reconfigure(double rateHz, int n, int channel);
    void Append(const TProcessedBlockView& block);
    double AtX(std::int64_t t) const { return ringX_[static_cast<std::size_t>(t) & mask_]; }
    double AtY(std::int64_t t) const { return ringY_[static_cast<std::size_t>(t) & mask_]; }
    // Looks for the delay around the response block ending at `end`; true when found.
    bool Acquire(std::int64_t end);
    void AnalyseReady();

    TResponseAnalyser analyser_;
    TDSXFastFourier search_;
    bool active_ = false;
    TResponseReference reference_ = TResponseReference::LeftRight;
    double maxDelayS_ = 0.5;
    double rateHz_ = 0.0;
    int n_ = 0;
    int channel_ = 0;             // the channel in use
    int fixedChannel_ = -1;       // the one chosen, or -1
    int lagMin_ = 0, lagMax_ = 0; // the delays looked for, samples
    std::vector<double> ringX_, ringY_;
    std::size_t mask_ = 0;
    std::int64_t written_ = 0; // samples appended since the restart
    std::int64_t onsetX_ = -1; // the first sample above -60 dB re full scale, or -1
    std::int64_t onsetY_ = -1;
    bool acquired_ = false;
    int shift_ = 0;
    std::int64_t next_ = 0; // start of the next response block
    std::vector<double> blockX_, blockY_;
    static constexpr std::uint64_t kGapsUnknown = ~std::uint64_t{0};
    std::uint64_t gaps_ = kGapsUnknown; // the engine's gap count last seen in this run
    std::int64_t settle_ = 0;           // samples still to drop after a gap
    // The rings start with the run, before which nothing played (else a sample before them is
    // unknown, not silence).
    bool fromStart_ = true;
};
