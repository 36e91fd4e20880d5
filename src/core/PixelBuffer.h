// The 24-bit picture every operation works on: top-down rows of B, G, R pixels, each row
// padded to a multiple of 4 bytes, with a table of row pointers.
#pragma once

#include "platform/Bitmap.h"

#include <cstddef>
#include <cstdint>
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

    int Width() const { return Width_; }
    int Height() const { return Height_; }
    // Height × Stride.
    std::int32_t Size() const { return Size_; }
    int Stride() const { return StrideOf(Width_); }
    std::uint8_t* Bits() { return Bits_; }
    const std::uint8_t* Bits() const { return Bits_; }
    const TBitmapInfoHeader& InfoHeader() const { return InfoHeader_; }
    const TBitmapInfo& Info() const { return Info_; }

    TPixel24* Row(int y) { return reinterpret_cast<TPixel24*>(Rows_[static_cast<std::size_t>(y)]); }
    const TPixel24* Row(int y) const { return reinterpret_cast<const TPixel24*>(Rows_[static_cast<std::size_t>(y)]); }
    std::uint8_t* RowBytes(int y) { return Rows_[static_cast<std::size_t>(y)]; }
    const std::uint8_t* RowBytes(int y) const { return Rows_[static_cast<std::size_t>(y)]; }

    TPixel24 GetPixel(int x, int y) const { return Row(y)[x]; }
    void SetPixel(int x, int y, TPixel24 pixel) { Row(y)[x] = pixel; }
    // 3 × Width bytes; padding neither read nor written.
    void GetRow(int y, void* dest) const;
    void PutRow(int y, const void* source);

    // Row stride in bytes: 3 × Width + (Width mod 4).
    static int StrideOf(int width) { return 3 * width + (width % 4); }

    // Geometric transforms.
    void Flip();        // left-right mirror
    void Flop();        // top-bottom mirror
    void RotateRight(); // clockwise
    void RotateLeft();  // counter-clockwise

    // Scales this buffer into destination (which has the target size) with a separable filter.
    // A destination without pixels is left alone; an empty source gives a black destination.
    // A line of one destination pixel from a longer source line is scaled by the plain size
    // ratio and centred on the line's middle, a weighted mean of the whole line; taps beyond a
    // source narrower than the filter's reach are mirrored at the edges as often as it takes.
    void Resample(TPixelBuffer& destination, TFilterFunction filter, float support) const;

private:
    void BuildRows();
    // Takes over the storage, size and headers of another buffer (which is left empty).
    void TakeStorage(TPixelBuffer& other);

    std::vector<std::uint8_t*> Rows_;
    std::uint8_t* Bits_ = nullptr;
    struct FreeStorage { void operator()(std::uint8_t* p) const; };
    std::unique_ptr<std::uint8_t, FreeStorage> Storage_;
    std::vector<std::uint8_t> TakenPixels_;  // the storage of a bitmap taken over, else empty
    int Width_ = 0;
    int Height_ = 0;
    std::int32_t Size_ = 0;
    TBitmapInfoHeader InfoHeader_;
    TBitmapInfo Info_;
};

// The seven resampling filters; each is even and zero outside its support.
float BoxFilter(float x);
float TriangleFilter(float x);
float HermiteFilter(float x);
float BellFilter(float x);
float SplineFilter(float x);
float Lanczos3Filter(float x);
float MitchellFilter(float x);
float SinC(float x);

struct TResampleFilter {
    const char* Name;  // the scale dialog's list text
    TFilterFunction Filter;
    float Support;
};
// In the scale dialog's order: Box, Triangle, Hermite, Bell, Spline, Lanczos3, Mitchell.
extern const TResampleFilter ResampleFilters[7];
// The filter of a list index; any index outside 0-5 is Mitchell.
const TResampleFilter& ResampleFilterAt(int index);

// Resample runs AVX2 + FMA code where the processor has both and portable code otherwise;
// the two give the same bytes. Forcing the portable code lets tests compare them.
bool ResampleVectorPathAvailable();
void ForceScalarResample(bool force);

// Colour effects on the whole picture.
TPixel24 ColorToPixel(TColor color);
void BlendWithColor(TPixelBuffer& image, TColor color, double amount);
void ApplyGamma(TPixelBuffer& image, float gamma);
inline void Enlighten(TPixelBuffer& image) { BlendWithColor(image, 0xFFFFFF, 0.1); }
inline void Endarken(TPixelBuffer& image) { BlendWithColor(image, 0x000000, 0.1); }
inline void MixWithColor(TPixelBuffer& image, TColor color) { BlendWithColor(image, color, 0.3); }

// A copy of the rectangle at (left, top) of the given size (callers keep it inside the picture).
std::unique_ptr<TPixelBuffer> CopyRect(const TPixelBuffer& source, int left, int top, int width, int height);
