// The one road by which pixamo-cli reads picture files, so that every command loads what the
// editor loads.
#pragma once

#include "formats/LoadPipeline.h"
#include "platform/Bitmap.h"
#include "platform/PictureMetadata.h"

#include <memory>
#include <string>
#include <vector>

struct TCliPicture {
    std::unique_ptr<TBitmap> Bitmap;
    // How the file was read, e.g. "Windows bitmaps (TBitmap)".
    std::string Format;
    // What the loader learnt of the file beyond its pixels, one "name: value" text each.
    std::vector<std::string> Details;
    // EXIF, XMP and ICC profile of the file (the profile applied when colour management is on);
    // EXIF and XMP are carried into the saved results.
    TPictureMetadata Metadata;
};

// Raises the loader's exception when the file cannot be read or decoded.
TCliPicture LoadCliPicture(const std::string& fileName, const TLoadOptions& options = {});
