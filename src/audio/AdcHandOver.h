// SPDX-License-Identifier: GPL-3.0-or-later
// Blocks of the external four-channel ADC gathered into the pipeline's two-channel input.
#pragma once

#include "audio/SndTypes.h"

#include <cstdint>
#include <span>

// Turns four-channel ADC blocks (4 x B samples, channel-major) into the two-row float blocks
// the pipeline takes: the chosen pair of ADCs becomes rows 0 and 1, each sample times 255 (the
// ADC's 24-bit scale to the pipeline's 32-bit scale, left a little short of 256). With a sample
// length N above B, N / B ADC blocks are gathered per pipeline call; with N up to B, every ADC
// block is one pipeline call of B / N processed blocks. Owned by the main window; main thread.
class TAdcHandOver {
public:
    // Sets up a run: B samples per ADC block, N samples per processed block, the pair of ADCs
    // (0: ADC1 and ADC2, 1: ADC3 and ADC4). Sizes both blocks to max(B, N) samples when that
    // size changed, and starts gathering afresh.
    void Configure(int blockSamples, int sampleLength, int pair);
    // Empties both blocks (no samples, no rows' contents), as when the source is left.
    void Clear();

    // Writes one ADC block at offset B x gathered. True when the input block is complete and
    // a pipeline call is due with In() and Out().
    bool Add(std::span<const std::int32_t> block);

    // Processed blocks of N per pipeline call: max(B / N, 1).
    int SubBlocks() const { return subBlocks_; }
    // ADC blocks per pipeline call: max(N / B, 1).
    int BlocksPerCall() const { return blocksPerCall_; }
    int Gathered() const { return gathered_; }

    TDataBufferF& In() { return in_; }
    TDataBufferF& Out() { return out_; }

private:
    int blockSamples_ = 0;
    int pair_ = 0;
    int subBlocks_ = 1;
    int blocksPerCall_ = 1;
    int gathered_ = 0;
    TDataBufferF in_;
    TDataBufferF out_;
};
