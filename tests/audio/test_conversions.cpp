// SPDX-License-Identifier: GPL-3.0-or-later
// Sample conversions against hand-computed device bytes and the left-justified sample scale.
#include "audio/SampleConversion.h"

#include "audio/AudioError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

TSampleFormat Format(int bits, int valid, int channels = 2, bool isFloat = false) {
    return TSampleFormat{channels, bits, valid, isFloat};
}

} // namespace

TEST(SampleConversion, SixteenBitCaptureIsLeftJustified) {
    const std::uint8_t bytes[] = {0xFF, 0x7F, 0x00, 0x80, 0x01, 0x00, 0xFF, 0xFF}; // 32767, -32768, 1, -1
    TDataBufferF block;
    AllocateBlock(block, 2, 2);
    SelectCaptureConverter(Format(16, 16))(bytes, 2, Format(16, 16), block, 0);
    EXPECT_EQ(block[0][0], 2147418112.0f);
    EXPECT_EQ(block[1][0], -2147483648.0f);
    EXPECT_EQ(block[0][1], 65536.0f);
    EXPECT_EQ(block[1][1], -65536.0f);
}

TEST(SampleConversion, TwentyFourBitCaptureKeepsLowestByteZero) {
    const std::uint8_t bytes[] = {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00};
    TDataBufferI ints;
    ints.assign(1, TIntegerArray(3, 7));
    SelectCaptureConverterI(Format(24, 24, 1))(bytes, 3, Format(24, 24, 1), ints, 0);
    EXPECT_EQ(ints[0][0], 0x7FFFFF00);
    EXPECT_EQ(ints[0][1], std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ints[0][2], 256);
    TDataBufferF floats;
    AllocateBlock(floats, 1, 1);
    SelectCaptureConverter(Format(24, 24, 1))(bytes, 1, Format(24, 24, 1), floats, 0);
    EXPECT_EQ(floats[0][0], 2147483392.0f);
}

TEST(SampleConversion, ThirtyTwoBitContainerIsMaskedToItsValidBits) {
    const std::int32_t word = 0x123456FF; // 24 valid bits: the low byte is padding
    std::uint8_t bytes[4];
    std::memcpy(bytes, &word, 4);
    TDataBufferI ints;
    ints.assign(1, TIntegerArray(1));
    SelectCaptureConverterI(Format(32, 24, 1))(bytes, 1, Format(32, 24, 1), ints, 0);
    EXPECT_EQ(ints[0][0], 0x12345600);
    SelectCaptureConverterI(Format(32, 32, 1))(bytes, 1, Format(32, 32, 1), ints, 0);
    EXPECT_EQ(ints[0][0], 0x123456FF);
    EXPECT_EQ(ValidBitsMask(24), 0xFFFFFF00u);
    EXPECT_EQ(ValidBitsMask(32), 0xFFFFFFFFu);
}

TEST(SampleConversion, RenderRoundsThenTruncatesTowardZero) {
    TDataBufferF block{{-1.0f, 65535.0f, -65536.0f * 3, 2147483647.0f, -3e9f}};
    std::uint8_t bytes[10];
    SelectRenderConverter(Format(16, 16, 1))(block, 0, 5, Format(16, 16, 1), bytes);
    auto sample = [&](int i) { return static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)); };
    EXPECT_EQ(sample(0), 0);  // -1 / 65536 truncates to 0, not -1
    EXPECT_EQ(sample(1), 0);
    EXPECT_EQ(sample(2), -3);
    EXPECT_EQ(sample(3), 32767); // 2^31 as float clips to the largest sample
    EXPECT_EQ(sample(4), -32768);
}

TEST(SampleConversion, RoundTripsThroughEveryContainer) {
    // Values representable exactly in each container come back unchanged.
    for (const auto& format : {Format(16, 16), Format(24, 24), Format(32, 32), Format(32, 32, 2, true)}) {
        const float step = format.ContainerBits == 16 ? 65536.0f : 256.0f;
        TDataBufferF in{TSingleArray{0.0f, step, -step * 1000, 1.5e9f - std::fmod(1.5e9f, step)},
                        TSingleArray{-2147483648.0f, 7 * step, 12 * step, -step}};
        std::vector<std::uint8_t> bytes(4 * static_cast<std::size_t>(format.BlockAlign()) + 1, 0xAB);
        SelectRenderConverter(format)(in, 0, 4, format, bytes.data());
        EXPECT_EQ(bytes.back(), 0xAB) << "wrote past the end, " << format.ContainerBits << " bits";
        TDataBufferF out;
        AllocateBlock(out, 2, 5);
        out[0][4] = 42.0f;
        SelectCaptureConverter(format)(bytes.data(), 4, format, out, 0);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(out[c][i], in[c][i]) << format.ContainerBits << " bits, ch " << c << " #" << i;
        EXPECT_EQ(out[0][4], 42.0f);
    }
}

TEST(SampleConversion, FloatContainerScalesByTwoToThe31) {
    const float values[] = {0.5f, -1.0f};
    std::uint8_t bytes[8];
    std::memcpy(bytes, values, 8);
    TDataBufferF block;
    AllocateBlock(block, 2, 1);
    SelectCaptureConverter(Format(32, 32, 2, true))(bytes, 1, Format(32, 32, 2, true), block, 0);
    EXPECT_EQ(block[0][0], 1073741824.0f);
    EXPECT_EQ(block[1][0], -2147483648.0f);
}

TEST(SampleConversion, RefusesContainersItCannotConvert) {
    EXPECT_THROW(SelectCaptureConverter(Format(8, 8)), EAudioError);
    EXPECT_THROW(SelectRenderConverter(Format(24, 32)), EAudioError);
    EXPECT_THROW(SelectCaptureConverter(Format(16, 16, 0)), EAudioError);
}
