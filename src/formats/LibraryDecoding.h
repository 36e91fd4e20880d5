// What the readers that decode through a codec library (WebP, AVIF, HEIF, JPEG XL) share: the
// whole file in memory, the colour profile and Exif block they keep, alpha drawn onto white and
// the number of threads a library may use.
#pragma once

#include "formats/ImageProperties.h"

#include <cstddef>
#include <cstdint>
#include <string>

class TBitmap;
class TStream;

// The colour profile and the Exif block a file carries, kept as stored so that colour management
// and Exif orientation can be applied to the picture.
struct TEmbeddedMetadata {
    TByteArray IccProfile;
    // From the TIFF header on ("II*\0" or "MM\0*"); containers' offset fields and "Exif\0\0"
    // prefixes are taken off.
    TByteArray Exif;

    void SetExif(const std::uint8_t* data, std::size_t size);
};

// The metadata a WebP, AVIF, HEIF or JPEG XL reader kept of its file; null for any other picture.
const TEmbeddedMetadata* EmbeddedMetadataOf(const TBitmap& picture);

// The bytes from the stream's position to its end; EOutOfMemory when they cannot be held.
TByteArray ReadToEnd(TStream& stream);

// A sample of value over white, alpha 0 (transparent) to 255, as icons are drawn.
constexpr std::uint8_t OverWhite(std::uint8_t value, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}
// Draws a 32-bit B, G, R, A bitmap onto white in place; every alpha becomes 255.
void DrawOnWhite(TBitmap& bitmap);

// How many threads a decoding library may use for one picture.
int DecoderThreadCount();

// A library's own message as the end of a sentence: trailing spaces and dots taken off, one dot
// added; "" for an empty message.
std::string LibraryMessage(const char* message);
