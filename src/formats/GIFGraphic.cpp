#include "formats/GIFGraphic.h"

#include "codecs/LZWDecoders.h"
#include "formats/FileFormatList.h"
#include "formats/ReaderStrings.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <cctype>
#include <string>
#include <vector>

const TGraphicClass TGIFGraphicClass = ReaderClass<TGIFGraphic>("TGIFGraphic");

namespace {

constexpr std::uint8_t ExtensionIntroducer = 33;
constexpr std::uint8_t ImageSeparator = 44;
constexpr std::uint8_t Trailer = 59;
constexpr std::uint8_t PlainTextLabel = 1;
constexpr std::uint8_t GraphicControlLabel = 249;
constexpr std::uint8_t CommentLabel = 254;
constexpr std::uint8_t ApplicationLabel = 255;

constexpr std::uint8_t ColorTableFlag = 0x80;
constexpr std::uint8_t InterlaceFlag = 0x40;

// The most pixels one byte of GIF data can stand for: every code, at least two bits wide,
// names a string of at most 4096 bytes.
constexpr std::uint64_t MaxLZWExpansion = 4096 * 8 / 2;

struct TScreenDescriptor {
    std::uint16_t Width = 0, Height = 0;
    std::uint8_t Flags = 0;
};

struct TImageDescriptor {
    std::uint16_t Width = 0, Height = 0;
    std::uint8_t Flags = 0;
};

bool IsGIFSignature(const std::uint8_t* bytes) {
    return std::toupper(bytes[0]) == 'G' && std::toupper(bytes[1]) == 'I' && std::toupper(bytes[2]) == 'F';
}

TScreenDescriptor ReadScreenDescriptor(TStream& stream) {
    std::uint8_t bytes[7];
    stream.ReadBuffer(bytes, sizeof bytes);
    return {ReadLittleEndian16(bytes), ReadLittleEndian16(bytes + 2), bytes[4]};
}

TImageDescriptor ReadImageDescriptor(TStream& stream) {
    std::uint8_t bytes[9];
    stream.ReadBuffer(bytes, sizeof bytes);
    return {ReadLittleEndian16(bytes + 4), ReadLittleEndian16(bytes + 6), bytes[8]};
}

}  // namespace

const char* TGIFGraphic::FormatLabel() const { return gesGIF; }

bool TGIFGraphic::CanLoadStream(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    bool result = false;
    if (stream.Remaining() > 22) {
        std::uint8_t signature[3];
        result = stream.Read(signature, 3) == 3 && IsGIFSignature(signature);
    }
    return result;
}

std::uint8_t TGIFGraphic::ReadByte() { return Stream->ReadValue<std::uint8_t>(); }

void TGIFGraphic::SkipSubBlocks() {
    for (std::uint8_t size = ReadByte(); size != 0; size = ReadByte()) Stream->Seek(size, TSeekOrigin::Current);
}

std::uint8_t TGIFGraphic::SkipToImage() {
    for (;;) {
        std::uint8_t byte = ReadByte();
        if (byte == ImageSeparator || byte == Trailer) return byte;
        if (byte != ExtensionIntroducer) continue;
        switch (ReadByte()) {
            case PlainTextLabel:
                Stream->Seek(ReadByte(), TSeekOrigin::Current);
                SkipSubBlocks();
                break;
            case GraphicControlLabel:
                Stream->Seek(ReadByte() + 1, TSeekOrigin::Current);
                break;
            case CommentLabel:
            case ApplicationLabel:
                SkipSubBlocks();
                break;
            default:
                break;
        }
    }
}

TPalette TGIFGraphic::ReadColorTable(unsigned sizeBits) {
    std::vector<std::uint8_t> bytes(3u << (sizeBits + 1));
    Stream->ReadBuffer(bytes.data(), bytes.size());
    TPalette palette(bytes.size() / 3);
    for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = {bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
    return palette;
}

bool TGIFGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    Stream = &stream;
    TImageProperties& p = ImageProperties;
    std::uint8_t header[6];
    stream.ReadBuffer(header, sizeof header);
    if (!IsGIFSignature(header)) return false;
    if (!std::isdigit(header[3]) || !std::isdigit(header[4]))
        throw EConvertError(FormatText("'%c%c' is not a valid integer value", header[3], header[4]));
    p.Version = static_cast<std::uint32_t>((header[3] - '0') * 10 + (header[4] - '0'));
    p.ColorScheme = ColorScheme::Indexed;
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 8;
    p.Compression = CompressionKind::LZW;
    TScreenDescriptor screen = ReadScreenDescriptor(stream);
    if (screen.Flags & ColorTableFlag) {
        p.BitsPerSample = static_cast<std::uint8_t>((screen.Flags & 7) + 1);
        stream.Seek(3 << ((screen.Flags & 7) + 1), TSeekOrigin::Current);
    }
    if (SkipToImage() == ImageSeparator) {
        TImageDescriptor image = ReadImageDescriptor(stream);
        p.Width = image.Width != 0 ? image.Width : screen.Width;
        p.Height = image.Height != 0 ? image.Height : screen.Height;
        p.LocalColorTable = (image.Flags & ColorTableFlag) != 0;
        if (p.LocalColorTable) p.BitsPerSample = static_cast<std::uint8_t>((image.Flags & 7) + 1);
        p.Interlaced = (image.Flags & InterlaceFlag) != 0;
    }
    p.BitsPerPixel = static_cast<std::uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    return true;
}

void TGIFGraphic::LoadFromStream(TStream& stream) {
    if (!BeginLoad(stream)) GraphicError(gesInvalidImage, ErrorLabel());
    stream.SetPosition(BasePosition + 6);
    SetPixelFormat(TPixelFormat::pf8bit);
    TScreenDescriptor screen = ReadScreenDescriptor(stream);
    if (screen.Flags & ColorTableFlag) SetPalette(ReadColorTable(screen.Flags & 7));
    if (SkipToImage() != ImageSeparator) return;

    TImageDescriptor image = ReadImageDescriptor(stream);
    const std::uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    if (image.Flags & ColorTableFlag) SetPalette(ReadColorTable(image.Flags & 7));
    std::uint8_t codeSize = ReadByte();

    // Add up the data sub-blocks, stopping at the terminator or the end of the stream.
    std::int64_t dataStart = stream.Position();
    std::uint64_t packedSize = 0;
    for (;;) {
        std::uint8_t size;
        if (stream.Read(&size, 1) != 1 || size == 0) break;
        std::int64_t left = stream.Remaining();
        packedSize += std::min<std::int64_t>(size, left);
        if (left <= size) break;
        stream.Seek(size, TSeekOrigin::Current);
    }
    const std::uint64_t pixelCount = std::uint64_t(width) * height;
    CheckImageSize(width, height, pixelCount, packedSize * MaxLZWExpansion);

    SetSize(static_cast<int>(width), static_cast<int>(height));
    if (pixelCount == 0) return;
    std::vector<std::uint8_t> packed(packedSize);
    std::vector<std::uint8_t> pixels;
    if (ImageProperties.Interlaced || Stride() != width) pixels.assign(std::uint64_t(width) * (height + 1), 0);
    stream.SetPosition(dataStart);
    for (std::size_t filled = 0; filled < packed.size();) {
        std::uint8_t size = ReadByte();
        std::size_t take = std::min<std::size_t>(size, packed.size() - filled);
        stream.ReadBuffer(packed.data() + filled, take);
        filled += take;
    }

    TGIFLZWDecoder decoder(codeSize);
    const std::uint8_t* source = packed.data();
    // Rows stored in order and without padding in the bitmap take the decoded pixels directly.
    const bool direct = !ImageProperties.Interlaced && Stride() == width;
    std::uint8_t* dest = direct ? Bits() : pixels.data();
    decoder.Decode(source, dest, static_cast<std::int32_t>(packed.size()), static_cast<std::int32_t>(pixelCount));
    if (direct) return;

    const std::uint8_t* row = pixels.data();
    auto copyRow = [&](std::uint32_t y) {
        std::copy(row, row + width, ScanLine(static_cast<int>(y)));
        row += width;
    };
    if (ImageProperties.Interlaced) {
        static constexpr std::uint32_t firstRow[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (std::uint32_t y = firstRow[pass]; y < height; y += step[pass]) copyRow(y);
    } else {
        for (std::uint32_t y = 0; y < height; ++y) copyRow(y);
    }
}
