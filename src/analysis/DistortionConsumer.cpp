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
    const float* left = block.Left.data();
    const float* right = block.Right.data();
    double* input = analyser_.Input().data();
    switch (block.Channel) {
    case 1:
        for (std::size_t i = 0; i < n; ++i)
            input[i] = right[i] * scale;
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i)
            input[i] = (static_cast<double>(left[i]) + right[i]) * scale;
        break;
    case 3:
        for (std::size_t i = 0; i < n; ++i)
            input[i] = (static_cast<double>(left[i]) - right[i]) * scale;
        break;
    default:
        for (std::size_t i = 0; i < n; ++i)
            input[i] = left[i] * scale;
        break;
    }
    analyser_.ProcessInput(block.GeneratorHz);
}
