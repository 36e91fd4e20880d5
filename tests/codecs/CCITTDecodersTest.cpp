#include "DecoderTestUtils.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {
constexpr const char* EndOfLine = "000000000001";

TBytes DecodeMH(std::uint32_t width, const TBitWriter& codes, std::size_t outputBytes, bool wordAligned = false) {
    TCCITTMHDecoder decoder(0, false, wordAligned, width);
    return DecodeBytes(decoder, codes.Bytes(), outputBytes, 0xEE);
}

// The row of Width pixels made of alternating runs, white first, packed 1 bit per pixel.
TBytes PackRuns(std::uint32_t width, const std::vector<std::uint32_t>& runs) {
    TBytes row((width + 7) / 8, 0);
    std::uint32_t x = 0;
    bool black = false;
    for (std::uint32_t run : runs) {
        for (std::uint32_t i = 0; i < run; ++i, ++x)
            if (black) row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | 0x80u >> (x % 8));
        black = !black;
    }
    return row;
}
}  // namespace

TEST(CCITTMHDecoder, RowOfWidth10) {
    TBitWriter codes(true);
    codes.Bits("1000").Bits("00011");  // white 3, black 7
    EXPECT_EQ(DecodeMH(10, codes, 2), (TBytes{0b00011111, 0b11000000}));
}

TEST(CCITTMHDecoder, MakeUpCodesWithTheirTerminatingCode) {
    TBitWriter codes(true);
    codes.Bits("010011011").Bits("00110101").Bits("11");  // white 1728 + 0, black 2
    TBytes expected = PackRuns(1730, {1728, 2});
    EXPECT_EQ(DecodeMH(1730, codes, expected.size()), expected);

    // Runs beyond 2560 chain several make-up codes: white 2560 + 2560 + 64 + 3, black 3.
    TBitWriter longRun(true);
    longRun.Bits("000000011111").Bits("000000011111").Bits("11011").Bits("1000").Bits("10");
    expected = PackRuns(5190, {5187, 3});
    EXPECT_EQ(DecodeMH(5190, longRun, expected.size()), expected);
}

TEST(CCITTMHDecoder, RowStartingWithBlackAndRowsOnNewBytes) {
    TBitWriter codes(true);
    codes.Bits("00110101").Bits("10").Bits("1100");              // white 0, black 3, white 5: 13 bits
    codes.AlignToByte().Bits("0111").Bits("0011").Bits("1011");  // white 2, black 5, white 4 cut to 1
    EXPECT_EQ(DecodeMH(8, codes, 3), (TBytes{0b11100000, 0b00111110, 0}));

    // Word-aligned data starts each row on an even byte.
    TBitWriter aligned(true);
    aligned.Bits("1000").Bits("011").AlignToByte().Bits("11111111").Bits("1011").Bits("011");
    EXPECT_EQ(DecodeMH(7, aligned, 2, true), (TBytes{0b00011110, 0b00001110}));
}

TEST(CCITTFax3Decoder, RowsAfterEndOfLineCodesAndFillBits) {
    TBitWriter codes(true);
    codes.Bits(EndOfLine).Bits("1000").Bits("00011");                        // white 3, black 7
    codes.Bits("0000000").Bits(EndOfLine).Bits("00110101").Bits("0000100");  // fill bits; black 10
    codes.Bits(EndOfLine).Bits(EndOfLine);
    TCCITTFax3Decoder decoder(0, false, 10);
    EXPECT_EQ(DecodeBytes(decoder, codes.Bytes(), 4), (TBytes{0b00011111, 0b11000000, 0b11111111, 0b11000000}));
}

TEST(CCITTFax3Decoder, RowCutShortByAnEndOfLineStaysWhite) {
    TBitWriter codes(true);
    codes.Bits(EndOfLine).Bits("0111").Bits("11");                    // white 2, black 2 of 16
    codes.Bits(EndOfLine).Bits("00110101").Bits("010").Bits("0111");  // black 1, white 2 ...
    codes.Bits(EndOfLine);
    TCCITTFax3Decoder decoder(0, false, 16);
    EXPECT_EQ(DecodeBytes(decoder, codes.Bytes(), 5, 0xEE), (TBytes{0b00110000, 0, 0b10000000, 0, 0}));
}

TEST(CCITTFax3Decoder, StripsMadeByLibtiff) {
    const TBytes expected = ReadTestData("bw_203x40.raw");
    for (const char* name : {"g3_bw_203x40.tif-strip", "g3fill_bw_203x40.tif-strip"}) {
        const TBytes strip = ReadTestData(name);
        ASSERT_FALSE(strip.empty()) << name;
        TCCITTFax3Decoder decoder(0, false, 203);
        EXPECT_EQ(DecodeBytes(decoder, strip, expected.size()), expected) << name;
    }
}

TEST(CCITTFax3Decoder, EveryCodeOfBothColours) {
    // Made by libtiff from rows with every make-up value and every terminating value of each colour.
    constexpr std::uint32_t width = 2700;
    const TBytes strip = ReadTestData("g3_runs_2700x82.tif-strip");
    ASSERT_FALSE(strip.empty());
    TBytes expected;
    for (std::uint32_t y = 0; y < 82; ++y) {
        std::vector<std::uint32_t> runs;
        if (y < 40) {
            const std::uint32_t white = 64 * (y + 1) + y % 64;
            runs = {white, width - white};
        } else if (y < 80) {
            const std::uint32_t black = 64 * (y - 39) + y * 7 % 64;
            runs = {0, black, width - black};
        } else {
            if (y == 81) runs.push_back(0);
            for (std::uint32_t n = 1; n < 64; ++n) runs.push_back(n);
            runs.push_back(width - 2016);
        }
        const TBytes row = PackRuns(width, runs);
        expected.insert(expected.end(), row.begin(), row.end());
    }
    TCCITTFax3Decoder decoder(0, false, width);
    const TBytes decoded = DecodeBytes(decoder, strip, expected.size());
    for (std::size_t y = 0; y < 82; ++y) {
        const auto row = static_cast<std::ptrdiff_t>(y * ((width + 7) / 8));
        ASSERT_TRUE(std::equal(expected.begin() + row, expected.begin() + row + (width + 7) / 8, decoded.begin() + row))
            << "row " << y;
    }
}

TEST(CCITTDecoders, DamagedInputStaysInsideTheBuffers) {
    const TBytes strip = ReadTestData("g3_bw_203x40.tif-strip");
    const TBytes head(strip.begin(), strip.begin() + 60);
    for (std::uint32_t width : {0u, 1u, 203u, 4000u}) {
        DecodeDamaged([width] { return std::make_unique<TCCITTFax3Decoder>(0, false, width); }, head, 100, 100);
        DecodeDamaged([width] { return std::make_unique<TCCITTMHDecoder>(0, false, true, width); }, head, 100, 100);
    }
    // Long runs of make-up codes into a small destination.
    TBitWriter codes(true);
    for (int i = 0; i < 50; ++i) codes.Bits("000000011111");
    codes.Bits("0000110111");
    TCCITTMHDecoder decoder(0, false, false, 100000);
    EXPECT_EQ(DecodeBytes(decoder, codes.Bytes(), 8, 0xEE), TBytes(8, 0));
}
