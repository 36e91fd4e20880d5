#include "codecs/LZWDecoders.h"

#include <algorithm>
#include <bit>
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

// The string table of one Decode call. Prefix and suffix define every string; besides, since each
// string of a sound table has been written to the output once already, From and Length say where
// (the codes of the alphabet, 2048 at most, point at their own suffix byte), so that strings are copied from
// there instead of being walked back through their prefixes.
struct TLZWTables {
    const std::uint8_t* From[TableSize];
    std::uint16_t Length[TableSize];
    std::uint16_t Prefix[TableSize];
    std::uint8_t Suffix[TableSize];
    std::uint8_t Stack[StackSize];
};

inline std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void Store64(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, 8); }

// The 8 bytes at p once the first `count` (1..8) of them are dropped, the next ones coming from
// `after`, the 8 bytes that followed.
inline std::uint64_t Advance64(std::uint64_t bytes, std::uint64_t after, std::uint32_t count) {
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<std::uint64_t>(((static_cast<unsigned __int128>(after) << 64) | bytes) >> (8 * count));
    else
        return static_cast<std::uint64_t>(((static_cast<unsigned __int128>(bytes) << 64) | after) >> (64 - 8 * count));
}

// The code of the given width at a bit offset. Bytes past the end read as zero; the caller never
// asks for bits beyond it.
template <bool MostSignificantFirst>
inline std::uint32_t PeekCode(const std::uint8_t* source, std::size_t size, std::uint64_t bit, std::uint32_t width) {
    const std::size_t at = static_cast<std::size_t>(bit >> 3);
    std::uint32_t word;
    if (at + 4 <= size) {
        std::memcpy(&word, source + at, 4);
        if constexpr (MostSignificantFirst && std::endian::native == std::endian::little)
            word = __builtin_bswap32(word);
        if constexpr (!MostSignificantFirst && std::endian::native == std::endian::big) word = __builtin_bswap32(word);
    } else {
        word = 0;
        for (std::size_t i = 0; i < 4 && at + i < size; ++i) {
            if constexpr (MostSignificantFirst)
                word |= std::uint32_t(source[at + i]) << (24 - 8 * i);
            else
                word |= std::uint32_t(source[at + i]) << (8 * i);
        }
    }
    const std::uint32_t shift = static_cast<std::uint32_t>(bit & 7);
    if constexpr (MostSignificantFirst)
        return (word << shift) >> (32 - width);
    else
        return (word >> shift) & ((1u << width) - 1);
}

// Bytes enter a 32-bit bit buffer one at a time and codes are taken while enough bits are held;
// an end code (GIF) or a code naming no string ends the codes of the current byte, and the bits
// still held wait for the next byte, unless the buffer has no room left for it. Which bits form a
// code does not depend on when they entered the buffer, so codes are read straight from the input
// at their bit offset, and only the count of bytes entered so far is kept: it decides where
// decoding ends.
//
// Strings are copied 8 bytes at a time, which writes up to 7 bytes past a string's end; later
// strings overwrite them. What those bytes held before is kept in `ahead` and put back whenever
// decoding stops or goes byte by byte, so that the output past the decoded part keeps what it held.
//
// Damaged streams can break the copies: the first code after a clear may name the first free
// entry, whose stale contents then become a prefix, and a full GIF table can make entry 4095 its
// own prefix. From such a code until the next clear, strings are walked through the prefix chain
// onto a stack, bounded by its size. The walk also writes the last strings, where the room left
// is too small for 8-byte copies.
//
// The state lives in locals: the output is written through byte pointers, which the compiler
// must otherwise assume to overwrite any state kept in memory. For the same reason this stays one
// long function: split into calls that share the table, the bit position and the output cursor,
// the loop would keep them in memory and reload them after every byte stored, and GIF and LZW
// TIFF decoding would slow down accordingly (bench/formats/run.sh measures them).
template <bool MostSignificantFirst> void DecodeLZW(const TLZWFlavour& flavour, const std::uint8_t* source,
                                                    std::int32_t packedSize, std::uint8_t* dest,
                                                    std::int32_t unpackedSize) {
    if (packedSize <= 0 || unpackedSize <= 0) return;
    const std::uint32_t clearCode = flavour.ClearCode, initialWidth = flavour.InitialWidth;
    TLZWTables table;
    // Entries above the alphabet are zeroed too, so that a code naming a string not yet added in
    // this table generation still follows a chain inside the table.
    std::fill(std::begin(table.Prefix), std::end(table.Prefix), std::uint16_t{0});
    std::fill(std::begin(table.Suffix), std::end(table.Suffix), std::uint8_t{0});
    // From and Length of the entries above are set before any copy reads them.
    for (std::uint32_t i = 0; i < clearCode; ++i) {
        table.Prefix[i] = NoCode;
        table.Suffix[i] = static_cast<std::uint8_t>(i);
        table.From[i] = &table.Suffix[i];
        table.Length[i] = 1;
    }

    std::uint8_t* target = dest;
    std::uint8_t* const end = dest + unpackedSize;
    // Copies stop where the longest string and the 8-byte spill might not fit.
    constexpr std::size_t CopyRoom = TableSize + 16;
    std::uint8_t* const copyEnd = static_cast<std::size_t>(unpackedSize) > CopyRoom ? end - CopyRoom : dest;
    // What the 8 bytes at target held before any copy spilled there; kept while 8 bytes are left.
    std::uint64_t ahead = unpackedSize >= 8 ? Load64(target) : 0;
    std::uint32_t width = initialWidth, mask = (1u << width) - 1, nextFree = clearCode + 2, oldCode = NoCode;
    bool walk = false;     // strings go through the prefix chain until the next clear
    bool copying = false;  // the table is sound and the old code names a string in it
    std::uint8_t firstByte = 0;

    // Adds the string of the old code followed by the first byte of the last string.
    auto addString = [&] {
        table.Prefix[nextFree] = static_cast<std::uint16_t>(oldCode);
        table.Suffix[nextFree] = firstByte;
        if constexpr (MostSignificantFirst) {
            // TIFF widens one code early, and once full writes every new string to the spare slot.
            if (nextFree < 4096) ++nextFree;
            if (nextFree == mask && width < 12) mask = (1u << ++width) - 1;
        } else {
            if (nextFree == mask && width < 12) mask = (1u << ++width) - 1;
            if (nextFree < 4095) ++nextFree;
        }
    };
    // Where the entry the next code may name before it exists will be: the string just written
    // and the byte after it, which will be that string's own first byte or the next string's.
    auto foresee = [&](const std::uint8_t* written, std::size_t length) {
        table.From[nextFree] = written;
        table.Length[nextFree] = static_cast<std::uint16_t>(length + 1);
    };
    auto putBackAhead = [&] {
        if (end - target >= 8) Store64(target, ahead);
    };

    const std::size_t size = static_cast<std::size_t>(packedSize);
    const std::uint64_t totalBits = std::uint64_t(size) * 8;
    std::uint64_t used = 0;     // bits taken as codes
    std::uint64_t entered = 0;  // bits of the bytes entered into the buffer
    for (;;) {
        if (used + width > entered) {
            if (used + width > totalBits) break;
            entered = (used + width + 7) & ~std::uint64_t(7);
        }
        std::uint32_t code = PeekCode<MostSignificantFirst>(source, size, used, width);
        used += width;
        if (code - clearCode < 2) {
            if (code == clearCode) {
                width = initialWidth;
                mask = (1u << width) - 1;
                nextFree = clearCode + 2;
                oldCode = NoCode;
                walk = copying = false;
                continue;
            }
            if (flavour.EndCodeStopsDecoding) break;
        } else if (code <= nextFree) {
            std::uint8_t* const out = target;
            if (copying && out < copyEnd) {
                // Copy the string from where it was written. Bytes from 8 past the output on have
                // not been written yet: the spill of the copies so far ends before them.
                const std::size_t length = table.Length[code];
                const std::uint8_t* const from = table.From[code];
                if (length <= 8) {
                    ahead = Advance64(ahead, Load64(out + 8), static_cast<std::uint32_t>(length));
                    Store64(out, Load64(from));
                } else {
                    ahead = Load64(out + length);
                    for (std::size_t i = 0; i < length; i += 8) Store64(out + i, Load64(from + i));
                }
                // The last byte again: for the entry being defined it is the string's own first
                // byte, which the copy above could not yet see.
                out[length - 1] = code == nextFree ? firstByte : table.Suffix[code];
                firstByte = out[0];
                addString();
                oldCode = code;
                target = out + length;
                foresee(out, length);
                // A full GIF table rewrites entry 4095; named again now, it would become its own prefix.
                if constexpr (!MostSignificantFirst) copying = oldCode != nextFree;
                continue;
            }
            putBackAhead();
            if (oldCode == NoCode) {
                firstByte = table.Suffix[code];
                *target++ = firstByte;
                oldCode = code;
                // A first code above the alphabet can only be the first free entry, left from an
                // earlier table generation.
                if (code > clearCode)
                    walk = true;
                else
                    foresee(out, 1);
            } else {
                // The entry about to be added would be its own prefix.
                if (oldCode == nextFree) walk = true;
                const std::uint32_t incoming = code;
                std::size_t depth = 0;
                if (code == nextFree) {
                    table.Stack[depth++] = firstByte;
                    code = oldCode;
                }
                while (code > clearCode && depth < StackSize) {
                    table.Stack[depth++] = table.Suffix[code];
                    code = table.Prefix[code];
                }
                firstByte = table.Suffix[std::min<std::uint32_t>(code, NoCode)];
                if (depth < StackSize) table.Stack[depth++] = firstByte;
                addString();
                oldCode = incoming;
                // The stack holds the string backwards; it leaves in one pass, cut where the
                // output is full.
                const std::size_t count = std::min(depth, static_cast<std::size_t>(end - target));
                const std::uint8_t* top = table.Stack + depth;
                for (std::size_t i = 0; i < count; ++i) target[i] = *--top;
                target += count;
                if (!walk) foresee(out, count);
            }
            if (target == end) return;
            copying = !walk && oldCode < nextFree;
            if (end - target >= 8) ahead = Load64(target);
            continue;
        }
        // An end code or a code naming no string: the next code waits for one more byte.
        if (entered - used <= 24) {
            if (entered == totalBits) break;
            entered += 8;
        }
    }
    putBackAhead();
}
}  // namespace

void TTIFFLZWDecoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                             std::int32_t UnpackedSize) {
    static constexpr TLZWFlavour Tiff{256, 9, true};
    DecodeLZW<true>(Tiff, Source, PackedSize, Dest, UnpackedSize);
}

void TGIFLZWDecoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                            std::int32_t UnpackedSize) {
    if (initialCodeSize_ < 1 || initialCodeSize_ > 11) return;
    const TLZWFlavour gif{1u << initialCodeSize_, initialCodeSize_ + 1u, false};
    DecodeLZW<false>(gif, Source, PackedSize, Dest, UnpackedSize);
}
