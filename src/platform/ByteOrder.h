// Byte order of stored integers: 16- and 32-bit values read from a byte block in the order the
// file keeps them (no alignment needed), and the swap of a 16-bit sample already read.
#pragma once

#include <cstdint>

constexpr std::uint16_t SwapShort(std::uint16_t value) {
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

constexpr std::uint16_t ReadBigEndian16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
constexpr std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
constexpr std::uint16_t ReadLittleEndian16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
constexpr std::uint32_t ReadLittleEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
// In the order a file states (TIFF and EXIF blocks say it in their first two bytes).
constexpr std::uint16_t ReadOrdered16(const std::uint8_t* p, bool bigEndian) {
    return bigEndian ? ReadBigEndian16(p) : ReadLittleEndian16(p);
}
constexpr std::uint32_t ReadOrdered32(const std::uint8_t* p, bool bigEndian) {
    return bigEndian ? ReadBigEndian32(p) : ReadLittleEndian32(p);
}
