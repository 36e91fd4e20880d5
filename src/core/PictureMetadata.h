// What a picture file says about the picture besides its pixels, kept to be written again when
// the picture is saved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TPictureMetadata {
    // The EXIF block: the TIFF structure ("II*\0" or "MM\0*" first); a leading "Exif\0\0", as
    // JPEG's APP1 segment has it, is allowed. Empty when the file had none.
    std::vector<std::uint8_t> Exif;
    // The XMP packet; empty when the file had none.
    std::string Xmp;

    bool Empty() const { return Exif.empty() && Xmp.empty(); }
};
