// SPDX-License-Identifier: GPL-3.0-or-later
// Blocks of the external four-channel ADC gathered into the pipeline's two-channel input.
#include "audio/AdcHandOver.h"

#include <algorithm>

void TAdcHandOver::Configure(int blockSamples, int sampleLength, int pair) {
    blockSamples_ = std::max(blockSamples, 1);
    pair_ = pair == 1 ? 1 : 0;
    subBlocks_ = std::max(blockSamples_ / std::max(sampleLength, 1), 1);
    blocksPerCall_ = std::max(sampleLength / blockSamples_, 1);
    gathered_ = 0;
    const auto size = static_cast<std::size_t>(std::max(blockSamples_, sampleLength));
    for (TDataBufferF* buffer : {&in_, &out_}) {
        buffer->resize(2);
        for (auto& row : *buffer)
            if (row.size() != size)
                row.assign(size, 0.0f);
    }
}

void TAdcHandOver::Clear() {
    in_.clear();
    out_.clear();
    gathered_ = 0;
}

bool TAdcHandOver::Add(std::span<const std::int32_t> block) {
    const auto b = static_cast<std::size_t>(blockSamples_);
    if (in_.size() != 2 || block.size() < 4 * b)
        return false;
    const std::size_t offset = b * static_cast<std::size_t>(gathered_);
    for (std::size_t row = 0; row < 2; ++row) {
        const std::int32_t* adc = block.data() + (2 * static_cast<std::size_t>(pair_) + row) * b;
        float* target = in_[row].data() + offset;
        for (std::size_t j = 0; j < b; ++j)
            target[j] = static_cast<float>(adc[j]) * 255.0f;
    }
    if (++gathered_ < blocksPerCall_)
        return false;
    gathered_ = 0;
    return true;
}
