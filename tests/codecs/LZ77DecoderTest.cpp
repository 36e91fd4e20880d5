#include "DecoderTestUtils.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <numeric>

namespace {
TBytes Compress(const TBytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    TBytes packed(size);
    EXPECT_EQ(compress(packed.data(), &size, data.data(), static_cast<uLong>(data.size())), Z_OK);
    packed.resize(size);
    return packed;
}

TBytes Pattern(std::size_t size, std::uint8_t seed) {
    TBytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 7 + seed) % 251);
    return data;
}
}  // namespace

TEST(LZ77Decoder, AutoResetDecodesIndependentStrips) {
    const TBytes first = Pattern(1000, 1), second = Pattern(700, 9);
    const TBytes a = Compress(first), b = Compress(second);
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, true);
    decoder.BeginDecoding();
    for (const auto* pair : {&a, &b}) {
        const TBytes& expected = pair == &a ? first : second;
        TBytes output(expected.size());
        const std::uint8_t* source = pair->data();
        std::uint8_t* dest = output.data();
        decoder.Decode(source, dest, static_cast<std::int32_t>(pair->size()), static_cast<std::int32_t>(output.size()));
        EXPECT_EQ(decoder.LastResult(), Z_STREAM_END);
        EXPECT_EQ(output, expected);
        EXPECT_EQ(source, pair->data() + pair->size());
        EXPECT_EQ(dest, output.data() + output.size());
        EXPECT_EQ(decoder.AvailableInput(), 0u);
        EXPECT_EQ(decoder.AvailableOutput(), 0u);
    }
    decoder.FinishDecoding();
}

TEST(LZ77Decoder, WithoutAutoResetOneStreamContinuesAcrossCalls) {
    const TBytes data = Pattern(5000, 3);
    const TBytes packed = Compress(data);
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, false);
    decoder.BeginDecoding();
    TBytes output(data.size());
    const std::uint8_t* source = packed.data();
    std::uint8_t* dest = output.data();
    const std::size_t half = packed.size() / 2;
    decoder.Decode(source, dest, static_cast<std::int32_t>(half), static_cast<std::int32_t>(output.size()));
    EXPECT_EQ(decoder.LastResult(), Z_OK);
    EXPECT_EQ(decoder.AvailableInput(), 0u);
    EXPECT_EQ(source, packed.data() + half);
    const auto produced = dest - output.data();
    decoder.Decode(source, dest, static_cast<std::int32_t>(packed.size() - half),
                   static_cast<std::int32_t>(output.size() - static_cast<std::size_t>(produced)));
    EXPECT_EQ(decoder.LastResult(), Z_STREAM_END);
    EXPECT_EQ(output, data);

    // After the stream end nothing more is decoded and the references stay.
    const std::uint8_t* again = packed.data();
    std::uint8_t* target = output.data();
    decoder.Decode(again, target, static_cast<std::int32_t>(packed.size()), 10);
    EXPECT_EQ(again, packed.data());
    EXPECT_EQ(target, output.data());
    EXPECT_EQ(decoder.LastResult(), Z_STREAM_END);
    decoder.FinishDecoding();
}

TEST(LZ77Decoder, CorruptStreamReportsItsResult) {
    TBytes packed = Compress(Pattern(300, 5));
    packed[0] = 0x12;  // not a zlib header
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, true);
    decoder.BeginDecoding();
    DecodeBytes(decoder, packed, 300);
    EXPECT_EQ(decoder.LastResult(), Z_DATA_ERROR);
    decoder.FinishDecoding();
}

TEST(LZ77Decoder, FinishWithoutBeginIsAnError) {
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, false);
    try {
        decoder.FinishDecoding();
        FAIL() << "no error";
    } catch (const ECompressionError& e) {
        EXPECT_STREQ(e.what(), "LZ77 decompression error.");
    }
}

TEST(LZ77Decoder, DamagedInputStaysInsideTheBuffers) {
    const TBytes packed = Compress(Pattern(200, 7));
    for (bool reset : {true, false})
        DecodeDamaged(
            [reset] {
                auto decoder = std::make_unique<TLZ77Decoder>(Z_PARTIAL_FLUSH, reset);
                decoder->BeginDecoding();
                return decoder;
            },
            packed, 150, 150);
}
