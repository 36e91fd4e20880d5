// Indexed and gray samples of 1 to 8 bits packed into bytes from the top bits down, and 16-bit
// palette indices.
#include "color/LineFrame.h"

#include <array>
#include <bit>

namespace {

using std::uint16_t;
using std::uint8_t;

std::uint32_t HighValue(uint8_t bits) { return (1u << bits) - 1; }
bool Packed(uint8_t bits) { return bits >= 1 && bits <= 8; }
// Fields of bits in one byte (8 div bits): always a power of two for 1 to 8 bits.
unsigned FieldsPerByte(uint8_t bits) { return 8u / bits; }
std::uint64_t PackedBytes(std::uint64_t pixels, uint8_t bits) {
    const unsigned fields = FieldsPerByte(bits);
    return (pixels + fields - 1) / fields;
}

// Source fields in reading order: the top bits of the first byte first; a byte is left after its
// lowest whole field.
class TFieldReader {
public:
    TFieldReader(const uint8_t* data, uint8_t bits)
        : p_(data), bits_(bits), top_(8 - bits), shift_(8 - bits), mask_(static_cast<uint8_t>(HighValue(bits))) {}
    uint8_t Next() {
        const uint8_t v = static_cast<uint8_t>((*p_ >> shift_) & mask_);
        shift_ -= bits_;
        if (shift_ < 0) {
            shift_ = top_;
            ++p_;
        }
        return v;
    }

private:
    const uint8_t* p_;
    int bits_, top_, shift_;
    uint8_t mask_;
};

// Target pixel i sits in field (i mod fields) of byte (i div fields), fields counted from the top;
// writing it keeps the other bits of the byte.
class TFieldWriter {
public:
    TFieldWriter(uint8_t* data, uint8_t bits)
        : p_(data),
          bits_(bits),
          log_(std::countr_zero(FieldsPerByte(bits))),
          fieldMask_(FieldsPerByte(bits) - 1),
          mask_(static_cast<uint8_t>(HighValue(bits))) {}
    void Put(std::uint32_t i, uint8_t v) {
        uint8_t& byte = p_[i >> log_];
        const int shift = 8 - bits_ * static_cast<int>((i & fieldMask_) + 1);
        byte = static_cast<uint8_t>((byte & ~(mask_ << shift)) | (v << shift));
    }

private:
    uint8_t* p_;
    int bits_;
    int log_;
    std::uint32_t fieldMask_;
    uint8_t mask_;
};

template <bool Swap> void Indexed16ToPacked(const TLine& line, uint8_t targetBits) {
    const uint8_t* s = line.Sources[0].Data;
    const uint16_t high = static_cast<uint16_t>(HighValue(targetBits));
    TFieldWriter writer(line.Target, targetBits);
    ForEachPixel(line.Count, line.Mask, [&](std::uint32_t i) PIXAMO_PIXEL_INLINE {
        uint16_t v = LoadSample<uint16_t>(s);
        if constexpr (Swap) v = SwapShort(v);
        writer.Put(i, static_cast<uint8_t>(MulDiv16(v, high, 65535)));
        s += 2;
    });
}

}  // namespace

void ConvertPackedToPacked(const TLineSettings& s, const TLine& line) {
    const uint8_t sourceBits = s.SourceDepth, targetBits = s.TargetDepth;
    if (!Packed(sourceBits) || !Packed(targetBits)) return;
    RequirePlanes(line, 1);
    RequireSource(line.Sources[0], PackedBytes(ConvertedPixels(line.Count, line.Mask), sourceBits));
    RequireTarget(line, PackedBytes(line.Count, targetBits));
    if (line.Count == 0) return;
    if (sourceBits == targetBits && line.Mask == 0xFF && 8 % sourceBits == 0) {
        std::memmove(line.Target, line.Sources[0].Data, PackedBytes(line.Count, sourceBits));
        return;
    }
    std::array<uint8_t, 256> widen{};
    const uint16_t sourceHigh = static_cast<uint16_t>(HighValue(sourceBits));
    const uint16_t targetHigh = static_cast<uint16_t>(HighValue(targetBits));
    for (uint16_t v = 0; v <= sourceHigh; ++v) widen[v] = static_cast<uint8_t>(MulDiv16(v, targetHigh, sourceHigh));
    TFieldReader reader(line.Sources[0].Data, sourceBits);
    if (targetBits == 8) {
        uint8_t* const target = line.Target;
        ForEachPixel(line.Count, line.Mask,
                     [&](std::uint32_t i) PIXAMO_PIXEL_INLINE { target[i] = widen[reader.Next()]; });
        return;
    }
    TFieldWriter writer(line.Target, targetBits);
    ForEachPixel(line.Count, line.Mask,
                 [&](std::uint32_t i) PIXAMO_PIXEL_INLINE { writer.Put(i, widen[reader.Next()]); });
}

void ConvertIndexed16ToPacked(const TLineSettings& s, const TLine& line) {
    if (!Packed(s.TargetDepth)) return;
    RequirePlanes(line, 1);
    RequireSource(line.Sources[0], ConvertedPixels(line.Count, line.Mask) * 2);
    RequireTarget(line, PackedBytes(line.Count, s.TargetDepth));
    if (line.Count == 0) return;
    if ((s.SourceFlags & SwapBytes) != 0)
        Indexed16ToPacked<true>(line, s.TargetDepth);
    else
        Indexed16ToPacked<false>(line, s.TargetDepth);
}

void ConvertPackedToIndexed16(const TLineSettings& s, const TLine& line) {
    const uint8_t sourceBits = s.SourceDepth;
    if (!Packed(sourceBits)) return;
    RequirePlanes(line, 1);
    RequireSource(line.Sources[0], PackedBytes(ConvertedPixels(line.Count, line.Mask), sourceBits));
    RequireTarget(line, static_cast<std::uint64_t>(line.Count) * 2);
    if (line.Count == 0) return;
    // Widened (4-bit values × 4369, 8-bit × 257) and byte-swapped ahead, one entry per value.
    std::array<uint16_t, 256> widen{};
    const uint16_t sourceHigh = static_cast<uint16_t>(HighValue(sourceBits));
    const bool swap = (s.SourceFlags & SwapBytes) != 0;
    for (uint16_t v = 0; v <= sourceHigh; ++v) {
        const uint16_t w = MulDiv16(v, 65535, sourceHigh);
        widen[v] = swap ? SwapShort(w) : w;
    }
    TFieldReader reader(line.Sources[0].Data, sourceBits);
    uint8_t* const target = line.Target;
    ForEachPixel(line.Count, line.Mask, [&](std::uint32_t i) PIXAMO_PIXEL_INLINE {
        StoreSample<uint16_t>(target + static_cast<std::size_t>(i) * 2, widen[reader.Next()]);
    });
}
