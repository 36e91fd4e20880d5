// The brands of an ISO base media file (HEIF, AVIF, the JPEG XL container): the 'ftyp' box that
// opens such a file names a major brand and the brands the file is compatible with.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

class TStream;

// A four-character code as the big-endian number it is stored as.
constexpr std::uint32_t FourCC(const char (&code)[5]) {
    return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

struct TFileTypeBrands {
    std::uint32_t Major = 0;
    std::vector<std::uint32_t> Compatible;

    // The major brand or a compatible one is among brands.
    bool HasAny(std::initializer_list<std::uint32_t> brands) const;
};

// The 'ftyp' box at the stream's position, which is restored. Empty unless the bytes there are a
// whole 'ftyp' box of 16 to 4096 bytes that ends inside the stream.
std::optional<TFileTypeBrands> ReadFileTypeBrands(TStream& stream);
