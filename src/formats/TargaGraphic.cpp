#include "formats/TargaGraphic.h"

#include "codecs/RLEDecoders.h"
#include "formats/FileFormatList.h"
#include "formats/ReaderStrings.h"
#include "platform/Stream.h"

#include <algorithm>
#include <vector>

const TGraphicClass TTargaGraphicClass = ReaderClass<TTargaGraphic>("TTargaGraphic");

namespace {

struct TTargaHeader {
    std::uint8_t IdLength;
    std::uint8_t ColorMapType;
    std::uint8_t ImageType;
    std::uint16_t ColorMapLength;
    std::uint8_t ColorMapEntrySize;
    std::uint16_t Width;
    std::uint16_t Height;
    std::uint8_t PixelDepth;
    std::uint8_t Descriptor;
};

TTargaHeader ReadHeader(TStream& stream) {
    std::uint8_t b[18];
    stream.ReadBuffer(b, sizeof b);
    return {b[0],  b[1], b[2], ReadLittleEndian16(b + 5), b[7], ReadLittleEndian16(b + 12), ReadLittleEndian16(b + 14),
            b[16], b[17]};
}

bool IsRunLength(std::uint8_t imageType) { return imageType >= 9 && imageType <= 11; }
bool IsGray(std::uint8_t imageType) { return imageType == 3 || imageType == 11; }

// Bytes one colour map entry takes in the file.
unsigned EntryBytes(std::uint8_t entrySize) { return (entrySize + 7u) / 8u; }

// A palette of 15- or 16-bit little-endian entries: five bits each of red, green and blue from
// the high end, each widened by a factor of 8.
TPalette FifteenBitPalette(const std::vector<std::uint8_t>& map, std::uint16_t length) {
    TPalette palette(std::min<std::size_t>(length, 256));
    for (std::size_t i = 0; i < palette.size(); ++i) {
        unsigned v = ReadLittleEndian16(&map[2 * i]);
        palette[i] = {static_cast<std::uint8_t>(8 * ((v >> 10) & 31)), static_cast<std::uint8_t>(8 * ((v >> 5) & 31)),
                      static_cast<std::uint8_t>(8 * (v & 31))};
    }
    return palette;
}

}  // namespace

const char* TTargaGraphic::FormatLabel() const { return gesTarga; }

bool TTargaGraphic::CanLoadStream(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    bool result = false;
    if (stream.Remaining() > 18) {
        TTargaHeader h = ReadHeader(stream);
        auto oneOf = [](unsigned v, std::initializer_list<unsigned> values) {
            return std::find(values.begin(), values.end(), v) != values.end();
        };
        result = (h.ImageType <= 3 || IsRunLength(h.ImageType)) && h.ColorMapType <= 1 &&
                 oneOf(h.ColorMapEntrySize, {15, 16, 24, 32}) && oneOf(h.PixelDepth, {8, 15, 16, 24, 32});
    }
    return result;
}

bool TTargaGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    TImageProperties& p = ImageProperties;
    TTargaHeader h = ReadHeader(stream);
    p.Width = h.Width;
    p.Height = h.Height;
    switch (h.PixelDepth) {
        case 8:
            p.ColorScheme = IsGray(h.ImageType) ? ColorScheme::Gray : ColorScheme::Indexed;
            p.BitsPerSample = 8;
            p.SamplesPerPixel = 1;
            break;
        case 16:
            if (IsGray(h.ImageType)) {
                // Grey with an 8-bit alpha sample after it.
                p.ColorScheme = ColorScheme::GrayAlpha;
                p.BitsPerSample = 8;
                p.SamplesPerPixel = 2;
                break;
            }
            [[fallthrough]];
        case 15:
            p.ColorScheme = ColorScheme::RGB;
            p.BitsPerSample = 5;
            p.SamplesPerPixel = 3;
            break;
        case 24:
            p.ColorScheme = ColorScheme::RGB;
            p.BitsPerSample = 8;
            p.SamplesPerPixel = 3;
            break;
        case 32:
            p.ColorScheme = ColorScheme::RGBA;
            p.BitsPerSample = 8;
            p.SamplesPerPixel = 4;
            break;
        default:
            break;
    }
    p.BitsPerPixel = static_cast<std::uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    p.Compression = IsRunLength(h.ImageType) ? CompressionKind::RLE : CompressionKind::None;
    return true;
}

// What one load keeps besides the properties: the header and the row layout it gives.
struct TTargaGraphic::TLoad {
    TTargaHeader Header;
    std::size_t RowSize = 0;  // bytes of one stored (decoded) row
    bool TopDown = false;     // the first stored row is the top row
    // Grey with alpha decodes into a scratch row first; the bitmap keeps the grey samples.
    bool GrayAlpha = false;
    std::vector<std::uint8_t> Scratch;
};

void TTargaGraphic::LoadFromStream(TStream& stream) {
    BeginLoad(stream);  // a Targa header always describes a picture
    stream.SetPosition(BasePosition);
    TLoad load;
    load.Header = ReadHeader(stream);
    const TTargaHeader& h = load.Header;
    stream.Seek(h.IdLength, TSeekOrigin::Current);
    const TImageProperties& p = ImageProperties;
    SetUpColors(load);
    ReadPalette(load);

    const std::size_t rowSize = std::size_t(p.Width) * ((h.PixelDepth + 7u) / 8u);
    // Settle the size against the data left before the bitmap is made: a header of a few bytes
    // must not claim hundreds of megabytes. Stored rows need all their bytes (a short file fails
    // at its first missing row; one that lacks more than a row is refused here), a picture
    // without image data (type 0) has none, and a run packet of 1 + depth bytes gives at most 128
    // pixels of depth bytes.
    const std::uint64_t imageBytes = std::uint64_t(rowSize) * p.Height;
    const std::uint64_t dataLeft = static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Remaining(), 0));
    CheckImageSize(p.Width, p.Height, imageBytes,
                   IsRunLength(h.ImageType) ? dataLeft * 128
                                            : StoredRowsBound(h.ImageType == 0 ? 0 : dataLeft, rowSize, imageBytes));
    if (h.ImageType != 0 && !IsRunLength(h.ImageType) && imageBytes > dataLeft) throw EReadError();
    SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));
    if (h.ImageType == 0 || Empty()) return;

    load.RowSize = rowSize;
    load.TopDown = (h.Descriptor & 0x20) != 0;
    if (load.GrayAlpha) load.Scratch.resize(rowSize);
    if (IsRunLength(h.ImageType))
        ReadRunLengthRows(load);
    else
        ReadStoredRows(load);
}

void TTargaGraphic::SetUpColors(TLoad& load) {
    const TImageProperties& p = ImageProperties;
    ColorManager.SetSourceSampleCount(p.SamplesPerPixel);
    ColorManager.SetTargetSampleCount(p.SamplesPerPixel);
    ColorManager.SetSourceScheme(p.ColorScheme);
    ColorManager.SourceFlags = 0;
    ColorManager.SetTargetScheme(ColorScheme::BGR);
    ColorManager.SetSourceDepth(p.BitsPerSample);
    ColorManager.SetTargetDepth(p.BitsPerSample);
    load.GrayAlpha = p.ColorScheme == ColorScheme::GrayAlpha;
    SetPixelFormat(load.GrayAlpha ? TPixelFormat::pf8bit : ColorManager.PixelFormatFor(1));
}

void TTargaGraphic::ReadPalette(const TLoad& load) {
    const TTargaHeader& h = load.Header;
    // The colour map stands between the identification field and the rows whenever the header
    // announces one, so it is always passed over, also for grey pictures that do not use it.
    std::vector<std::uint8_t> map;
    if (h.ColorMapType == 1) {
        map.resize(std::size_t(h.ColorMapLength) * EntryBytes(h.ColorMapEntrySize));
        Stream->ReadBuffer(map.data(), map.size());
    }
    if (IsGray(h.ImageType)) {
        SetPalette(ColorManager.MakeGrayPalette(false));
    } else if (h.ColorMapType == 1) {
        const TSourcePlane plane{map.data(), map.size()};
        switch (h.ColorMapEntrySize) {
            case 24:
                SetPalette(
                    ColorManager.MakeColorPalette({&plane, 1}, PaletteLayout::Interleaved8By3, h.ColorMapLength, true));
                break;
            case 32:
                SetPalette(
                    ColorManager.MakeColorPalette({&plane, 1}, PaletteLayout::Interleaved8By4, h.ColorMapLength, true));
                break;
            case 15:
            case 16:
                SetPalette(FifteenBitPalette(map, h.ColorMapLength));
                break;
            default:
                break;
        }
    } else if (PixelFormat() == TPixelFormat::pf8bit) {
        // A colour-mapped picture without its map: show the indices as grey levels.
        SetPalette(ColorManager.MakeGrayPalette(false));
    }
}

std::uint8_t* TTargaGraphic::RowBuffer(TLoad& load, std::uint32_t n) {
    if (load.GrayAlpha) return load.Scratch.data();
    return ScanLine(static_cast<int>(load.TopDown ? n : ImageProperties.Height - 1 - n));
}

void TTargaGraphic::FinishRow(const TLoad& load, std::uint32_t n) {
    if (!load.GrayAlpha) return;
    std::uint8_t* row = ScanLine(static_cast<int>(load.TopDown ? n : ImageProperties.Height - 1 - n));
    for (std::uint32_t x = 0; x < ImageProperties.Width; ++x) row[x] = load.Scratch[2 * x];
}

void TTargaGraphic::ReadStoredRows(TLoad& load) {
    for (std::uint32_t n = 0; n < ImageProperties.Height; ++n) {
        Stream->ReadBuffer(RowBuffer(load, n), load.RowSize);
        FinishRow(load, n);
    }
}

void TTargaGraphic::ReadRunLengthRows(TLoad& load) {
    TTargaRLEDecoder decoder(load.Header.PixelDepth);
    // The packets that end inside a row take at most twice the row's bytes (a header byte for
    // every pixel); the last packet of a row may reach up to 127 pixels past its end and is read
    // whole, so that the next row starts right after it.
    const std::size_t pixelBytes = (load.Header.PixelDepth + 7u) / 8u;
    std::vector<std::uint8_t> packed(2 * load.RowSize + 1 + 128 * pixelBytes);
    for (std::uint32_t n = 0; n < ImageProperties.Height; ++n) {
        std::int64_t rowStart = Stream->Position();
        std::size_t got = Stream->Read(packed.data(), packed.size());
        if (got == 0) break;  // the data ends early: the remaining rows stay as they are
        const std::uint8_t* source = packed.data();
        std::uint8_t* dest = RowBuffer(load, n);
        decoder.Decode(source, dest, static_cast<std::int32_t>(got), static_cast<std::int32_t>(ImageProperties.Width));
        FinishRow(load, n);
        Stream->SetPosition(rowStart + (source - packed.data()));
    }
}
