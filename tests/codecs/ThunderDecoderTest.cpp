#include "DecoderTestUtils.h"

#include <gtest/gtest.h>

#include <memory>

TEST(ThunderDecoder, RawPixelRunsAndDeltas) {
    TThunderDecoder decoder(2);
    EXPECT_EQ(DecodeBytes(decoder, {0xC5, 0x03}, 2), (TBytes{0x55, 0x55}));
    EXPECT_EQ(DecodeBytes(decoder, {0xC5, 0x41}, 2), (TBytes{0x55, 0x56}));
    // 3-bit deltas +3 and -2 (code 6), then a run of 1 on an odd count, then a skipped delta.
    EXPECT_EQ(DecodeBytes(decoder, {0xC1, 0x9E, 0x01, 0x60}, 2), (TBytes{0x14, 0x22}));
}

TEST(ThunderDecoder, DeltasWrapAroundFourBits) {
    TThunderDecoder decoder(1);
    EXPECT_EQ(DecodeBytes(decoder, {0xCF, 0x5B}, 1), (TBytes{0xF0}));  // 15 + 1, then skip, skip
    EXPECT_EQ(DecodeBytes(decoder, {0x7B}, 1), (TBytes{0xFE}));        // 0 - 1, skip, - 1
}

TEST(ThunderDecoder, EveryRowStartsFromPixelZeroAtItsOwnBytes) {
    TThunderDecoder decoder(2);
    // Row 1 overruns its 4 pixels with a run of 9; row 2 starts over with last pixel 0.
    EXPECT_EQ(DecodeBytes(decoder, {0xC7, 0x09, 0x44, 0x03}, 4), (TBytes{0x77, 0x77, 0x01, 0x11}));
    // An odd run leaves only the high half of the last byte set.
    EXPECT_EQ(DecodeBytes(decoder, {0xC2, 0x02}, 2, 0xEE), (TBytes{0x22, 0x20}));
}

TEST(ThunderDecoder, DamagedInputStaysInsideTheBuffers) {
    const TBytes data{0xC5, 0x3F, 0x41, 0x9E, 0x01, 0xFF, 0x00, 0x3F, 0x5B, 0x80};
    for (std::int32_t width : {-1, 0, 1, 3, 100})
        DecodeDamaged([width] { return std::make_unique<TThunderDecoder>(width); }, data, 7, 7);
}
