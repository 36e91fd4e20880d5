// The LZW decoders against a plain model of the algorithm: a byte enters the bit buffer, codes are
// taken while enough bits are held, every string is walked back through the table onto a stack.
// The decoders take shortcuts (strings copied from earlier output, several bytes read at once);
// on valid and on damaged streams alike they must give the same bytes as the model.
#include "DecoderTestUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

namespace {

TBytes ModelDecode(bool tiff, std::uint32_t codeSize, const TBytes& input, std::size_t unpacked, std::uint8_t fill) {
    TBytes out(unpacked, fill);
    const std::uint32_t clear = tiff ? 256 : 1u << codeSize, end = clear + 1, first = clear + 2;
    const std::uint32_t initialWidth = tiff ? 9 : codeSize + 1;
    std::vector<std::int32_t> prefix(4097, 0);
    std::vector<std::uint8_t> suffix(4097, 0);
    for (std::uint32_t i = 0; i < clear; ++i) {
        prefix[i] = 4096;
        suffix[i] = static_cast<std::uint8_t>(i);
    }
    std::uint32_t width = initialWidth, next = first, old = 4096, buffer = 0, held = 0;
    std::uint8_t firstByte = 0;
    std::size_t at = 0;
    for (std::uint8_t byte : input) {
        if (at == unpacked) break;
        buffer |= tiff ? std::uint32_t(byte) << (24 - held) : std::uint32_t(byte) << held;
        held += 8;
        while (held >= width) {
            std::uint32_t code;
            if (tiff) {
                code = buffer >> (32 - width);
                buffer <<= width;
            } else {
                code = buffer & ((1u << width) - 1);
                buffer >>= width;
            }
            held -= width;
            bool skip = false;
            if (code == end) {
                if (tiff) return out;
                skip = true;
            } else if (code == clear) {
                width = initialWidth;
                next = first;
                old = 4096;
            } else if (code > next) {
                skip = true;
            } else if (old == 4096) {
                firstByte = suffix[code];
                out[at++] = firstByte;
                old = code;
            } else {
                std::vector<std::uint8_t> stack;
                const std::uint32_t incoming = code;
                if (code == next) {
                    stack.push_back(firstByte);
                    code = old;
                }
                while (code > clear && stack.size() < 4096) {
                    stack.push_back(suffix[code]);
                    code = static_cast<std::uint32_t>(prefix[code]);
                }
                firstByte = suffix[std::min<std::uint32_t>(code, 4096)];
                if (stack.size() < 4096) stack.push_back(firstByte);
                prefix[next] = static_cast<std::int32_t>(old);
                suffix[next] = firstByte;
                if (tiff) {
                    if (next < 4096) ++next;
                    if (next == (1u << width) - 1 && width < 12) ++width;
                } else {
                    if (next == (1u << width) - 1 && width < 12) ++width;
                    if (next < 4095) ++next;
                }
                old = incoming;
                while (!stack.empty() && at < unpacked) {
                    out[at++] = stack.back();
                    stack.pop_back();
                }
            }
            if (at == unpacked) return out;
            if (skip && held <= 24) break;
        }
    }
    return out;
}

// An LZW encoder for test streams: greedy longest match, with the decoder's own table and width
// bookkeeping; a clear before the table fills, and now and then at random; mostly an end code.
TBytes Encode(bool tiff, std::uint32_t codeSize, const TBytes& data, std::mt19937& random) {
    TBitWriter bits(tiff);
    const std::uint32_t clear = tiff ? 256 : 1u << codeSize, end = clear + 1;
    const std::uint32_t initialWidth = tiff ? 9 : codeSize + 1;
    std::uint32_t width = initialWidth, next = clear + 2;
    std::map<std::pair<std::uint32_t, std::uint8_t>, std::uint32_t> table;
    bits.Put(clear, width);
    bool fresh = true;
    for (std::size_t i = 0; i < data.size();) {
        std::uint32_t code = data[i++];
        for (; i < data.size(); ++i) {
            auto found = table.find({code, data[i]});
            if (found == table.end()) break;
            code = found->second;
        }
        bits.Put(code, width);
        // The decoder adds a string with every code but the first after a clear.
        if (!fresh) {
            if (tiff) {
                ++next;
                if (next == (1u << width) - 1 && width < 12) ++width;
            } else {
                if (next == (1u << width) - 1 && width < 12) ++width;
                ++next;
            }
        }
        fresh = false;
        if (i < data.size()) table[{code, data[i]}] = next;
        if (next >= 4093 || random() % 3000 == 0) {
            bits.Put(clear, width);
            width = initialWidth;
            next = clear + 2;
            table.clear();
            fresh = true;
        }
    }
    if (random() % 4) bits.Put(end, width);
    return bits.Bytes();
}

TBytes RandomPicture(std::mt19937& random, std::size_t size, std::uint32_t symbols) {
    TBytes data(size);
    std::uint8_t value = 0;
    for (auto& byte : data) {
        // Runs and repeats, like real pictures, so that long strings appear.
        if (random() % 4 == 0) value = static_cast<std::uint8_t>(random() % symbols);
        byte = value;
    }
    return data;
}

void ExpectModel(bool tiff, std::uint32_t codeSize, const TBytes& input, std::size_t unpacked, const char* what) {
    TTIFFLZWDecoder tiffDecoder;
    TGIFLZWDecoder gifDecoder(static_cast<std::uint8_t>(codeSize));
    TDecoder& decoder = tiff ? static_cast<TDecoder&>(tiffDecoder) : gifDecoder;
    const TBytes got = DecodeAll(decoder, input, unpacked + 8, static_cast<std::int32_t>(unpacked), 0x5A);
    TBytes expected = ModelDecode(tiff, codeSize, input, unpacked, 0x5A);
    expected.resize(unpacked + 8, 0x5A);
    ASSERT_EQ(got, expected) << what << (tiff ? " TIFF" : " GIF") << " code size " << codeSize;
}

}  // namespace

TEST(LZWDecoders, AgreeWithTheModelOnEncodedPictures) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        const bool tiff = round % 2 == 0;
        const std::uint32_t codeSize = tiff ? 8 : 2 + round % 7;
        const TBytes data = RandomPicture(random, 2000 + random() % 30000, 1u << codeSize);
        const TBytes packed = Encode(tiff, codeSize, data, random);
        ExpectModel(tiff, codeSize, packed, data.size(), "whole");
        // The same stream cut short, and read into too little room.
        ExpectModel(tiff, codeSize,
                    TBytes(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2)),
                    data.size(), "cut");
        ExpectModel(tiff, codeSize, packed, data.size() / 3, "short output");
        TTIFFLZWDecoder tiffDecoder;
        TGIFLZWDecoder gifDecoder(static_cast<std::uint8_t>(codeSize));
        TDecoder& decoder = tiff ? static_cast<TDecoder&>(tiffDecoder) : gifDecoder;
        ASSERT_EQ(DecodeBytes(decoder, packed, data.size()), data) << round;
    }
}

TEST(LZWDecoders, AgreeWithTheModelOnDamagedStreams) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        const bool tiff = round % 2 == 0;
        const std::uint32_t codeSize = tiff ? 8 : 1 + round % 11;
        TBytes packed =
            Encode(tiff, std::max<std::uint32_t>(codeSize, 1),
                   RandomPicture(random, 500 + random() % 8000, 1u << std::min<std::uint32_t>(codeSize, 8)), random);
        // Flipped bits, or pure noise: codes naming no string, stale entries, loops in the table.
        if (round % 3 == 0) {
            for (auto& byte : packed) byte = static_cast<std::uint8_t>(random());
        } else {
            for (int flips = 0; flips < 1 + round % 5; ++flips)
                packed[random() % packed.size()] ^= static_cast<std::uint8_t>(1u << random() % 8);
        }
        ExpectModel(tiff, codeSize, packed, 20000, "damaged");
    }
    // Codes that make table entries their own prefix: the first code after a clear naming the
    // first free entry, and a full GIF table whose last entry keeps being named.
    for (bool tiff : {true, false}) {
        const std::uint32_t clear = tiff ? 256 : 4, width = tiff ? 9 : 3;
        TBitWriter self(tiff);
        self.Put(clear, width).Put(clear + 2, width).Put(clear + 2, width).Put(1, width).Put(clear + 3, width);
        ExpectModel(tiff, tiff ? 8 : 2, self.Bytes(), 9000, "self prefix");
    }
    TBitWriter loop(false);
    for (int i = 0; i < 6000; ++i) loop.Put(i < 4000 ? 1 : 4095, i < 30 ? 3 : 12);
    ExpectModel(false, 2, loop.Bytes(), 100000, "full table");
}
