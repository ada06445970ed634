// SPDX-License-Identifier: GPL-3.0-or-later
// Sample conversions between device containers and left-justified 32-bit sample values.
#include "audio/SampleConversion.h"

#include "audio/AudioError.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

std::int32_t ReadS16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

// Upper three bytes of a 32-bit word from a packed little-endian 24-bit sample.
std::int32_t ReadS24(const std::uint8_t* p) {
    const std::uint32_t word = (std::uint32_t{p[0]} << 8) | (std::uint32_t{p[1]} << 16) |
                               (std::uint32_t{p[2]} << 24);
    return static_cast<std::int32_t>(word);
}

std::int32_t ReadS32(const std::uint8_t* p) {
    std::uint32_t word;
    std::memcpy(&word, p, 4);
    return static_cast<std::int32_t>(word);
}

float ReadF32(const std::uint8_t* p) {
    float value;
    std::memcpy(&value, p, 4);
    return value;
}

// Nearest 32-bit integer of a sample value (ties to even), clipped to the 32-bit range.
std::int32_t RoundSample(float value) {
    const double v = std::nearbyint(static_cast<double>(value));
    if (!(v > static_cast<double>(std::numeric_limits<std::int32_t>::min())))
        return std::numeric_limits<std::int32_t>::min(); // also catches NaN
    if (v >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

template <typename Row, typename Read>
void Deinterleave(const std::uint8_t* src, std::size_t frames, const TSampleFormat& f,
                  std::vector<Row>& dst, std::size_t offset, Read read) {
    const std::size_t stride = static_cast<std::size_t>(f.BlockAlign());
    const std::size_t width = static_cast<std::size_t>(f.BytesPerSample());
    for (std::size_t c = 0; c < static_cast<std::size_t>(f.Channels) && c < dst.size(); ++c) {
        auto* out = dst[c].data() + offset;
        const std::uint8_t* in = src + c * width;
        for (std::size_t i = 0; i < frames; ++i, in += stride)
            out[i] = read(in);
    }
}

template <typename Row> void Capture16(const std::uint8_t* s, std::size_t n, const TSampleFormat& f, std::vector<Row>& d, std::size_t o) {
    using V = typename Row::value_type;
    Deinterleave(s, n, f, d, o, [](const std::uint8_t* p) { return static_cast<V>(ReadS16(p) * 65536); });
}

template <typename Row> void Capture24(const std::uint8_t* s, std::size_t n, const TSampleFormat& f, std::vector<Row>& d, std::size_t o) {
    using V = typename Row::value_type;
    const auto mask = static_cast<std::int32_t>(ValidBitsMask(f.ValidBits > 24 ? 24 : f.ValidBits));
    Deinterleave(s, n, f, d, o, [mask](const std::uint8_t* p) { return static_cast<V>(ReadS24(p) & mask); });
}

template <typename Row> void Capture32(const std::uint8_t* s, std::size_t n, const TSampleFormat& f, std::vector<Row>& d, std::size_t o) {
    using V = typename Row::value_type;
    const auto mask = static_cast<std::int32_t>(ValidBitsMask(f.ValidBits));
    Deinterleave(s, n, f, d, o, [mask](const std::uint8_t* p) { return static_cast<V>(ReadS32(p) & mask); });
}

template <typename Row> void CaptureFloat(const std::uint8_t* s, std::size_t n, const TSampleFormat& f, std::vector<Row>& d, std::size_t o) {
    using V = typename Row::value_type;
    Deinterleave(s, n, f, d, o, [](const std::uint8_t* p) {
        const float scaled = ReadF32(p) * 2147483648.0f;
        if constexpr (std::is_same_v<V, float>)
            return scaled;
        else
            return RoundSample(scaled);
    });
}

template <typename Write>
void Interleave(const TDataBufferF& src, std::size_t offset, std::size_t frames,
                const TSampleFormat& f, std::uint8_t* dst, Write write) {
    const std::size_t stride = static_cast<std::size_t>(f.BlockAlign());
    const std::size_t width = static_cast<std::size_t>(f.BytesPerSample());
    for (std::size_t c = 0; c < static_cast<std::size_t>(f.Channels); ++c) {
        std::uint8_t* out = dst + c * width;
        if (c >= src.size()) { // a channel the handler does not provide plays silence
            for (std::size_t i = 0; i < frames; ++i, out += stride)
                std::memset(out, 0, width);
            continue;
        }
        const float* in = src[c].data() + offset;
        for (std::size_t i = 0; i < frames; ++i, out += stride)
            write(in[i], out);
    }
}

void Render16(const TDataBufferF& s, std::size_t o, std::size_t n, const TSampleFormat& f, std::uint8_t* d) {
    Interleave(s, o, n, f, d, [](float v, std::uint8_t* p) {
        const auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(RoundSample(v) / 65536));
        p[0] = static_cast<std::uint8_t>(sample);
        p[1] = static_cast<std::uint8_t>(sample >> 8);
    });
}

void Render24(const TDataBufferF& s, std::size_t o, std::size_t n, const TSampleFormat& f, std::uint8_t* d) {
    Interleave(s, o, n, f, d, [](float v, std::uint8_t* p) {
        const auto word = static_cast<std::uint32_t>(RoundSample(v));
        p[0] = static_cast<std::uint8_t>(word >> 8);
        p[1] = static_cast<std::uint8_t>(word >> 16);
        p[2] = static_cast<std::uint8_t>(word >> 24);
    });
}

void Render32(const TDataBufferF& s, std::size_t o, std::size_t n, const TSampleFormat& f, std::uint8_t* d) {
    Interleave(s, o, n, f, d, [](float v, std::uint8_t* p) {
        const auto word = static_cast<std::uint32_t>(RoundSample(v));
        std::memcpy(p, &word, 4);
    });
}

void RenderFloat(const TDataBufferF& s, std::size_t o, std::size_t n, const TSampleFormat& f, std::uint8_t* d) {
    Interleave(s, o, n, f, d, [](float v, std::uint8_t* p) {
        const float out = v / 2147483648.0f;
        std::memcpy(p, &out, 4);
    });
}

void CheckFormat(const TSampleFormat& f) {
    const bool intOk = !f.Float && (f.ContainerBits == 16 || f.ContainerBits == 24 || f.ContainerBits == 32);
    const bool floatOk = f.Float && f.ContainerBits == 32;
    if (f.Channels < 1 || (!intOk && !floatOk) || f.ValidBits < 1 || f.ValidBits > f.ContainerBits)
        throw EAudioError("Unsupported sample format");
}

} // namespace

std::uint32_t ValidBitsMask(int validBits) {
    if (validBits >= 32)
        return 0xFFFFFFFFu;
    if (validBits <= 0)
        return 0;
    return 0xFFFFFFFFu << (32 - validBits);
}

TCaptureConverterF SelectCaptureConverter(const TSampleFormat& f) {
    CheckFormat(f);
    if (f.Float)
        return &CaptureFloat<TSingleArray>;
    switch (f.ContainerBits) {
    case 16: return &Capture16<TSingleArray>;
    case 24: return &Capture24<TSingleArray>;
    default: return &Capture32<TSingleArray>;
    }
}

TCaptureConverterI SelectCaptureConverterI(const TSampleFormat& f) {
    CheckFormat(f);
    if (f.Float)
        return &CaptureFloat<TIntegerArray>;
    switch (f.ContainerBits) {
    case 16: return &Capture16<TIntegerArray>;
    case 24: return &Capture24<TIntegerArray>;
    default: return &Capture32<TIntegerArray>;
    }
}

TRenderConverterF SelectRenderConverter(const TSampleFormat& f) {
    CheckFormat(f);
    if (f.Float)
        return &RenderFloat;
    switch (f.ContainerBits) {
    case 16: return &Render16;
    case 24: return &Render24;
    default: return &Render32;
    }
}
