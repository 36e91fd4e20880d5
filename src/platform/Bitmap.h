// The device-independent picture bitmap that loaders and readers fill.
#pragma once

#include "PictureMetadata.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TStream;

enum class TPixelFormat {
    pfDevice,  // no storage chosen yet (an empty bitmap)
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,  // little-endian word: 5 bits each of red, green, blue from the high end, top bit unused
    pf24bit,  // B, G, R bytes
    pf32bit,  // B, G, R, A bytes
    pfCustom  // no standard layout: such a bitmap holds no pixels
};

// The most pixels a picture may have, whoever makes it (a reader, a loader, scaling, the view):
// larger ones are refused before anything is allocated.
constexpr std::uint64_t MaxPicturePixels = std::uint64_t{1} << 28;

// The most decoded bytes that stored (uncompressed) rows of a file can stand for: the bytes left
// in it and one row more, which stays black when it is missing, but never more than half the
// bytes of the picture (neededBytes), so that a picture of one row cannot come from nothing.
constexpr std::uint64_t StoredRowsBound(std::uint64_t bytesLeft, std::uint64_t rowBytes, std::uint64_t neededBytes) {
    return bytesLeft + (rowBytes < neededBytes / 2 ? rowBytes : neededBytes / 2);
}

// Bits per pixel of a format; 0 for pfDevice and pfCustom.
int BitsPerPixelOf(TPixelFormat format);

struct TRGBEntry {
    std::uint8_t Red = 0, Green = 0, Blue = 0;
    bool operator==(const TRGBEntry&) const = default;
};

// A palette of up to 256 colours.
using TPalette = std::vector<TRGBEntry>;

// A colour as 0x00BBGGRR, red in the lowest byte.
using TColor = std::uint32_t;
constexpr TColor RGBColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
constexpr std::uint8_t RedOf(TColor c) { return c & 0xFF; }
constexpr std::uint8_t GreenOf(TColor c) { return (c >> 8) & 0xFF; }
constexpr std::uint8_t BlueOf(TColor c) { return (c >> 16) & 0xFF; }

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;  // right and bottom exclusive
};

// Rows are top-down, each padded to a multiple of 4 bytes (the Windows DIB rule), so a reader
// can copy whole rows. Setting width, height or pixel format reallocates zeroed pixels.
class TBitmap {
public:
    TBitmap() = default;
    virtual ~TBitmap() = default;
    TBitmap(const TBitmap&) = default;
    TBitmap& operator=(const TBitmap&) = default;
    TBitmap(TBitmap&&) noexcept = default;
    TBitmap& operator=(TBitmap&&) noexcept = default;

    // Loads a picture from the stream at its position; the plain bitmap reads a Windows bitmap file.
    virtual void LoadFromStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    // Writes an uncompressed 24-bit Windows bitmap file of this picture (any pixel format).
    void SaveToStream(TStream& stream) const;
    // Same, written atomically: a temporary file beside the target renamed over it when complete.
    void SaveToFile(const std::string& fileName) const;

    // Copies pixels, palette and transparency of another bitmap.
    virtual void Assign(const TBitmap& source);
    // Frees the pixels: an empty picture of pfDevice, without metadata.
    void ReleaseImage();

    TPixelFormat PixelFormat() const { return format_; }
    void SetPixelFormat(TPixelFormat format);
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetWidth(int width) { SetSize(width, height_); }
    void SetHeight(int height) { SetSize(width_, height); }
    // Allocates zeroed pixels; raises EOutOfMemory naming the size when they cannot be had,
    // and EInvalidGraphic for a negative size.
    void SetSize(int width, int height);
    bool Empty() const { return width_ == 0 || height_ == 0; }

    // Bytes per row including the padding.
    std::size_t Stride() const { return stride_; }
    // Row y, row 0 the top one; callers keep y inside 0 .. Height - 1.
    std::uint8_t* ScanLine(int y);
    const std::uint8_t* ScanLine(int y) const;
    std::uint8_t* Bits() { return pixels_.data(); }
    const std::uint8_t* Bits() const { return pixels_.data(); }
    // Hands the pixels over (Height rows of Stride bytes, the top row first) and leaves the
    // bitmap empty, with its pixel format and palette.
    std::vector<std::uint8_t> ReleasePixels();

    const TPalette& Palette() const { return palette_; }
    // Keeps at most 256 entries.
    void SetPalette(const TPalette& palette);

    // Fills a rectangle (clipped to the picture) with a colour; indexed formats take the nearest
    // palette entry.
    void FillRect(const TRect& rect, TColor color);

    TColor TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(TColor color) { transparentColor_ = color; }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on) { transparent_ = on; }

    // The pixel at (x, y) as a colour, whatever the pixel format (alpha dropped).
    TColor Pixel(int x, int y) const;

    // EXIF, XMP and ICC profile of the file, as far as its loader collects them.
    TPictureMetadata& Metadata() { return metadata_; }
    const TPictureMetadata& Metadata() const { return metadata_; }
    // Whether the picture's colours are to follow its ICC profile (on unless switched off before
    // loading): a loader then converts CMYK samples through a CMYK profile and lets a PNG's
    // iCCP chunk take the place of its gAMA; every other profile is the load pipeline's business.
    bool UseEmbeddedProfile() const { return useEmbeddedProfile_; }
    void SetUseEmbeddedProfile(bool on) { useEmbeddedProfile_ = on; }

private:
    void Allocate();

    TPixelFormat format_ = TPixelFormat::pfDevice;
    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    std::vector<std::uint8_t> pixels_;
    TPalette palette_;
    TColor transparentColor_ = 0;
    bool transparent_ = false;
    TPictureMetadata metadata_;
    bool useEmbeddedProfile_ = true;
};

// Bytes of a row of width pixels at bitsPerPixel, padded to a multiple of 4.
std::size_t DibStride(int width, int bitsPerPixel);
