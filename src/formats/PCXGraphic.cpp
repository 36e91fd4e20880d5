#include "formats/PCXGraphic.h"

#include "codecs/RLEDecoders.h"
#include "formats/FileFormatList.h"
#include "formats/ReaderStrings.h"
#include "platform/Stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

const TGraphicClass TPCXGraphicClass = ReaderClass<TPCXGraphic>("TPCXGraphic");

namespace {

constexpr std::size_t HeaderSize = 128;
constexpr std::int64_t PaletteTrailerSize = 769;
constexpr std::uint8_t PaletteTrailerMark = 12;

struct TPCXHeader {
    std::uint8_t Manufacturer, Version, Encoding, BitsPerPixel;
    std::uint16_t XMin, YMin, XMax, YMax, HRes, VRes;
    std::array<std::uint8_t, 48> Palette;
    std::uint8_t Planes;
    std::uint16_t BytesPerLine, PaletteInfo;
};

TPCXHeader ReadHeader(TStream& stream) {
    std::uint8_t b[HeaderSize];
    stream.ReadBuffer(b, sizeof b);
    TPCXHeader h{b[0],
                 b[1],
                 b[2],
                 b[3],
                 ReadLittleEndian16(b + 4),
                 ReadLittleEndian16(b + 6),
                 ReadLittleEndian16(b + 8),
                 ReadLittleEndian16(b + 10),
                 ReadLittleEndian16(b + 12),
                 ReadLittleEndian16(b + 14),
                 {},
                 b[65],
                 ReadLittleEndian16(b + 66),
                 ReadLittleEndian16(b + 68)};
    std::copy(b + 16, b + 64, h.Palette.begin());
    return h;
}

bool IsPCXManufacturer(std::uint8_t manufacturer) { return manufacturer == 10 || manufacturer == 205; }

// Plane and depth layouts the rows can be converted from: one plane of any depth, four 1-bit
// planes, three or four 8-bit planes. Three 1-bit planes pass the pixel format test as 15 bits
// but have no converter.
bool LayoutConvertible(unsigned planes, unsigned bits) {
    return planes <= 1 || (planes == 4 && bits == 1) || ((planes == 3 || planes == 4) && bits == 8);
}

// Reads the picture data in pieces and hands it out a row at a time, run-length rows through
// the decoder (runs may cross rows), stored rows as they are, so that neither the packed data
// nor the decoded planes are held whole. Where the data ends, the row is completed with zeroes
// and every row after it is zeroes.
class TRowReader {
public:
    TRowReader(TStream& stream, std::uint64_t dataSize, std::size_t rowBytes, bool runLength)
        : stream_(stream),
          left_(dataSize),
          buffer_(static_cast<std::size_t>(std::min<std::uint64_t>(dataSize, PieceSize))),
          row_(rowBytes),
          runLength_(runLength) {
        decoder_.BeginDecoding();
    }

    const std::uint8_t* Next() {
        std::uint8_t* out = row_.data();
        std::size_t needed = row_.size();
        while (needed > 0) {
            if (runLength_) {
                const std::uint8_t* source = buffer_.data() + begin_;
                std::uint8_t* dest = out;
                decoder_.Decode(source, dest, static_cast<std::int32_t>(end_ - begin_),
                                static_cast<std::int32_t>(needed));
                begin_ = static_cast<std::size_t>(source - buffer_.data());
                needed -= static_cast<std::size_t>(dest - out);
                out = dest;
            } else {
                const std::size_t n = std::min(needed, end_ - begin_);
                std::memcpy(out, buffer_.data() + begin_, n);
                begin_ += n;
                needed -= n;
                out += n;
            }
            if (needed > 0 && !Refill()) {
                std::memset(out, 0, needed);
                break;
            }
        }
        return row_.data();
    }

private:
    static constexpr std::uint64_t PieceSize = 1 << 18;

    // Keeps what is left unread (a count byte whose value is in the next piece) and reads more;
    // false when the data is all read.
    bool Refill() {
        if (left_ == 0) return false;
        const std::size_t kept = end_ - begin_;
        std::memmove(buffer_.data(), buffer_.data() + begin_, kept);
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, buffer_.size() - kept));
        stream_.ReadBuffer(buffer_.data() + kept, n);
        left_ -= n;
        begin_ = 0;
        end_ = kept + n;
        return n > 0;
    }

    TStream& stream_;
    std::uint64_t left_;
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0, end_ = 0;
    std::vector<std::uint8_t> row_;
    TPCXRLEDecoder decoder_;
    bool runLength_;
};

// Four 1-bit planes into 4-bit pixels, two to a byte with the first in the high half: a pixel
// takes bit 7 of the current byte of plane 3, 2, 1, 0 as its bits 3, 2, 1, 0.
void MergeFourPlanes(const std::uint8_t* row, std::size_t planeRow, std::uint8_t* target, std::uint32_t width) {
    std::uint8_t planeBytes[4] = {};
    for (std::uint32_t x = 0; x < width; ++x) {
        if (x % 8 == 0)
            for (unsigned k = 0; k < 4; ++k) planeBytes[k] = row[k * planeRow + x / 8];
        unsigned pixel = 0;
        for (int k = 3; k >= 0; --k) {
            pixel = (pixel << 1) | (planeBytes[k] >> 7);
            planeBytes[k] = static_cast<std::uint8_t>(planeBytes[k] << 1);
        }
        if (x % 2 == 0)
            target[x / 2] = static_cast<std::uint8_t>(pixel << 4);
        else
            target[x / 2] = static_cast<std::uint8_t>(target[x / 2] | pixel);
    }
}

}  // namespace

const TPalette& StandardVGAPalette() {
    static const TPalette palette = {
        {0, 0, 0},     {0, 0, 170},     {0, 170, 0},    {0, 170, 170},   {170, 0, 0},   {170, 0, 170},
        {170, 85, 0},  {170, 170, 170}, {85, 85, 85},   {85, 85, 255},   {85, 255, 85}, {85, 255, 255},
        {255, 85, 85}, {255, 85, 255},  {255, 255, 85}, {255, 255, 255},
    };
    return palette;
}

const char* TPCXGraphic::FormatLabel() const { return gesPCXOrSCR; }

bool TPCXGraphic::CanLoadStream(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    bool result = false;
    if (stream.Remaining() > static_cast<std::int64_t>(HeaderSize)) {
        TPCXHeader h = ReadHeader(stream);
        result = (h.Manufacturer == 10 || h.Manufacturer == 12) &&
                 (h.Version == 0 || h.Version == 2 || h.Version == 3 || h.Version == 5) && h.Encoding <= 1;
    }
    return result;
}

bool TPCXGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    TPCXHeader h = ReadHeader(stream);
    if (!IsPCXManufacturer(h.Manufacturer)) return false;
    TImageProperties& p = ImageProperties;
    // Coordinates wrap as 16-bit values, as the format stores them.
    p.Width = static_cast<std::uint16_t>(h.XMax - h.XMin + 1);
    p.Height = static_cast<std::uint16_t>(h.YMax - h.YMin + 1);
    p.SamplesPerPixel = h.Planes;
    p.BitsPerSample = h.BitsPerPixel;
    p.BitsPerPixel = static_cast<std::uint8_t>(h.Planes * h.BitsPerPixel);
    p.ColorScheme = p.BitsPerPixel > 8 ? ColorScheme::RGB : ColorScheme::Indexed;
    p.Compression = h.Encoding == 1 ? CompressionKind::RLE : CompressionKind::None;
    p.XResolution = h.HRes;
    p.YResolution = h.VRes;
    return true;
}

// What one load keeps besides the properties: the header and the layout it gives.
struct TPCXGraphic::TLoad {
    TPCXHeader Header{};
    unsigned Planes = 0, Bits = 0;
    bool FourPlanes = false;  // 16 colours in four 1-bit planes
    bool Planar = false;      // three or four 8-bit planes, converted as separate sources
    TPixelFormat Format = TPixelFormat::pfCustom;
    bool HasTrailer = false;  // the 769-byte palette trailer of 8-bit files is there
};

void TPCXGraphic::LoadFromStream(TStream& stream) {
    // The content test also claims manufacturer 12, which the header check refuses.
    if (!BeginLoad(stream)) GraphicError(gesInvalidImage, ErrorLabel());
    stream.SetPosition(BasePosition);
    TLoad load;
    load.Header = ReadHeader(stream);
    const TPCXHeader& h = load.Header;

    const TImageProperties& p = ImageProperties;
    SetUpColors(load);
    ReadPalette(load);

    const unsigned planes = load.Planes, bits = load.Bits;
    const std::int64_t streamEnd = stream.Size();
    const std::uint64_t planeRow = h.BytesPerLine;
    const std::uint64_t stride = planes * planeRow;
    // A plane row must hold the picture's width, or the rows would be read beyond their ends.
    if (planeRow * 8 < std::uint64_t(p.Width) * bits) GraphicError(gesInvalidImage, ErrorLabel());
    std::int64_t dataSize =
        streamEnd - (BasePosition + std::int64_t(HeaderSize)) - (load.HasTrailer ? PaletteTrailerSize : 0);
    dataSize = std::max<std::int64_t>(dataSize, 0);
    const bool runLength = p.Compression == CompressionKind::RLE;
    // Stored rows must all be there but the last; a run of two bytes stands for at most 63 bytes.
    const std::uint64_t needed = stride * p.Height;
    CheckImageSize(p.Width, p.Height, needed,
                   runLength ? std::uint64_t(dataSize) * 32 : StoredRowsBound(std::uint64_t(dataSize), stride, needed));
    SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));
    if (Empty()) return;

    TRowReader reader(stream, std::uint64_t(dataSize), stride, runLength);
    for (std::uint32_t y = 0; y < p.Height; ++y) ConvertRow(load, reader.Next(), static_cast<int>(y));
}

void TPCXGraphic::SetUpColors(TLoad& load) {
    const TImageProperties& p = ImageProperties;
    const unsigned planes = load.Planes = load.Header.Planes, bits = load.Bits = load.Header.BitsPerPixel;
    const bool indexed = p.ColorScheme == ColorScheme::Indexed;
    // Four planes of 8 bits carry an alpha plane after red, green and blue.
    const bool withAlpha = planes == 4 && bits == 8;
    ColorManager.SetSourceScheme(withAlpha ? ColorScheme::RGBA : p.ColorScheme);
    ColorManager.SetSourceDepth(p.BitsPerSample);
    ColorManager.SetSourceSampleCount(p.SamplesPerPixel);
    ColorManager.SetTargetScheme(indexed ? ColorScheme::Indexed : withAlpha ? ColorScheme::BGRA : ColorScheme::BGR);
    ColorManager.SetTargetDepth(p.BitsPerPixel == 2 ? 4 : p.BitsPerSample);
    ColorManager.SetTargetSampleCount(p.SamplesPerPixel);

    load.FourPlanes = planes == 4 && bits == 1;
    TPixelFormat format = ColorManager.PixelFormatFor(1);
    if (format == TPixelFormat::pfCustom && load.FourPlanes) format = TPixelFormat::pf4bit;
    load.Planar = (planes == 3 || planes == 4) && bits == 8;
    if (format == TPixelFormat::pfCustom || !LayoutConvertible(planes, bits))
        GraphicError(gesInvalidColorFormat, gesPCX);
    load.Format = format;
    SetPixelFormat(format);
}

void TPCXGraphic::ReadPalette(TLoad& load) {
    const TPCXHeader& h = load.Header;
    const TPixelFormat format = load.Format;
    const std::int64_t streamEnd = Stream->Size();
    if (format == TPixelFormat::pf8bit && streamEnd - PaletteTrailerSize >= BasePosition + std::int64_t(HeaderSize)) {
        const TStreamPositionKeeper keep(*Stream);
        Stream->SetPosition(streamEnd - PaletteTrailerSize);
        load.HasTrailer = Stream->ReadValue<std::uint8_t>() == PaletteTrailerMark;
        if (load.HasTrailer) {
            std::uint8_t colours[768];
            Stream->ReadBuffer(colours, sizeof colours);
            const TSourcePlane plane{colours, sizeof colours};
            SetPalette(ColorManager.MakeColorPalette({&plane, 1}, PaletteLayout::Interleaved8By3, 256, false));
        }
    }
    if (format == TPixelFormat::pf24bit || format == TPixelFormat::pf32bit) return;
    if (h.Version == 3 && format != TPixelFormat::pf1bit) {
        SetPalette(StandardVGAPalette());
    } else if (format == TPixelFormat::pf1bit) {
        SetPalette(ColorManager.MakeGrayPalette(false));
    } else if (format == TPixelFormat::pf4bit) {
        if (h.PaletteInfo == 2) {
            SetPalette(ColorManager.MakeGrayPalette(false));
        } else {
            const TSourcePlane plane{h.Palette.data(), h.Palette.size()};
            SetPalette(ColorManager.MakeColorPalette({&plane, 1}, PaletteLayout::Interleaved8By3, 16, false));
        }
    } else if (!load.HasTrailer && h.PaletteInfo == 2) {
        SetPalette(ColorManager.MakeGrayPalette(false));
    }
}

void TPCXGraphic::ConvertRow(const TLoad& load, const std::uint8_t* row, int y) {
    const std::size_t planeRow = load.Header.BytesPerLine;
    const std::uint32_t width = ImageProperties.Width;
    std::uint8_t* target = ScanLine(y);
    if (load.FourPlanes) {
        MergeFourPlanes(row, planeRow, target, width);
    } else if (load.Planar) {
        std::array<TSourcePlane, 4> sources;
        for (unsigned k = 0; k < load.Planes; ++k) sources[k] = {row + k * planeRow, planeRow};
        ColorManager.ConvertLine({sources.data(), load.Planes}, target, Stride(), width);
    } else {
        ColorManager.ConvertLine(row, load.Planes * planeRow, target, Stride(), width);
    }
}
