// Windows bitmap files: reading every common variant into TBitmap, writing 24-bit ones.
#include "AtomicFile.h"
#include "Bitmap.h"
#include "Dib.h"
#include "Exception.h"
#include "PictureFiles.h"
#include "Stream.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <functional>
#include <vector>

namespace {

const char* const BitmapLabel = "Windows bitmap";

bool IsContiguous(std::uint32_t mask) {
    if (mask == 0) return false;
    std::uint32_t shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0;
}

// A masked channel widened (or narrowed) to 8 bits, rounding to nearest.
struct TChannel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint32_t Max = 0;
    explicit TChannel(std::uint32_t mask) : Mask(mask) {
        if (mask) {
            Shift = std::countr_zero(mask);
            Max = mask >> Shift;
        }
    }
    std::uint8_t Of(std::uint32_t pixel) const {
        if (!Max) return 255;
        std::uint32_t v = (pixel & Mask) >> Shift;
        return static_cast<std::uint8_t>((static_cast<std::uint64_t>(v) * 255 + Max / 2) / Max);
    }
};

void ValidateMasks(const TDibHeader& header, const char* label) {
    std::uint32_t seen = 0;
    std::uint32_t limit = header.BitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t m = header.Masks[i];
        if (i == 3 && m == 0) continue;
        if (!IsContiguous(m) || (m & seen) || (m & ~limit))
            throw EInvalidGraphic(FormatText("Cannot load image. Invalid color masks in %s file.", label));
        seen |= m;
    }
}

// Sets one palette index in an indexed row.
inline void PutIndex(std::uint8_t* row, int bitCount, int x, std::uint8_t index) {
    if (bitCount == 8) {
        row[x] = index;
    } else if (x & 1) {
        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0) | (index & 0x0F));
    } else {
        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0F) | (index << 4));
    }
}

// RLE8 and RLE4: runs are clipped at the end of their row, deltas and rows past the picture end
// the decoding. Data that stops without an end-of-bitmap mark leaves the rest at index 0.
void DecodeRle(const std::vector<std::uint8_t>& data, const TDibHeader& header, TBitmap& bitmap) {
    const int w = header.Width, h = header.Height, bits = header.BitCount;
    std::size_t i = 0;
    const std::size_t n = data.size();
    int x = 0, y = 0;  // y counts from the bottom row
    while (y < h && i + 1 < n) {
        std::uint8_t count = data[i], value = data[i + 1];
        i += 2;
        std::uint8_t* row = bitmap.ScanLine(h - 1 - y);
        if (count > 0) {
            for (int k = 0; k < count && x < w; ++k, ++x) {
                std::uint8_t index = bits == 8 ? value : ((k & 1) ? (value & 0x0F) : (value >> 4));
                PutIndex(row, bits, x, index);
            }
            continue;
        }
        switch (value) {
            case 0:
                x = 0;
                ++y;
                break;  // end of line
            case 1:
                return;  // end of bitmap
            case 2:      // delta
                if (i + 1 >= n) return;
                x += data[i];
                y += data[i + 1];
                i += 2;
                break;
            default: {  // absolute run of `value` pixels, word aligned
                std::size_t bytes = bits == 8 ? value : (value + 1u) / 2;
                if (i + bytes > n) return;
                for (int k = 0; k < value && x < w; ++k, ++x) {
                    std::uint8_t index = bits == 8 ? data[i + static_cast<std::size_t>(k)]
                                                   : ((k & 1) ? (data[i + static_cast<std::size_t>(k / 2)] & 0x0F)
                                                              : (data[i + static_cast<std::size_t>(k / 2)] >> 4));
                    PutIndex(row, bits, x, index);
                }
                i += (bytes + 1) & ~std::size_t{1};
                break;
            }
        }
    }
}

bool StandardMasks32(const TDibHeader& h) {
    return h.Masks[0] == 0x00FF0000 && h.Masks[1] == 0x0000FF00 && h.Masks[2] == 0x000000FF &&
           (h.Masks[3] == 0 || h.Masks[3] == 0xFF000000);
}

bool Masks555(const TDibHeader& h) {
    return h.Masks[0] == 0x7C00 && h.Masks[1] == 0x03E0 && h.Masks[2] == 0x001F && h.Masks[3] == 0;
}

}  // namespace

[[noreturn]] void RaiseInvalidPicture(const char* label) {
    throw EInvalidGraphic(FormatText("Cannot load image. Invalid or unexpected %s image format.", label));
}

void CheckPictureSize(std::uint64_t width, std::uint64_t height, std::uint64_t bytesNeeded,
                      std::uint64_t bytesAvailable) {
    if (width > INT_MAX || height > INT_MAX || (height != 0 && width > MaxPicturePixels / height) ||
        bytesNeeded > bytesAvailable)
        throw EInvalidGraphic(FormatText("Cannot load image. The picture is too large (%llu x %llu pixels).",
                                         static_cast<unsigned long long>(width),
                                         static_cast<unsigned long long>(height)));
}

TDibHeader ReadDibHeader(TStream& stream, std::int64_t end, const char* label) {
    TDibHeader h;
    std::int64_t start = stream.Position();
    std::uint8_t b[124] = {};
    if (end - start < 4) throw EReadError();
    stream.ReadBuffer(b, 4);
    h.HeaderSize = ReadLittleEndian32(b);
    if (h.HeaderSize == 12) {
        h.Core = true;
        if (end - start < 12) throw EReadError();
        stream.ReadBuffer(b + 4, 8);
        h.Width = ReadLittleEndian16(b + 4);
        h.Height = ReadLittleEndian16(b + 6);
        if (ReadLittleEndian16(b + 8) != 1) RaiseInvalidPicture(label);
        h.BitCount = ReadLittleEndian16(b + 10);
    } else if (h.HeaderSize >= 16 && h.HeaderSize <= 4096) {
        if (end - start < h.HeaderSize) throw EReadError();
        std::uint32_t take = std::min<std::uint32_t>(h.HeaderSize, sizeof b);
        stream.ReadBuffer(b + 4, take - 4);
        std::int32_t width = static_cast<std::int32_t>(ReadLittleEndian32(b + 4));
        std::int32_t height = static_cast<std::int32_t>(ReadLittleEndian32(b + 8));
        if (width <= 0 || height == 0 || height == INT_MIN) RaiseInvalidPicture(label);
        h.Width = width;
        h.TopDown = height < 0;
        h.Height = height < 0 ? -height : height;
        if (ReadLittleEndian16(b + 12) != 1) RaiseInvalidPicture(label);
        h.BitCount = ReadLittleEndian16(b + 14);
        if (h.HeaderSize >= 20) h.Compression = ReadLittleEndian32(b + 16);
        if (h.HeaderSize >= 24) h.SizeImage = ReadLittleEndian32(b + 20);
        if (h.HeaderSize >= 36) h.ColorsUsed = ReadLittleEndian32(b + 32);
        // OS/2 2.x headers (16 to 64 bytes but none of Windows' sizes) give compression 3 and 4
        // other meanings (Huffman 1D, RLE24), which no one writes any more.
        bool os2 =
            h.HeaderSize < 40 || (h.HeaderSize > 40 && h.HeaderSize < 108 && h.HeaderSize != 52 && h.HeaderSize != 56);
        if (os2 && (h.Compression == BI_BITFIELDS || h.Compression == BI_JPEG)) h.Compression = 0xFFFFFFFF;
        if (h.HeaderSize >= 52 && !os2) {
            for (int i = 0; i < 3; ++i) h.Masks[i] = ReadLittleEndian32(b + 40 + 4 * i);
            if (h.HeaderSize >= 56) h.Masks[3] = ReadLittleEndian32(b + 52);
        }
        stream.SetPosition(start + h.HeaderSize);
    } else {
        RaiseInvalidPicture(label);
    }
    if (h.Width <= 0 || h.Height <= 0) RaiseInvalidPicture(label);

    switch (h.BitCount) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            throw EInvalidGraphic(
                FormatText("Cannot load image. %d bits per pixel are not supported for %s files.", h.BitCount, label));
    }
    bool compressionFits = false;
    switch (h.Compression) {
        case BI_RGB:
            compressionFits = true;
            break;
        case BI_RLE8:
            compressionFits = h.BitCount == 8 && !h.TopDown;
            break;
        case BI_RLE4:
            compressionFits = h.BitCount == 4 && !h.TopDown;
            break;
        case BI_BITFIELDS:
        case BI_ALPHABITFIELDS:
            compressionFits = h.BitCount == 16 || h.BitCount == 32;
            break;
        default:
            throw EInvalidGraphic(
                FormatText("Cannot load image. %s not supported for %s files.", "The compression scheme is", label));
    }
    if (!compressionFits) RaiseInvalidPicture(label);
    CheckPictureSize(static_cast<std::uint64_t>(h.Width), static_cast<std::uint64_t>(h.Height));

    if (h.Compression == BI_BITFIELDS || h.Compression == BI_ALPHABITFIELDS) {
        if (h.HeaderSize < 52 || (h.Compression == BI_ALPHABITFIELDS && h.HeaderSize < 56)) {
            // The masks follow a short header.
            int count = h.Compression == BI_ALPHABITFIELDS ? 4 : 3;
            if (end - stream.Position() < 4 * count) throw EReadError();
            std::uint8_t m[16];
            stream.ReadBuffer(m, 4 * static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i) h.Masks[i] = ReadLittleEndian32(m + 4 * i);
        }
        if (h.Compression == BI_BITFIELDS && h.HeaderSize < 56) h.Masks[3] = 0;
        ValidateMasks(h, label);
    } else if (h.BitCount == 16) {
        h.Masks[0] = 0x7C00;
        h.Masks[1] = 0x03E0;
        h.Masks[2] = 0x001F;
        h.Masks[3] = 0;
    } else if (h.BitCount == 32) {
        h.Masks[0] = 0x00FF0000;
        h.Masks[1] = 0x0000FF00;
        h.Masks[2] = 0x000000FF;
        h.Masks[3] = 0;
    }

    if (h.BitCount <= 8) {
        std::uint32_t full = 1u << h.BitCount;
        std::uint32_t count = h.ColorsUsed ? h.ColorsUsed : full;
        if (count > full) throw EInvalidGraphic(FormatText("Cannot load image. Palette in %s file is invalid.", label));
        std::size_t entrySize = h.Core ? 3 : 4;
        std::size_t bytes = count * entrySize;
        if (end - stream.Position() < static_cast<std::int64_t>(bytes)) throw EReadError();
        std::vector<std::uint8_t> raw(bytes);
        stream.ReadBuffer(raw.data(), bytes);
        // Indices past the stored entries show black instead of reading beyond the palette.
        h.Palette.assign(full, TRGBEntry{});
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* e = raw.data() + i * entrySize;
            h.Palette[i] = TRGBEntry{e[2], e[1], e[0]};
        }
    } else if (h.ColorsUsed > 0 && h.ColorsUsed <= 256) {
        // A palette for display devices with few colours; the pixels do not need it.
        std::int64_t skip = 4 * static_cast<std::int64_t>(h.ColorsUsed);
        stream.SetPosition(std::min(end, stream.Position() + skip));
    }
    h.End = stream.Position();
    return h;
}

void ReadDibPixels(TStream& stream, const TDibHeader& header, std::int64_t pixelStart, std::int64_t end,
                   TBitmap& bitmap, const char* label) {
    const int w = header.Width, h = header.Height, bits = header.BitCount;
    if (pixelStart < 0 || pixelStart > end) RaiseInvalidPicture(label);

    if (header.Compression == BI_RLE8 || header.Compression == BI_RLE4) {
        std::int64_t available = end - pixelStart;
        if (header.SizeImage > 0 && header.SizeImage < available) available = header.SizeImage;
        // A run of two bytes paints at most 255 pixels. End-of-line, delta and end-of-bitmap codes
        // leave pixels unpainted at no cost, but encoders paint every pixel: a picture of more
        // than 128 pixels per byte is not one of theirs.
        CheckPictureSize(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h),
                         static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h),
                         static_cast<std::uint64_t>(available) * 128);
        std::vector<std::uint8_t> data(static_cast<std::size_t>(available));
        stream.SetPosition(pixelStart);
        stream.ReadBuffer(data.data(), data.size());
        bitmap.SetPixelFormat(bits == 8 ? TPixelFormat::pf8bit : TPixelFormat::pf4bit);
        bitmap.SetSize(w, h);
        bitmap.SetPalette(header.Palette);
        DecodeRle(data, header, bitmap);
        return;
    }

    const std::size_t fileStride = DibStride(w, bits);
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * static_cast<std::size_t>(bits) + 7) / 8;
    // The last row may lack its padding; everything else must be there before we allocate. Rows
    // missing beyond the last make the picture too large for its data.
    std::uint64_t needed = static_cast<std::uint64_t>(fileStride) * static_cast<std::uint64_t>(h - 1) + rowBytes;
    CheckPictureSize(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h), needed,
                     StoredRowsBound(static_cast<std::uint64_t>(end - pixelStart), fileStride, needed));
    if (static_cast<std::uint64_t>(end - pixelStart) < needed) throw EReadError();

    bool direct =
        bits <= 8 || bits == 24 || (bits == 16 && Masks555(header)) || (bits == 32 && StandardMasks32(header));
    TPixelFormat format;
    switch (bits) {
        case 1:
            format = TPixelFormat::pf1bit;
            break;
        case 4:
            format = TPixelFormat::pf4bit;
            break;
        case 8:
            format = TPixelFormat::pf8bit;
            break;
        case 16:
            format = direct ? TPixelFormat::pf15bit : (header.Masks[3] ? TPixelFormat::pf32bit : TPixelFormat::pf24bit);
            break;
        case 24:
            format = TPixelFormat::pf24bit;
            break;
        default:
            format = direct || header.Masks[3] ? TPixelFormat::pf32bit : TPixelFormat::pf24bit;
            break;
    }
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(w, h);
    if (bits <= 8) bitmap.SetPalette(header.Palette);

    std::vector<std::uint8_t> raw(direct ? 0 : rowBytes);
    const TChannel red(header.Masks[0]), green(header.Masks[1]), blue(header.Masks[2]), alpha(header.Masks[3]);
    for (int i = 0; i < h; ++i) {
        stream.SetPosition(pixelStart + static_cast<std::int64_t>(fileStride) * i);
        std::uint8_t* row = bitmap.ScanLine(header.TopDown ? i : h - 1 - i);
        if (direct) {
            stream.ReadBuffer(row, rowBytes);
            continue;
        }
        stream.ReadBuffer(raw.data(), rowBytes);
        const int outBytes = format == TPixelFormat::pf32bit ? 4 : 3;
        for (int x = 0; x < w; ++x) {
            std::uint32_t p = bits == 16 ? ReadLittleEndian16(&raw[2 * static_cast<std::size_t>(x)])
                                         : ReadLittleEndian32(&raw[4 * static_cast<std::size_t>(x)]);
            std::uint8_t* out = row + static_cast<std::size_t>(x) * outBytes;
            out[0] = blue.Of(p);
            out[1] = green.Of(p);
            out[2] = red.Of(p);
            if (outBytes == 4) out[3] = alpha.Of(p);
        }
    }
}

void TBitmap::LoadFromStream(TStream& stream) {
    ReleaseImage();
    const std::int64_t base = stream.Position();
    const std::int64_t end = stream.Size();
    std::uint8_t fileHeader[14];
    // Anything not starting with "BM" is no bitmap, however short; a bitmap cut short is.
    std::size_t got = stream.Read(fileHeader, sizeof fileHeader);
    if (got < 2 || fileHeader[0] != 'B' || fileHeader[1] != 'M') RaiseInvalidPicture(BitmapLabel);
    if (got < sizeof fileHeader) throw EReadError();
    std::uint32_t offBits = ReadLittleEndian32(fileHeader + 10);
    TDibHeader header = ReadDibHeader(stream, end, BitmapLabel);
    std::int64_t pixelStart;
    if (offBits == 0) {
        pixelStart = header.End;  // some writers leave the offset out
    } else {
        if (offBits < 14 + header.HeaderSize) RaiseInvalidPicture(BitmapLabel);
        pixelStart = base + offBits;
    }
    ReadDibPixels(stream, header, pixelStart, end, *this, BitmapLabel);
}

void TBitmap::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenRead);
    LoadFromStream(file);
}

// ---- Writing ----

TBgrView BgrViewOf(const TBitmap& bitmap) {
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit && !bitmap.Empty())
        throw EInvalidGraphic("Only 24-bit bitmaps can be viewed as B, G, R rows.");
    return TBgrView{bitmap.Bits(), bitmap.Width(), bitmap.Height(), static_cast<std::ptrdiff_t>(bitmap.Stride())};
}

namespace {
void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = v & 0xFF;
    p[1] = (v >> 8) & 0xFF;
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}
}  // namespace

namespace {

// The file and information headers of a 24-bit bitmap of width × height (both above 0).
void WriteBmpHeaders(int width, int height, TStream& stream) {
    const std::size_t stride = DibStride(width, 24);
    const std::uint64_t imageSize = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
    if (imageSize + 54 > 0xFFFFFFFFu) throw EInvalidGraphic("The picture is too large for a Windows bitmap file.");
    std::uint8_t head[54] = {};
    head[0] = 'B';
    head[1] = 'M';
    Put32(head + 2, static_cast<std::uint32_t>(imageSize + 54));
    Put32(head + 10, 54);
    Put32(head + 14, 40);
    Put32(head + 18, static_cast<std::uint32_t>(width));
    Put32(head + 22, static_cast<std::uint32_t>(height));  // positive: bottom-up rows
    Put16(head + 26, 1);
    Put16(head + 28, 24);
    Put32(head + 34, static_cast<std::uint32_t>(imageSize));
    stream.WriteBuffer(head, sizeof head);
}

// Rows of a view from the bottom one up, each followed by zeroes up to the row's 4-byte end.
void WriteBmpRows(const TBgrView& view, TStream& stream) {
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(view.Width);
    const std::uint8_t padding[3] = {};
    const std::size_t paddingBytes = DibStride(view.Width, 24) - rowBytes;
    for (int y = view.Height - 1; y >= 0; --y) {
        stream.WriteBuffer(view.Row(y), rowBytes);
        if (paddingBytes > 0) stream.WriteBuffer(padding, paddingBytes);
    }
}

bool IsEmpty(const TBgrView& view) { return view.Width <= 0 || view.Height <= 0 || !view.Bits; }

}  // namespace

void WriteBmpStream(const TBgrView& view, TStream& stream) {
    if (IsEmpty(view)) throw EInvalidGraphic("Cannot save an empty picture.");
    WriteBmpHeaders(view.Width, view.Height, stream);
    WriteBmpRows(view, stream);
}

void SaveBmpFile(const TBgrView& view, const std::string& fileName) {
    if (IsEmpty(view)) throw EInvalidGraphic("Cannot save an empty picture.");
    WriteFileAtomically(fileName, [&view](TStream& stream) { WriteBmpStream(view, stream); });
}

void SaveBmpFileInBands(int width, int height, const std::string& fileName,
                        const std::function<void(const TBmpBandWriter&)>& produce) {
    if (width <= 0 || height <= 0) throw EInvalidGraphic("Cannot save an empty picture.");
    WriteFileAtomically(fileName, [&](TStream& stream) {
        WriteBmpHeaders(width, height, stream);
        const std::int64_t stride = static_cast<std::int64_t>(DibStride(width, 24));
        int next = 0;  // the first row not yet written
        produce([&](int first, const TBgrView& band) {
            if (first != next || band.Width != width || band.Height <= 0 || band.Height > height - first)
                throw EInvalidGraphic("Rows of a bitmap file were handed over out of order.");
            // The file holds the rows bottom-up: this band ends where the previous one began.
            stream.SetPosition(54 + (height - first - band.Height) * stride);
            WriteBmpRows(band, stream);
            next = first + band.Height;
        });
        if (next != height) throw EInvalidGraphic("Rows of a bitmap file were not all handed over.");
    });
}

namespace {
// Any pixel format as a 24-bit bitmap; a pf24bit one is used as it is.
const TBitmap& As24Bit(const TBitmap& source, TBitmap& scratch) {
    if (source.PixelFormat() == TPixelFormat::pf24bit) return source;
    scratch.SetPixelFormat(TPixelFormat::pf24bit);
    scratch.SetSize(source.Width(), source.Height());
    for (int y = 0; y < source.Height(); ++y) {
        std::uint8_t* out = scratch.ScanLine(y);
        for (int x = 0; x < source.Width(); ++x) {
            TColor c = source.Pixel(x, y);
            out[3 * x] = BlueOf(c);
            out[3 * x + 1] = GreenOf(c);
            out[3 * x + 2] = RedOf(c);
        }
    }
    return scratch;
}
}  // namespace

void TBitmap::SaveToStream(TStream& stream) const {
    TBitmap scratch;
    WriteBmpStream(BgrViewOf(As24Bit(*this, scratch)), stream);
}

void TBitmap::SaveToFile(const std::string& fileName) const {
    TBitmap scratch;
    SaveBmpFile(BgrViewOf(As24Bit(*this, scratch)), fileName);
}
