#include "PixelBuffer.h"

#include "platform/Exception.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Rows are handed to vector code, so the storage starts on a cache line.
constexpr std::size_t StorageAlignment = 64;

TBitmapInfoHeader MakeInfoHeader(int width, int height) {
    TBitmapInfoHeader header;
    header.Width = width;
    header.Height = -height;  // top-down rows
    return header;
}

// Table entries come from values already inside 0-255; anything else (a NaN gamma) gives 0.
std::uint8_t ToByte(long double value) {
    return value >= 0 ? static_cast<std::uint8_t>(std::min(value, 255.0L)) : 0;
}

std::uint8_t WidenFiveBits(unsigned v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }

}  // namespace

void TPixelBuffer::FreeStorage::operator()(std::uint8_t* p) const { std::free(p); }

TPixelBuffer::TPixelBuffer(int width, int height) {
    if (width <= 0 || height <= 0) {
        // No pixels: the view asks for such a buffer at small zooms and the scale dialog can too.
        Width_ = std::max(width, 0);
        Height_ = std::max(height, 0);
    } else {
        const std::uint64_t stride = 3 * static_cast<std::uint64_t>(width) + static_cast<std::uint64_t>(width % 4);
        const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
        // The byte size is a signed 32-bit field of the bitmap header.
        if (bytes > 0x7FFFFFFFu) throw EOutOfMemory(static_cast<std::size_t>(bytes));
        // Zeroed by calloc, which gets large blocks from the system already zero instead of
        // writing every byte; aligned by hand, as there is no aligned calloc.
        auto* storage = static_cast<std::uint8_t*>(std::calloc(1, static_cast<std::size_t>(bytes) + StorageAlignment));
        if (!storage) throw EOutOfMemory(static_cast<std::size_t>(bytes));
        Storage_.reset(storage);
        const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(storage) % StorageAlignment;
        Bits_ = storage + (misalignment ? StorageAlignment - misalignment : 0);
        Width_ = width;
        Height_ = height;
        Size_ = static_cast<std::int32_t>(bytes);
    }
    InfoHeader_ = MakeInfoHeader(Width_, Height_);
    Info_.Header = InfoHeader_;
    BuildRows();
}

TPixelBuffer::~TPixelBuffer() = default;

void TPixelBuffer::BuildRows() {
    Rows_.assign(static_cast<std::size_t>(Height_), nullptr);
    if (!Bits_) return;
    const std::size_t stride = static_cast<std::size_t>(Stride());
    for (int y = 0; y < Height_; ++y) Rows_[static_cast<std::size_t>(y)] = Bits_ + static_cast<std::size_t>(y) * stride;
}

void TPixelBuffer::TakeStorage(TPixelBuffer& other) {
    Storage_ = std::move(other.Storage_);
    TakenPixels_ = std::move(other.TakenPixels_);
    Bits_ = std::exchange(other.Bits_, nullptr);
    Width_ = std::exchange(other.Width_, 0);
    Height_ = std::exchange(other.Height_, 0);
    Size_ = std::exchange(other.Size_, 0);
    InfoHeader_ = other.InfoHeader_;
    Info_ = other.Info_;
    other.Rows_.clear();
    BuildRows();
}

std::unique_ptr<TPixelBuffer> TPixelBuffer::CreateCopy(const TPixelBuffer& source) {
    auto copy = Create(source.Width_, source.Height_);
    if (source.Size_ > 0) std::memcpy(copy->Bits_, source.Bits_, static_cast<std::size_t>(source.Size_));
    return copy;
}

std::unique_ptr<TPixelBuffer> TPixelBuffer::CreateFromBitmap(TBitmap&& bitmap) {
    const int width = bitmap.Width(), height = bitmap.Height();
    const std::uint64_t bytes = std::uint64_t(bitmap.Stride()) * static_cast<std::uint64_t>(std::max(height, 0));
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit || width <= 0 || height <= 0 || !bitmap.Bits() ||
        bitmap.Stride() != static_cast<std::size_t>(StrideOf(width)) || bytes > 0x7FFFFFFFu)
        return CreateFromBitmap(static_cast<const TBitmap&>(bitmap));
    auto buffer = Create(0, 0);
    buffer->TakenPixels_ = bitmap.ReleasePixels();
    buffer->Bits_ = buffer->TakenPixels_.data();
    buffer->Width_ = width;
    buffer->Height_ = height;
    buffer->Size_ = static_cast<std::int32_t>(bytes);
    buffer->InfoHeader_ = MakeInfoHeader(width, height);
    buffer->Info_.Header = buffer->InfoHeader_;
    buffer->BuildRows();
    return buffer;
}

std::unique_ptr<TPixelBuffer> TPixelBuffer::CreateFromBitmap(const TBitmap& bitmap) {
    const int width = bitmap.Width(), height = bitmap.Height();
    auto buffer = Create(width, height);
    if (!buffer->Bits_ || bitmap.Bits() == nullptr || BitsPerPixelOf(bitmap.PixelFormat()) == 0) return buffer;

    const TPalette& palette = bitmap.Palette();
    // Indices past the end of a short palette come out black.
    TPixel24 lookup[256] = {};
    for (std::size_t i = 0; i < palette.size() && i < 256; ++i)
        lookup[i] = TPixel24{palette[i].Blue, palette[i].Green, palette[i].Red};
    std::uint32_t wideLookup[256];
    for (int i = 0; i < 256; ++i)
        wideLookup[i] = lookup[i].Blue | (std::uint32_t(lookup[i].Green) << 8) | (std::uint32_t(lookup[i].Red) << 16);

    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = bitmap.ScanLine(y);
        TPixel24* out = buffer->Row(y);
        switch (bitmap.PixelFormat()) {
        case TPixelFormat::pf1bit:
            for (int x = 0; x < width; ++x) out[x] = lookup[(in[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case TPixelFormat::pf4bit:
            for (int x = 0; x < width; ++x) out[x] = lookup[(x & 1) ? (in[x >> 1] & 0x0F) : (in[x >> 1] >> 4)];
            break;
        case TPixelFormat::pf8bit: {
            // Four bytes a pixel, the fourth overwritten by the next pixel: one store each.
            std::uint8_t* bytes = reinterpret_cast<std::uint8_t*>(out);
            int x = 0;
            for (; x + 1 < width; ++x) std::memcpy(bytes + 3 * x, &wideLookup[in[x]], 4);
            if (x < width) out[x] = lookup[in[x]];
            break;
        }
        case TPixelFormat::pf15bit:
            for (int x = 0; x < width; ++x) {
                unsigned w = in[2 * x] | (in[2 * x + 1] << 8);
                out[x] = TPixel24{WidenFiveBits(w & 31), WidenFiveBits((w >> 5) & 31), WidenFiveBits((w >> 10) & 31)};
            }
            break;
        case TPixelFormat::pf24bit:
            std::memcpy(out, in, 3 * static_cast<std::size_t>(width));
            break;
        case TPixelFormat::pf32bit:
            for (int x = 0; x < width; ++x) out[x] = TPixel24{in[4 * x], in[4 * x + 1], in[4 * x + 2]};
            break;
        default:
            break;
        }
    }
    return buffer;
}

void TPixelBuffer::GetRow(int y, void* dest) const {
    if (Width_ > 0) std::memcpy(dest, RowBytes(y), 3 * static_cast<std::size_t>(Width_));
}

void TPixelBuffer::PutRow(int y, const void* source) {
    if (Width_ > 0) std::memcpy(RowBytes(y), source, 3 * static_cast<std::size_t>(Width_));
}

// ---- Geometric transforms ----

void TPixelBuffer::Flip() {
    if (!Bits_) return;
    for (int y = 0; y < Height_; ++y) std::reverse(Row(y), Row(y) + Width_);
}

void TPixelBuffer::Flop() {
    if (!Bits_) return;
    std::vector<std::uint8_t> scratch(3 * static_cast<std::size_t>(Width_));
    for (int top = 0, bottom = Height_ - 1; top < bottom; ++top, --bottom) {
        GetRow(top, scratch.data());
        std::memcpy(RowBytes(top), RowBytes(bottom), scratch.size());
        PutRow(bottom, scratch.data());
    }
}

void TPixelBuffer::RotateRight() {
    auto rotated = Create(Height_, Width_);
    if (Bits_) {
        for (int y = 0; y < Height_; ++y) {
            const TPixel24* in = Row(y);
            const int column = Height_ - 1 - y;
            for (int x = 0; x < Width_; ++x) rotated->Row(x)[column] = in[x];
        }
    }
    TakeStorage(*rotated);
}

void TPixelBuffer::RotateLeft() {
    auto rotated = Create(Height_, Width_);
    if (Bits_) {
        for (int y = 0; y < Height_; ++y) {
            const TPixel24* in = Row(y);
            for (int x = 0; x < Width_; ++x) rotated->Row(Width_ - 1 - x)[y] = in[x];
        }
    }
    TakeStorage(*rotated);
}

std::unique_ptr<TPixelBuffer> CopyRect(const TPixelBuffer& source, int left, int top, int width, int height) {
    auto result = TPixelBuffer::Create(width, height);
    // Whatever lies outside the source stays black rather than being read from past its rows.
    const int x0 = std::max(left, 0), x1 = std::min(left + std::max(width, 0), source.Width());
    const int y0 = std::max(top, 0), y1 = std::min(top + std::max(height, 0), source.Height());
    if (x0 >= x1 || !result->Bits()) return result;
    for (int y = y0; y < y1; ++y)
        std::memcpy(result->Row(y - top) + (x0 - left), source.Row(y) + x0, 3 * static_cast<std::size_t>(x1 - x0));
    return result;
}

// ---- Colour effects ----

TPixel24 ColorToPixel(TColor color) { return TPixel24{BlueOf(color), GreenOf(color), RedOf(color)}; }

namespace {

using TChannelTable = std::uint8_t[256];

void ApplyTables(TPixelBuffer& image, const TChannelTable& blue, const TChannelTable& green, const TChannelTable& red) {
    if (!image.Bits()) return;
    for (int y = 0; y < image.Height(); ++y) {
        TPixel24* row = image.Row(y);
        for (int x = 0; x < image.Width(); ++x) {
            row[x].Blue = blue[row[x].Blue];
            row[x].Green = green[row[x].Green];
            row[x].Red = red[row[x].Red];
        }
    }
}

// The blend depends only on the byte and the colour's byte, so each channel gets a table.
void FillBlendTable(TChannelTable& table, std::uint8_t colorByte, double amount) {
    const long double a = amount;
    const long double keep = 1.0L - a;
    const long double added = a * colorByte;
    for (int p = 0; p < 256; ++p) {
        table[p] = ToByte(std::nearbyint(keep * p + added));
    }
}

long double Power(long double base, float exponent) {
    if (exponent == 0) return 1.0L;
    if (base == 0 && exponent > 0) return 0.0L;
    if (exponent == std::trunc(exponent) && std::fabs(exponent) <= 2147483647.0f) {
        long double result = 1.0L;
        const long long count = static_cast<long long>(std::fabs(exponent));
        for (long long i = 0; i < count; ++i) result *= base;
        return exponent < 0 ? 1.0L / result : result;
    }
    return std::exp(static_cast<long double>(exponent) * std::log(base));
}

}  // namespace

void BlendWithColor(TPixelBuffer& image, TColor color, double amount) {
    const TPixel24 c = ColorToPixel(color);
    TChannelTable blue, green, red;
    FillBlendTable(blue, c.Blue, amount);
    FillBlendTable(green, c.Green, amount);
    FillBlendTable(red, c.Red, amount);
    ApplyTables(image, blue, green, red);
}

void ApplyGamma(TPixelBuffer& image, float gamma) {
    // Below 0.1 (and for zero or negative values) the exponent is capped at 10.
    const float exponent = gamma < 0.1L ? 10.0f : static_cast<float>(1.0L / gamma);
    const long double step = 1.0L / 255.0L;
    TChannelTable table;
    for (int i = 0; i < 256; ++i) {
        table[i] = ToByte(std::nearbyint(255.0L * Power(i * step, exponent)));
    }
    ApplyTables(image, table, table, table);
}
