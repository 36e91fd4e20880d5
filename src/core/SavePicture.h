// Writing the picture to a file: the one way the editor and pixamo-cli save, and the one place
// that tells from a file name which kind of file is written.
#pragma once

#include "PixelBuffer.h"

#include <chrono>
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

// Scales the picture to width × height (as TPixelBuffer::Resample does) and saves the result as
// SavePicture does. A bitmap file is written as its rows are made, so the result is never held
// whole. The time spent writing the file is added to writeTime when it is given.
void SaveScaledPicture(const TPixelBuffer& picture, int width, int height, TFilterFunction filter, float support,
                       const std::string& fileName, std::chrono::steady_clock::duration* writeTime = nullptr);
