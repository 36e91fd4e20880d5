#include "ExifBlock.h"

#include "ByteOrder.h"

#include "Exception.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr std::uint16_t OrientationTag = 274;
constexpr std::uint16_t PixelXDimensionTag = 40962;
constexpr std::uint16_t PixelYDimensionTag = 40963;
constexpr std::uint16_t InteropIfdTag = 40965;
constexpr std::uint16_t TypeShort = 3;
constexpr std::uint16_t TypeLong = 4;
// More entries than any real directory has; a count beyond it is damage.
constexpr std::size_t MaxEntries = 1000;
constexpr std::size_t EntrySize = 12;

[[noreturn]] void Damaged() { throw EInvalidGraphic("The EXIF block is damaged."); }

// Bytes of one value of a TIFF field type; 0 for types TIFF does not define.
std::size_t TypeSize(std::uint16_t type) {
    switch (type) {
        case 1:  // BYTE
        case 2:  // ASCII
        case 6:  // SBYTE
        case 7:  // UNDEFINED
            return 1;
        case 3:  // SHORT
        case 8:  // SSHORT
            return 2;
        case 4:   // LONG
        case 9:   // SLONG
        case 11:  // FLOAT
        case 13:  // IFD
            return 4;
        case 5:   // RATIONAL
        case 10:  // SRATIONAL
        case 12:  // DOUBLE
            return 8;
        default:
            return 0;
    }
}

// A TIFF structure in memory: numbers in its byte order, every access checked against its end.
class TTiffBytes {
public:
    explicit TTiffBytes(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {
        Need(0, 8);
        if (bytes_[0] == 'I' && bytes_[1] == 'I')
            big_ = false;
        else if (bytes_[0] == 'M' && bytes_[1] == 'M')
            big_ = true;
        else
            Damaged();
        if (U16(2) != 42) Damaged();
    }

    bool Big() const { return big_; }
    std::size_t Size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }
    const std::uint8_t* Data() const { return bytes_.data(); }

    void Need(std::size_t at, std::size_t count) const {
        if (at > bytes_.size() || count > bytes_.size() - at) Damaged();
    }
    std::uint16_t U16(std::size_t at) const {
        Need(at, 2);
        return ReadOrdered16(&bytes_[at], big_);
    }
    std::uint32_t U32(std::size_t at) const {
        Need(at, 4);
        return ReadOrdered32(&bytes_[at], big_);
    }

private:
    std::vector<std::uint8_t>& bytes_;
    bool big_ = false;
};

// Appends numbers in a byte order.
void Put16(std::vector<std::uint8_t>& out, bool big, std::uint16_t v) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    out.push_back(big ? b[1] : b[0]);
    out.push_back(big ? b[0] : b[1]);
}
void Put32(std::vector<std::uint8_t>& out, bool big, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (big ? 24 - 8 * i : 8 * i)));
}

struct TEntry {
    std::uint16_t Tag = 0;
    std::uint16_t Type = 0;
    std::uint32_t Count = 0;
    std::size_t At = 0;  // where its 12 bytes are
};

struct TIfd {
    std::size_t At = 0;
    std::vector<TEntry> Entries;
    std::uint32_t Next = 0;

    const TEntry* Find(std::uint16_t tag) const {
        for (const TEntry& e : Entries)
            if (e.Tag == tag) return &e;
        return nullptr;
    }
};

TIfd ReadIfd(const TTiffBytes& b, std::uint32_t offset) {
    TIfd ifd;
    ifd.At = offset;
    const std::size_t count = b.U16(offset);
    if (count > MaxEntries) Damaged();
    b.Need(offset + std::size_t{2}, count * EntrySize + 4);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = offset + 2 + i * EntrySize;
        ifd.Entries.push_back({b.U16(at), b.U16(at + 2), b.U32(at + 4), at});
    }
    ifd.Next = b.U32(offset + 2 + count * EntrySize);
    return ifd;
}

// The bytes of an entry's value, wherever they are; 0 bytes for an unknown type.
std::pair<std::size_t, std::size_t> ValueSpan(const TTiffBytes& b, const TEntry& e) {
    const std::size_t unit = TypeSize(e.Type);
    if (unit == 0 || e.Count > b.Size()) return {e.At + 8, 0};
    const std::size_t size = unit * e.Count;
    const std::size_t at = size <= 4 ? e.At + 8 : b.U32(e.At + 8);
    b.Need(at, size);
    return {at, size};
}

// The entry of a sub-directory pointer: a single LONG or IFD.
std::uint32_t PointerValue(const TTiffBytes& b, const TEntry& e) {
    if ((e.Type != TypeLong && e.Type != 13) || e.Count != 1) Damaged();
    return b.U32(e.At + 8);
}

// A directory entry as bytes, kept as found or made new.
struct TRawEntry {
    std::uint16_t Tag;
    std::uint8_t Bytes[EntrySize];
};

TRawEntry RawEntry(const TTiffBytes& b, const TEntry& e) {
    TRawEntry raw{e.Tag, {}};
    std::memcpy(raw.Bytes, b.Data() + e.At, EntrySize);
    return raw;
}

TRawEntry NumberEntry(bool big, std::uint16_t tag, std::uint32_t value, bool asLong = false) {
    std::vector<std::uint8_t> bytes;
    const bool isLong = asLong || value > 0xFFFF;
    Put16(bytes, big, tag);
    Put16(bytes, big, isLong ? TypeLong : TypeShort);
    Put32(bytes, big, 1);
    if (isLong) {
        Put32(bytes, big, value);
    } else {
        Put16(bytes, big, static_cast<std::uint16_t>(value));
        Put16(bytes, big, 0);
    }
    TRawEntry raw{tag, {}};
    std::memcpy(raw.Bytes, bytes.data(), EntrySize);
    return raw;
}

// Rewrites the 12 bytes of an entry in place to a single number.
void SetNumber(TTiffBytes& b, std::size_t entryAt, std::uint16_t tag, std::uint32_t value, bool asLong = false) {
    b.Need(entryAt, EntrySize);
    std::memcpy(&b.Bytes()[entryAt], NumberEntry(b.Big(), tag, value, asLong).Bytes, EntrySize);
}

// Appends a directory of the given entries (sorted by tag, as TIFF wants) at a word boundary of
// the block; values outside the entries stay where they are. Returns its offset.
std::uint32_t AppendIfd(TTiffBytes& b, std::vector<TRawEntry> entries, std::uint32_t next) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TRawEntry& x, const TRawEntry& y) { return x.Tag < y.Tag; });
    std::vector<std::uint8_t>& out = b.Bytes();
    if (out.size() % 2) out.push_back(0);
    if (out.size() > 0xFFFFFFF0u) Damaged();
    const auto at = static_cast<std::uint32_t>(out.size());
    Put16(out, b.Big(), static_cast<std::uint16_t>(entries.size()));
    for (const TRawEntry& e : entries) out.insert(out.end(), e.Bytes, e.Bytes + EntrySize);
    Put32(out, b.Big(), next);
    return at;
}

std::vector<std::uint8_t> WithoutExifHeader(std::span<const std::uint8_t> exif) {
    static const std::uint8_t header[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (exif.size() >= 6 && std::equal(header, header + 6, exif.begin())) exif = exif.subspan(6);
    return {exif.begin(), exif.end()};
}

// Writes a copy of a directory with its values to out, which will sit at file offset base;
// the entry tagged pointerTag, when given, points to the directory at pointerValue instead.
// Entries of unknown types are left out: where their values lie cannot be told.
void CopyIfd(const TTiffBytes& b, const TIfd& ifd, std::vector<std::uint8_t>& out, std::uint32_t base,
             std::uint16_t pointerTag, std::uint32_t pointerValue) {
    std::vector<const TEntry*> kept;
    for (const TEntry& e : ifd.Entries)
        if (TypeSize(e.Type) != 0 && (e.Tag != pointerTag || pointerTag == 0)) kept.push_back(&e);
    const bool pointer = pointerTag != 0;
    const std::size_t count = kept.size() + (pointer ? 1 : 0);
    const std::size_t start = out.size();
    std::size_t values = start + 2 + count * EntrySize + 4;
    std::vector<std::uint8_t> head;
    std::vector<std::uint8_t> data;
    std::vector<TRawEntry> entries;
    for (const TEntry* e : kept) {
        const auto [at, size] = ValueSpan(b, *e);
        TRawEntry raw = RawEntry(b, *e);
        if (size > 4) {
            if (values % 2) {
                data.push_back(0);
                ++values;
            }
            std::vector<std::uint8_t> offset;
            Put32(offset, b.Big(), static_cast<std::uint32_t>(base + values));
            std::memcpy(raw.Bytes + 8, offset.data(), 4);
            data.insert(data.end(), b.Data() + at, b.Data() + at + size);
            values += size;
        }
        entries.push_back(raw);
    }
    if (pointer) entries.push_back(NumberEntry(b.Big(), pointerTag, pointerValue, true));
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TRawEntry& x, const TRawEntry& y) { return x.Tag < y.Tag; });
    Put16(out, b.Big(), static_cast<std::uint16_t>(entries.size()));
    for (const TRawEntry& e : entries) out.insert(out.end(), e.Bytes, e.Bytes + EntrySize);
    Put32(out, b.Big(), 0);
    out.insert(out.end(), data.begin(), data.end());
}

// In an XMP packet, sets every value of the property name (such as "tiff:Orientation") to text.
void SetXmpProperty(std::string& xmp, std::string_view name, const std::string& text) {
    std::size_t from = 0;
    while ((from = xmp.find(name, from)) != std::string::npos) {
        std::size_t after = from + name.size();
        const bool element = from > 0 && xmp[from - 1] == '<';
        const bool attribute = from > 0 && std::string_view(" \t\r\n").find(xmp[from - 1]) != std::string_view::npos;
        from = after;
        if (element) {
            if (after >= xmp.size() || xmp[after] != '>') continue;
            const std::size_t end = xmp.find('<', after + 1);
            if (end == std::string::npos) return;
            xmp.replace(after + 1, end - after - 1, text);
            from = after + 1 + text.size();
        } else if (attribute) {
            while (after < xmp.size() && std::isspace(static_cast<unsigned char>(xmp[after]))) ++after;
            if (after >= xmp.size() || xmp[after] != '=') continue;
            ++after;
            while (after < xmp.size() && std::isspace(static_cast<unsigned char>(xmp[after]))) ++after;
            if (after >= xmp.size() || (xmp[after] != '"' && xmp[after] != '\'')) continue;
            const std::size_t end = xmp.find(xmp[after], after + 1);
            if (end == std::string::npos) return;
            xmp.replace(after + 1, end - after - 1, text);
            from = after + 1 + text.size() + 1;
        }
    }
}

}  // namespace

std::vector<std::uint8_t> ExifForSavedPicture(std::span<const std::uint8_t> exif, int width, int height,
                                              int orientation) {
    std::vector<std::uint8_t> bytes = WithoutExifHeader(exif);
    TTiffBytes b(bytes);
    const TIfd ifd0 = ReadIfd(b, b.U32(4));
    if (const TEntry* stated = ifd0.Find(OrientationTag))
        SetNumber(b, stated->At, OrientationTag, static_cast<std::uint32_t>(orientation));
    // The thumbnail (IFD1) shows the source as it was, unturned and unedited: it is unlinked.
    const std::size_t nextAt = ifd0.At + 2 + ifd0.Entries.size() * EntrySize;
    std::memset(&bytes[nextAt], 0, 4);

    const auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
    const TEntry* pointer = ifd0.Find(ExifIfdTag);
    std::vector<TRawEntry> exifEntries;
    if (pointer) {
        const TIfd exifIfd = ReadIfd(b, PointerValue(b, *pointer));
        const TEntry* x = exifIfd.Find(PixelXDimensionTag);
        const TEntry* y = exifIfd.Find(PixelYDimensionTag);
        if (x) SetNumber(b, x->At, PixelXDimensionTag, w);
        if (y) SetNumber(b, y->At, PixelYDimensionTag, h);
        if (x && y) return bytes;
        for (const TEntry& e : exifIfd.Entries)
            if (e.Tag != PixelXDimensionTag && e.Tag != PixelYDimensionTag) exifEntries.push_back(RawEntry(b, e));
    }
    // The pixel size goes into a new Exif IFD at the end; the old one stays, unreferenced.
    exifEntries.push_back(NumberEntry(b.Big(), PixelXDimensionTag, w));
    exifEntries.push_back(NumberEntry(b.Big(), PixelYDimensionTag, h));
    const std::uint32_t exifAt = AppendIfd(b, exifEntries, 0);
    if (pointer) {
        SetNumber(b, pointer->At, ExifIfdTag, exifAt, true);
        return bytes;
    }
    // IFD0 had no Exif IFD: a copy of it with the pointer, in front of the same next IFD.
    std::vector<TRawEntry> ifd0Entries;
    for (const TEntry& e : ifd0.Entries) ifd0Entries.push_back(RawEntry(b, e));
    ifd0Entries.push_back(NumberEntry(b.Big(), ExifIfdTag, exifAt, true));
    const std::uint32_t ifd0At = AppendIfd(b, ifd0Entries, 0);
    std::vector<std::uint8_t> header;
    Put32(header, b.Big(), ifd0At);
    std::memcpy(&bytes[4], header.data(), 4);
    return bytes;
}

std::string XmpForSavedPicture(std::string_view xmp, int width, int height, int orientation) {
    std::string result(xmp);
    SetXmpProperty(result, "tiff:Orientation", std::to_string(orientation));
    SetXmpProperty(result, "exif:PixelXDimension", std::to_string(width));
    SetXmpProperty(result, "exif:PixelYDimension", std::to_string(height));
    return result;
}

bool ExifIsBigEndian(std::span<const std::uint8_t> exif) {
    std::vector<std::uint8_t> bytes = WithoutExifHeader(exif);
    return TTiffBytes(bytes).Big();
}

std::vector<TExifText> ExifTextTags(std::span<const std::uint8_t> exif) {
    static const std::uint16_t taken[] = {270, 271, 272, 305, 306, 315, 33432};
    std::vector<std::uint8_t> bytes = WithoutExifHeader(exif);
    TTiffBytes b(bytes);
    std::vector<TExifText> texts;
    for (const TEntry& e : ReadIfd(b, b.U32(4)).Entries) {
        if (e.Type != 2 || std::find(std::begin(taken), std::end(taken), e.Tag) == std::end(taken)) continue;
        const auto [at, size] = ValueSpan(b, e);
        std::string text(reinterpret_cast<const char*>(bytes.data() + at), size);
        text.resize(std::strlen(text.c_str()));
        if (!text.empty()) texts.push_back({e.Tag, text});
    }
    return texts;
}

std::vector<std::uint8_t> MovedExifIfd(std::span<const std::uint8_t> exif, std::uint32_t at) {
    std::vector<std::uint8_t> bytes = WithoutExifHeader(exif);
    TTiffBytes b(bytes);
    const TIfd ifd0 = ReadIfd(b, b.U32(4));
    const TEntry* pointer = ifd0.Find(ExifIfdTag);
    if (!pointer) return {};
    const TIfd exifIfd = ReadIfd(b, PointerValue(b, *pointer));
    std::vector<std::uint8_t> out;
    const TEntry* interop = exifIfd.Find(InteropIfdTag);
    if (!interop) {
        CopyIfd(b, exifIfd, out, at, 0, 0);
        return out;
    }
    // The Interoperability IFD goes behind the Exif IFD, whose size is known once written.
    std::vector<std::uint8_t> first;
    CopyIfd(b, exifIfd, first, at, InteropIfdTag, 0);
    const std::uint32_t interopAt = at + static_cast<std::uint32_t>(first.size() + first.size() % 2);
    CopyIfd(b, exifIfd, out, at, InteropIfdTag, interopAt);
    if (out.size() % 2) out.push_back(0);
    CopyIfd(b, ReadIfd(b, PointerValue(b, *interop)), out, at, 0, 0);
    return out;
}

bool SetIfd0Long(std::vector<std::uint8_t>& tiff, std::uint16_t tag, std::uint32_t value) {
    TTiffBytes b(tiff);
    const TIfd ifd0 = ReadIfd(b, b.U32(4));
    const TEntry* entry = ifd0.Find(tag);
    if (!entry) return false;
    SetNumber(b, entry->At, tag, value, true);
    return true;
}
