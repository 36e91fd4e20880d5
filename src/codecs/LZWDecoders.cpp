#include "codecs/LZWDecoders.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::uint32_t NoCode = 4096;
constexpr std::size_t TableSize = 4097;  // the last entry is a spare slot no code can name
constexpr std::size_t StackSize = 4096;

// What the two LZW flavours differ in besides the bit order, which is a template argument so that
// no code asks for it.
struct TLZWFlavour {
    std::uint32_t ClearCode;
    std::uint32_t InitialWidth;
    bool EndCodeStopsDecoding;
};

// The string table and output of one Decode call.
template <bool MostSignificantFirst>
class TLZWState {
public:
    TLZWState(const TLZWFlavour& flavour, std::uint8_t* dest, std::size_t destSize)
        : FFlavour(flavour), FTarget(dest), FLeft(destSize) {
        // Entries above the alphabet are zeroed too, so that a code naming a string not yet
        // added in this table generation still follows a chain inside the table.
        std::fill(std::begin(FPrefix), std::end(FPrefix), 0);
        std::fill(std::begin(FSuffix), std::end(FSuffix), std::uint8_t{0});
        for (std::uint32_t i = 0; i < flavour.ClearCode; ++i) {
            FPrefix[i] = NoCode;
            FSuffix[i] = static_cast<std::uint8_t>(i);
        }
        Clear();
    }

    std::uint32_t Width() const { return FWidth; }
    bool Done() const { return FLeft == 0; }

    void Clear() {
        FWidth = FFlavour.InitialWidth;
        FMask = (1u << FWidth) - 1;
        FNextFree = FFlavour.ClearCode + 2;
        FOldCode = NoCode;
    }

    // Handles one code other than clear and end; false for a code that names no string yet.
    bool Take(std::uint32_t code) {
        if (code > FNextFree) return false;
        if (FOldCode == NoCode) {
            FFirstByte = FSuffix[code];
            Put(FFirstByte);
            FOldCode = code;
            return true;
        }
        const std::uint32_t incoming = code;
        std::size_t depth = 0;
        if (code == FNextFree) {
            FStack[depth++] = FFirstByte;
            code = FOldCode;
        }
        // A damaged GIF stream can make entry 4095 its own prefix: the stack bounds the walk.
        while (code > FFlavour.ClearCode && depth < StackSize) {
            FStack[depth++] = FSuffix[code];
            code = static_cast<std::uint32_t>(FPrefix[code]);
        }
        FFirstByte = FSuffix[std::min<std::uint32_t>(code, NoCode)];
        if (depth < StackSize) FStack[depth++] = FFirstByte;
        AddString();
        FOldCode = incoming;
        // The stack holds the string backwards; it leaves in one pass, cut where the output is full.
        const std::size_t count = std::min(depth, FLeft);
        const std::uint8_t* top = FStack + depth;
        for (std::size_t i = 0; i < count; ++i) FTarget[i] = *--top;
        FTarget += count;
        FLeft -= count;
        return true;
    }

private:
    void Put(std::uint8_t b) {
        if (FLeft == 0) return;
        *FTarget++ = b;
        --FLeft;
    }

    void AddString() {
        FPrefix[FNextFree] = static_cast<std::int32_t>(FOldCode);
        FSuffix[FNextFree] = FFirstByte;
        if constexpr (MostSignificantFirst) {
            // TIFF widens one code early, and once full writes every new string to the spare slot.
            if (FNextFree < 4096) ++FNextFree;
            if (FNextFree == FMask && FWidth < 12) Widen();
        } else {
            if (FNextFree == FMask && FWidth < 12) Widen();
            if (FNextFree < 4095) ++FNextFree;
        }
    }

    void Widen() {
        ++FWidth;
        FMask = (1u << FWidth) - 1;
    }

    const TLZWFlavour& FFlavour;
    std::int32_t FPrefix[TableSize];
    std::uint8_t FSuffix[TableSize];
    std::uint8_t FStack[StackSize];
    std::uint8_t* FTarget;
    std::size_t FLeft;
    std::uint32_t FWidth = 9;
    std::uint32_t FMask = 511;
    std::uint32_t FNextFree = 258;
    std::uint32_t FOldCode = NoCode;
    std::uint8_t FFirstByte = 0;
};

template <bool MostSignificantFirst>
void DecodeLZW(const TLZWFlavour& flavour, const std::uint8_t* source, std::int32_t packedSize,
               std::uint8_t* dest, std::int32_t unpackedSize) {
    if (packedSize <= 0 || unpackedSize <= 0) return;
    TLZWState<MostSignificantFirst> state(flavour, dest, static_cast<std::size_t>(unpackedSize));
    const std::uint32_t clearCode = flavour.ClearCode, endCode = flavour.ClearCode + 1;
    const std::uint8_t* const end = source + packedSize;
    std::uint32_t buffer = 0;
    std::uint32_t held = 0;
    while (source < end && !state.Done()) {
        if constexpr (MostSignificantFirst) buffer |= static_cast<std::uint32_t>(*source++) << (24 - held);
        else buffer |= static_cast<std::uint32_t>(*source++) << held;
        held += 8;
        while (held >= state.Width()) {
            const std::uint32_t width = state.Width();
            std::uint32_t code;
            if constexpr (MostSignificantFirst) {
                code = buffer >> (32 - width);
                buffer <<= width;
            } else {
                code = buffer & ((1u << width) - 1);
                buffer >>= width;
            }
            held -= width;
            bool nextByte;
            if (code == endCode) {
                if (flavour.EndCodeStopsDecoding) return;
                nextByte = true;
            } else if (code == clearCode) {
                state.Clear();
                nextByte = false;
            } else {
                nextByte = !state.Take(code);  // a code naming no string yet is skipped
                if (state.Done()) return;
            }
            // The GIF end code and a skipped code end the codes of this byte; the bits still held
            // wait for the next byte, unless the buffer has no room left for it.
            if (nextByte && held <= 24) break;
        }
    }
}
}

void TTIFFLZWDecoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                             std::int32_t UnpackedSize) {
    static constexpr TLZWFlavour Tiff{256, 9, true};
    DecodeLZW<true>(Tiff, Source, PackedSize, Dest, UnpackedSize);
}

void TGIFLZWDecoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                            std::int32_t UnpackedSize) {
    if (FInitialCodeSize < 1 || FInitialCodeSize > 11) return;
    const TLZWFlavour gif{1u << FInitialCodeSize, FInitialCodeSize + 1u, false};
    DecodeLZW<false>(gif, Source, PackedSize, Dest, UnpackedSize);
}
