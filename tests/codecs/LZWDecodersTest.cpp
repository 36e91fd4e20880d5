#include "DecoderTestUtils.h"

#include <gtest/gtest.h>

#include <memory>

TEST(TIFFLZWDecoder, ClearStringsAndEndCode) {
    TBitWriter codes(true);
    for (std::uint32_t code : {256u, 65u, 66u, 258u, 257u, 65u}) codes.Put(code, 9);
    TTIFFLZWDecoder decoder;
    EXPECT_EQ(DecodeBytes(decoder, codes.Bytes(), 6), (TBytes{65, 66, 65, 66, 0xEE, 0xEE}));
    // Output is cut at the unpacked size.
    EXPECT_EQ(DecodeAll(decoder, codes.Bytes(), 4, 3), (TBytes{65, 66, 65, 0xEE}));
}

TEST(TIFFLZWDecoder, CodeWidthGrowsOneCodeEarly) {
    // After a clear, 253 strings take the next free code to 511: from then on codes are 10 bits.
    TBitWriter codes(true);
    codes.Put(256, 9);
    TBytes expected;
    for (std::uint32_t i = 0; i < 254; ++i) {
        codes.Put(i, 9);
        expected.push_back(static_cast<std::uint8_t>(i));
    }
    codes.Put(258, 10).Put(257, 10);  // "0 1", added as 511 with the last string
    expected.insert(expected.end(), {0, 1});
    TTIFFLZWDecoder decoder;
    EXPECT_EQ(DecodeBytes(decoder, codes.Bytes(), expected.size()), expected);
}

TEST(TIFFLZWDecoder, StripMadeByLibtiff) {
    const TBytes strip = ReadTestData("lzw_gray_61x47.tif-strip");
    const TBytes expected = ReadTestData("gray_61x47.raw");
    ASSERT_FALSE(strip.empty());
    TTIFFLZWDecoder decoder;
    EXPECT_EQ(DecodeBytes(decoder, strip, expected.size()), expected);
}

TEST(TIFFLZWDecoder, SkipsCodesNamingNoStringAndKeepsAFullTable) {
    TBitWriter codes(true);
    codes.Put(256, 9).Put(65, 9).Put(300, 9).Put(66, 9).Put(257, 9);
    TTIFFLZWDecoder decoder;
    EXPECT_EQ(DecodeBytes(decoder, codes.Bytes(), 3), (TBytes{65, 66, 0xEE}));

    // Fill the table and go on: new strings land in the spare slot, output stays right.
    TBitWriter full(true);
    full.Put(256, 9);
    std::uint32_t width = 9, next = 258;
    TBytes expected;
    for (int i = 0; i < 5000; ++i) {
        const auto byte = static_cast<std::uint32_t>(i * 37 % 256);
        full.Put(byte, width);
        expected.push_back(static_cast<std::uint8_t>(byte));
        if (i > 0 && next < 4096) ++next;
        if (next == (1u << width) - 1 && width < 12) ++width;
    }
    full.Put(257, width);
    EXPECT_EQ(DecodeBytes(decoder, full.Bytes(), expected.size()), expected);
}

TEST(GIFLZWDecoder, SmallCodeSizeAndAnEndCodeThatDoesNotStop) {
    // Code size 2: clear 4, end 5, first free 6, codes 3 bits wide until code 7 is added.
    TBitWriter codes(false);
    codes.Put(4, 3).Put(1, 3).Put(6, 3).Put(6, 3);  // 1, 1 1, 1 1 (adds 6 and 7)
    codes.Put(2, 4).Put(9, 4);                      // 2, 2 2
    codes.Put(5, 4).Put(8, 4).Put(5, 4);            // end code, then 1 1 2 all the same
    TGIFLZWDecoder decoder(2);
    EXPECT_EQ(DecodeBytes(decoder, codes.Bytes(), 12), (TBytes{1, 1, 1, 1, 1, 2, 2, 2, 1, 1, 2, 0xEE}));
}

TEST(GIFLZWDecoder, WidthGrowsWhenCode511IsAdded) {
    TBitWriter codes(false);
    codes.Put(256, 9);
    TBytes expected;
    for (std::uint32_t i = 0; i < 255; ++i) {
        codes.Put(i, 9);
        expected.push_back(static_cast<std::uint8_t>(i));
    }
    codes.Put(258, 10).Put(257, 10);
    expected.insert(expected.end(), {0, 1});
    TGIFLZWDecoder decoder(8);
    EXPECT_EQ(DecodeBytes(decoder, codes.Bytes(), expected.size()), expected);
}

TEST(GIFLZWDecoder, SkipsCodesNamingNoString) {
    TBitWriter codes(false);
    codes.Put(4, 3).Put(3, 3).Put(7, 3).Put(0, 3).Put(5, 3).Put(0, 8);
    TGIFLZWDecoder decoder(2);
    EXPECT_EQ(DecodeBytes(decoder, codes.Bytes(), 3), (TBytes{3, 0, 0xEE}));
    TGIFLZWDecoder outOfRange(12);
    EXPECT_EQ(DecodeBytes(outOfRange, codes.Bytes(), 3), TBytes(3, 0xEE));
}

TEST(GIFLZWDecoder, ImageMadeByNetpbm) {
    const TBytes data = ReadTestData("gif_gray_61x47.lzw");
    const TBytes palette = ReadTestData("gif_gray_61x47.palette");
    const TBytes gray = ReadTestData("gray_61x47.raw");
    ASSERT_FALSE(data.empty());
    TGIFLZWDecoder decoder(8);
    const TBytes indices = DecodeBytes(decoder, data, gray.size());
    for (std::size_t i = 0; i < gray.size(); ++i) ASSERT_EQ(palette[3 * indices[i]], gray[i]) << i;
}

TEST(LZWDecoders, DamagedInputStaysInsideTheBuffers) {
    const TBytes tiff = ReadTestData("lzw_gray_61x47.tif-strip");
    DecodeDamaged([] { return std::make_unique<TTIFFLZWDecoder>(); }, TBytes(tiff.begin(), tiff.begin() + 200), 500,
                  500);
    const TBytes gif = ReadTestData("gif_gray_61x47.lzw");
    for (std::uint8_t size : {1, 2, 3, 8, 11})
        DecodeDamaged([size] { return std::make_unique<TGIFLZWDecoder>(size); }, TBytes(gif.begin(), gif.begin() + 100),
                      400, 400);

    // A GIF stream that keeps naming the last table entry after the table is full.
    TBitWriter loop(false);
    for (int i = 0; i < 6000; ++i) loop.Put(i < 4000 ? 1 : 4095, i < 30 ? 3 : 12);
    TGIFLZWDecoder decoder(2);
    DecodeBytes(decoder, loop.Bytes(), 100000);
}
