#include "formats/TIFFGraphic.h"

#include "codecs/Decoders.h"
#include "formats/ReaderStrings.h"
#include "platform/ColorProfile.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <set>

const TGraphicClass TTIFFGraphicClass = ReaderClass<TTIFFGraphic>("TTIFFGraphic");

namespace {

enum : std::uint16_t {
    TagImageWidth = 256,
    TagImageLength = 257,
    TagBitsPerSample = 258,
    TagCompression = 259,
    TagPhotometricInterpretation = 262,
    TagFillOrder = 266,
    TagStripOffsets = 273,
    TagSamplesPerPixel = 277,
    TagOrientation = 274,
    TagRowsPerStrip = 278,
    TagStripByteCounts = 279,
    TagXResolution = 282,
    TagYResolution = 283,
    TagPlanarConfiguration = 284,
    TagT4Options = 292,
    TagResolutionUnit = 296,
    TagPredictor = 317,
    TagColorMap = 320,
    TagTileWidth = 322,
    TagTileLength = 323,
    TagExtraSamples = 338,
    TagJPEGTables = 347,
    TagYCbCrCoefficients = 529,
    TagYCbCrSubSampling = 530,
    TagXMP = 700,
    TagICCProfile = 34675,
};

enum : std::uint16_t {
    FieldByte = 1,
    FieldASCII = 2,
    FieldShort = 3,
    FieldLong = 4,
    FieldRational = 5,
    FieldSByte = 6,
    FieldUndefined = 7,
    FieldSShort = 8,
    FieldSLong = 9,
    FieldSRational = 10,
    FieldFloat = 11,
    FieldDouble = 12,
};

// PhotometricInterpretation: how the samples are to be read.
enum class Photometric : std::uint32_t {
    WhiteIsZero = 0,
    BlackIsZero = 1,
    RGB = 2,
    Palette = 3,
    TransparencyMask = 4,
    Separated = 5,  // CMYK
    YCbCr = 6,
    CIELab = 8,
};

constexpr std::int64_t EntrySize = 12;

// Bytes of one value of a field type; 0 for types this reader does not know.
std::uint32_t ElementSize(std::uint16_t fieldType) {
    switch (fieldType) {
        case FieldByte:
        case FieldASCII:
        case FieldSByte:
        case FieldUndefined:
            return 1;
        case FieldShort:
        case FieldSShort:
            return 2;
        case FieldLong:
        case FieldSLong:
        case FieldFloat:
            return 4;
        case FieldRational:
        case FieldSRational:
        case FieldDouble:
            return 8;
        default:
            return 0;
    }
}

CompressionKind KindOfCompression(std::uint32_t value) {
    switch (value) {
        case 1:
            return CompressionKind::None;
        case 2:
            return CompressionKind::CCITTModifiedHuffman;
        case 3:
            return CompressionKind::CCITTFax3;
        case 4:
            return CompressionKind::CCITTFax4;
        case 5:
            return CompressionKind::LZW;
        case 6:
            return CompressionKind::OldJPEG;
        case 7:
            return CompressionKind::JPEG;
        case 8:
        case 32946:
            return CompressionKind::Deflate;
        case 32766:
            return CompressionKind::NeXT;
        case 32771:
            return CompressionKind::CCITTModifiedHuffmanWord;
        case 32773:
            return CompressionKind::PackBits;
        case 32809:
            return CompressionKind::ThunderScan;
        case 32895:
            return CompressionKind::IT8CTPAD;
        case 32896:
            return CompressionKind::IT8LW;
        case 32897:
            return CompressionKind::IT8MP;
        case 32898:
            return CompressionKind::IT8BL;
        case 32908:
            return CompressionKind::PixarFilm;
        case 32909:
            return CompressionKind::PixarLog;
        case 32947:
            return CompressionKind::DCS;
        case 34661:
            return CompressionKind::JBIG;
        default:
            return CompressionKind::Unknown;
    }
}

// How many decoded bytes one stored byte can give at most; bounds what a header may ask for
// before anything is allocated or decoded. Stored rows give what they hold (the reader adds one
// row). PackBits: a run of two bytes gives 128. ThunderScan: one byte repeats a 4-bit pixel at
// most 63 times. One-dimensional fax: the densest code is the white make-up run of 1664 pixels
// in 6 bits. LZW: a code of at least 9 bits names a string of at most 4096 bytes. JPEG: every
// 8 x 8 block takes at least one bit and stands for at most 64 pixels of 4 bytes.
std::uint64_t ExpansionOf(CompressionKind kind) {
    switch (kind) {
        case CompressionKind::None:
            return 1;
        case CompressionKind::PackBits:
            return 64;
        case CompressionKind::ThunderScan:
            return 32;
        case CompressionKind::CCITTFax3:
        case CompressionKind::CCITTModifiedHuffman:
        case CompressionKind::CCITTModifiedHuffmanWord:
            return 278;
        case CompressionKind::LZW:
            return 4096;
        case CompressionKind::Deflate:
            return MaxDeflateExpansion;
        case CompressionKind::JPEG:
            return 8 * 64 * 4;
        default:
            return UINT64_MAX;
    }
}

// Samples per pixel the converter of a source scheme reads; 0 when the colour manager decides.
std::uint32_t SamplesOfScheme(ColorScheme scheme) {
    switch (scheme) {
        case ColorScheme::Indexed:
        case ColorScheme::Gray:
            return 1;
        case ColorScheme::GrayAlpha:
            return 2;
        case ColorScheme::RGB:
        case ColorScheme::BGR:
        case ColorScheme::CIELab:
        case ColorScheme::YCbCr:
            return 3;
        case ColorScheme::RGBA:
        case ColorScheme::BGRA:
        case ColorScheme::CMYK:
            return 4;
        default:
            return 0;
    }
}

// Depths between 1 and 16 that no converter reads are refused here; the colour manager itself
// refuses the rest.
bool DepthReadable(std::uint8_t depth) {
    return depth < 1 || depth > 16 || depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
}

// The colour manager's source and target schemes for the scheme a file states.
struct TSchemes {
    ColorScheme Source, Target;
};
TSchemes SchemesFor(ColorScheme stated, std::uint8_t samplesPerPixel) {
    switch (stated) {
        case ColorScheme::Indexed:
            // An index with an extra (alpha) sample is read as gray plus alpha, the index kept.
            return {samplesPerPixel == 2 ? ColorScheme::GrayAlpha : stated, ColorScheme::Indexed};
        case ColorScheme::Gray:
            return {samplesPerPixel == 2 ? ColorScheme::GrayAlpha : stated, ColorScheme::Gray};
        case ColorScheme::RGB:
            return {stated, ColorScheme::BGR};
        case ColorScheme::RGBA:
            return {stated, ColorScheme::BGRA};
        case ColorScheme::CMY:
        case ColorScheme::CMYK:
        case ColorScheme::CIELab:
        case ColorScheme::YCbCr:
            return {stated, ColorScheme::BGR};
        default:
            return {stated, stated};
    }
}

// The fax decoders write one bit per pixel, the ThunderScan decoder four.
bool DecoderFitsSamples(CompressionKind compression, std::uint8_t depth, std::uint8_t samplesPerPixel) {
    switch (compression) {
        case CompressionKind::CCITTFax3:
        case CompressionKind::CCITTModifiedHuffman:
        case CompressionKind::CCITTModifiedHuffmanWord:
            return depth == 1 && samplesPerPixel == 1;
        case CompressionKind::ThunderScan:
            return depth == 4 && samplesPerPixel == 1;
        default:
            return true;
    }
}

// YCbCr data units this reader expands: 2 or 4 luma samples across, 1, 2 or 4 down.
bool DataUnitSupported(std::uint32_t horizontal, std::uint32_t vertical) {
    return (horizontal == 2 || horizontal == 4) && (vertical == 1 || vertical == 2 || vertical == 4);
}

std::uint8_t ReverseBits(std::uint8_t b) {
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

}  // namespace

const char* TTIFFGraphic::FormatLabel() const { return gesTIFF; }

bool TTIFFGraphic::CanLoadStream(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    const std::int64_t position = keep.Position();
    bool result = false;
    if (stream.Remaining() > 8) {
        std::uint8_t header[8];
        stream.ReadBuffer(header, sizeof header);
        const bool little = header[0] == 'I' && header[1] == 'I';
        const bool big = header[0] == 'M' && header[1] == 'M';
        if (little || big) {
            const std::uint16_t version = big ? ReadBigEndian16(header + 2) : ReadLittleEndian16(header + 2);
            const std::uint32_t firstIFD = big ? ReadBigEndian32(header + 4) : ReadLittleEndian32(header + 4);
            result = version == 42 && static_cast<std::int64_t>(firstIFD) < stream.Size() - position;
        }
    }
    return result;
}

bool TTIFFGraphic::BigEndianFile() const { return (ImageProperties.Options & BigEndian) != 0; }

std::uint16_t TTIFFGraphic::Get16(const std::uint8_t* p) const {
    return BigEndianFile() ? ReadBigEndian16(p) : ReadLittleEndian16(p);
}

std::uint32_t TTIFFGraphic::Get32(const std::uint8_t* p) const {
    return BigEndianFile() ? ReadBigEndian32(p) : ReadLittleEndian32(p);
}

bool TTIFFGraphic::ReadDirectory(TStream& stream, std::uint32_t offset) {
    entries_.clear();
    const std::int64_t position = BasePosition + offset;
    if (position + 2 > streamSize_) return false;
    stream.SetPosition(position);
    std::uint8_t countBytes[2];
    stream.ReadBuffer(countBytes, 2);
    const std::uint16_t count = Get16(countBytes);
    if (position + 2 + std::int64_t(count) * EntrySize > streamSize_) return false;
    std::vector<std::uint8_t> raw(std::size_t(count) * 12);
    stream.ReadBuffer(raw.data(), raw.size());
    entries_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = raw.data() + i * 12;
        TTIFFEntry& entry = entries_[i];
        entry.Tag = Get16(p);
        entry.FieldType = Get16(p + 2);
        entry.Count = Get32(p + 4);
        std::memcpy(entry.Value, p + 8, 4);
    }
    std::sort(entries_.begin(), entries_.end(), [](const TTIFFEntry& a, const TTIFFEntry& b) { return a.Tag < b.Tag; });
    return true;
}

const TTIFFEntry* TTIFFGraphic::FindTag(std::uint16_t tag) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), tag,
                               [](const TTIFFEntry& e, std::uint16_t t) { return e.Tag < t; });
    return it != entries_.end() && it->Tag == tag ? &*it : nullptr;
}

std::vector<std::uint8_t> TTIFFGraphic::EntryData(const TTIFFEntry& entry) const {
    const std::uint64_t size = std::uint64_t(ElementSize(entry.FieldType)) * entry.Count;
    if (size == 0) return {};
    if (size <= 4) return std::vector<std::uint8_t>(entry.Value, entry.Value + size);
    const std::int64_t position = BasePosition + Get32(entry.Value);
    if (position + static_cast<std::int64_t>(size) > streamSize_) return {};
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    stream_->SetPosition(position);
    stream_->ReadBuffer(data.data(), data.size());
    return data;
}

std::uint32_t TTIFFGraphic::GetInteger(std::uint16_t tag, std::uint32_t defaultValue) const {
    const TTIFFEntry* entry = FindTag(tag);
    if (!entry) return defaultValue;
    if (entry->Count != 1) return Get32(entry->Value);
    switch (entry->FieldType) {
        case FieldByte:
            return entry->Value[0];
        case FieldShort:
            return Get16(entry->Value);
        case FieldSShort:
            return static_cast<std::uint32_t>(static_cast<std::int16_t>(Get16(entry->Value)));
        case FieldLong:
        case FieldSLong:
            return Get32(entry->Value);
        default:
            return defaultValue;
    }
}

float TTIFFGraphic::GetFloat(std::uint16_t tag, float defaultValue) const {
    const TTIFFEntry* entry = FindTag(tag);
    if (!entry || entry->Count != 1) return defaultValue;
    const TFloatArray values = GetFloats(tag);
    return values.empty() ? defaultValue : values[0];
}

std::vector<std::uint32_t> TTIFFGraphic::GetIntegers(std::uint16_t tag) const {
    std::vector<std::uint32_t> result;
    const TTIFFEntry* entry = FindTag(tag);
    if (!entry) return result;
    const std::uint16_t type = entry->FieldType;
    if (type == FieldSRational || type == FieldFloat || type == FieldDouble) {
        // Truncated towards zero; negative values count as 0.
        for (float f : GetFloats(tag))
            result.push_back(f <= 0.0f ? 0 : f >= 4294967040.0f ? UINT32_MAX : static_cast<std::uint32_t>(f));
        return result;
    }
    const std::vector<std::uint8_t> data = EntryData(*entry);
    const std::uint32_t size = ElementSize(type);
    if (data.empty()) return result;
    result.reserve(data.size() / size);
    for (std::size_t at = 0; at + size <= data.size(); at += size) {
        const std::uint8_t* p = data.data() + at;
        std::uint32_t value = 0;
        switch (type) {
            case FieldSByte:
                value = static_cast<std::uint32_t>(static_cast<std::int8_t>(p[0]));
                break;
            case FieldShort:
                value = Get16(p);
                break;
            case FieldSShort:
                value = static_cast<std::uint32_t>(static_cast<std::int16_t>(Get16(p)));
                break;
            case FieldLong:
            case FieldSLong:
                value = Get32(p);
                break;
            case FieldRational:
                value = Get32(p + 4) == 0 ? 0 : Get32(p) / Get32(p + 4);
                break;
            default:
                value = p[0];
                break;  // BYTE, ASCII, UNDEFINED
        }
        result.push_back(value);
    }
    return result;
}

std::vector<std::uint8_t> TTIFFGraphic::GetBytes(std::uint16_t tag) const {
    const std::vector<std::uint32_t> values = GetIntegers(tag);
    std::vector<std::uint8_t> result(values.size());
    std::transform(values.begin(), values.end(), result.begin(),
                   [](std::uint32_t v) { return static_cast<std::uint8_t>(v); });
    return result;
}

TFloatArray TTIFFGraphic::GetFloats(std::uint16_t tag) const {
    TFloatArray result;
    const TTIFFEntry* entry = FindTag(tag);
    if (!entry) return result;
    const std::vector<std::uint8_t> data = EntryData(*entry);
    const std::uint32_t size = ElementSize(entry->FieldType);
    if (data.empty()) return result;
    result.reserve(data.size() / size);
    for (std::size_t at = 0; at + size <= data.size(); at += size) {
        const std::uint8_t* p = data.data() + at;
        double value = 0;
        switch (entry->FieldType) {
            case FieldByte:
            case FieldASCII:
            case FieldUndefined:
                value = p[0];
                break;
            case FieldSByte:
                value = static_cast<std::int8_t>(p[0]);
                break;
            case FieldShort:
                value = Get16(p);
                break;
            case FieldSShort:
                value = static_cast<std::int16_t>(Get16(p));
                break;
            case FieldLong:
                value = Get32(p);
                break;
            case FieldSLong:
                value = static_cast<std::int32_t>(Get32(p));
                break;
            case FieldRational:  // a zero denominator gives 0
                value = Get32(p + 4) == 0 ? 0.0 : double(Get32(p)) / double(Get32(p + 4));
                break;
            case FieldSRational:
                value = Get32(p + 4) == 0 ? 0.0
                                          : double(static_cast<std::int32_t>(Get32(p))) /
                                                double(static_cast<std::int32_t>(Get32(p + 4)));
                break;
            case FieldFloat: {
                const std::uint32_t bits = Get32(p);
                float f;
                std::memcpy(&f, &bits, 4);
                value = f;
                break;
            }
            case FieldDouble: {
                const std::uint64_t bits =
                    std::uint64_t(Get32(BigEndianFile() ? p : p + 4)) << 32 | Get32(BigEndianFile() ? p + 4 : p);
                std::memcpy(&value, &bits, 8);
                break;
            }
            default:
                break;
        }
        // Values beyond single precision (or not numbers at all) count as 0.
        result.push_back(value == value && value > -3.0e38 && value < 3.0e38 ? static_cast<float>(value) : 0.0f);
    }
    return result;
}

bool TTIFFGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    stream_ = &stream;
    streamSize_ = stream.Size();
    entries_.clear();
    yCbCrCoefficients_.clear();

    std::uint32_t offset = 0;
    if (!ReadFileHeader(stream) || !FindDirectory(stream, imageIndex, offset) || !ReadDirectory(stream, offset))
        return false;
    return DescribeDirectory();
}

bool TTIFFGraphic::ReadFileHeader(TStream& stream) {
    TImageProperties& p = ImageProperties;
    if (BasePosition < 0 || BasePosition + 8 > streamSize_) return false;
    stream.SetPosition(BasePosition);
    std::uint8_t header[8];
    stream.ReadBuffer(header, sizeof header);
    if (header[0] == 'M' && header[1] == 'M')
        p.Options |= BigEndian;
    else if (header[0] != 'I' || header[1] != 'I')
        return false;
    p.Version = Get16(header + 2);
    p.FirstIFD = Get32(header + 4);
    return p.Version == 42;
}

bool TTIFFGraphic::FindDirectory(TStream& stream, unsigned imageIndex, std::uint32_t& offset) const {
    // Walk the directory chain; a chain that comes back to a directory already seen ends it.
    offset = ImageProperties.FirstIFD;
    std::set<std::uint32_t> seen;
    while (imageIndex != 0) {
        if (!seen.insert(offset).second) return false;
        const std::int64_t position = BasePosition + offset;
        if (position + 2 > streamSize_) return false;
        stream.SetPosition(position);
        std::uint8_t bytes[4];
        stream.ReadBuffer(bytes, 2);
        const std::int64_t next = position + 2 + std::int64_t(Get16(bytes)) * EntrySize;
        if (next + 4 > streamSize_) return false;
        stream.SetPosition(next);
        stream.ReadBuffer(bytes, 4);
        offset = Get32(bytes);
        if (offset == 0 || seen.count(offset)) return false;
        --imageIndex;
    }
    return true;
}

bool TTIFFGraphic::DescribeDirectory() {
    TImageProperties& p = ImageProperties;
    p.Width = GetInteger(TagImageWidth, 0);
    p.Height = GetInteger(TagImageLength, 0);
    if (p.Width == 0 || p.Height == 0) return false;

    p.RowsPerStrip = GetIntegers(TagRowsPerStrip);
    // A first value of 0 would make every strip empty: it counts as absent too.
    if (p.RowsPerStrip.empty() || p.RowsPerStrip[0] == UINT32_MAX || p.RowsPerStrip[0] == 0)
        p.RowsPerStrip = {p.Height};
    // Values beyond a byte saturate, so that the colour manager refuses them instead of
    // seeing a small number.
    p.SamplesPerPixel = static_cast<std::uint8_t>(std::min<std::uint32_t>(GetInteger(TagSamplesPerPixel, 1), 255));
    const std::vector<std::uint32_t> bits = GetIntegers(TagBitsPerSample);
    p.BitsPerSample = static_cast<std::uint8_t>(std::min<std::uint32_t>(bits.empty() ? 1 : bits[0], 255));
    p.TileWidth = GetInteger(TagTileWidth, 0);
    p.TileLength = GetInteger(TagTileLength, 0);
    if (p.TileWidth != 0 && p.TileLength != 0) p.Options |= Tiled;
    const std::vector<std::uint32_t> extraSamples = GetIntegers(TagExtraSamples);
    p.HasAlpha = !extraSamples.empty() &&
                 std::all_of(extraSamples.begin(), extraSamples.end(), [](std::uint32_t v) { return v <= 2; });
    p.BitsPerPixel = static_cast<std::uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    p.Compression = KindOfCompression(GetInteger(TagCompression, 0));
    DescribeColors(GetInteger(TagPhotometricInterpretation, 0));

    p.JPEGColorMode = 0;
    p.JPEGTablesMode = 3;
    if (p.Compression == CompressionKind::JPEG) p.JPEGTables = GetBytes(TagJPEGTables);
    p.PlanarConfig = GetInteger(TagPlanarConfiguration, 0);
    p.XResolution = GetFloat(TagXResolution, 0);
    p.YResolution = GetFloat(TagYResolution, 0);
    if (GetInteger(TagResolutionUnit, 2) == 3) {
        p.XResolution *= 2.54f;
        p.YResolution *= 2.54f;
    }
    p.Predictor = GetInteger(TagPredictor, 0);
    if (GetInteger(TagFillOrder, 1) == 2) p.Options |= ReversedBits;
    return true;
}

void TTIFFGraphic::DescribeColors(std::uint32_t photometric) {
    TImageProperties& p = ImageProperties;
    switch (static_cast<Photometric>(photometric)) {
        case Photometric::WhiteIsZero:
            p.ColorScheme = ColorScheme::Gray;
            p.Options |= MinIsWhite;
            break;
        case Photometric::BlackIsZero:
            p.ColorScheme = ColorScheme::Gray;
            break;
        case Photometric::RGB:
            p.ColorScheme = p.SamplesPerPixel < 4 ? ColorScheme::RGB : ColorScheme::RGBA;
            break;
        case Photometric::Palette:
            p.ColorScheme = ColorScheme::Indexed;
            break;
        case Photometric::Separated:
            p.ColorScheme = ColorScheme::CMYK;
            break;
        case Photometric::YCbCr:
            p.ColorScheme = ColorScheme::YCbCr;
            yCbCrCoefficients_ = GetFloats(TagYCbCrCoefficients);
            if (yCbCrCoefficients_.empty()) yCbCrCoefficients_ = {0.299f, 0.587f, 0.114f};
            p.YCbCrSubSampling = GetBytes(TagYCbCrSubSampling);
            if (p.YCbCrSubSampling.size() < 2) p.YCbCrSubSampling = {2, 2};
            break;
        case Photometric::CIELab:
            p.ColorScheme = ColorScheme::CIELab;
            break;
        default:
            p.ColorScheme = ColorScheme::Unknown;
            break;
    }
}

void TTIFFGraphic::SetupColorManager() {
    TImageProperties& p = ImageProperties;
    TColorManager& cm = ColorManager;
    cm.SourceFlags = BigEndianFile() ? SwapBytes : 0;

    const std::uint8_t depth = p.BitsPerSample;
    if (!DepthReadable(depth)) GraphicError(gesInvalidImage, ErrorLabel());
    cm.SetSourceDepth(depth);
    // 2-bit samples are shown through a 4-bit bitmap, so they are widened to 4 bits.
    cm.SetTargetDepth(depth == 16 ? 8 : depth == 2 ? 4 : depth);

    const bool jpeg = p.Compression == CompressionKind::JPEG || p.Compression == CompressionKind::OldJPEG;
    TSchemes schemes = SchemesFor(jpeg ? ColorScheme::BGR : p.ColorScheme, p.SamplesPerPixel);
    // CMYK samples for the file's own profile are copied as they are (as if RGBA) and converted
    // by the profile row by row.
    if (schemes.Source == ColorScheme::CMYK && inkTransform_) schemes = {ColorScheme::RGBA, ColorScheme::RGBA};
    // The converters read a fixed number of samples per pixel; a file that stores another
    // number would be read across its pixels.
    const std::uint32_t samples = SamplesOfScheme(schemes.Source);
    if (samples != 0 && samples != p.SamplesPerPixel) GraphicError(gesInvalidImage, ErrorLabel());
    if (!DecoderFitsSamples(p.Compression, depth, p.SamplesPerPixel)) GraphicError(gesInvalidImage, ErrorLabel());
    cm.SetSourceScheme(schemes.Source);
    cm.SetTargetScheme(schemes.Target);
    cm.SetSourceSampleCount(p.SamplesPerPixel);
    cm.SetTargetSampleCount(schemes.Source == ColorScheme::CMYK ? 3 : p.SamplesPerPixel);
    if (schemes.Source == ColorScheme::CIELab) cm.SourceFlags |= LabScaledL;
    SetupRowLayout(schemes.Source, jpeg);

    const TPixelFormat format = schemes.Source == ColorScheme::GrayAlpha ? TPixelFormat::pf8bit : cm.PixelFormatFor(1);
    if (format == TPixelFormat::pfCustom) GraphicError(gesInvalidImage, ErrorLabel());
    SetPixelFormat(inkTransform_ ? TPixelFormat::pf24bit : format);
}

void TTIFFGraphic::SetupRowLayout(ColorScheme source, bool jpeg) {
    const TImageProperties& p = ImageProperties;
    const std::uint8_t depth = p.BitsPerSample;
    planes_ = p.PlanarConfig == 2 && p.SamplesPerPixel > 1 ? p.SamplesPerPixel : 1;
    // Separate planes are interleaved here before conversion, which needs whole-byte samples.
    // JPEG strips decode to interleaved B, G, R pixels, never to one plane.
    if (planes_ > 1 && ((depth != 8 && depth != 16) || jpeg)) GraphicError(gesInvalidImage, ErrorLabel());
    const std::uint64_t samplesPerRow = std::uint64_t(p.Width) * (planes_ > 1 ? 1 : p.SamplesPerPixel);
    lineBytes_ = static_cast<std::size_t>((samplesPerRow * depth + 7) / 8);
    chunkyBytes_ = static_cast<std::size_t>((std::uint64_t(p.Width) * p.SamplesPerPixel * depth + 7) / 8);

    // Subsampled YCbCr without JPEG is stored in data units, expanded here to a sample triple
    // per pixel before conversion.
    subsampleH_ = p.YCbCrSubSampling.size() >= 2 ? p.YCbCrSubSampling[0] : 1;
    subsampleV_ = p.YCbCrSubSampling.size() >= 2 ? p.YCbCrSubSampling[1] : 1;
    subsampled_ = source == ColorScheme::YCbCr && (subsampleH_ != 1 || subsampleV_ != 1);
    if (subsampled_ && (planes_ > 1 || depth != 8 || !DataUnitSupported(subsampleH_, subsampleV_)))
        GraphicError(gesInvalidImage, ErrorLabel());
}

void TTIFFGraphic::SetupPalette() {
    TImageProperties& p = ImageProperties;
    TColorManager& cm = ColorManager;
    if (cm.TargetScheme() == ColorScheme::Indexed) {
        const std::vector<std::uint32_t> map = GetIntegers(TagColorMap);
        if (!map.empty()) {
            colorMap_.assign(map.begin(), map.end());
            const std::size_t third = colorMap_.size() / 3;
            const auto* base = reinterpret_cast<const std::uint8_t*>(colorMap_.data());
            const std::array<TSourcePlane, 3> planes{
                {{base, third * 2}, {base + third * 2, third * 2}, {base + third * 4, third * 2}}};
            // The map is already in native order: no byte swapping while it is read.
            const TConvertOptions flags = cm.SourceFlags;
            cm.SourceFlags = static_cast<TConvertOptions>(flags & ~SwapBytes);
            TPalette palette =
                cm.MakeColorPalette(planes, PaletteLayout::Planar16By3, static_cast<std::uint32_t>(third), false);
            cm.SourceFlags = flags;
            SetPalette(palette);
        } else {
            // Without a colour map the indices are shown as gray levels.
            SetPalette(cm.MakeGrayPalette(false));
        }
    } else if (cm.TargetScheme() == ColorScheme::Gray) {
        SetPalette(cm.MakeGrayPalette((p.Options & MinIsWhite) != 0));
    }
    if (cm.SourceScheme() == ColorScheme::YCbCr)
        cm.SetYCbCrValues(yCbCrCoefficients_, p.YCbCrSubSampling[0], p.YCbCrSubSampling[1]);
}

bool TTIFFGraphic::CompressionSupported() const {
    switch (ImageProperties.Compression) {
        case CompressionKind::None:
        case CompressionKind::CCITTModifiedHuffman:
        case CompressionKind::CCITTModifiedHuffmanWord:
        case CompressionKind::LZW:
        case CompressionKind::JPEG:
        case CompressionKind::Deflate:
        case CompressionKind::PackBits:
        case CompressionKind::ThunderScan:
            return true;
        case CompressionKind::CCITTFax3:
            // Only one-dimensional coding is decoded; two-dimensional rows would come out as noise.
            return (GetInteger(TagT4Options, 0) & 1) == 0;
        default:
            return false;
    }
}

std::unique_ptr<TDecoder> TTIFFGraphic::CreateDecoder() const {
    const TImageProperties& p = ImageProperties;
    const std::uint32_t t4Options = GetInteger(TagT4Options, 0);
    const bool reversed = (p.Options & ReversedBits) != 0;
    if (!CompressionSupported()) GraphicError(gesUnsupportedFeature, gesCompression, ErrorLabel());
    switch (p.Compression) {
        case CompressionKind::None:
            return nullptr;
        case CompressionKind::CCITTModifiedHuffman:
            return std::make_unique<TCCITTMHDecoder>(t4Options, reversed, false, p.Width);
        case CompressionKind::CCITTModifiedHuffmanWord:
            return std::make_unique<TCCITTMHDecoder>(t4Options, reversed, true, p.Width);
        case CompressionKind::CCITTFax3:
            return std::make_unique<TCCITTFax3Decoder>(t4Options, reversed, p.Width);
        case CompressionKind::LZW:
            return std::make_unique<TTIFFLZWDecoder>();
        case CompressionKind::JPEG:
            return std::make_unique<TTIFFJPEGDecoder>(ImageProperties);
        case CompressionKind::Deflate:
            return std::make_unique<TLZ77Decoder>(1, true);
        case CompressionKind::PackBits:
            return std::make_unique<TPackbitsRLEDecoder>();
        case CompressionKind::ThunderScan:
            // One decoder row per image row: the decoder counts its width in output bytes.
            return std::make_unique<TThunderDecoder>(static_cast<std::int32_t>(lineBytes_));
        default:
            break;
    }
    GraphicError(gesUnsupportedFeature, gesCompression, ErrorLabel());
}

namespace {
// Horizontal differencing undone for 8-bit samples: the running sums stay in registers instead of
// being read back from the bytes just stored.
template <std::size_t SamplesPerPixel> void AddAcrossRow(std::uint8_t* row, std::size_t count) {
    if (count < SamplesPerPixel) return;
    std::uint8_t sum[SamplesPerPixel];
    for (std::size_t k = 0; k < SamplesPerPixel; ++k) sum[k] = row[k];
    for (std::size_t i = SamplesPerPixel; i + SamplesPerPixel <= count; i += SamplesPerPixel) {
#pragma GCC unroll 4
        for (std::size_t k = 0; k < SamplesPerPixel; ++k) {
            sum[k] = static_cast<std::uint8_t>(sum[k] + row[i + k]);
            row[i + k] = sum[k];
        }
    }
}
}  // namespace

void TTIFFGraphic::UndoPredictor(std::uint8_t* row, std::uint32_t samplesPerPixel) const {
    const TImageProperties& p = ImageProperties;
    const std::size_t count = std::size_t(p.Width) * samplesPerPixel;
    if (p.BitsPerSample == 8) {
        switch (samplesPerPixel) {
            case 1:
                AddAcrossRow<1>(row, count);
                break;
            case 3:
                AddAcrossRow<3>(row, count);
                break;
            case 4:
                AddAcrossRow<4>(row, count);
                break;
            default:
                for (std::size_t i = samplesPerPixel; i < count; ++i)
                    row[i] = static_cast<std::uint8_t>(row[i] + row[i - samplesPerPixel]);
        }
    } else if (p.BitsPerSample == 16) {
        // Differences of 16-bit samples, added in the file's byte order.
        const bool big = BigEndianFile();
        auto at = [&](std::size_t i) -> std::uint16_t {
            return big ? ReadBigEndian16(row + 2 * i) : ReadLittleEndian16(row + 2 * i);
        };
        for (std::size_t i = samplesPerPixel; i < count; ++i) {
            const std::uint16_t v = static_cast<std::uint16_t>(at(i) + at(i - samplesPerPixel));
            row[2 * i + (big ? 0 : 1)] = static_cast<std::uint8_t>(v >> 8);
            row[2 * i + (big ? 1 : 0)] = static_cast<std::uint8_t>(v);
        }
    }
}

void TTIFFGraphic::ConvertRow(const std::uint8_t* row, std::size_t size, std::uint32_t y) {
    if (inkTransform_) {
        const std::uint32_t width = ImageProperties.Width;
        inkRow_.resize(4 * std::size_t(width));
        ColorManager.ConvertLine(row, size, inkRow_.data(), inkRow_.size(), width);
        inkTransform_->Convert(inkRow_.data(), ScanLine(static_cast<int>(y)), width);
        return;
    }
    ColorManager.ConvertLine(row, size, ScanLine(static_cast<int>(y)), Stride(), ImageProperties.Width);
}

void TTIFFGraphic::ExpandSubsampled(const std::uint8_t* units, std::uint8_t* rows) const {
    // Each data unit holds h x v luma samples, row by row, then one Cb and one Cr for all of them.
    const std::uint32_t width = ImageProperties.Width;
    const std::size_t rowBytes = std::size_t(width) * 3;
    for (std::uint32_t x0 = 0; x0 < width; x0 += subsampleH_, units += subsampleH_ * subsampleV_ + 2) {
        const std::uint8_t cb = units[subsampleH_ * subsampleV_];
        const std::uint8_t cr = units[subsampleH_ * subsampleV_ + 1];
        for (std::uint32_t dy = 0; dy < subsampleV_; ++dy)
            for (std::uint32_t dx = 0; dx < subsampleH_ && x0 + dx < width; ++dx) {
                std::uint8_t* pixel = rows + dy * rowBytes + std::size_t(x0 + dx) * 3;
                pixel[0] = units[dy * subsampleH_ + dx];
                pixel[1] = cb;
                pixel[2] = cr;
            }
    }
}

// What the strip walk of one load keeps: where the strips are, how their rows are grouped, and
// the buffers reused from strip to strip.
struct TTIFFGraphic::TStripWalk {
    std::vector<std::uint32_t> Offsets, ByteCounts;
    bool Predictor = false;        // horizontal differencing to undo
    std::uint32_t RowSamples = 1;  // samples per pixel in one decoded row
    // Rows come in groups: one row, or the rows of one line of subsampled YCbCr data units.
    std::uint32_t GroupRows = 1;
    std::size_t GroupBytes = 0;
    std::vector<std::uint8_t> Packed, Strip;
    std::vector<std::uint8_t> Expanded;   // one group of subsampled rows, a sample triple per pixel
    std::vector<std::uint8_t> PlaneData;  // separate planes, one after the other
};

void TTIFFGraphic::DecodeStrips(TDecoder* decoder) {
    TImageProperties& p = ImageProperties;
    TStripWalk walk;
    walk.Offsets = GetIntegers(TagStripOffsets);
    walk.ByteCounts = GetIntegers(TagStripByteCounts);
    walk.Predictor = p.Compression != CompressionKind::None && p.Predictor == 2 && !subsampled_;
    walk.RowSamples = planes_ > 1 ? 1 : p.SamplesPerPixel;
    walk.GroupRows = subsampled_ ? subsampleV_ : 1;
    walk.GroupBytes = subsampled_
                          ? (std::size_t(p.Width) + subsampleH_ - 1) / subsampleH_ * (subsampleH_ * subsampleV_ + 2)
                          : lineBytes_;
    const std::uint64_t totalRows = std::uint64_t(p.Height) * planes_;
    if (planes_ > 1) walk.PlaneData.assign(static_cast<std::size_t>(totalRows * lineBytes_), 0);
    if (subsampled_) walk.Expanded.assign(std::size_t(walk.GroupRows) * chunkyBytes_, 0);

    p.StripCount = static_cast<std::uint32_t>(walk.Offsets.size());
    p.CurrentRow = 0;
    p.CurrentStrip = 0;
    std::uint64_t rowsDone = 0;
    for (std::uint32_t index = 0; index < p.StripCount && rowsDone < totalRows; ++index) {
        p.CurrentStrip = index;
        const std::uint32_t plane = static_cast<std::uint32_t>(rowsDone / p.Height);
        const std::uint32_t firstRow = static_cast<std::uint32_t>(rowsDone % p.Height);
        p.CurrentRow = firstRow;
        const std::uint32_t rowsPerStrip = p.RowsPerStrip[std::min<std::size_t>(index, p.RowsPerStrip.size() - 1)];
        // A strip never holds more rows than remain: the last one is usually short.
        const std::uint32_t rows = std::min(rowsPerStrip, p.Height - firstRow);
        if (rows == 0) continue;
        const std::uint32_t groups = (rows + walk.GroupRows - 1) / walk.GroupRows;
        ReadStrip(walk, decoder, index, std::size_t(groups) * walk.GroupBytes);
        if (subsampled_)
            ExpandStrip(walk, firstRow, rows);
        else
            StoreStripRows(walk, plane, firstRow, rows);
        rowsDone += rows;
    }
    if (planes_ > 1) InterleavePlanes(walk.PlaneData);
}

void TTIFFGraphic::ReadStrip(TStripWalk& walk, TDecoder* decoder, std::uint32_t index, std::size_t unpacked) {
    const TImageProperties& p = ImageProperties;
    // The fill order tells how bits fill the bytes of samples and codes; a JPEG strip is a
    // stream of byte-sized markers and segments, which reversing would destroy.
    const bool reversed = (p.Options & ReversedBits) != 0 && p.Compression != CompressionKind::JPEG;
    walk.Strip.assign(unpacked, 0);
    // Strip data that lies beyond the end of the file is missing: those rows stay zero.
    const std::int64_t start = BasePosition + walk.Offsets[index];
    const std::uint64_t available = start < streamSize_ ? std::uint64_t(streamSize_ - start) : 0;
    if (!decoder) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(unpacked, available));
        if (count > 0) {
            stream_->SetPosition(start);
            stream_->ReadBuffer(walk.Strip.data(), count);
        }
        if (reversed) std::transform(walk.Strip.begin(), walk.Strip.end(), walk.Strip.begin(), ReverseBits);
        return;
    }
    std::vector<std::uint8_t>& packed = walk.Packed;
    std::uint64_t count = index < walk.ByteCounts.size() ? walk.ByteCounts[index] : available;
    count = std::min<std::uint64_t>({count, available, INT32_MAX});
    packed.resize(static_cast<std::size_t>(count));
    if (count > 0) {
        stream_->SetPosition(start);
        stream_->ReadBuffer(packed.data(), packed.size());
    }
    if (reversed) std::transform(packed.begin(), packed.end(), packed.begin(), ReverseBits);
    // Old-style LZW writes its codes least significant bit first, starting with the clear
    // code 256 as the bytes 0x00, 0x01; the decoder reads codes the other way round.
    if (p.Compression == CompressionKind::LZW && count >= 2 && packed[0] == 0 && (packed[1] & 1))
        GraphicError(gesUnsupportedFeature, gesCompression, ErrorLabel());
    const std::uint8_t* source = packed.data();
    std::uint8_t* dest = walk.Strip.data();
    decoder->Decode(source, dest, static_cast<std::int32_t>(count), static_cast<std::int32_t>(unpacked));
}

void TTIFFGraphic::ExpandStrip(TStripWalk& walk, std::uint32_t firstRow, std::uint32_t rows) {
    const std::uint32_t groupRows = walk.GroupRows;
    const std::uint32_t groups = (rows + groupRows - 1) / groupRows;
    for (std::uint32_t g = 0; g < groups; ++g) {
        ExpandSubsampled(walk.Strip.data() + std::size_t(g) * walk.GroupBytes, walk.Expanded.data());
        for (std::uint32_t r = 0; r < groupRows && g * groupRows + r < rows; ++r) {
            ConvertRow(walk.Expanded.data() + r * chunkyBytes_, chunkyBytes_, firstRow + g * groupRows + r);
            ImageProperties.CurrentRow = firstRow + g * groupRows + r + 1;
        }
    }
}

void TTIFFGraphic::StoreStripRows(TStripWalk& walk, std::uint32_t plane, std::uint32_t firstRow, std::uint32_t rows) {
    const std::uint32_t height = ImageProperties.Height;
    for (std::uint32_t i = 0; i < rows; ++i) {
        std::uint8_t* row = walk.Strip.data() + std::size_t(i) * lineBytes_;
        if (walk.Predictor) UndoPredictor(row, walk.RowSamples);
        if (planes_ > 1) {
            std::memcpy(walk.PlaneData.data() + (std::uint64_t(plane) * height + firstRow + i) * lineBytes_, row,
                        lineBytes_);
        } else {
            ConvertRow(row, lineBytes_, firstRow + i);
            ImageProperties.CurrentRow = firstRow + i + 1;
        }
    }
}

void TTIFFGraphic::InterleavePlanes(const std::vector<std::uint8_t>& planeData) {
    TImageProperties& p = ImageProperties;
    const std::size_t sampleBytes = p.BitsPerSample / 8;
    std::vector<std::uint8_t> chunky(chunkyBytes_);
    for (std::uint32_t y = 0; y < p.Height; ++y) {
        for (std::uint32_t s = 0; s < planes_; ++s) {
            const std::uint8_t* from = planeData.data() + (std::size_t(s) * p.Height + y) * lineBytes_;
            std::uint8_t* to = chunky.data() + s * sampleBytes;
            for (std::uint32_t x = 0; x < p.Width; ++x, from += sampleBytes, to += planes_ * sampleBytes)
                std::memcpy(to, from, sampleBytes);
        }
        ConvertRow(chunky.data(), chunky.size(), y);
        p.CurrentRow = y + 1;
    }
}

void TTIFFGraphic::CollectMetadata() {
    TPictureMetadata& metadata = Metadata();
    const std::uint32_t orientation = GetInteger(TagOrientation, 0);
    metadata.Orientation = orientation >= 1 && orientation <= 8 ? static_cast<int>(orientation) : 0;
    metadata.Icc = GetBytes(TagICCProfile);
    const std::vector<std::uint8_t> xmp = GetBytes(TagXMP);
    metadata.Xmp.assign(xmp.begin(), xmp.end());
    const TImageProperties& p = ImageProperties;
    const bool jpeg = p.Compression == CompressionKind::JPEG || p.Compression == CompressionKind::OldJPEG;
    inkTransform_.reset();
    if (p.ColorScheme == ColorScheme::CMYK && p.SamplesPerPixel == 4 && !jpeg &&
        (p.BitsPerSample == 8 || p.BitsPerSample == 16) && UseEmbeddedProfile())
        inkTransform_ = CreateInkTransform(metadata, false);
    metadata.ProfileApplied = inkTransform_ != nullptr;
}

void TTIFFGraphic::LoadFromStream(TStream& stream) {
    ReleaseImage();
    BasePosition = stream.Position();
    if (!TTIFFGraphic::ReadProperties(stream, 0)) GraphicError(gesInvalidImage, ErrorLabel());
    TImageProperties& p = ImageProperties;
    CollectMetadata();
    if (p.Options & Tiled) return;
    if (!FindTag(TagStripOffsets)) GraphicError(gesInvalidImage, ErrorLabel());
    // An unknown compression says more than the sample layout it would be checked against.
    if (!CompressionSupported()) GraphicError(gesUnsupportedFeature, gesCompression, ErrorLabel());

    SetupColorManager();
    const std::uint64_t needed = std::uint64_t(p.Height) * lineBytes_ * planes_;
    // The strips' bytes inside the file (strips may share bytes: never more than the file).
    // Stored strips are read up to their rows' size whatever their byte counts say.
    const bool counted = p.Compression != CompressionKind::None;
    std::uint64_t stored = 0;
    const std::vector<std::uint32_t> offsets = GetIntegers(TagStripOffsets);
    const std::vector<std::uint32_t> byteCounts = GetIntegers(TagStripByteCounts);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        const std::int64_t start = BasePosition + offsets[i];
        const std::uint64_t available = start < streamSize_ ? std::uint64_t(streamSize_ - start) : 0;
        stored += counted && i < byteCounts.size() ? std::min<std::uint64_t>(byteCounts[i], available) : available;
    }
    stored = std::min<std::uint64_t>(stored, std::max<std::int64_t>(streamSize_ - BasePosition, 0));
    const std::uint64_t expansion = ExpansionOf(p.Compression);
    CheckImageSize(p.Width, p.Height, needed,
                   !counted ? StoredRowsBound(stored, lineBytes_, needed)
                   : expansion == UINT64_MAX || stored > UINT64_MAX / expansion ? UINT64_MAX
                                                                                : stored * expansion);
    // Strips are handed to the decoders with 32-bit sizes.
    if (std::uint64_t(p.Height) * lineBytes_ > INT32_MAX)
        GraphicError(gesImageTooLarge, ErrorLabel(), static_cast<unsigned long long>(p.Width),
                     static_cast<unsigned long long>(p.Height));
    SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));
    SetupPalette();
    p.BytesPerLine = static_cast<std::uint32_t>(lineBytes_);

    std::unique_ptr<TDecoder> decoder = CreateDecoder();
    if (!decoder) {
        DecodeStrips(nullptr);
        return;
    }
    decoder->BeginDecoding();
    try {
        DecodeStrips(decoder.get());
    } catch (...) {
        try {
            decoder->FinishDecoding();
        } catch (const Exception&) {
            // the first error is the one to report
        }
        throw;
    }
    decoder->FinishDecoding();
}
