// What a picture file says beyond its pixels: the EXIF block, the XMP packet and the ICC profile
// as stored, and the orientation they state. Loaders fill it as they read; the load pipeline
// applies orientation and profile and notes that it did, so that a writer can carry EXIF and XMP
// over (with Orientation 1 once it has been applied) and leave the profile out once the pixels
// are sRGB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TPictureMetadata {
    // The TIFF-structured EXIF block ("II*\0" or "MM\0*" first), without JPEG's "Exif\0\0" prefix.
    std::vector<std::uint8_t> Exif;
    // The XMP packet as text (UTF-8).
    std::string Xmp;
    // The ICC profile, its pieces joined.
    std::vector<std::uint8_t> Icc;
    // The EXIF orientation 1 to 8 the file states (EXIF first, then the TIFF tag, then XMP);
    // 0 when it states none or a value outside 1 to 8.
    int Orientation = 0;
    // The orientation has been applied to the pixels: the picture is upright.
    bool OrientationApplied = false;
    // The pixels have been converted from the ICC profile to sRGB.
    bool ProfileApplied = false;

    bool Empty() const { return Exif.empty() && Xmp.empty() && Icc.empty() && Orientation == 0; }
};
