// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion between interleaved device sample bytes and the de-interleaved block record.
#pragma once

#include "audio/SndTypes.h"

#include <cstddef>
#include <cstdint>

// The layout of one device frame. Integer containers are little-endian signed PCM of 16, 24
// (three packed bytes) or 32 bits; a 32-bit container may carry fewer valid bits (left-justified,
// as in a 24-in-32 format). `Float` containers are 32-bit IEEE floats with full scale +-1.0.
struct TSampleFormat {
    int Channels = 2;
    int ContainerBits = 16; // 16, 24 or 32
    int ValidBits = 16;     // valid bits of an integer container (<= ContainerBits)
    bool Float = false;     // 32-bit float container

    int BytesPerSample() const { return ContainerBits / 8; }
    int BlockAlign() const { return BytesPerSample() * Channels; } // bytes per frame
};

// A capture conversion: `frames` frames from `src` into rows 0..Channels-1 of `dst`, starting at
// sample `offset` of each row. Values are left-justified 32-bit samples (16-bit x 65536, 24-bit
// bytes as the upper three bytes, 32-bit as is masked to its valid bits, float x 2^31).
using TCaptureConverterF = void (*)(const std::uint8_t* src, std::size_t frames,
                                    const TSampleFormat& format, TDataBufferF& dst,
                                    std::size_t offset);
using TCaptureConverterI = void (*)(const std::uint8_t* src, std::size_t frames,
                                    const TSampleFormat& format, TDataBufferI& dst,
                                    std::size_t offset);
// A render conversion: samples `offset`..`offset+frames-1` of each row of `src` into interleaved
// device bytes at `dst`. 16-bit: round to nearest, then divide by 65536 truncating toward zero;
// 24-bit: round to nearest, store the upper three bytes; 32-bit: round to nearest; float: / 2^31.
// Values beyond the 32-bit range are clipped to it.
using TRenderConverterF = void (*)(const TDataBufferF& src, std::size_t offset, std::size_t frames,
                                   const TSampleFormat& format, std::uint8_t* dst);

// Picks the conversion for a format once, when a device is opened, so that the per-block loop
// carries no branch on the format. Throws EAudioError for a container we cannot convert.
TCaptureConverterF SelectCaptureConverter(const TSampleFormat& format);
TCaptureConverterI SelectCaptureConverterI(const TSampleFormat& format);
TRenderConverterF SelectRenderConverter(const TSampleFormat& format);

// The mask of the valid bits of a left-justified 32-bit sample: all ones shifted left by
// 32 - validBits (validBits 1..32).
std::uint32_t ValidBitsMask(int validBits);
