// SPDX-License-Identifier: GPL-3.0-or-later
// The distortion analyser as the block pipeline feeds it: channel selection and scaling.
#pragma once

#include "analysis/BlockConsumer.h"
#include "analysis/DistortionAnalyser.h"

// Owns a distortion analyser and feeds it every processed block: the spectrum's channel (left,
// right, left + right or left - right, in double precision) divided by the full scale, with the
// generator's frequency. In the coherent mode the spectrum's channel left or right is not
// transformed again: the band filter's transform of the block (TProcessedBlockView::PaddedBins)
// holds its rectangular transform. The analyser is configured anew whenever N or the rate of the
// blocks changes. Active only while SetActive(true) says so (a view that shows the readings, or a
// measurement). Main thread (or a measurement's thread) only.
class TDistortionConsumer final : public TBlockConsumer {
public:
    TDistortionAnalyser& Analyser() { return analyser_; }
    const TDistortionAnalyser& Analyser() const { return analyser_; }

    void SetActive(bool active) { active_ = active; }
    bool Active() const override { return active_; }
    void Restart() override { analyser_.Restart(); }
    void ProcessedBlock(const TProcessedBlockView& block) override;

private:
    TDistortionAnalyser analyser_;
    bool active_ = false;
};
