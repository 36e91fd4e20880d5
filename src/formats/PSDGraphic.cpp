#include "formats/PSDGraphic.h"

#include "codecs/RLEDecoders.h"
#include "formats/FileFormatList.h"
#include "formats/ReaderStrings.h"
#include "platform/Stream.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <vector>

const TGraphicClass TPSDGraphicClass = ReaderClass<TPSDGraphic>("TPSDGraphic");

namespace {

constexpr std::size_t HeaderSize = 26;
// PackBits: a two-byte run stands for at most 128 bytes.
constexpr std::uint64_t MaxPackBitsExpansion = 64;

enum PSDMode : std::uint16_t {
    Bitmap = 0,
    Grayscale = 1,
    IndexedMode = 2,
    RGBMode = 3,
    CMYKMode = 4,
    Multichannel = 7,
    Duotone = 8,
    Lab = 9
};

struct TPSDHeader {
    std::uint8_t Signature[4];
    std::uint16_t Version;
    std::uint16_t Channels;
    std::uint32_t Height, Width;
    std::uint16_t Depth, Mode;
};

TPSDHeader ReadHeader(TStream& stream) {
    std::uint8_t b[HeaderSize];
    stream.ReadBuffer(b, sizeof b);
    TPSDHeader h{{b[0], b[1], b[2], b[3]}, ReadBigEndian16(b + 4),  ReadBigEndian16(b + 12), ReadBigEndian32(b + 14),
                 ReadBigEndian32(b + 18),  ReadBigEndian16(b + 22), ReadBigEndian16(b + 24)};
    return h;
}

std::uint32_t ReadLength(TStream& stream) {
    std::uint8_t b[4];
    stream.ReadBuffer(b, 4);
    return ReadBigEndian32(b);
}

void SkipSection(TStream& stream) { stream.Seek(ReadLength(stream), TSeekOrigin::Current); }

// The planes a colour scheme's converter reads.
unsigned PlanesNeeded(ColorScheme scheme) {
    if (scheme == ColorScheme::Gray || scheme == ColorScheme::Indexed) return 1;
    return scheme == ColorScheme::RGBA || scheme == ColorScheme::CMYK ? 4 : 3;
}

// Channels hold 8 or 16 bits, bitmaps and other one-channel pictures also 1. Other depths have no
// bitmap layout: their rows would be copied into rows of another length.
bool DepthSupported(unsigned depth, bool oneChannel) { return depth == 8 || depth == 16 || (depth == 1 && oneChannel); }

}  // namespace

const char* TPSDGraphic::FormatLabel() const { return gesPSDOrPDD; }

bool TPSDGraphic::CanLoadStream(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    bool result = false;
    if (stream.Remaining() > static_cast<std::int64_t>(HeaderSize)) {
        TPSDHeader h = ReadHeader(stream);
        char signature[4];
        for (int i = 0; i < 4; ++i) signature[i] = static_cast<char>(std::toupper(h.Signature[i]));
        result = std::memcmp(signature, "8BPS", 4) == 0 && h.Version == 1;
    }
    return result;
}

bool TPSDGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    TPSDHeader h = ReadHeader(stream);
    if (std::memcmp(h.Signature, "8BPS", 4) != 0) return false;
    TImageProperties& p = ImageProperties;
    p.Options = BigEndian;
    switch (h.Mode) {
        case Bitmap:
            p.ColorScheme = ColorScheme::Gray;
            p.Options |= MinIsWhite;
            break;
        case Grayscale:
        case Duotone:
            p.ColorScheme = ColorScheme::Gray;
            break;
        case IndexedMode:
            p.ColorScheme = ColorScheme::Indexed;
            break;
        case RGBMode:
        case Multichannel:
            p.ColorScheme = h.Channels == 3 ? ColorScheme::RGB : ColorScheme::RGBA;
            break;
        case CMYKMode:
            p.ColorScheme = ColorScheme::CMYK;
            break;
        case Lab:
            p.ColorScheme = ColorScheme::CIELab;
            break;
        default:
            p.ColorScheme = ColorScheme::Unknown;
            break;
    }
    p.BitsPerSample = static_cast<std::uint8_t>(h.Depth);
    p.ChannelCount = static_cast<std::uint8_t>(h.Channels);
    p.SamplesPerPixel = static_cast<std::uint8_t>(std::min<std::uint16_t>(h.Channels, 4));
    p.BitsPerPixel = static_cast<std::uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    p.Width = h.Width;
    p.Height = h.Height;
    for (int section = 0; section < 3; ++section) SkipSection(stream);
    std::uint8_t compression[2];
    stream.ReadBuffer(compression, 2);
    p.Compression = ReadBigEndian16(compression) == 1 ? CompressionKind::PackBits : CompressionKind::None;
    return true;
}

// What one load keeps besides the properties: the header, the planes it needs and, for
// PackBits data, the byte count of every row.
struct TPSDGraphic::TLoad {
    TPSDHeader Header{};
    bool OneChannel = false;  // grey and indexed pictures use one 8-bit (or 1- or 16-bit) channel
    unsigned PlaneCount = 1;  // planes converted
    std::uint64_t RowBytes = 0, PlaneSize = 0;
    std::vector<std::uint32_t> Counts;  // PackBits: height × channels row byte counts
    std::uint64_t PackedTotal = 0;      // PackBits: bytes of the planes used, kept to the file
};

void TPSDGraphic::LoadFromStream(TStream& stream) {
    if (!BeginLoad(stream)) GraphicError(gesInvalidImage, ErrorLabel());
    stream.SetPosition(BasePosition);
    TLoad load;
    load.Header = ReadHeader(stream);
    const TPSDHeader& h = load.Header;
    const TImageProperties& p = ImageProperties;
    const ColorScheme scheme = p.ColorScheme;
    load.OneChannel = scheme == ColorScheme::Gray || scheme == ColorScheme::Indexed;
    // Each colour scheme needs its planes; fewer channels would leave the converter without data.
    const unsigned planesNeeded = PlanesNeeded(scheme);
    if (h.Channels < planesNeeded) GraphicError(gesInvalidImage, ErrorLabel());
    if (!DepthSupported(h.Depth, load.OneChannel)) GraphicError(gesInvalidColorFormat, ErrorLabel());
    SetUpColors(load);
    CheckImageSize(p.Width, p.Height);
    ReadColorModeData();
    SkipSection(stream);                   // image resources
    SkipSection(stream);                   // layer and mask information
    stream.Seek(2, TSeekOrigin::Current);  // compression word

    const bool packBits = p.Compression == CompressionKind::PackBits;
    load.RowBytes = (std::uint64_t(p.Width) * h.Depth + 7) / 8;
    load.PlaneSize = load.RowBytes * p.Height;
    if (packBits) ReadRowCounts(load);
    const std::int64_t dataLeft = stream.Remaining();
    load.PlaneCount = load.OneChannel ? 1 : planesNeeded;
    const std::uint64_t bytesNeeded = load.PlaneSize * load.PlaneCount;
    // Stored planes may lack at most their last row before the picture is refused as too large
    // for its data.
    const std::uint64_t bytesLeft = std::uint64_t(std::max<std::int64_t>(dataLeft, 0));
    CheckImageSize(
        p.Width, p.Height, bytesNeeded,
        packBits ? bytesLeft * MaxPackBitsExpansion : StoredRowsBound(bytesLeft, load.RowBytes, bytesNeeded));
    if (packBits) {
        for (std::uint64_t i = 0; i < std::uint64_t(p.Height) * load.PlaneCount; ++i)
            load.PackedTotal += load.Counts[i];
        load.PackedTotal = std::min<std::uint64_t>(load.PackedTotal, std::uint64_t(dataLeft));
    } else if (bytesNeeded > std::uint64_t(dataLeft)) {
        throw EReadError();
    }
    SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));
    if (Empty()) return;

    // The planes this picture uses, decoded; the data of further channels is not needed.
    std::vector<std::uint8_t> planes(bytesNeeded, 0);
    if (packBits)
        DecodePlanes(load, planes);
    else
        stream.ReadBuffer(planes.data(), planes.size());
    ConvertRows(load, planes);
}

void TPSDGraphic::SetUpColors(const TLoad& load) {
    const TImageProperties& p = ImageProperties;
    const std::uint16_t depth = load.Header.Depth;
    const ColorScheme scheme = p.ColorScheme;
    ColorManager.SourceFlags = SwapBytes;
    ColorManager.SetSourceDepth(static_cast<std::uint8_t>(std::min<unsigned>(depth, 255)));
    ColorManager.SetTargetDepth(depth == 16 ? 8 : static_cast<std::uint8_t>(depth));
    ColorManager.SetSourceSampleCount(p.SamplesPerPixel);
    ColorManager.SetTargetSampleCount(p.SamplesPerPixel);
    ColorManager.SetSourceScheme(scheme);
    switch (scheme) {
        case ColorScheme::RGB:
            ColorManager.SetTargetScheme(ColorScheme::BGR);
            break;
        case ColorScheme::RGBA:
            ColorManager.SetTargetScheme(ColorScheme::BGRA);
            break;
        case ColorScheme::CMYK:
            ColorManager.SetTargetScheme(ColorScheme::BGR);
            ColorManager.SetTargetSampleCount(3);
            break;
        case ColorScheme::CIELab:
            ColorManager.SetTargetScheme(ColorScheme::BGR);
            ColorManager.SourceFlags |= LabScaledL | LabBiasedAB;
            break;
        default:
            ColorManager.SetTargetScheme(scheme);
            break;
    }
    if (load.OneChannel) {
        // One plane: 1-bit bitmaps and 8-bit pictures keep their depth, 16-bit grey goes to 8 bits.
        ColorManager.SetSourceSampleCount(1);
        ColorManager.SetTargetSampleCount(1);
    }
    SetPixelFormat(ColorManager.PixelFormatFor(1));
}

void TPSDGraphic::ReadColorModeData() {
    const TImageProperties& p = ImageProperties;
    const std::uint32_t modeDataLength = ReadLength(*Stream);
    const std::int64_t modeDataEnd = Stream->Position() + modeDataLength;
    if (p.ColorScheme == ColorScheme::Indexed) {
        // 256 red values, then 256 green, then 256 blue; anything beyond them is not colour data.
        std::vector<std::uint8_t> table(std::min<std::uint32_t>(modeDataLength, 768));
        Stream->ReadBuffer(table.data(), table.size());
        const std::size_t n = table.size() / 3;
        const std::array<TSourcePlane, 3> planes{{{table.data(), n}, {table.data() + n, n}, {table.data() + 2 * n, n}}};
        SetPalette(
            ColorManager.MakeColorPalette(planes, PaletteLayout::Planar8By3, static_cast<std::uint32_t>(n), false));
    } else if (p.ColorScheme == ColorScheme::Gray) {
        SetPalette(ColorManager.MakeGrayPalette((p.Options & MinIsWhite) != 0));
    }
    Stream->SetPosition(modeDataEnd);
}

void TPSDGraphic::ReadRowCounts(TLoad& load) {
    const std::uint64_t countBytes = std::uint64_t(ImageProperties.Height) * load.Header.Channels * 2;
    if (countBytes > std::uint64_t(Stream->Remaining())) throw EReadError();
    std::vector<std::uint8_t> raw(countBytes);
    Stream->ReadBuffer(raw.data(), raw.size());
    load.Counts.resize(raw.size() / 2);
    for (std::size_t i = 0; i < load.Counts.size(); ++i) load.Counts[i] = ReadBigEndian16(&raw[2 * i]);
}

void TPSDGraphic::DecodePlanes(const TLoad& load, std::vector<std::uint8_t>& planes) {
    std::vector<std::uint8_t> packed(load.PackedTotal);
    Stream->ReadBuffer(packed.data(), packed.size());
    TPackbitsRLEDecoder decoder;
    if (load.OneChannel) {
        // Row by row, each row's packed bytes where its count says.
        std::size_t offset = 0;
        for (std::uint32_t y = 0; y < ImageProperties.Height && offset < packed.size(); ++y) {
            std::size_t take = std::min<std::size_t>(load.Counts[y], packed.size() - offset);
            const std::uint8_t* source = packed.data() + offset;
            std::uint8_t* dest = planes.data() + y * load.RowBytes;
            decoder.Decode(source, dest, static_cast<std::int32_t>(take), static_cast<std::int32_t>(load.RowBytes));
            offset += load.Counts[y];
        }
        return;
    }
    const std::uint8_t* source = packed.data();
    std::uint8_t* dest = planes.data();
    decoder.Decode(source, dest, static_cast<std::int32_t>(std::min<std::uint64_t>(packed.size(), INT32_MAX)),
                   static_cast<std::int32_t>(std::min<std::uint64_t>(planes.size(), INT32_MAX)));
}

void TPSDGraphic::ConvertRows(const TLoad& load, std::vector<std::uint8_t>& planes) {
    const TImageProperties& p = ImageProperties;
    const std::uint64_t rowBytes = load.RowBytes;
    if (load.OneChannel) {
        for (std::uint32_t y = 0; y < p.Height; ++y) {
            const std::uint8_t* row = planes.data() + y * rowBytes;
            if (load.Header.Depth == 16)
                ColorManager.ConvertLine(row, rowBytes, ScanLine(static_cast<int>(y)), Stride(), p.Width);
            else
                std::copy_n(row, rowBytes, ScanLine(static_cast<int>(y)));
        }
        return;
    }
    if (p.ColorScheme == ColorScheme::CMYK)
        for (std::uint8_t& value : planes) value = static_cast<std::uint8_t>(255 - value);
    for (std::uint32_t y = 0; y < p.Height; ++y) {
        std::array<TSourcePlane, 4> sources;
        for (unsigned k = 0; k < load.PlaneCount; ++k)
            sources[k] = {planes.data() + k * load.PlaneSize + y * rowBytes, rowBytes};
        ColorManager.ConvertLine({sources.data(), load.PlaneCount}, ScanLine(static_cast<int>(y)), Stride(), p.Width);
    }
}
