// What the line converters share: the description of one line, the pixel walk under the mask,
// sample access, the per-component functions and the size checks made once per line.
#pragma once

#include "color/ColorManager.h"
#include "platform/ByteOrder.h"

#include <cstdint>
#include <cstring>

// The manager's settings a converter reads for one line.
struct TLineSettings {
    std::uint8_t SourceDepth = 8;
    std::uint8_t TargetDepth = 8;
    TConvertOptions SourceFlags = 0;
    TConvertOptions TargetFlags = 0;
    const std::uint8_t* GammaTable = nullptr;
    const std::int32_t* CrToRed = nullptr;
    const std::int32_t* CbToBlue = nullptr;
    const std::int32_t* CrToGreen = nullptr;
    const std::int32_t* CbToGreen = nullptr;
};

struct TLine {
    std::span<const TSourcePlane> Sources;
    std::uint8_t* Target = nullptr;
    std::size_t TargetSize = 0;
    std::uint32_t Count = 0;
    std::uint8_t Mask = 0xFF;
};

// Pixels of a line of count whose mask bit is set: the pixels that consume source samples.
std::uint64_t ConvertedPixels(std::uint32_t count, std::uint8_t mask);

// Raise EColorConversionError when fewer planes than needed are given or a line is too short.
void RequirePlanes(const TLine& line, std::size_t planes);
void RequireSource(const TSourcePlane& plane, std::uint64_t bytes);
void RequireTarget(const TLine& line, std::uint64_t bytes);

// Pixel loops are inlined whole into their converter, so that the loop state lives in registers
// rather than behind references that every byte store might alias.
#define PIXAMO_PIXEL_INLINE __attribute__((always_inline))

// Calls op(i) for every target pixel i whose mask bit is set; the bit cursor starts at 128 and
// rotates right once per target pixel.
template <class Op> PIXAMO_PIXEL_INLINE inline void ForEachPixel(std::uint32_t count, std::uint8_t mask, Op&& op) {
    if (mask == 0xFF) {
        for (std::uint32_t i = 0; i < count; ++i) op(i);
        return;
    }
    std::uint8_t bit = 0x80;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (mask & bit) op(i);
        bit = bit == 1 ? 0x80 : static_cast<std::uint8_t>(bit >> 1);
    }
}

// Samples are bytes or native 16-bit words at any alignment.
template <class T> inline T LoadSample(const std::uint8_t* p) {
    if constexpr (sizeof(T) == 1) {
        return *p;
    } else {
        T v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
}
template <class T> inline void StoreSample(std::uint8_t* p, T v) {
    if constexpr (sizeof(T) == 1)
        *p = v;
    else
        std::memcpy(p, &v, sizeof v);
}

// Only 65535 gives 255.
inline std::uint8_t ScaleWord(std::uint16_t v) { return static_cast<std::uint8_t>(MulDiv16(v, 255, 65535)); }

// The component functions, chosen once per line.
struct PassByte {
    std::uint8_t operator()(std::uint8_t v) const { return v; }
};
struct GammaByte {
    const std::uint8_t* Table;
    std::uint8_t operator()(std::uint8_t v) const { return Table[v]; }
};
struct PassWord {
    std::uint16_t operator()(std::uint16_t v) const { return v; }
};
struct SwapWordFn {
    std::uint16_t operator()(std::uint16_t v) const { return SwapShort(v); }
};
struct ScaleWordFn {
    std::uint8_t operator()(std::uint16_t v) const { return ScaleWord(v); }
};
struct ScaleGammaWord {
    const std::uint8_t* Table;
    std::uint8_t operator()(std::uint16_t v) const { return Table[ScaleWord(v)]; }
};
struct SwapScaleWord {
    std::uint8_t operator()(std::uint16_t v) const { return ScaleWord(SwapShort(v)); }
};
struct SwapScaleGammaWord {
    const std::uint8_t* Table;
    std::uint8_t operator()(std::uint16_t v) const { return Table[ScaleWord(SwapShort(v))]; }
};
// 8 to 16 bits: the byte function's result times 257 (both bytes equal, so byte order is moot).
template <class ByteFn> struct WidenByte {
    ByteFn Fn;
    std::uint16_t operator()(std::uint8_t v) const { return static_cast<std::uint16_t>(Fn(v) * 257u); }
};

// Where the samples of a line are: the first sample of each source component and the byte step
// between pixels (the same for every component), and each target sample's byte offset in a
// target pixel of TargetStep bytes.
struct TSampleLayout {
    const std::uint8_t* Component[4] = {};
    std::size_t SourceStep = 0;
    std::size_t TargetOffset[4] = {};
    std::size_t TargetStep = 0;
};

// Checks the line for count pixels and returns where their samples are. components: source
// samples read per pixel; interleavedSamples: samples per pixel of an interleaved source;
// targetSamples: samples per target pixel. Target offsets are left to the caller.
TSampleLayout MakeLayout(const TLine& line, bool planar, std::size_t components, std::size_t interleavedSamples,
                         std::size_t sourceSampleBytes, std::size_t targetSamples, std::size_t targetSampleBytes);

// Target offsets of red, green, blue (and alpha) for a target in BGR or RGB order.
void SetTargetOrder(TSampleLayout& layout, bool bgr, std::size_t targetSampleBytes);

// Line converters; each checks its line before writing and writes nothing for a depth pair it
// has no path for.
void ConvertRGBFamily(const TLineSettings& s, const TLine& line, bool exchange);
void ConvertGray8Or16(const TLineSettings& s, const TLine& line);
void ConvertPackedToPacked(const TLineSettings& s, const TLine& line);
void ConvertIndexed16To16(const TLineSettings& s, const TLine& line);
void ConvertIndexed16ToPacked(const TLineSettings& s, const TLine& line);
void ConvertPackedToIndexed16(const TLineSettings& s, const TLine& line);
void ConvertCMYK(const TLineSettings& s, const TLine& line, bool bgr);
void ConvertCIELab(const TLineSettings& s, const TLine& line, bool bgr);
void ConvertYCbCr(const TLineSettings& s, const TLine& line, bool bgr);
