// The one road by which pixamo-cli reads picture files, so that every command loads what the
// editor loads.
#pragma once

#include "platform/Bitmap.h"
#include "platform/PictureFiles.h"

#include <memory>
#include <string>
#include <vector>

struct TCliPicture {
    std::unique_ptr<TBitmap> Bitmap;
    // How the file was read, e.g. "Windows bitmaps (TBitmap)".
    std::string Format;
    // What the loader learnt of the file beyond its pixels, one "name: value" text each.
    std::vector<std::string> Details;
};

// Raises the loader's exception when the file cannot be read or decoded. A file that goes to
// the platform's JPEG loader is decoded at the size jpegScale asks for, when one is given.
TCliPicture LoadCliPicture(const std::string& fileName, const TJPEGImage::TScaleDenominatorHint& jpegScale = nullptr);
