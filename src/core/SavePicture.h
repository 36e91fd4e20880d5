// Writing the picture to a file: the one way the editor and pixamo-cli save, and the one place
// that tells from a file name which kind of file is written.
#pragma once

#include "PixelBuffer.h"

#include <string>

enum class TSaveFormat { Jpeg, Bitmap };

struct TSaveFormatInfo {
    TSaveFormat Format;
    const char* Extension;    // lower case, without the dot
    const char* Description;  // the save dialog's name of the file type
};
// The kinds of file written, in the save dialog's order (JPEG first).
extern const TSaveFormatInfo SaveFormats[2];

// JPEG for a name ending in ".jpg" in any letter case; a 24-bit Windows bitmap for any other
// name, ".jpeg" and ".png" included, whatever the extension says.
TSaveFormat SaveFormatOf(const std::string& fileName);

// Writes the picture in the format SaveFormatOf gives: a progressive JPEG of quality 95 or an
// uncompressed 24-bit Windows bitmap. The file is replaced only once it is complete, so a
// failure leaves an existing file whole.
void SavePicture(const TPixelBuffer& picture, const std::string& fileName);
