// SPDX-License-Identifier: GPL-3.0-or-later
// The block record that crosses from the audio engines to the measurement pipeline.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

enum TDataDirections { ddCapture, ddRender, ddBoth };

using TByteArray = std::vector<std::uint8_t>;
using TIntegerArray = std::vector<std::int32_t>;
using TSingleArray = std::vector<float>;

// Rows indexed by channel, then by sample (oldest first). Values are samples as left-justified
// signed 32-bit integers held in floats: full scale is +-2^31 whatever the device container.
using TDataBufferF = std::vector<TSingleArray>;
using TDataBufferI = std::vector<TIntegerArray>;

// One block handed to the data handler. The arrays belong to the engine and are reused for the
// next block: a handler that keeps data copies it. `OutBuffer` is for the handler to fill when
// rendering; the engine converts it to device bytes after the handler returns.
using TDataEvent = std::function<void(void* Sender, TDataBufferI& Int32Buffer,
                                      TDataBufferF& InBuffer, TDataBufferF& OutBuffer)>;

// Allocates `channels` rows of `samples` zero values.
inline void AllocateBlock(TDataBufferF& block, int channels, int samples) {
    block.assign(static_cast<std::size_t>(channels < 0 ? 0 : channels),
                 TSingleArray(static_cast<std::size_t>(samples < 0 ? 0 : samples), 0.0f));
}
