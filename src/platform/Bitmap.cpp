#include "Bitmap.h"

#include "Exception.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <utility>

int BitsPerPixelOf(TPixelFormat format) {
    switch (format) {
        case TPixelFormat::pf1bit:
            return 1;
        case TPixelFormat::pf4bit:
            return 4;
        case TPixelFormat::pf8bit:
            return 8;
        case TPixelFormat::pf15bit:
            return 16;
        case TPixelFormat::pf24bit:
            return 24;
        case TPixelFormat::pf32bit:
            return 32;
        default:
            return 0;
    }
}

std::size_t DibStride(int width, int bitsPerPixel) {
    std::uint64_t bits = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitsPerPixel);
    return static_cast<std::size_t>(((bits + 31) / 32) * 4);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == format_) return;
    format_ = format;
    Allocate();
}

void TBitmap::SetSize(int width, int height) {
    if (width < 0 || height < 0) throw EInvalidGraphic("Invalid bitmap size.");
    if (width == width_ && height == height_ && !pixels_.empty()) return;
    width_ = width;
    height_ = height;
    Allocate();
}

void TBitmap::Allocate() {
    int bpp = BitsPerPixelOf(format_);
    if (format_ == TPixelFormat::pfDevice && width_ > 0 && height_ > 0) {
        format_ = TPixelFormat::pf24bit;  // a sized bitmap without a chosen format is a 24-bit one
        bpp = 24;
    }
    stride_ = DibStride(width_, bpp);
    std::uint64_t bytes = static_cast<std::uint64_t>(stride_) * static_cast<std::uint64_t>(height_);
    pixels_.clear();
    pixels_.shrink_to_fit();
    if (bytes == 0) return;
    try {
        // A size that cannot be had leaves an empty picture, never one whose rows point nowhere.
        if (bytes > static_cast<std::uint64_t>(PTRDIFF_MAX) / 2) throw std::bad_alloc();
        pixels_.assign(static_cast<std::size_t>(bytes), 0);
    } catch (const std::bad_alloc&) {
        width_ = height_ = 0;
        stride_ = 0;
        throw EOutOfMemory(bytes > SIZE_MAX ? SIZE_MAX : static_cast<std::size_t>(bytes));
    }
}

void TBitmap::ReleaseImage() {
    format_ = TPixelFormat::pfDevice;
    width_ = height_ = 0;
    stride_ = 0;
    pixels_.clear();
    pixels_.shrink_to_fit();
    palette_.clear();
    transparent_ = false;
    transparentColor_ = 0;
    metadata_ = {};
}

void TBitmap::Assign(const TBitmap& source) {
    if (&source == this) return;
    format_ = source.format_;
    width_ = source.width_;
    height_ = source.height_;
    stride_ = source.stride_;
    pixels_ = source.pixels_;
    palette_ = source.palette_;
    transparentColor_ = source.transparentColor_;
    transparent_ = source.transparent_;
}

std::vector<std::uint8_t> TBitmap::ReleasePixels() {
    width_ = height_ = 0;
    stride_ = 0;
    return std::exchange(pixels_, {});
}

std::uint8_t* TBitmap::ScanLine(int y) { return pixels_.data() + static_cast<std::size_t>(y) * stride_; }

const std::uint8_t* TBitmap::ScanLine(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * stride_; }

void TBitmap::SetPalette(const TPalette& palette) {
    palette_.assign(palette.begin(), palette.begin() + std::min<std::size_t>(palette.size(), 256));
}

static int NearestPaletteIndex(const TPalette& palette, TColor color) {
    int best = 0;
    long bestDistance = LONG_MAX;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        long dr = long(palette[i].Red) - RedOf(color), dg = long(palette[i].Green) - GreenOf(color),
             db = long(palette[i].Blue) - BlueOf(color);
        long d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

void TBitmap::FillRect(const TRect& rect, TColor color) {
    int left = std::max(rect.Left, 0), top = std::max(rect.Top, 0);
    int right = std::min(rect.Right, width_), bottom = std::min(rect.Bottom, height_);
    if (left >= right || top >= bottom || pixels_.empty()) return;
    std::uint8_t r = RedOf(color), g = GreenOf(color), b = BlueOf(color);
    int index = (format_ == TPixelFormat::pf1bit || format_ == TPixelFormat::pf4bit || format_ == TPixelFormat::pf8bit)
                    ? NearestPaletteIndex(palette_, color)
                    : 0;
    for (int y = top; y < bottom; ++y) {
        std::uint8_t* row = ScanLine(y);
        for (int x = left; x < right; ++x) {
            switch (format_) {
                case TPixelFormat::pf1bit: {
                    std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
                    row[x >> 3] = index ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
                    break;
                }
                case TPixelFormat::pf4bit:
                    if (x & 1)
                        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0) | (index & 0x0F));
                    else
                        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
                    break;
                case TPixelFormat::pf8bit:
                    row[x] = static_cast<std::uint8_t>(index);
                    break;
                case TPixelFormat::pf15bit: {
                    std::uint16_t w = static_cast<std::uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
                    row[2 * x] = static_cast<std::uint8_t>(w & 0xFF);
                    row[2 * x + 1] = static_cast<std::uint8_t>(w >> 8);
                    break;
                }
                case TPixelFormat::pf24bit:
                    row[3 * x] = b;
                    row[3 * x + 1] = g;
                    row[3 * x + 2] = r;
                    break;
                case TPixelFormat::pf32bit:
                    row[4 * x] = b;
                    row[4 * x + 1] = g;
                    row[4 * x + 2] = r;
                    row[4 * x + 3] = 0;
                    break;
                default:
                    break;
            }
        }
    }
}

TColor TBitmap::Pixel(int x, int y) const {
    const std::uint8_t* row = ScanLine(y);
    auto fromPalette = [this](int index) -> TColor {
        if (index < 0 || static_cast<std::size_t>(index) >= palette_.size()) return 0;
        const TRGBEntry& e = palette_[static_cast<std::size_t>(index)];
        return RGBColor(e.Red, e.Green, e.Blue);
    };
    switch (format_) {
        case TPixelFormat::pf1bit:
            return fromPalette((row[x >> 3] >> (7 - (x & 7))) & 1);
        case TPixelFormat::pf4bit:
            return fromPalette((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
        case TPixelFormat::pf8bit:
            return fromPalette(row[x]);
        case TPixelFormat::pf15bit: {
            unsigned w = row[2 * x] | (row[2 * x + 1] << 8);
            auto widen = [](unsigned v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); };
            return RGBColor(widen((w >> 10) & 31), widen((w >> 5) & 31), widen(w & 31));
        }
        case TPixelFormat::pf24bit:
            return RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        case TPixelFormat::pf32bit:
            return RGBColor(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
        default:
            return 0;
    }
}
