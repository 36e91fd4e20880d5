// The PNG chunks that carry a picture's metadata: eXIf (the EXIF block), iCCP (the ICC profile,
// deflated), and the text chunks with ImageMagick's "Raw profile type exif" (tEXt, zTXt) or the
// XMP packet (iTXt "XML:com.adobe.xmp"). Damaged chunks are passed over.
#pragma once

#include "platform/PictureMetadata.h"

#include <cstdint>
#include <span>

// The largest inflated profile or text taken from one chunk.
inline constexpr std::size_t MaxMetadataChunkText = std::size_t{32} << 20;

// Whether the chunk type (its four letters big-endian, bit 5 of each cleared) is one of these.
bool IsPngMetadataChunk(std::uint32_t type);
// Adds what the chunk's data says to metadata; the first chunk of each kind counts.
void ReadPngMetadataChunk(std::uint32_t type, std::span<const std::uint8_t> data, TPictureMetadata& metadata);
