// What the readers that decode through a codec library (WebP, AVIF, HEIF, JPEG XL) share: the
// whole file in memory, the Exif block they find, alpha drawn onto white and
// the number of threads a library may use.
#pragma once

#include "formats/ImageProperties.h"

#include <cstddef>
#include <cstdint>
#include <string>

class TBitmap;
class TStream;

// The Exif block of a container's Exif item or chunk from its TIFF header on ("II*\0" or
// "MM\0*"): HEIF's and JPEG XL's leading offset and WebP writers' "Exif\0\0" are taken off.
// Empty when no TIFF header is found.
TByteArray ExifFromContainer(const std::uint8_t* data, std::size_t size);

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
