// Embedded ICC profiles: pictures are converted from their profile to sRGB through Little CMS,
// relative colorimetric with black-point compensation (what a viewer shows for a photo: the
// profile's white becomes the screen's white, its black the screen's black), 8 bits per sample,
// in place.
#pragma once

#include "Exception.h"
#include "PictureMetadata.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class TBitmap;

// A profile that cannot be used: damaged, truncated or not fit for the picture's samples.
class EColorProfileError : public Exception {
    using Exception::Exception;
};

enum class TProfileSpace { Rgb, Gray, Cmyk, Other };

// The colour space a profile describes, from its 128-byte header. Raises EColorProfileError when
// the bytes are no ICC profile, or fewer than its header announces.
TProfileSpace ProfileSpaceOf(std::span<const std::uint8_t> profile);

// The samples a transform reads; it writes B, G, R (B, G, R, A for Bgra, alpha copied).
enum class TTransformInput {
    Bgr,          // 3 bytes per pixel, RGB profile
    Bgra,         // 4 bytes per pixel, RGB profile, alpha untouched
    Gray,         // 1 byte per pixel, grey profile
    Cmyk,         // C, M, Y, K bytes, 0 = no ink
    InvertedCmyk  // C, M, Y, K bytes, 255 = no ink (Adobe's JPEG files)
};

class TColorTransform {
public:
    virtual ~TColorTransform() = default;
    // count pixels from in to out; in and out may be the same buffer when the pixel sizes agree.
    virtual void Convert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const = 0;
    // Bytes of one input pixel.
    virtual std::size_t InputPixelBytes() const = 0;
};

// The transform from the profile to sRGB for those samples. Raises EColorProfileError when the
// profile cannot be read or does not describe them.
std::unique_ptr<TColorTransform> CreateColorTransform(std::span<const std::uint8_t> profile, TTransformInput input);

// The transform of a picture's CMYK profile (inverted: 255 means no ink), for loaders that meet
// CMYK samples; none when the metadata holds no CMYK profile. A profile that cannot be used is
// reported through ShowWarning and none is returned: the loader's plain ink formula takes over.
std::unique_ptr<TColorTransform> CreateInkTransform(const TPictureMetadata& metadata, bool inverted);

// Converts a loaded picture to sRGB in place: 24-bit and 32-bit pixels (alpha kept) through an
// RGB or grey profile, palettes entry by entry. A 15-bit picture is left as it is. The last few
// transforms are kept, so that a batch of photos from one camera builds its transform once.
// Raises EColorProfileError when the profile cannot be used for the picture (nothing changes).
void ConvertToSrgb(TBitmap& bitmap, std::span<const std::uint8_t> profile);

// One piece of a profile split over JPEG APP2 "ICC_PROFILE" markers: its sequence number
// (from 1) and count of pieces as the marker states them.
struct TIccPiece {
    int Number = 0;
    int Count = 0;
    std::vector<std::uint8_t> Bytes;
};
// The pieces joined in the order of their numbers. Raises EColorProfileError when a piece is
// missing, doubled, or the pieces disagree on their count.
std::vector<std::uint8_t> JoinIccPieces(std::vector<TIccPiece> pieces);
