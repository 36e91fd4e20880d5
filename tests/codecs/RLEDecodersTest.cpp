#include "DecoderTestUtils.h"

#include <gtest/gtest.h>

#include <memory>

TEST(TargaRLEDecoder, RunAndRawPacketsOf24BitPixels) {
    TTargaRLEDecoder decoder(24);
    EXPECT_EQ(DecodeAll(decoder, {130, 1, 2, 3}, 9, 3), (TBytes{1, 2, 3, 1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(DecodeAll(decoder, {2, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'}, 9, 3),
              (TBytes{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'}));
}

TEST(TargaRLEDecoder, PacketPastTheRowIsConsumedWhole) {
    const TBytes input{1, 7, 8, 128 + 9, 5, 0, 42};
    TBytes output(6, 0xEE);
    const std::uint8_t* source = input.data();
    std::uint8_t* dest = output.data();
    TTargaRLEDecoder decoder(8);
    decoder.Decode(source, dest, 7, 6);
    EXPECT_EQ(output, (TBytes{7, 8, 5, 5, 5, 5}));
    EXPECT_EQ(source, input.data() + 5);
    EXPECT_EQ(dest, output.data());

    // A raw packet past the row skips all its pixels too.
    const TBytes raw{3, 1, 1, 2, 2, 3, 3, 4, 4, 9};
    source = raw.data();
    dest = output.data();
    TTargaRLEDecoder(16).Decode(source, dest, static_cast<std::int32_t>(raw.size()), 2);
    EXPECT_EQ(source, raw.data() + 9);
}

TEST(TargaRLEDecoder, DataEndingEarlyKeepsTheRestAndStopsAtTheEnd) {
    const TBytes input{4, 1, 2, 3, 4, 5, 6, 7};  // raw packet of 5 pixels with 3.5 present
    TBytes output(10, 0xEE);
    const std::uint8_t* source = input.data();
    std::uint8_t* dest = output.data();
    TTargaRLEDecoder(15).Decode(source, dest, static_cast<std::int32_t>(input.size()), 5);
    EXPECT_EQ(output, (TBytes{1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(source, input.data() + input.size());

    TTargaRLEDecoder decoder(32);
    EXPECT_EQ(DecodeAll(decoder, {129, 1, 2, 3}, 8, 2), TBytes(8, 0xEE));  // run pixel cut short
    TTargaRLEDecoder unknownDepth(12);
    EXPECT_EQ(DecodeAll(unknownDepth, {129, 1, 2}, 4, 2), TBytes(4, 0xEE));
}

TEST(PackbitsRLEDecoder, NoOperationLiteralAndRun) {
    TPackbitsRLEDecoder decoder;
    EXPECT_EQ(DecodeBytes(decoder, {0x80, 0, 7}, 1), (TBytes{7}));
    EXPECT_EQ(DecodeBytes(decoder, {0xFE, 9, 1, 4, 5}, 5), (TBytes{9, 9, 9, 4, 5}));
}

TEST(PackbitsRLEDecoder, LiteralAndRunCutShort) {
    TPackbitsRLEDecoder decoder;
    EXPECT_EQ(DecodeBytes(decoder, {5, 1, 2, 3, 4, 5, 6}, 3), (TBytes{1, 2, 3}));
    EXPECT_EQ(DecodeBytes(decoder, {5, 1, 2}, 4), (TBytes{1, 2, 0xEE, 0xEE}));
    EXPECT_EQ(DecodeBytes(decoder, {0x81, 6}, 4), (TBytes{6, 6, 6, 6}));
    EXPECT_EQ(DecodeBytes(decoder, {0, 1, 0xFD}, 3), (TBytes{1, 0xEE, 0xEE}));  // run value missing
}

TEST(PCXRLEDecoder, RunsAndLiterals) {
    auto decode = [](const TBytes& input, std::size_t outputBytes) {
        TPCXRLEDecoder decoder;
        return DecodeBytes(decoder, input, outputBytes);
    };
    EXPECT_EQ(decode({193, 9, 191}, 2), (TBytes{9, 191}));
    EXPECT_EQ(decode({192, 5, 3, 255, 4}, 4), (TBytes{3, 4, 4, 4}));  // 192 writes nothing
    EXPECT_EQ(decode({200, 1}, 3), (TBytes{1, 1, 1}));
    EXPECT_EQ(decode({7, 194}, 3), (TBytes{7, 0xEE, 0xEE}));
    // Long literal stretches with counts at every place of an eight-byte group.
    TBytes input, expected;
    for (int i = 0; i < 40; ++i) {
        for (int k = 0; k < i % 9; ++k) {
            input.push_back(static_cast<std::uint8_t>((i * 7 + k) % 192));
            expected.push_back(input.back());
        }
        input.insert(input.end(), {static_cast<std::uint8_t>(192 + i % 5), static_cast<std::uint8_t>(200 + i)});
        expected.insert(expected.end(), i % 5, static_cast<std::uint8_t>(200 + i));
    }
    EXPECT_EQ(decode(input, expected.size()), expected);
}

// Rows decoded one after another from data handed over in pieces give the bytes of one call over
// everything: runs continue across rows, a count whose value is in the next piece waits for it.
TEST(PCXRLEDecoder, RowsFromPiecesContinueRunsAndCounts) {
    TBytes input;
    for (int i = 0; i < 30; ++i)
        input.insert(input.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(192 + (i * 11) % 64),
                                   static_cast<std::uint8_t>(i + 100), 191, 0});
    input.push_back(250);  // a count without its value ends the data
    const std::size_t size = 1200;
    const TBytes whole = [&] {
        TPCXRLEDecoder decoder;
        return DecodeBytes(decoder, input, size);
    }();
    for (std::size_t rowBytes : {1u, 5u, 17u, 64u, 600u}) {
        for (std::size_t piece : {2u, 3u, 8u, 33u}) {
            TPCXRLEDecoder decoder;
            decoder.BeginDecoding();
            TBytes output(size, 0xEE), pending;
            std::size_t fed = 0;
            for (std::size_t row = 0; row < size; row += rowBytes) {
                std::uint8_t* dest = output.data() + row;
                std::uint8_t* const rowEnd = output.data() + std::min(size, row + rowBytes);
                while (dest < rowEnd) {
                    const std::uint8_t* source = pending.data();
                    decoder.Decode(source, dest, static_cast<std::int32_t>(pending.size()),
                                   static_cast<std::int32_t>(rowEnd - dest));
                    pending.erase(pending.begin(), pending.begin() + (source - pending.data()));
                    if (dest == rowEnd || fed == input.size()) break;
                    const std::size_t n = std::min(piece, input.size() - fed);
                    pending.insert(pending.end(), input.begin() + static_cast<std::ptrdiff_t>(fed),
                                   input.begin() + static_cast<std::ptrdiff_t>(fed + n));
                    fed += n;
                }
            }
            EXPECT_EQ(output, whole) << rowBytes << "-byte rows, " << piece << "-byte pieces";
        }
    }
}

TEST(SGIRLEDecoder, EightBitRowStopsAtItsEndMarker) {
    TSGIRLEDecoder decoder(8);
    EXPECT_EQ(DecodeBytes(decoder, {131, 1, 2, 3, 5, 9, 0, 4, 7}, 10), (TBytes{1, 2, 3, 9, 9, 9, 9, 9, 0xEE, 0xEE}));
    EXPECT_EQ(DecodeBytes(decoder, {131, 1, 2, 3, 5, 9}, 6), (TBytes{1, 2, 3, 9, 9, 9}));  // cut at the row
    EXPECT_EQ(DecodeBytes(decoder, {133, 1, 2}, 4), (TBytes{1, 2, 0xEE, 0xEE}));           // no end marker
    EXPECT_EQ(DecodeBytes(decoder, {3}, 4), TBytes(4, 0xEE));
}

TEST(SGIRLEDecoder, SixteenBitSamplesKeepTheirByteOrder) {
    TSGIRLEDecoder decoder(16);
    const TBytes input{0, 0x82, 0x12, 0x34, 0xAB, 0xCD, 0, 3, 0x01, 0x02, 0, 0};
    EXPECT_EQ(DecodeAll(decoder, input, 12, 6), (TBytes{0x12, 0x34, 0xAB, 0xCD, 1, 2, 1, 2, 1, 2, 0xEE, 0xEE}));
    EXPECT_EQ(DecodeAll(decoder, input, 6, 3), (TBytes{0x12, 0x34, 0xAB, 0xCD, 1, 2}));
    EXPECT_EQ(DecodeAll(decoder, {0, 0x83, 1, 2, 3}, 6, 3), (TBytes{1, 2, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(RLEDecoders, DamagedInputStaysInsideTheBuffers) {
    const TBytes targa{130, 1, 2, 3, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 255, 1, 2, 3};
    for (std::uint32_t depth : {8u, 15u, 16u, 24u, 32u})
        DecodeDamaged([depth] { return std::make_unique<TTargaRLEDecoder>(depth); }, targa, (depth + 7) / 8 * 7, 7);
    const TBytes packbits{0xFE, 1, 2, 4, 5, 6, 0x80, 0x81, 9};
    DecodeDamaged([] { return std::make_unique<TPackbitsRLEDecoder>(); }, packbits, 12, 12);
    const TBytes pcx{193, 9, 255, 4, 1, 2, 3};
    DecodeDamaged([] { return std::make_unique<TPCXRLEDecoder>(); }, pcx, 20, 20);
    const TBytes sgi{131, 1, 2, 3, 5, 9, 0x84, 1, 2, 3, 4, 0};
    DecodeDamaged([] { return std::make_unique<TSGIRLEDecoder>(8); }, sgi, 16, 16);
    DecodeDamaged([] { return std::make_unique<TSGIRLEDecoder>(16); }, sgi, 16, 8);
}
