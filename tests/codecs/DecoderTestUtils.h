// Helpers shared by the decoder tests.
#pragma once

#include "codecs/Decoders.h"

#include <cstdint>
#include <vector>

using TBytes = std::vector<std::uint8_t>;

// Decodes Input into a fresh buffer of OutputBytes bytes, each preset to Fill. The input is copied
// into a buffer of its exact size so that ASan catches any read past its end.
inline TBytes DecodeAll(TDecoder& decoder, const TBytes& input, std::size_t outputBytes, std::int32_t unpackedSize,
                        std::uint8_t fill = 0xEE) {
    TBytes packed(input);
    TBytes output(outputBytes, fill);
    const std::uint8_t* source = packed.data();
    std::uint8_t* dest = output.data();
    decoder.Decode(source, dest, static_cast<std::int32_t>(packed.size()), unpackedSize);
    return output;
}

inline TBytes DecodeBytes(TDecoder& decoder, const TBytes& input, std::size_t outputBytes, std::uint8_t fill = 0xEE) {
    return DecodeAll(decoder, input, outputBytes, static_cast<std::int32_t>(outputBytes), fill);
}

// Feeds every prefix of Input, and Input with every byte flipped, to a fresh decoder: nothing may
// read or write outside the buffers (ASan watches) or hang.
template <typename MakeDecoder>
void DecodeDamaged(MakeDecoder make, const TBytes& input, std::size_t outputBytes, std::int32_t unpackedSize) {
    for (std::size_t n = 0; n <= input.size(); ++n) {
        auto decoder = make();
        DecodeAll(*decoder, TBytes(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(n)), outputBytes,
                  unpackedSize);
    }
    for (std::size_t i = 0; i < input.size(); ++i) {
        for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
            TBytes damaged(input);
            damaged[i] ^= flip;
            auto decoder = make();
            DecodeAll(*decoder, damaged, outputBytes, unpackedSize);
        }
    }
}

// Packs codes of given widths into bytes, most or least significant bit first.
class TBitWriter {
public:
    explicit TBitWriter(bool mostSignificantFirst) : msbFirst_(mostSignificantFirst) {}
    TBitWriter& Put(std::uint32_t code, std::uint32_t width) {
        for (std::uint32_t i = 0; i < width; ++i) {
            const std::uint32_t bit = msbFirst_ ? (code >> (width - 1 - i)) & 1u : (code >> i) & 1u;
            if (used_ % 8 == 0) bytes_.push_back(0);
            if (bit) bytes_.back() |= static_cast<std::uint8_t>(msbFirst_ ? 0x80u >> (used_ % 8) : 1u << (used_ % 8));
            ++used_;
        }
        return *this;
    }
    // A string of '0' and '1' characters, most significant first.
    TBitWriter& Bits(const char* bits) {
        for (; *bits; ++bits) Put(*bits == '1', 1);
        return *this;
    }
    TBitWriter& AlignToByte() {
        used_ = (used_ + 7) / 8 * 8;
        return *this;
    }
    const TBytes& Bytes() const { return bytes_; }

private:
    bool msbFirst_;
    TBytes bytes_;
    std::size_t used_ = 0;
};

// Reads a file of tests/codecs/data; empty when missing.
TBytes ReadTestData(const char* name);
