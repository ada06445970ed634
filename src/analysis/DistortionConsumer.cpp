// SPDX-License-Identifier: GPL-3.0-or-later
// The distortion analyser fed by the block pipeline.
#include "analysis/DistortionConsumer.h"

#include <cstddef>

void TDistortionConsumer::ProcessedBlock(const TProcessedBlockView& block) {
    const auto n = static_cast<std::size_t>(block.N);
    if (block.N <= 0 || block.Left.size() < n || block.Right.size() < n)
        return;
    if (analyser_.N() != block.N || analyser_.RateHz() != block.SampleRate)
        analyser_.Configure(block.SampleRate, block.N);
    const double scale = 1.0 / block.FullScale;
    // Coherent, of one channel: the rectangular transform is the band filter's, taken already
    // (its samples are the channel's as they are; the sum and the difference are formed here in
    // double precision, so those take their own).
    const std::size_t m = block.PaddedBins.size() > 1 ? 2 * (block.PaddedBins.size() - 1) : 0;
    if ((block.Channel == 0 || block.Channel == 1) && m >= n && m % n == 0 &&
        analyser_.CoherentAt(block.GeneratorHz)) {
        analyser_.ProcessRectangularBins(block.PaddedBins, m / n, scale, block.GeneratorHz);
        return;
    }
    const int combine = block.Channel == 2 ? 1 : block.Channel == 3 ? -1 : 0;
    analyser_.ProcessFloats(block.Channel == 1 ? block.Right : block.Left, block.Right, combine,
                            scale, block.GeneratorHz);
}
