#include "PixelBuffer.h"

#include "platform/Exception.h"

#include <sys/mman.h>
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

std::uint8_t WidenFiveBits(unsigned v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }

}  // namespace

void TPixelBuffer::FreeStorage::operator()(std::uint8_t* p) const { std::free(p); }

TPixelBuffer::TPixelBuffer(int width, int height) {
    if (width <= 0 || height <= 0) {
        // No pixels: the view asks for such a buffer at small zooms and the scale dialog can too.
        width_ = std::max(width, 0);
        height_ = std::max(height, 0);
    } else {
        const std::uint64_t stride = 3 * static_cast<std::uint64_t>(width) + static_cast<std::uint64_t>(width % 4);
        const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
        // The byte size is a signed 32-bit field of the bitmap header.
        if (bytes > 0x7FFFFFFFu) throw EOutOfMemory(static_cast<std::size_t>(bytes));
        // Zeroed by calloc, which gets large blocks from the system already zero instead of
        // writing every byte; aligned by hand, as there is no aligned calloc.
        auto* storage = static_cast<std::uint8_t*>(std::calloc(1, static_cast<std::size_t>(bytes) + StorageAlignment));
        if (!storage) throw EOutOfMemory(static_cast<std::size_t>(bytes));
        storage_.reset(storage);
        AdviseHugePages(storage, static_cast<std::size_t>(bytes));
        const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(storage) % StorageAlignment;
        bits_ = storage + (misalignment ? StorageAlignment - misalignment : 0);
        width_ = width;
        height_ = height;
        size_ = static_cast<std::int32_t>(bytes);
    }
    infoHeader_ = MakeInfoHeader(width_, height_);
    info_.Header = infoHeader_;
    BuildRows();
}

TPixelBuffer::~TPixelBuffer() = default;

void TPixelBuffer::BuildRows() {
    rows_.assign(static_cast<std::size_t>(height_), nullptr);
    if (!bits_) return;
    const std::size_t stride = static_cast<std::size_t>(Stride());
    for (int y = 0; y < height_; ++y) rows_[static_cast<std::size_t>(y)] = bits_ + static_cast<std::size_t>(y) * stride;
}

void TPixelBuffer::TakeStorage(TPixelBuffer& other) {
    storage_ = std::move(other.storage_);
    takenPixels_ = std::move(other.takenPixels_);
    bits_ = std::exchange(other.bits_, nullptr);
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    size_ = std::exchange(other.size_, 0);
    infoHeader_ = other.infoHeader_;
    info_ = other.info_;
    other.rows_.clear();
    BuildRows();
}

std::unique_ptr<TPixelBuffer> TPixelBuffer::CreateCopy(const TPixelBuffer& source) {
    auto copy = Create(source.width_, source.height_);
    if (source.size_ > 0) std::memcpy(copy->bits_, source.bits_, static_cast<std::size_t>(source.size_));
    return copy;
}

std::unique_ptr<TPixelBuffer> TPixelBuffer::CreateFromBitmap(TBitmap&& bitmap) {
    const int width = bitmap.Width(), height = bitmap.Height();
    const std::uint64_t bytes = std::uint64_t(bitmap.Stride()) * static_cast<std::uint64_t>(std::max(height, 0));
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit || width <= 0 || height <= 0 || !bitmap.Bits() ||
        bitmap.Stride() != static_cast<std::size_t>(StrideOf(width)) || bytes > 0x7FFFFFFFu)
        return CreateFromBitmap(static_cast<const TBitmap&>(bitmap));
    auto buffer = Create(0, 0);
    buffer->takenPixels_ = bitmap.ReleasePixels();
    buffer->bits_ = buffer->takenPixels_.data();
    buffer->width_ = width;
    buffer->height_ = height;
    buffer->size_ = static_cast<std::int32_t>(bytes);
    buffer->infoHeader_ = MakeInfoHeader(width, height);
    buffer->info_.Header = buffer->infoHeader_;
    buffer->BuildRows();
    return buffer;
}

std::unique_ptr<TPixelBuffer> TPixelBuffer::CreateFromBitmap(const TBitmap& bitmap) {
    const int width = bitmap.Width(), height = bitmap.Height();
    // A picture without pixels gives an empty buffer: a row table for the height a file claims
    // beside a width of 0 would cost 8 bytes a row for nothing.
    if (width <= 0 || height <= 0) return Create(0, 0);
    auto buffer = Create(width, height);
    if (!buffer->bits_ || bitmap.Bits() == nullptr || BitsPerPixelOf(bitmap.PixelFormat()) == 0) return buffer;

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
                    out[x] =
                        TPixel24{WidenFiveBits(w & 31), WidenFiveBits((w >> 5) & 31), WidenFiveBits((w >> 10) & 31)};
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
    if (width_ > 0) std::memcpy(dest, RowBytes(y), 3 * static_cast<std::size_t>(width_));
}

void TPixelBuffer::PutRow(int y, const void* source) {
    if (width_ > 0) std::memcpy(RowBytes(y), source, 3 * static_cast<std::size_t>(width_));
}
