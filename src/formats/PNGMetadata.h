// The PNG chunks that carry a picture's metadata: eXIf (the EXIF block), iCCP (the ICC profile,
// deflated), and the text chunks with ImageMagick's "Raw profile type exif" (tEXt, zTXt) or the
// XMP packet (iTXt "XML:com.adobe.xmp"). Damaged chunks are passed over.
#pragma once

#include "platform/PictureMetadata.h"

#include <cstdint>
#include <span>

// The largest inflated profile or text taken from one chunk.
inline constexpr std::size_t MaxMetadataChunkText = std::size_t{32} << 20;

// A chunk type as a big-endian word with bit 5 of every letter cleared, so that comparisons
// ignore letter case.
constexpr std::uint32_t PngChunkType(const char (&name)[5]) {
    return ((std::uint32_t(std::uint8_t(name[0])) << 24) | (std::uint32_t(std::uint8_t(name[1])) << 16) |
            (std::uint32_t(std::uint8_t(name[2])) << 8) | std::uint32_t(std::uint8_t(name[3]))) &
           0xDFDFDFDFu;
}

// Whether the chunk type (as PngChunkType makes it) is one of these.
bool IsPngMetadataChunk(std::uint32_t type);
// Adds what the chunk's data says to metadata; the first chunk of each kind counts.
void ReadPngMetadataChunk(std::uint32_t type, std::span<const std::uint8_t> data, TPictureMetadata& metadata);
