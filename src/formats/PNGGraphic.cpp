#include "formats/PNGGraphic.h"

#include "codecs/LZ77Decoder.h"
#include "formats/FileFormatList.h"
#include "formats/PNGMetadata.h"
#include "formats/ReaderStrings.h"
#include "platform/ColorProfile.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

const TGraphicClass TPNGGraphicClass = ReaderClass<TPNGGraphic>("TPNGGraphic");

namespace {

const std::uint8_t PNGSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// Chunk types as big-endian words with bit 5 of every letter cleared, so that the comparison
// ignores letter case.
constexpr std::uint32_t IHDR = PngChunkType("IHDR");
constexpr std::uint32_t IDAT = PngChunkType("IDAT");
constexpr std::uint32_t IEND = PngChunkType("IEND");
constexpr std::uint32_t PLTE = PngChunkType("PLTE");
constexpr std::uint32_t GAMA = PngChunkType("gAMA");
constexpr std::uint32_t BKGD = PngChunkType("bKGD");
constexpr std::uint32_t TRNS = PngChunkType("tRNS");

// The largest chunk length the PNG format allows.
constexpr std::uint32_t MaxChunkLength = 0x7FFFFFFFu;

struct TAdam7Pass {
    unsigned FirstRow, RowStep, FirstColumn, ColumnStep;
    std::uint8_t Mask;
};
constexpr TAdam7Pass Adam7[7] = {
    {0, 8, 0, 8, 128}, {0, 8, 4, 8, 8},  {4, 8, 0, 4, 136}, {0, 4, 2, 4, 34},
    {2, 4, 0, 2, 170}, {0, 2, 1, 2, 85}, {1, 2, 0, 1, 255},
};

// Bytes of a filtered row of width pixels, the filter type byte included.
std::uint64_t RowLength(std::uint64_t width, unsigned bitDepth, unsigned channels) {
    return (width * bitDepth * channels + 7) / 8 + 1;
}

std::uint8_t PaethPredictor(int a, int b, int c) {
    int p = a + b - c;
    int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    if (pb <= pc) return static_cast<std::uint8_t>(b);
    return static_cast<std::uint8_t>(c);
}

// Undoes the row filter in place; row[0] is the filter type, previous the unfiltered row above.
void Unfilter(std::uint8_t* row, const std::uint8_t* previous, std::size_t length, unsigned bpp) {
    std::uint8_t* x = row + 1;
    const std::uint8_t* b = previous + 1;
    std::size_t n = length - 1;
    switch (row[0]) {
        case 1:
            for (std::size_t i = bpp; i < n; ++i) x[i] = static_cast<std::uint8_t>(x[i] + x[i - bpp]);
            break;
        case 2:
            for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<std::uint8_t>(x[i] + b[i]);
            break;
        case 3:
            for (std::size_t i = 0; i < n; ++i) {
                unsigned a = i >= bpp ? x[i - bpp] : 0;
                x[i] = static_cast<std::uint8_t>(x[i] + ((a + b[i]) >> 1));
            }
            break;
        case 4:
            for (std::size_t i = 0; i < n; ++i) {
                int a = i >= bpp ? x[i - bpp] : 0, c = i >= bpp ? b[i - bpp] : 0;
                x[i] = static_cast<std::uint8_t>(x[i] + PaethPredictor(a, b[i], c));
            }
            break;
        default:  // 0 (None) and unknown filter types leave the bytes as they are
            break;
    }
}

// A sample of the given depth as an 8-bit value the way a transparent colour is stated.
std::uint8_t TransparentLevel(std::uint16_t value, unsigned bitDepth) {
    if (bitDepth == 16) return static_cast<std::uint8_t>(MulDiv16(value, 255, 65535));
    if (bitDepth == 2) return static_cast<std::uint8_t>(value * 5);
    return static_cast<std::uint8_t>(value);
}

using TColorType = TPNGGraphic::TColorType;

// How the samples of a colour type are stored and converted.
struct TColorTypeLayout {
    ColorScheme Source = ColorScheme::Unknown;  // also the scheme the properties state
    ColorScheme Target = ColorScheme::Unknown;
    unsigned Samples = 1;   // the colour manager's sample count (grey and alpha read as one)
    unsigned Channels = 1;  // samples stored per pixel
};

TColorTypeLayout LayoutOf(TColorType type) {
    switch (type) {
        case TColorType::Gray:
            return {ColorScheme::Gray, ColorScheme::Gray, 1, 1};
        case TColorType::RGB:
            return {ColorScheme::RGB, ColorScheme::BGR, 3, 3};
        case TColorType::Indexed:
            return {ColorScheme::Indexed, ColorScheme::Indexed, 1, 1};
        case TColorType::GrayAlpha:
            return {ColorScheme::GrayAlpha, ColorScheme::Indexed, 1, 2};
        case TColorType::RGBA:
            return {ColorScheme::RGBA, ColorScheme::BGRA, 4, 4};
    }
    return {};
}

// The bit depths the format allows for a colour type.
bool DepthAccepted(TColorType type, unsigned depth) {
    switch (type) {
        case TColorType::Gray:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case TColorType::Indexed:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case TColorType::RGB:
        case TColorType::GrayAlpha:
        case TColorType::RGBA:
            return depth == 8 || depth == 16;
    }
    return false;
}

// Bytes of filtered rows the image data holds: every row, or the rows of every pass.
std::uint64_t ImageDataSize(std::uint32_t width, std::uint32_t height, unsigned depth, unsigned channels,
                            bool interlaced) {
    if (!interlaced) return RowLength(width, depth, channels) * height;
    std::uint64_t size = 0;
    for (const TAdam7Pass& pass : Adam7) {
        if (pass.FirstColumn >= width || pass.FirstRow >= height) continue;
        std::uint64_t columns = (width - pass.FirstColumn + pass.ColumnStep - 1) / pass.ColumnStep;
        std::uint64_t rows = (height - pass.FirstRow + pass.RowStep - 1) / pass.RowStep;
        size += RowLength(columns, depth, channels) * rows;
    }
    return size;
}

}  // namespace

TPNGGraphic::TPNGGraphic() = default;
TPNGGraphic::~TPNGGraphic() = default;

const char* TPNGGraphic::FormatLabel() const { return gesPNG; }

bool TPNGGraphic::CanLoadStream(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    bool result = false;
    if (stream.Remaining() > 8) {
        std::uint8_t signature[8];
        result = stream.Read(signature, 8) == 8 && std::memcmp(signature, PNGSignature, 8) == 0;
    }
    return result;
}

void TPNGGraphic::ReadChunkHeader() {
    std::uint8_t bytes[8];
    Stream->ReadBuffer(bytes, 8);
    chunk_.Length = ReadBigEndian32(bytes);
    chunk_.Type = ReadBigEndian32(bytes + 4) & 0xDFDFDFDFu;
    chunk_.Critical = (bytes[4] & 0x20) == 0;
    crc_ = static_cast<std::uint32_t>(crc32(0, bytes + 4, 4));
}

void TPNGGraphic::ReadChunkData() {
    // A length beyond what the file holds is a read past its end: refused before the buffer grows.
    if (chunk_.Length > MaxChunkLength || std::int64_t(chunk_.Length) + 4 > Stream->Remaining()) throw EReadError();
    raw_.resize(chunk_.Length);
    Stream->ReadBuffer(raw_.data(), raw_.size());
    std::uint8_t stored[4];
    Stream->ReadBuffer(stored, 4);
    crc_ = static_cast<std::uint32_t>(crc32(crc_, raw_.data(), static_cast<uInt>(raw_.size())));
    if (crc_ != ReadBigEndian32(stored)) GraphicError(gesCRCError, ErrorLabel());
}

void TPNGGraphic::SkipChunk() { Stream->Seek(std::int64_t(chunk_.Length) + 4, TSeekOrigin::Current); }

TPNGGraphic::THeader TPNGGraphic::HeaderFromChunk() const {
    THeader header;
    if (raw_.size() < 13) return header;  // width 0: not a usable header
    header.Width = ReadBigEndian32(raw_.data());
    header.Height = ReadBigEndian32(raw_.data() + 4);
    header.BitDepth = raw_[8];
    header.ColorType = static_cast<TColorType>(raw_[9]);
    header.Compression = raw_[10];
    header.Filter = raw_[11];
    header.Interlace = raw_[12];
    return header;
}

bool TPNGGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    Stream = &stream;
    TImageProperties& p = ImageProperties;
    std::uint8_t signature[8];
    if (stream.Read(signature, 8) != 8 || std::memcmp(signature, PNGSignature, 8) != 0) return false;
    ReadChunkHeader();
    if (chunk_.Type != IHDR) return false;
    p.Options |= BigEndian;
    ReadChunkData();
    THeader header = HeaderFromChunk();
    // The format keeps sizes below 2^31.
    if (header.Width == 0 || header.Height == 0 || header.Width > 0x7FFFFFFFu || header.Height > 0x7FFFFFFFu)
        return false;
    p.Width = header.Width;
    p.Height = header.Height;
    p.Compression = header.Compression == 0 ? CompressionKind::Deflate : CompressionKind::Unknown;
    p.BitsPerSample = header.BitDepth;
    const TColorTypeLayout layout = LayoutOf(header.ColorType);
    p.ColorScheme = layout.Source;
    p.SamplesPerPixel = static_cast<std::uint8_t>(layout.Samples);
    p.BitsPerPixel = static_cast<std::uint8_t>(p.SamplesPerPixel * header.BitDepth);
    p.FilterMethod = header.Filter;
    p.Interlaced = header.Interlace != 0;
    p.HasAlpha = p.ColorScheme == ColorScheme::GrayAlpha || p.ColorScheme == ColorScheme::RGBA ||
                 p.ColorScheme == ColorScheme::BGRA;
    ReadFileGamma();
    return true;
}

void TPNGGraphic::ReadFileGamma() {
    for (;;) {
        ReadChunkHeader();
        if (chunk_.Type == GAMA) {
            ReadChunkData();
            if (raw_.size() >= 4)
                ImageProperties.FileGamma = static_cast<float>(ReadBigEndian32(raw_.data()) / 100000.0L);
            return;
        }
        if (chunk_.Type == IEND) return;
        SkipChunk();
    }
}

void TPNGGraphic::ConfigureColorManager() {
    const THeader& header = load_.Header;
    const unsigned depth = header.BitDepth;
    if (!DepthAccepted(header.ColorType, depth)) GraphicError(gesInvalidColorFormat, ErrorLabel());
    const TColorTypeLayout layout = LayoutOf(header.ColorType);
    load_.Channels = layout.Channels;
    load_.BytesPerPixel = (depth * layout.Channels + 7) / 8;
    // 2-bit samples are shown through a 4-bit bitmap, 16-bit ones at 8 bits.
    const unsigned targetDepth = depth == 16 ? 8 : depth == 2 ? 4 : depth;
    ColorManager.SetSourceSampleCount(static_cast<std::uint8_t>(layout.Samples));
    ColorManager.SetTargetSampleCount(static_cast<std::uint8_t>(layout.Samples));
    ColorManager.SetSourceScheme(layout.Source);
    ColorManager.SetTargetScheme(layout.Target);
    ColorManager.SetSourceDepth(static_cast<std::uint8_t>(depth));
    ColorManager.SetTargetDepth(static_cast<std::uint8_t>(targetDepth));
    SetPixelFormat(ColorManager.PixelFormatFor(1));
    load_.Configured = true;
}

void TPNGGraphic::LoadFromStream(TStream& stream) {
    if (!BeginLoad(stream)) GraphicError(gesInvalidImage, ErrorLabel());
    stream.SetPosition(BasePosition + 8);
    load_ = TLoadState{};
    load_.BackgroundColor = RGBColor(255, 255, 255);
    ColorManager.SourceFlags = SwapBytes;

    ReadChunkHeader();
    ReadChunkData();
    load_.Header = HeaderFromChunk();
    if (ImageProperties.Compression != CompressionKind::Deflate)
        GraphicError(gesUnsupportedFeature, gesCompression, ErrorLabel());

    decoder_ = std::make_unique<TLZ77Decoder>(1, false);
    try {
        decoder_->BeginDecoding();
        ReadChunks();
        // Without image data there is no picture to show.
        if (!load_.ImageDecoded) GraphicError(gesNoImageData, ErrorLabel());
        decoder_->FinishDecoding();
    } catch (...) {
        try {
            decoder_->FinishDecoding();
        } catch (const Exception&) {
            // the first error is the one to report
        }
        decoder_.reset();
        raw_ = {};
        Stream = nullptr;
        throw;
    }
    decoder_.reset();
    raw_ = {};
    Stream = nullptr;
}

void TPNGGraphic::ReadChunks() {
    for (;;) {
        ReadChunkHeader();
        switch (chunk_.Type) {
            case IDAT:
                // Leaves the header of the first chunk after the image data read: that chunk is
                // handled below, whatever its type.
                DecodeImage();
                break;
            case PLTE:
                ReadPalette();
                continue;
            case GAMA:
                ReadGamma();
                continue;
            case BKGD:
                ReadBackground();
                continue;
            case TRNS:
                ReadTransparency();
                continue;
            default:
                break;
        }
        if (ReadMetadataChunk()) continue;
        SkipChunk();
        if (chunk_.Type == IEND) return;
        if (chunk_.Critical) GraphicError(gesUnknownCriticalChunk);
    }
}

void TPNGGraphic::ReadPalette() {
    if (chunk_.Length % 3 != 0) GraphicError(gesInvalidPalette, ErrorLabel());
    ReadChunkData();
    if (load_.Header.ColorType != TColorType::Indexed) return;
    DropGammaForProfile();
    ConfigureColorManager();
    const TSourcePlane entries[1] = {{raw_.data(), raw_.size()}};
    load_.Palette = ColorManager.MakeColorPalette(entries, PaletteLayout::Interleaved8By3, chunk_.Length / 3, false);
    load_.HasPalette = true;
}

void TPNGGraphic::ReadGamma() {
    ReadChunkData();
    if (raw_.size() < 4) return;
    ColorManager.SetGammaValues(static_cast<float>(ReadBigEndian32(raw_.data()) / 100000.0L), 2.2f);
    ColorManager.TargetFlags |= GammaCorrect;
    ImageProperties.Options |= UseGamma;
}

void TPNGGraphic::ReadBackground() {
    // Its colour would only pre-fill the bitmap, which the rows cover completely.
    ReadChunkData();
}

bool TPNGGraphic::ReadMetadataChunk() {
    if (!IsPngMetadataChunk(chunk_.Type)) return false;
    try {
        ReadChunkData();
    } catch (const EInvalidGraphic&) {
        return true;  // a CRC error in metadata costs the metadata, not the picture
    }
    ReadPngMetadataChunk(chunk_.Type, raw_, Metadata());
    return true;
}

void TPNGGraphic::DropGammaForProfile() {
    // A usable colour profile describes the colours completely; the gAMA chunk beside it is
    // there for readers without colour management.
    if (Metadata().Icc.empty() || !UseEmbeddedProfile() || !(ImageProperties.Options & UseGamma)) return;
    try {
        const TProfileSpace space = ProfileSpaceOf(Metadata().Icc);
        if (space != TProfileSpace::Rgb && space != TProfileSpace::Gray) return;
    } catch (const EColorProfileError&) {
        return;
    }
    ColorManager.TargetFlags = static_cast<TConvertOptions>(ColorManager.TargetFlags & ~GammaCorrect);
    ImageProperties.Options = static_cast<decltype(ImageProperties.Options)>(ImageProperties.Options & ~UseGamma);
}

void TPNGGraphic::ReadTransparency() {
    ReadChunkData();
    const THeader& header = load_.Header;
    const unsigned depth = header.BitDepth;
    if (header.ColorType == TColorType::Gray && raw_.size() >= 2) {
        std::uint8_t level = TransparentLevel(ReadBigEndian16(raw_.data()), depth);
        load_.TransparentColor = RGBColor(level, level, level);
        load_.HasTransparentColor = true;
    } else if (header.ColorType == TColorType::RGB && raw_.size() >= 6) {
        load_.TransparentColor = RGBColor(TransparentLevel(ReadBigEndian16(raw_.data()), depth),
                                          TransparentLevel(ReadBigEndian16(raw_.data() + 2), depth),
                                          TransparentLevel(ReadBigEndian16(raw_.data() + 4), depth));
        load_.HasTransparentColor = true;
    }
}

void TPNGGraphic::ReadImageData(std::uint8_t* target, std::size_t count) {
    while (count > 0) {
        if (load_.InputLeft == 0) {
            if (chunk_.Type != IDAT) return;  // the image data ended early: the row stays short
            ReadChunkData();
            load_.Input = raw_.data();
            load_.InputLeft = raw_.size();
            ReadChunkHeader();
            continue;
        }
        const std::uint8_t* source = load_.Input;
        std::uint8_t* dest = target;
        decoder_->Decode(source, dest, static_cast<std::int32_t>(load_.InputLeft),
                         static_cast<std::int32_t>(std::min<std::size_t>(count, INT32_MAX)));
        std::size_t consumed = static_cast<std::size_t>(source - load_.Input);
        std::size_t produced = static_cast<std::size_t>(dest - target);
        load_.Input = source;
        load_.InputLeft -= consumed;
        target = dest;
        count -= produced;
        int result = decoder_->LastResult();
        if (result == Z_STREAM_END) {
            if (count > 0 || load_.InputLeft > 0) GraphicError(gesExtraCompressedData, ErrorLabel());
            return;
        }
        if (result != Z_OK || (consumed == 0 && produced == 0)) GraphicError(gesCompressionError, ErrorLabel());
    }
}

void TPNGGraphic::ReadRow(std::vector<std::uint8_t>& row, const std::vector<std::uint8_t>& previous,
                          std::size_t length) {
    ReadImageData(row.data(), length);
    Unfilter(row.data(), previous.data(), length, load_.BytesPerPixel);
}

void TPNGGraphic::DecodeImage() {
    const THeader& header = load_.Header;
    DropGammaForProfile();
    if (!load_.Configured) {
        ConfigureColorManager();
        if (header.ColorType == TColorType::Gray || header.ColorType == TColorType::GrayAlpha) {
            load_.Palette = ColorManager.MakeGrayPalette(false);
            load_.HasPalette = true;
        }
    }
    const bool interlaced = header.Interlace == 1;
    const std::uint64_t needed =
        ImageDataSize(header.Width, header.Height, header.BitDepth, load_.Channels, interlaced);
    CheckImageSize(header.Width, header.Height, needed,
                   static_cast<std::uint64_t>(Stream->Remaining()) * MaxDeflateExpansion);
    PrepareBitmap();

    const std::uint64_t length = RowLength(header.Width, header.BitDepth, load_.Channels);
    if (interlaced)
        DecodePasses(length);
    else
        DecodeRows(length);
    load_.ImageDecoded = true;
    while (chunk_.Type == IDAT) {
        ReadChunkData();
        ReadChunkHeader();
    }
}

void TPNGGraphic::PrepareBitmap() {
    const int width = static_cast<int>(load_.Header.Width), height = static_cast<int>(load_.Header.Height);
    if (load_.HasPalette) SetPalette(load_.Palette);
    SetSize(width, height);
    FillRect(TRect{0, 0, width, height}, load_.BackgroundColor);
    if (load_.HasTransparentColor) {
        SetTransparentColor(load_.TransparentColor);
        SetTransparent(true);
    }
}

void TPNGGraphic::DecodeRows(std::size_t length) {
    const std::uint32_t width = load_.Header.Width, height = load_.Header.Height;
    std::vector<std::uint8_t> current(length, 0), previous(length, 0);
    for (std::uint32_t y = 0; y < height; ++y) {
        ReadRow(current, previous, length);
        ColorManager.ConvertLine(current.data() + 1, length - 1, ScanLine(static_cast<int>(y)), Stride(), width);
        current.swap(previous);
    }
}

void TPNGGraphic::DecodePasses(std::size_t length) {
    const std::uint32_t width = load_.Header.Width, height = load_.Header.Height;
    // Rows of every pass fit the buffers of a full row; each pass starts from a zero row.
    std::vector<std::uint8_t> current(length, 0), previous(length, 0);
    for (const TAdam7Pass& pass : Adam7) {
        if (pass.FirstColumn >= width) continue;
        std::uint64_t columns = (width - pass.FirstColumn + pass.ColumnStep - 1) / pass.ColumnStep;
        std::size_t passLength = RowLength(columns, load_.Header.BitDepth, load_.Channels);
        std::fill(previous.begin(), previous.end(), 0);
        for (std::uint64_t y = pass.FirstRow; y < height; y += pass.RowStep) {
            ReadRow(current, previous, passLength);
            ColorManager.ConvertLine(current.data() + 1, passLength - 1, ScanLine(static_cast<int>(y)), Stride(), width,
                                     pass.Mask);
            current.swap(previous);
        }
    }
}
