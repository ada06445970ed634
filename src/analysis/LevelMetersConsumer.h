// SPDX-License-Identifier: GPL-3.0-or-later
// The sound level meter and the loudness meter fed together as one block consumer.
#pragma once

#include "analysis/BlockConsumer.h"
#include "analysis/LoudnessMeter.h"
#include "analysis/SoundLevelMeter.h"

// Forwards each engine block to both meters and restarts both; active as its owner says. Main
// thread only (the pipeline's).
class TLevelMetersConsumer final : public TBlockConsumer {
public:
    TSoundLevelMeter Slm;
    TLoudnessMeter Loudness;

    void SetActive(bool active) { Active_ = active; }
    bool Active() const override { return Active_; }
    void Restart() override {
        Slm.Restart();
        Loudness.Restart();
    }
    void EngineBlock(const TEngineBlockView& block) override {
        Slm.EngineBlock(block);
        Loudness.EngineBlock(block);
    }

private:
    bool Active_ = false;
};
