// GIF files put together block by block, for the reader tests and the fuzz seeds. The LZW data
// uses literal codes only, with a clear code before the table would widen the codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gif_builder {

using TBytes = std::vector<std::uint8_t>;

inline void Put16(TBytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

// The codes of the pixels, least significant bit first, as data sub-blocks with the terminator.
inline TBytes LzwBlocks(const TBytes& pixels, unsigned minCodeSize) {
    const unsigned clear = 1u << minCodeSize, end = clear + 1, width = minCodeSize + 1;
    const unsigned limit = (1u << width) - clear - 2;
    TBytes packed;
    std::uint32_t buffer = 0;
    unsigned bits = 0;
    auto emit = [&](unsigned code) {
        buffer |= code << bits;
        bits += width;
        while (bits >= 8) packed.push_back(static_cast<std::uint8_t>(buffer)), buffer >>= 8, bits -= 8;
    };
    emit(clear);
    unsigned count = 0;
    for (std::uint8_t p : pixels) {
        emit(p);
        if (++count == limit) emit(clear), count = 0;
    }
    emit(end);
    if (bits) packed.push_back(static_cast<std::uint8_t>(buffer));
    TBytes blocks;
    for (std::size_t i = 0; i < packed.size(); i += 255) {
        std::size_t n = std::min<std::size_t>(255, packed.size() - i);
        blocks.push_back(static_cast<std::uint8_t>(n));
        blocks.insert(blocks.end(), packed.begin() + static_cast<std::ptrdiff_t>(i),
                      packed.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    blocks.push_back(0);
    return blocks;
}

// A colour table of 2^(sizeBits + 1) entries; entry i is (i, 255 - i, i * 7).
inline TBytes ColorTable(unsigned sizeBits) {
    TBytes table;
    for (unsigned i = 0; i < (2u << sizeBits); ++i)
        table.insert(table.end(), {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
    return table;
}

inline TBytes Header(const std::string& signature, unsigned width, unsigned height, int globalTableBits) {
    TBytes b(signature.begin(), signature.end());
    Put16(b, width);
    Put16(b, height);
    b.push_back(globalTableBits >= 0 ? std::uint8_t(0x80 | globalTableBits) : 0);
    b.insert(b.end(), {0, 0});
    if (globalTableBits >= 0) {
        TBytes table = ColorTable(static_cast<unsigned>(globalTableBits));
        b.insert(b.end(), table.begin(), table.end());
    }
    return b;
}

// Image descriptor, optional local table, code size and data.
inline TBytes Image(unsigned width, unsigned height, const TBytes& pixels, unsigned minCodeSize = 8,
                    bool interlaced = false, int localTableBits = -1, unsigned left = 0, unsigned top = 0) {
    TBytes b = {44};
    Put16(b, left);
    Put16(b, top);
    Put16(b, width);
    Put16(b, height);
    b.push_back(static_cast<std::uint8_t>((interlaced ? 0x40 : 0) | (localTableBits >= 0 ? 0x80 | localTableBits : 0)));
    if (localTableBits >= 0) {
        TBytes table = ColorTable(static_cast<unsigned>(localTableBits));
        b.insert(b.end(), table.begin(), table.end());
    }
    b.push_back(static_cast<std::uint8_t>(minCodeSize));
    TBytes data = LzwBlocks(pixels, minCodeSize);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline TBytes Gif(const std::vector<TBytes>& parts) {
    TBytes file;
    for (const TBytes& part : parts) file.insert(file.end(), part.begin(), part.end());
    file.push_back(59);
    return file;
}

}  // namespace gif_builder
