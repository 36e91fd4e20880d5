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
    TagYCbCrPositioning = 531,
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
// before anything is allocated or decoded. A fax row takes at least one byte and one code
// covers at most 2560 pixels; a JPEG block at least two bits.
std::uint64_t ExpansionOf(CompressionKind kind) {
    switch (kind) {
        case CompressionKind::None:
            return 8;  // lenient: a truncated file shows what it has
        case CompressionKind::PackBits:
            return 64;
        case CompressionKind::ThunderScan:
            return 64;
        case CompressionKind::CCITTFax3:
        case CompressionKind::CCITTModifiedHuffman:
        case CompressionKind::CCITTModifiedHuffmanWord:
            return 512;
        case CompressionKind::LZW:
            return 4096;
        case CompressionKind::Deflate:
            return MaxDeflateExpansion;
        case CompressionKind::JPEG:
            return 1024;
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

std::uint8_t ReverseBits(std::uint8_t b) {
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

[[noreturn]] void InvalidTIFF() { GraphicExError(gesInvalidImage, gesTIFF); }

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
            const std::uint32_t firstIFD =
                big ? ReadBigEndian32(header + 4)
                    : ReadLittleEndian16(header + 4) | std::uint32_t(ReadLittleEndian16(header + 6)) << 16;
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
    return BigEndianFile() ? ReadBigEndian32(p)
                           : ReadLittleEndian16(p) | std::uint32_t(ReadLittleEndian16(p + 2)) << 16;
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
    TImageProperties& p = ImageProperties;
    stream_ = &stream;
    streamSize_ = stream.Size();
    entries_.clear();
    yCbCrCoefficients_.clear();
    yCbCrPositioning_ = 1;

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
    if (p.Version != 42) return false;

    // Walk the directory chain; a chain that comes back to a directory already seen ends it.
    std::uint32_t offset = p.FirstIFD;
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
    if (!ReadDirectory(stream, offset)) return false;

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
    const std::uint32_t photometric = GetInteger(TagPhotometricInterpretation, 0);
    const std::vector<std::uint32_t> extraSamples = GetIntegers(TagExtraSamples);
    p.HasAlpha = !extraSamples.empty() &&
                 std::all_of(extraSamples.begin(), extraSamples.end(), [](std::uint32_t v) { return v <= 2; });
    p.BitsPerPixel = static_cast<std::uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    p.Compression = KindOfCompression(GetInteger(TagCompression, 0));

    switch (photometric) {
        case 0:
            p.ColorScheme = ColorScheme::Gray;
            p.Options |= MinIsWhite;
            break;
        case 1:
            p.ColorScheme = ColorScheme::Gray;
            break;
        case 2:
            p.ColorScheme = p.SamplesPerPixel < 4 ? ColorScheme::RGB : ColorScheme::RGBA;
            break;
        case 3:
            p.ColorScheme = ColorScheme::Indexed;
            break;
        case 5:
            p.ColorScheme = ColorScheme::CMYK;
            break;
        case 6: {
            p.ColorScheme = ColorScheme::YCbCr;
            yCbCrCoefficients_ = GetFloats(TagYCbCrCoefficients);
            if (yCbCrCoefficients_.empty()) yCbCrCoefficients_ = {0.299f, 0.587f, 0.114f};
            p.YCbCrSubSampling = GetBytes(TagYCbCrSubSampling);
            if (p.YCbCrSubSampling.size() < 2) p.YCbCrSubSampling = {2, 2};
            yCbCrPositioning_ = GetInteger(TagYCbCrPositioning, 1);
            break;
        }
        case 8:
            p.ColorScheme = ColorScheme::CIELab;
            break;
        default:
            p.ColorScheme = ColorScheme::Unknown;
            break;
    }
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

void TTIFFGraphic::SetupColorManager() {
    TImageProperties& p = ImageProperties;
    TColorManager& cm = ColorManager;
    cm.SourceFlags = BigEndianFile() ? SwapBytes : 0;

    // Depths between 1 and 16 that no converter reads; the colour manager itself refuses the rest.
    const std::uint8_t depth = p.BitsPerSample;
    if (depth >= 1 && depth <= 16 && depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) InvalidTIFF();
    cm.SetSourceDepth(depth);
    // 2-bit samples are shown through a 4-bit bitmap, so they are widened to 4 bits.
    cm.SetTargetDepth(depth == 16 ? 8 : depth == 2 ? 4 : depth);

    const bool jpeg = p.Compression == CompressionKind::JPEG || p.Compression == CompressionKind::OldJPEG;
    ColorScheme source = jpeg ? ColorScheme::BGR : p.ColorScheme;
    ColorScheme target = source;
    switch (source) {
        case ColorScheme::Indexed:
            // An index with an extra (alpha) sample is read as gray plus alpha, the index kept.
            if (p.SamplesPerPixel == 2) source = ColorScheme::GrayAlpha;
            target = ColorScheme::Indexed;
            break;
        case ColorScheme::Gray:
            if (p.SamplesPerPixel == 2) source = ColorScheme::GrayAlpha;
            target = ColorScheme::Gray;
            break;
        case ColorScheme::RGB:
            target = ColorScheme::BGR;
            break;
        case ColorScheme::RGBA:
            target = ColorScheme::BGRA;
            break;
        case ColorScheme::CMY:
        case ColorScheme::CMYK:
        case ColorScheme::CIELab:
        case ColorScheme::YCbCr:
            target = ColorScheme::BGR;
            break;
        default:
            break;
    }
    // CMYK samples for the file's own profile are copied as they are (as if RGBA) and converted
    // by the profile row by row.
    if (source == ColorScheme::CMYK && inkTransform_) source = target = ColorScheme::RGBA;
    // The converters read a fixed number of samples per pixel; a file that stores another
    // number would be read across its pixels.
    const std::uint32_t samples = SamplesOfScheme(source);
    if (samples != 0 && samples != p.SamplesPerPixel) InvalidTIFF();
    // The fax decoders write one bit per pixel, the ThunderScan decoder four.
    const bool fax = p.Compression == CompressionKind::CCITTFax3 ||
                     p.Compression == CompressionKind::CCITTModifiedHuffman ||
                     p.Compression == CompressionKind::CCITTModifiedHuffmanWord;
    if ((fax && (depth != 1 || p.SamplesPerPixel != 1)) ||
        (p.Compression == CompressionKind::ThunderScan && (depth != 4 || p.SamplesPerPixel != 1)))
        InvalidTIFF();
    cm.SetSourceScheme(source);
    cm.SetTargetScheme(target);
    cm.SetSourceSampleCount(p.SamplesPerPixel);
    cm.SetTargetSampleCount(source == ColorScheme::CMYK ? 3 : p.SamplesPerPixel);
    if (source == ColorScheme::CIELab) cm.SourceFlags |= LabScaledL;

    planes_ = p.PlanarConfig == 2 && p.SamplesPerPixel > 1 ? p.SamplesPerPixel : 1;
    // Separate planes are interleaved here before conversion, which needs whole-byte samples.
    // JPEG strips decode to interleaved B, G, R pixels, never to one plane.
    if (planes_ > 1 && ((depth != 8 && depth != 16) || jpeg)) InvalidTIFF();
    const std::uint64_t samplesPerRow = std::uint64_t(p.Width) * (planes_ > 1 ? 1 : p.SamplesPerPixel);
    lineBytes_ = static_cast<std::size_t>((samplesPerRow * depth + 7) / 8);
    chunkyBytes_ = static_cast<std::size_t>((std::uint64_t(p.Width) * p.SamplesPerPixel * depth + 7) / 8);

    // Subsampled YCbCr without JPEG is stored in data units, expanded here to a sample triple
    // per pixel before conversion.
    subsampleH_ = p.YCbCrSubSampling.size() >= 2 ? p.YCbCrSubSampling[0] : 1;
    subsampleV_ = p.YCbCrSubSampling.size() >= 2 ? p.YCbCrSubSampling[1] : 1;
    subsampled_ = source == ColorScheme::YCbCr && (subsampleH_ != 1 || subsampleV_ != 1);
    if (subsampled_ && (planes_ > 1 || depth != 8 || (subsampleH_ != 2 && subsampleH_ != 4) ||
                        (subsampleV_ != 1 && subsampleV_ != 2 && subsampleV_ != 4)))
        InvalidTIFF();

    const TPixelFormat format = source == ColorScheme::GrayAlpha ? TPixelFormat::pf8bit : cm.PixelFormatFor(1);
    if (format == TPixelFormat::pfCustom) InvalidTIFF();
    SetPixelFormat(inkTransform_ ? TPixelFormat::pf24bit : format);
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
    if (!CompressionSupported()) GraphicExError(gesUnsupportedFeature, gesCompression, gesTIFF);
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
    GraphicExError(gesUnsupportedFeature, gesCompression, gesTIFF);
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

void TTIFFGraphic::DecodeStrips(TDecoder* decoder) {
    TImageProperties& p = ImageProperties;
    const std::vector<std::uint32_t> offsets = GetIntegers(TagStripOffsets);
    const std::vector<std::uint32_t> byteCounts = GetIntegers(TagStripByteCounts);
    const bool predictor = p.Compression != CompressionKind::None && p.Predictor == 2 && !subsampled_;
    const bool reversed = (p.Options & ReversedBits) != 0;
    const std::uint32_t rowSamples = planes_ > 1 ? 1 : p.SamplesPerPixel;
    const std::uint64_t totalRows = std::uint64_t(p.Height) * planes_;
    // Rows come in groups: one row, or the rows of one line of subsampled YCbCr data units.
    const std::uint32_t groupRows = subsampled_ ? subsampleV_ : 1;
    const std::size_t groupBytes =
        subsampled_ ? (std::size_t(p.Width) + subsampleH_ - 1) / subsampleH_ * (subsampleH_ * subsampleV_ + 2)
                    : lineBytes_;

    std::vector<std::uint8_t> planeData;  // separate planes, one after the other
    if (planes_ > 1) planeData.assign(static_cast<std::size_t>(totalRows * lineBytes_), 0);
    std::vector<std::uint8_t> expanded;
    if (subsampled_) expanded.assign(std::size_t(groupRows) * chunkyBytes_, 0);
    std::vector<std::uint8_t> packed, strip;

    p.StripCount = static_cast<std::uint32_t>(offsets.size());
    p.CurrentRow = 0;
    p.CurrentStrip = 0;
    std::uint64_t rowsDone = 0;
    for (std::uint32_t index = 0; index < p.StripCount && rowsDone < totalRows; ++index) {
        p.CurrentStrip = index;
        const std::uint64_t plane = rowsDone / p.Height;
        const std::uint32_t firstRow = static_cast<std::uint32_t>(rowsDone % p.Height);
        p.CurrentRow = firstRow;
        const std::uint32_t rowsPerStrip = p.RowsPerStrip[std::min<std::size_t>(index, p.RowsPerStrip.size() - 1)];
        // A strip never holds more rows than remain: the last one is usually short.
        const std::uint32_t rows = std::min(rowsPerStrip, p.Height - firstRow);
        if (rows == 0) continue;
        const std::uint32_t groups = (rows + groupRows - 1) / groupRows;
        const std::size_t unpacked = std::size_t(groups) * groupBytes;
        strip.assign(unpacked, 0);

        // Strip data that lies beyond the end of the file is missing: those rows stay zero.
        const std::int64_t start = BasePosition + offsets[index];
        const std::uint64_t available = start < streamSize_ ? std::uint64_t(streamSize_ - start) : 0;
        if (decoder) {
            std::uint64_t count = index < byteCounts.size() ? byteCounts[index] : available;
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
                GraphicExError(gesUnsupportedFeature, gesCompression, gesTIFF);
            const std::uint8_t* source = packed.data();
            std::uint8_t* dest = strip.data();
            decoder->Decode(source, dest, static_cast<std::int32_t>(count), static_cast<std::int32_t>(unpacked));
        } else {
            const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(unpacked, available));
            if (count > 0) {
                stream_->SetPosition(start);
                stream_->ReadBuffer(strip.data(), count);
            }
            if (reversed) std::transform(strip.begin(), strip.end(), strip.begin(), ReverseBits);
        }

        if (subsampled_) {
            for (std::uint32_t g = 0; g < groups; ++g) {
                ExpandSubsampled(strip.data() + std::size_t(g) * groupBytes, expanded.data());
                for (std::uint32_t r = 0; r < groupRows && g * groupRows + r < rows; ++r) {
                    ConvertRow(expanded.data() + r * chunkyBytes_, chunkyBytes_, firstRow + g * groupRows + r);
                    p.CurrentRow = firstRow + g * groupRows + r + 1;
                }
            }
        } else {
            for (std::uint32_t i = 0; i < rows; ++i) {
                std::uint8_t* row = strip.data() + std::size_t(i) * lineBytes_;
                if (predictor) UndoPredictor(row, rowSamples);
                if (planes_ > 1) {
                    std::memcpy(planeData.data() + (plane * p.Height + firstRow + i) * lineBytes_, row, lineBytes_);
                } else {
                    ConvertRow(row, lineBytes_, firstRow + i);
                    p.CurrentRow = firstRow + i + 1;
                }
            }
        }
        rowsDone += rows;
    }

    if (planes_ > 1) {
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
    if (!TTIFFGraphic::ReadProperties(stream, 0)) InvalidTIFF();
    TImageProperties& p = ImageProperties;
    CollectMetadata();
    if (p.Options & Tiled) return;
    if (!FindTag(TagStripOffsets)) InvalidTIFF();
    // An unknown compression says more than the sample layout it would be checked against.
    if (!CompressionSupported()) GraphicExError(gesUnsupportedFeature, gesCompression, gesTIFF);

    SetupColorManager();
    const std::uint64_t needed = std::uint64_t(p.Height) * lineBytes_ * planes_;
    const std::uint64_t stored = static_cast<std::uint64_t>(std::max<std::int64_t>(streamSize_ - BasePosition, 0));
    const std::uint64_t expansion = ExpansionOf(p.Compression);
    CheckImageSize(p.Width, p.Height, needed,
                   expansion == UINT64_MAX || stored > UINT64_MAX / expansion ? UINT64_MAX : stored * expansion);
    // Strips are handed to the decoders with 32-bit sizes.
    if (std::uint64_t(p.Height) * lineBytes_ > INT32_MAX)
        GraphicExError(gesImageTooLarge, gesTIFF, static_cast<unsigned long long>(p.Width),
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
