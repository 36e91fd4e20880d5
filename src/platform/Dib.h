// Device-independent bitmaps as Windows bitmap files and icon images store them: the info
// header (OS/2 core, Windows 3 and the V4/V5 extensions), colour masks, palette and pixel rows.
// Shared by the bitmap file and icon readers; not part of the platform's public face.
#pragma once

#include "Bitmap.h"
#include "ByteOrder.h"

#include <cstdint>
#include <string>

class TStream;

enum : std::uint32_t {
    BI_RGB = 0,
    BI_RLE8 = 1,
    BI_RLE4 = 2,
    BI_BITFIELDS = 3,
    BI_JPEG = 4,
    BI_PNG = 5,
    BI_ALPHABITFIELDS = 6,
};

struct TDibHeader {
    std::uint32_t HeaderSize = 0;
    bool Core = false;  // the 12-byte OS/2 header: 3-byte palette entries
    int Width = 0;
    int Height = 0;  // always positive; TopDown gives the row order
    bool TopDown = false;
    int BitCount = 0;
    std::uint32_t Compression = BI_RGB;
    std::uint32_t SizeImage = 0;
    std::uint32_t ColorsUsed = 0;
    // Red, green, blue and alpha masks of 16- and 32-bit pixels (alpha 0: none).
    std::uint32_t Masks[4] = {0, 0, 0, 0};
    TPalette Palette;      // 2^BitCount entries for indexed pictures, padded with black
    std::int64_t End = 0;  // stream position after header, masks and palette
};

// Reads the info header, the colour masks and the palette from the stream's position; end is
// the stream position no read may pass. label names the file kind in messages ("Windows
// bitmap"). An icon's header counts the mask rows in its height; the caller halves it.
TDibHeader ReadDibHeader(TStream& stream, std::int64_t end, const char* label);

// Refuses sizes beyond MaxPicturePixels with a message naming them, and pictures whose pixels
// need more bytes (bytesNeeded) than the data left in the file could give (bytesAvailable; the
// default means unknown).
void CheckPictureSize(std::uint64_t width, std::uint64_t height, std::uint64_t bytesNeeded = 0,
                      std::uint64_t bytesAvailable = UINT64_MAX);

// Decodes the pixel rows that start at pixelStart into bitmap (its format, size and palette
// are set here). Uncompressed rows must all lie before end; RLE data is read up to end.
void ReadDibPixels(TStream& stream, const TDibHeader& header, std::int64_t pixelStart, std::int64_t end,
                   TBitmap& bitmap, const char* label);

[[noreturn]] void RaiseInvalidPicture(const char* label);
