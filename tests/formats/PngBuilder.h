// PNG files put together chunk by chunk, for the reader tests and the fuzz seeds.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace png_builder {

using TBytes = std::vector<std::uint8_t>;

inline void PutBig32(TBytes& b, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
}

inline TBytes Chunk(const std::string& type, const TBytes& data) {
    TBytes chunk;
    PutBig32(chunk, static_cast<std::uint32_t>(data.size()));
    chunk.insert(chunk.end(), type.begin(), type.begin() + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    uLong crc = crc32(0, chunk.data() + 4, static_cast<uInt>(4 + data.size()));
    PutBig32(chunk, static_cast<std::uint32_t>(crc));
    return chunk;
}

inline TBytes Ihdr(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colorType,
                   std::uint8_t interlace = 0, std::uint8_t compression = 0) {
    TBytes data;
    PutBig32(data, width);
    PutBig32(data, height);
    data.insert(data.end(), {depth, colorType, compression, 0, interlace});
    return Chunk("IHDR", data);
}

inline TBytes Zlib(const TBytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    TBytes packed(size);
    compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    packed.resize(size);
    return packed;
}

// Signature, then the chunks as given.
inline TBytes Png(const std::vector<TBytes>& chunks) {
    TBytes file = {137, 80, 78, 71, 13, 10, 26, 10};
    for (const TBytes& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
    return file;
}

inline TBytes Iend() { return Chunk("IEND", {}); }

}  // namespace png_builder
