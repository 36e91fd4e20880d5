// Picture files the platform reads and writes itself: Windows bitmaps (TBitmap), icons (TIcon)
// and JPEG (TJPEGImage) in; 24-bit Windows bitmaps, JPEG, PNG, WebP and TIFF out.
#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

class TStream;

// A 24-bit picture to be written: rows of B, G, R bytes, row 0 the top one, stride bytes apart.
// Both TBitmap (pf24bit) and the pixel buffer can be viewed this way without a copy.
struct TBgrView {
    const std::uint8_t* Bits = nullptr;
    int Width = 0;
    int Height = 0;
    std::ptrdiff_t Stride = 0;
    const std::uint8_t* Row(int y) const { return Bits + static_cast<std::ptrdiff_t>(y) * Stride; }
};

// The view of a pf24bit bitmap; raises EInvalidGraphic for any other format.
TBgrView BgrViewOf(const TBitmap& bitmap);

// An uncompressed 24-bit Windows bitmap: BITMAPFILEHEADER, BITMAPINFOHEADER, bottom-up rows.
// An empty picture raises EInvalidGraphic "Cannot save an empty picture.".
void WriteBmpStream(const TBgrView& view, TStream& stream);
void SaveBmpFile(const TBgrView& view, const std::string& fileName);

// EXIF and XMP to be written with a picture, as they are: the EXIF block (the TIFF structure,
// without JPEG's "Exif\0\0") and the XMP packet. Empty parts are left out.
struct TMetadataBlocks {
    std::span<const std::uint8_t> Exif;
    std::string_view Xmp;
};
// The most a JPEG APP1 segment holds after its length: "Exif\0\0" or the XMP name, then the
// block. Larger metadata does not fit a JPEG file (no extended XMP is written).
inline constexpr std::size_t MaxJpegSegmentData = 65533;
inline constexpr std::string_view JpegXmpName{"http://ns.adobe.com/xap/1.0/\0", 29};

// The writers below refuse an empty picture with EInvalidGraphic "Cannot save an empty
// picture." and raise EInvalidGraphic with the library's message when it fails.

// JPEG through libjpeg: RGB input, the library's defaults, the given quality with
// baseline-compatible tables and, when progressive, its simple progressive scan script. EXIF and
// XMP go into APP1 segments after the JFIF one; metadata too large for a segment raises.
void WriteJpegStream(const TBgrView& view, TStream& stream, int quality, bool progressive,
                     const TMetadataBlocks& metadata = {});
void SaveJpegFile(const TBgrView& view, const std::string& fileName, int quality, bool progressive);

// PNG through libpng: 8-bit RGB, zlib's default level and libpng's adaptive row filters. EXIF in
// an eXIf chunk, XMP in the iTXt chunk "XML:com.adobe.xmp", both ahead of the image data.
void WritePngStream(const TBgrView& view, TStream& stream, const TMetadataBlocks& metadata = {});

// WebP through libwebp, as cwebp makes it by default (method 4, one thread): lossy at the given
// quality (1 to 100), or lossless, where the quality is the effort spent on compression. EXIF and
// XMP in the extended format's "EXIF" and "XMP " chunks.
void WriteWebpStream(const TBgrView& view, TStream& stream, int quality, bool lossless,
                     const TMetadataBlocks& metadata = {});

// TIFF through libtiff: one 8-bit RGB image at 72 dpi in strips of about 256 kB, Deflate with the
// horizontal predictor. From the EXIF block, IFD0's text tags (Make, Model, ...) and the Exif IFD
// are taken over, the file then having the block's byte order; XMP goes into tag 700.
void WriteTiffStream(const TBgrView& view, TStream& stream, const TMetadataBlocks& metadata = {});

// A Windows icon file: loads its largest image (by area, then depth), drawn onto white the way
// a blank bitmap receives it: transparent pixels white, alpha blended over white.
class TIcon : public TBitmap {
public:
    void LoadFromStream(TStream& stream) override;
    int ImageCount() const { return imageCount_; }
    // Bits per pixel of the image taken (32 for PNG images with alpha).
    int ImageBitCount() const { return imageBitCount_; }
    bool ImageIsPng() const { return imageIsPng_; }

private:
    int imageCount_ = 0;
    int imageBitCount_ = 0;
    bool imageIsPng_ = false;
};

// A JPEG file decoded through libjpeg into a 24-bit bitmap (grey, YCbCr, RGB, CMYK and YCCK,
// Adobe's inverted CMYK included). Library warnings go to ShowWarning and do not stop loading.
class TJPEGImage : public TBitmap {
public:
    // Asked with the file's full size once its header is read: the denominator of the size to
    // decode at, 2, 4 or 8 for libjpeg's DCT scaling to 1/2, 1/4 or 1/8 (each side rounded up),
    // anything else for the full size. Without a hint, the default, the full size is decoded.
    using TScaleDenominatorHint = std::function<int(int width, int height)>;
    void SetScaleDenominatorHint(TScaleDenominatorHint hint) { scaleHint_ = std::move(hint); }

    void LoadFromStream(TStream& stream) override;
    // The colour space of the file: "grey", "YCbCr", "RGB", "CMYK", "YCCK" or "unknown".
    const std::string& ColorSpaceName() const { return colorSpace_; }
    bool Progressive() const { return progressive_; }

private:
    TScaleDenominatorHint scaleHint_;
    std::string colorSpace_;
    bool progressive_ = false;
};
