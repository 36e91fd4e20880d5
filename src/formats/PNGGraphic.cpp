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
constexpr std::uint32_t ChunkType(const char (&name)[5]) {
    return ((std::uint32_t(std::uint8_t(name[0])) << 24) | (std::uint32_t(std::uint8_t(name[1])) << 16) |
            (std::uint32_t(std::uint8_t(name[2])) << 8) | std::uint32_t(std::uint8_t(name[3]))) &
           0xDFDFDFDFu;
}
constexpr std::uint32_t IHDR = ChunkType("IHDR");
constexpr std::uint32_t IDAT = ChunkType("IDAT");
constexpr std::uint32_t IEND = ChunkType("IEND");
constexpr std::uint32_t PLTE = ChunkType("PLTE");
constexpr std::uint32_t GAMA = ChunkType("gAMA");
constexpr std::uint32_t BKGD = ChunkType("bKGD");
constexpr std::uint32_t TRNS = ChunkType("tRNS");

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
    if (crc_ != ReadBigEndian32(stored)) GraphicError(gesCRCError);
}

void TPNGGraphic::SkipChunk() { Stream->Seek(std::int64_t(chunk_.Length) + 4, TSeekOrigin::Current); }

TPNGGraphic::THeader TPNGGraphic::HeaderFromChunk() const {
    THeader header;
    if (raw_.size() < 13) return header;  // width 0: not a usable header
    header.Width = ReadBigEndian32(raw_.data());
    header.Height = ReadBigEndian32(raw_.data() + 4);
    header.BitDepth = raw_[8];
    header.ColorType = raw_[9];
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
    switch (header.ColorType) {
        case 0:
            p.ColorScheme = ColorScheme::Gray;
            p.SamplesPerPixel = 1;
            break;
        case 2:
            p.ColorScheme = ColorScheme::RGB;
            p.SamplesPerPixel = 3;
            break;
        case 3:
            p.ColorScheme = ColorScheme::Indexed;
            p.SamplesPerPixel = 1;
            break;
        case 4:
            p.ColorScheme = ColorScheme::GrayAlpha;
            p.SamplesPerPixel = 1;
            break;
        case 6:
            p.ColorScheme = ColorScheme::RGBA;
            p.SamplesPerPixel = 4;
            break;
        default:
            p.ColorScheme = ColorScheme::Unknown;
            p.SamplesPerPixel = 1;
            break;
    }
    p.BitsPerPixel = static_cast<std::uint8_t>(p.SamplesPerPixel * header.BitDepth);
    p.FilterMethod = header.Filter;
    p.Interlaced = header.Interlace != 0;
    p.HasAlpha = p.ColorScheme == ColorScheme::GrayAlpha || p.ColorScheme == ColorScheme::RGBA ||
                 p.ColorScheme == ColorScheme::BGRA;
    for (;;) {
        ReadChunkHeader();
        if (chunk_.Type == GAMA) {
            ReadChunkData();
            if (raw_.size() >= 4) p.FileGamma = static_cast<float>(ReadBigEndian32(raw_.data()) / 100000.0L);
            break;
        }
        if (chunk_.Type == IEND) break;
        SkipChunk();
    }
    return true;
}

void TPNGGraphic::ConfigureColorManager() {
    unsigned depth = header_.BitDepth;
    auto accepts = [depth](std::initializer_list<unsigned> depths) {
        return std::find(depths.begin(), depths.end(), depth) != depths.end();
    };
    ColorScheme source, target;
    unsigned samples, targetDepth = depth == 16 ? 8 : depth;
    switch (header_.ColorType) {
        case 0:
            if (!accepts({1, 2, 4, 8, 16})) GraphicError(gesInvalidColorFormat);
            source = target = ColorScheme::Gray;
            samples = 1, channels_ = 1;
            if (depth == 2) targetDepth = 4;
            bytesPerPixel_ = (depth + 7) / 8;
            break;
        case 2:
            if (!accepts({8, 16})) GraphicError(gesInvalidColorFormat);
            source = ColorScheme::RGB, target = ColorScheme::BGR;
            samples = 3, channels_ = 3;
            bytesPerPixel_ = depth * 3 / 8;
            break;
        case 3:
            if (!accepts({1, 2, 4, 8})) GraphicError(gesInvalidColorFormat);
            source = target = ColorScheme::Indexed;
            samples = 1, channels_ = 1;
            if (depth == 2) targetDepth = 4;
            bytesPerPixel_ = 1;
            break;
        case 4:
            if (!accepts({8, 16})) GraphicError(gesInvalidColorFormat);
            source = ColorScheme::GrayAlpha, target = ColorScheme::Indexed;
            samples = 1, channels_ = 2;
            bytesPerPixel_ = depth * 2 / 8;
            break;
        case 6:
            if (!accepts({8, 16})) GraphicError(gesInvalidColorFormat);
            source = ColorScheme::RGBA, target = ColorScheme::BGRA;
            samples = 4, channels_ = 4;
            bytesPerPixel_ = depth * 4 / 8;
            break;
        default:
            GraphicError(gesInvalidColorFormat);
    }
    ColorManager.SetSourceSampleCount(static_cast<std::uint8_t>(samples));
    ColorManager.SetTargetSampleCount(static_cast<std::uint8_t>(samples));
    ColorManager.SetSourceScheme(source);
    ColorManager.SetTargetScheme(target);
    ColorManager.SetSourceDepth(static_cast<std::uint8_t>(depth));
    ColorManager.SetTargetDepth(static_cast<std::uint8_t>(targetDepth));
    SetPixelFormat(ColorManager.PixelFormatFor(1));
    configured_ = true;
}

void TPNGGraphic::LoadFromStream(TStream& stream) {
    if (!BeginLoad(stream)) GraphicError(gesInvalidImage);
    stream.SetPosition(BasePosition + 8);
    palette_.clear();
    hasPalette_ = false;
    hasTransparentColor_ = false;
    backgroundColor_ = RGBColor(255, 255, 255);
    configured_ = false;
    imageDecoded_ = false;
    input_ = nullptr;
    inputLeft_ = 0;
    ColorManager.SourceFlags = SwapBytes;

    ReadChunkHeader();
    ReadChunkData();
    header_ = HeaderFromChunk();
    if (ImageProperties.Compression != CompressionKind::Deflate)
        GraphicExError(gesUnsupportedFeature, gesCompression, gesPNG);

    decoder_ = std::make_unique<TLZ77Decoder>(1, false);
    try {
        decoder_->BeginDecoding();
        for (;;) {
            ReadChunkHeader();
            if (chunk_.Type == IDAT) {
                DecodeImage();
                if (ReadMetadataChunk()) continue;
                // The chunk after the image data is handled below, whatever its type.
            } else if (ReadMetadataChunk()) {
                continue;
            } else if (chunk_.Type == PLTE) {
                if (chunk_.Length % 3 != 0) GraphicError(gesInvalidPalette);
                ReadChunkData();
                if (header_.ColorType == 3) {
                    DropGammaForProfile();
                    ConfigureColorManager();
                    const TSourcePlane entries[1] = {{raw_.data(), raw_.size()}};
                    palette_ = ColorManager.MakeColorPalette(entries, PaletteLayout::Interleaved8By3, chunk_.Length / 3,
                                                             false);
                    hasPalette_ = true;
                }
                continue;
            } else if (chunk_.Type == GAMA) {
                ReadChunkData();
                if (raw_.size() >= 4) {
                    ColorManager.SetGammaValues(static_cast<float>(ReadBigEndian32(raw_.data()) / 100000.0L), 2.2f);
                    ColorManager.TargetFlags |= GammaCorrect;
                    ImageProperties.Options |= UseGamma;
                }
                continue;
            } else if (chunk_.Type == BKGD) {
                // Its colour would only pre-fill the bitmap, which the rows cover completely.
                ReadChunkData();
                continue;
            } else if (chunk_.Type == TRNS) {
                ReadChunkData();
                ApplyTransparency();
                continue;
            }
            SkipChunk();
            if (chunk_.Type == IEND) break;
            if (chunk_.Critical) throw EInvalidGraphic(gesUnknownCriticalChunk);
        }
        // Without image data there is no picture to show.
        if (!imageDecoded_) GraphicError(gesNoImageData);
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

void TPNGGraphic::ApplyTransparency() {
    unsigned depth = header_.BitDepth;
    if (header_.ColorType == 0 && raw_.size() >= 2) {
        std::uint8_t level = TransparentLevel(ReadBigEndian16(raw_.data()), depth);
        transparentColor_ = RGBColor(level, level, level);
        hasTransparentColor_ = true;
    } else if (header_.ColorType == 2 && raw_.size() >= 6) {
        transparentColor_ = RGBColor(TransparentLevel(ReadBigEndian16(raw_.data()), depth),
                                     TransparentLevel(ReadBigEndian16(raw_.data() + 2), depth),
                                     TransparentLevel(ReadBigEndian16(raw_.data() + 4), depth));
        hasTransparentColor_ = true;
    }
}

void TPNGGraphic::ReadImageData(std::uint8_t* target, std::size_t count) {
    while (count > 0) {
        if (inputLeft_ == 0) {
            if (chunk_.Type != IDAT) return;  // the image data ended early: the row stays short
            ReadChunkData();
            input_ = raw_.data();
            inputLeft_ = raw_.size();
            ReadChunkHeader();
            continue;
        }
        const std::uint8_t* source = input_;
        std::uint8_t* dest = target;
        decoder_->Decode(source, dest, static_cast<std::int32_t>(inputLeft_),
                         static_cast<std::int32_t>(std::min<std::size_t>(count, INT32_MAX)));
        std::size_t consumed = static_cast<std::size_t>(source - input_);
        std::size_t produced = static_cast<std::size_t>(dest - target);
        input_ = source;
        inputLeft_ -= consumed;
        target = dest;
        count -= produced;
        int result = decoder_->LastResult();
        if (result == Z_STREAM_END) {
            if (count > 0 || inputLeft_ > 0) GraphicError(gesExtraCompressedData);
            return;
        }
        if (result != Z_OK || (consumed == 0 && produced == 0)) GraphicError(gesCompressionError);
    }
}

void TPNGGraphic::ReadRow(std::vector<std::uint8_t>& row, const std::vector<std::uint8_t>& previous,
                          std::size_t length) {
    ReadImageData(row.data(), length);
    Unfilter(row.data(), previous.data(), length, bytesPerPixel_);
}

void TPNGGraphic::DecodeImage() {
    DropGammaForProfile();
    if (!configured_) {
        ConfigureColorManager();
        if (header_.ColorType == 0 || header_.ColorType == 4) {
            palette_ = ColorManager.MakeGrayPalette(false);
            hasPalette_ = true;
        }
    }
    const std::uint32_t width = header_.Width, height = header_.Height;
    const unsigned depth = header_.BitDepth;
    const bool interlaced = header_.Interlace == 1;
    const std::uint64_t length = RowLength(width, depth, channels_);
    std::uint64_t needed = length * height;
    if (interlaced) {
        needed = 0;
        for (const TAdam7Pass& pass : Adam7) {
            if (pass.FirstColumn >= width || pass.FirstRow >= height) continue;
            std::uint64_t columns = (width - pass.FirstColumn + pass.ColumnStep - 1) / pass.ColumnStep;
            std::uint64_t rows = (height - pass.FirstRow + pass.RowStep - 1) / pass.RowStep;
            needed += RowLength(columns, depth, channels_) * rows;
        }
    }
    CheckImageSize(width, height, needed, static_cast<std::uint64_t>(Stream->Remaining()) * MaxDeflateExpansion);

    if (hasPalette_) SetPalette(palette_);
    SetSize(static_cast<int>(width), static_cast<int>(height));
    FillRect(TRect{0, 0, static_cast<int>(width), static_cast<int>(height)}, backgroundColor_);
    if (hasTransparentColor_) {
        SetTransparentColor(transparentColor_);
        SetTransparent(true);
    }

    std::vector<std::uint8_t> current(length, 0), previous(length, 0);
    if (!interlaced) {
        for (std::uint32_t y = 0; y < height; ++y) {
            ReadRow(current, previous, length);
            ColorManager.ConvertLine(current.data() + 1, length - 1, ScanLine(static_cast<int>(y)), Stride(), width);
            current.swap(previous);
        }
    } else {
        for (const TAdam7Pass& pass : Adam7) {
            if (pass.FirstColumn >= width) continue;
            std::uint64_t columns = (width - pass.FirstColumn + pass.ColumnStep - 1) / pass.ColumnStep;
            std::size_t passLength = RowLength(columns, depth, channels_);
            std::fill(previous.begin(), previous.end(), 0);
            for (std::uint64_t y = pass.FirstRow; y < height; y += pass.RowStep) {
                ReadRow(current, previous, passLength);
                ColorManager.ConvertLine(current.data() + 1, passLength - 1, ScanLine(static_cast<int>(y)), Stride(),
                                         width, pass.Mask);
                current.swap(previous);
            }
        }
    }
    imageDecoded_ = true;
    while (chunk_.Type == IDAT) {
        ReadChunkData();
        ReadChunkHeader();
    }
}
