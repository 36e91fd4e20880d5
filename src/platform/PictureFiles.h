// Picture files the platform reads and writes itself: Windows bitmaps (TBitmap), icons (TIcon)
// and JPEG (TJPEGImage) in, 24-bit Windows bitmaps and JPEG out.
#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

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
// The same file for a width × height picture whose rows come in bands, top to bottom: produce
// gets a writer and hands it every band in turn (rows first .. first + band.Height - 1), so the
// picture need never be held whole. Bands out of order or rows missing raise EInvalidGraphic
// and leave no file.
using TBmpBandWriter = std::function<void(int first, const TBgrView& band)>;
void SaveBmpFileInBands(int width, int height, const std::string& fileName,
                        const std::function<void(const TBmpBandWriter&)>& produce);

// JPEG through libjpeg: RGB input, the library's defaults, the given quality with
// baseline-compatible tables and, when progressive, its simple progressive scan script.
void WriteJpegStream(const TBgrView& view, TStream& stream, int quality, bool progressive);
void SaveJpegFile(const TBgrView& view, const std::string& fileName, int quality, bool progressive);

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
    void LoadFromStream(TStream& stream) override;
    // The colour space of the file: "grey", "YCbCr", "RGB", "CMYK", "YCCK" or "unknown".
    const std::string& ColorSpaceName() const { return colorSpace_; }
    bool Progressive() const { return progressive_; }

private:
    std::string colorSpace_;
    bool progressive_ = false;
};
