// The 24-bit picture every operation works on: top-down rows of B, G, R pixels, each row
// padded to a multiple of 4 bytes, with a table of row pointers.
#pragma once

#include "platform/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct TPixel24 {
    std::uint8_t Blue, Green, Red;
    bool operator==(const TPixel24&) const = default;
};
static_assert(sizeof(TPixel24) == 3);

// The 40-byte Windows bitmap information header, little-endian on disk.
struct TBitmapInfoHeader {
    std::uint32_t Size = 40;
    std::int32_t Width = 0;
    std::int32_t Height = 0;  // negative: rows stored top-down
    std::uint16_t Planes = 1;
    std::uint16_t BitCount = 24;
    std::uint32_t Compression = 0;
    std::uint32_t SizeImage = 0;
    std::int32_t XPelsPerMeter = 0;
    std::int32_t YPelsPerMeter = 0;
    std::uint32_t ClrUsed = 0;
    std::uint32_t ClrImportant = 0;
    bool operator==(const TBitmapInfoHeader&) const = default;
};
static_assert(sizeof(TBitmapInfoHeader) == 40);

// The header followed by one (unused) colour-table entry.
struct TBitmapInfo {
    TBitmapInfoHeader Header;
    std::uint32_t Colors[1] = {0};
};

using TFilterFunction = float (*)(float);

class TPixelBuffer {
public:
    // A black buffer. A zero width or height gives an empty buffer (no pixels, no error);
    // storage the machine cannot give raises EOutOfMemory naming the size.
    TPixelBuffer(int width, int height);
    ~TPixelBuffer();
    TPixelBuffer(const TPixelBuffer&) = delete;
    TPixelBuffer& operator=(const TPixelBuffer&) = delete;

    static std::unique_ptr<TPixelBuffer> Create(int width, int height) {
        return std::make_unique<TPixelBuffer>(width, height);
    }
    // Any pixel format to B, G, R: palette entries looked up, 5-bit channels widened by bit
    // replication (31 gives 255), alpha dropped.
    static std::unique_ptr<TPixelBuffer> CreateFromBitmap(const TBitmap& bitmap);
    // The same for a bitmap that is no longer needed: a 24-bit one hands its pixels over without
    // a copy (its rows are laid out as ours) and is left empty.
    static std::unique_ptr<TPixelBuffer> CreateFromBitmap(TBitmap&& bitmap);
    static std::unique_ptr<TPixelBuffer> CreateCopy(const TPixelBuffer& source);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Height × Stride.
    std::int32_t Size() const { return size_; }
    int Stride() const { return StrideOf(width_); }
    std::uint8_t* Bits() { return bits_; }
    const std::uint8_t* Bits() const { return bits_; }
    const TBitmapInfoHeader& InfoHeader() const { return infoHeader_; }
    const TBitmapInfo& Info() const { return info_; }

    TPixel24* Row(int y) { return reinterpret_cast<TPixel24*>(rows_[static_cast<std::size_t>(y)]); }
    const TPixel24* Row(int y) const { return reinterpret_cast<const TPixel24*>(rows_[static_cast<std::size_t>(y)]); }
    std::uint8_t* RowBytes(int y) { return rows_[static_cast<std::size_t>(y)]; }
    const std::uint8_t* RowBytes(int y) const { return rows_[static_cast<std::size_t>(y)]; }

    TPixel24 GetPixel(int x, int y) const { return Row(y)[x]; }
    void SetPixel(int x, int y, TPixel24 pixel) { Row(y)[x] = pixel; }
    // 3 × Width bytes; padding neither read nor written.
    void GetRow(int y, void* dest) const;
    void PutRow(int y, const void* source);

    // Row stride in bytes: 3 × Width + (Width mod 4).
    static int StrideOf(int width) { return 3 * width + (width % 4); }

    // Geometric transforms.
    void Flip();         // left-right mirror
    void Flop();         // top-bottom mirror
    void RotateRight();  // clockwise
    void RotateLeft();   // counter-clockwise

    // Scales this buffer into destination (which has the target size) with a separable filter.
    // A destination without pixels is left alone; an empty source gives a black destination.
    // A line of one destination pixel from a longer source line is scaled by the plain size
    // ratio and centred on the line's middle, a weighted mean of the whole line; taps beyond a
    // source narrower than the filter's reach are mirrored at the edges as often as it takes.
    void Resample(TPixelBuffer& destination, TFilterFunction filter, float support) const;
    // The same into a width × height result that is never held whole: its rows go to sink in
    // bands, top to bottom, as they are finished. sink(first, count, band) gets rows first ..
    // first + count - 1 as rows 0 .. count - 1 of band, whose storage is reused afterwards.
    using TRowBandSink = std::function<void(int first, int count, const TPixelBuffer& band)>;
    void ResampleInBands(int width, int height, TFilterFunction filter, float support, const TRowBandSink& sink) const;

private:
    void BuildRows();
    // Takes over the storage, size and headers of another buffer (which is left empty).
    void TakeStorage(TPixelBuffer& other);

    std::vector<std::uint8_t*> rows_;
    std::uint8_t* bits_ = nullptr;
    struct FreeStorage {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t, FreeStorage> storage_;
    TPixelStorage takenPixels_;  // the storage of a bitmap taken over, else empty
    int width_ = 0;
    int height_ = 0;
    std::int32_t size_ = 0;
    TBitmapInfoHeader infoHeader_;
    TBitmapInfo info_;
};
