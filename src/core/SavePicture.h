// Writing the picture to a file: the one way the editor and pixamo-cli save, and the one place
// that tells from a file name which kind of file is written.
#pragma once

#include "PixelBuffer.h"
#include "platform/PictureMetadata.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum class TSaveFormat { Jpeg, Png, Webp, Tiff, Bitmap };

struct TSaveFormatInfo {
    TSaveFormat Format;
    const char* Description;  // the save dialog's name of the file type
    // Lower case, without the dot; the first is proposed for new names and is the name
    // pixamo-cli's --format takes. Unused places are null.
    std::array<const char*, 4> Extensions;
    const char* Extension() const { return Extensions[0]; }
};
// The kinds of file written, in the save dialog's order (JPEG first, the bitmap last).
extern const TSaveFormatInfo SaveFormats[5];
const TSaveFormatInfo& SaveFormatInfo(TSaveFormat format);

// By the extension in any letter case: ".jpg", ".jpeg", ".jpe" and ".jfif" give JPEG, ".png" PNG,
// ".webp" WebP, ".tif" and ".tiff" TIFF; ".bmp" and any other name a 24-bit Windows bitmap.
TSaveFormat SaveFormatOf(const std::string& fileName);

inline constexpr int MinSaveQuality = 1;
inline constexpr int MaxSaveQuality = 100;
inline constexpr int DefaultSaveQuality = 95;

struct TSaveOptions {
    // JPEG and lossy WebP: 1 (smallest) to 100 (best); for lossless WebP the effort spent.
    int Quality = DefaultSaveQuality;
    bool Progressive = true;  // JPEG
    bool Lossless = false;    // WebP
};

// The file's bytes: a JPEG (progressive unless asked otherwise), a PNG, a WebP, a Deflate TIFF or
// an uncompressed 24-bit Windows bitmap. With metadata, JPEG, PNG, WebP and TIFF carry its EXIF
// and XMP with Orientation 1 and the pixel-size tags set to the picture's size (the pixels are
// upright and of this size now); the bitmap carries none. EXIF that cannot be read, and EXIF or
// XMP too large for a JPEG segment, are left out. Raises EInvalidGraphic for an empty picture, a
// quality outside 1 to 100 and when the encoder fails.
std::vector<std::uint8_t> EncodePicture(const TPixelBuffer& picture, TSaveFormat format,
                                        const TSaveOptions& options = {}, const TPictureMetadata* metadata = nullptr);

// Writes the picture in the format SaveFormatOf gives, as EncodePicture makes it, and shows a
// warning (ShowWarning) for each part of the metadata left out. The file is replaced only once it
// is complete, so a failure leaves an existing file whole.
void SavePicture(const TPixelBuffer& picture, const std::string& fileName, const TSaveOptions& options = {},
                 const TPictureMetadata* metadata = nullptr);
