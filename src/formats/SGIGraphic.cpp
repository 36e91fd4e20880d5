#include "formats/SGIGraphic.h"

#include "codecs/RLEDecoders.h"
#include "formats/FileFormatList.h"
#include "formats/ReaderStrings.h"
#include "platform/Stream.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

const TGraphicClass TSGIGraphicClass = ReaderClass<TSGIGraphic>("TSGIGraphic");

namespace {

constexpr std::size_t HeaderSize = 512;
constexpr std::uint16_t Magic = 474;

struct TSGIHeader {
    std::uint16_t Magic;
    std::uint8_t Storage, BytesPerChannel;
    std::uint16_t Dimension, Width, Height, Channels;
};

TSGIHeader ReadHeader(TStream& stream) {
    std::uint8_t b[12];
    stream.ReadBuffer(b, sizeof b);
    stream.Seek(HeaderSize - sizeof b, TSeekOrigin::Current);
    return {ReadBigEndian16(b),     b[2], b[3], ReadBigEndian16(b + 4), ReadBigEndian16(b + 6), ReadBigEndian16(b + 8),
            ReadBigEndian16(b + 10)};
}

bool ValidBytesPerChannel(unsigned bytes) { return bytes == 1 || bytes == 2; }

}  // namespace

const char* TSGIGraphic::FormatLabel() const { return gesSGI; }

bool TSGIGraphic::CanLoadStream(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    bool result = false;
    if (stream.Remaining() > static_cast<std::int64_t>(HeaderSize)) {
        std::uint8_t b[6];
        stream.ReadBuffer(b, sizeof b);
        std::uint16_t dimension = ReadBigEndian16(b + 4);
        result = ReadBigEndian16(b) == Magic && (b[3] == 1 || b[3] == 2) && dimension >= 1 && dimension <= 3;
    }
    return result;
}

bool TSGIGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    TSGIHeader h = ReadHeader(stream);
    if (h.Magic != Magic) return false;
    TImageProperties& p = ImageProperties;
    p.Options = BigEndian;
    p.BitsPerSample = static_cast<std::uint8_t>(8 * h.BytesPerChannel);
    p.Width = h.Width;
    p.Height = h.Height;
    p.SamplesPerPixel = static_cast<std::uint8_t>(h.Channels & 0xFF);
    p.ColorScheme = p.SamplesPerPixel == 3   ? ColorScheme::RGB
                    : p.SamplesPerPixel == 4 ? ColorScheme::RGBA
                                             : ColorScheme::Indexed;
    p.BitsPerPixel = static_cast<std::uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    p.Compression = h.Storage == 1 ? CompressionKind::RLE : CompressionKind::None;
    return true;
}

// What one load keeps besides the properties: the channel layout and, for run-length files,
// where each channel row lies.
struct TSGIGraphic::TLoad {
    unsigned BytesPerChannel = 1;
    unsigned Used = 1;  // channels converted: two channels (grey and alpha) show their grey one
    std::size_t RowBytes = 0;
    bool RunLength = false;
    // Entry c × height + r: channel c, stored row r.
    std::vector<std::uint32_t> Starts, Lengths;
    std::unique_ptr<TSGIRLEDecoder> Decoder;
    std::vector<std::uint8_t> Packed;
};

void TSGIGraphic::LoadFromStream(TStream& stream) {
    if (!BeginLoad(stream)) GraphicError(gesInvalidImage, ErrorLabel());
    stream.SetPosition(BasePosition);
    const TSGIHeader h = ReadHeader(stream);
    const TImageProperties& p = ImageProperties;
    const std::uint32_t width = p.Width, height = p.Height;
    TLoad load;
    load.BytesPerChannel = h.BytesPerChannel;
    if (!ValidBytesPerChannel(load.BytesPerChannel)) GraphicError(gesInvalidImage, ErrorLabel());
    ColorManager.SourceFlags = SwapBytes;
    CheckImageSize(width, height);

    load.RunLength = p.Compression == CompressionKind::RLE;
    if (load.RunLength) ReadRowTables(load);
    SetUpColors(load);
    load.RowBytes = std::size_t(width) * load.BytesPerChannel;
    // Stored channels must all be there: a short file would fail at its first missing row, and
    // one that lacks more than a row is refused before the bitmap is made. A run of two bytes (of
    // four with 16-bit samples) stands for at most 127 samples.
    const std::uint64_t needed = std::uint64_t(load.RowBytes) * height * load.Used;
    const std::uint64_t dataLeft = std::uint64_t(std::max<std::int64_t>(stream.Remaining(), 0));
    CheckImageSize(width, height, needed,
                   load.RunLength ? dataLeft * 64 : StoredRowsBound(dataLeft, load.RowBytes, needed));
    if (!load.RunLength && needed > dataLeft) throw EReadError();
    SetSize(static_cast<int>(width), static_cast<int>(height));
    if (Empty()) return;
    if (load.Used == 1) SetPalette(ColorManager.MakeGrayPalette(false));
    ReadRows(load);
}

void TSGIGraphic::ReadRowTables(TLoad& load) {
    const TImageProperties& p = ImageProperties;
    const std::uint64_t entries = std::uint64_t(p.Height) * p.SamplesPerPixel;
    if (entries * 8 > std::uint64_t(Stream->Remaining())) throw EReadError();
    std::vector<std::uint8_t> raw(entries * 8);
    Stream->ReadBuffer(raw.data(), raw.size());
    load.Starts.resize(entries);
    load.Lengths.resize(entries);
    for (std::size_t i = 0; i < entries; ++i) {
        load.Starts[i] = ReadBigEndian32(&raw[4 * i]);
        load.Lengths[i] = ReadBigEndian32(&raw[4 * (entries + i)]);
    }
    load.Decoder = std::make_unique<TSGIRLEDecoder>(p.BitsPerSample);
}

void TSGIGraphic::SetUpColors(TLoad& load) {
    const TImageProperties& p = ImageProperties;
    load.Used = p.SamplesPerPixel == 2 ? 1 : p.SamplesPerPixel;
    ColorManager.SetSourceDepth(p.BitsPerSample);
    ColorManager.SetTargetDepth(8);
    ColorManager.SetSourceSampleCount(static_cast<std::uint8_t>(load.Used));
    ColorManager.SetTargetSampleCount(static_cast<std::uint8_t>(load.Used));
    ColorManager.SetSourceScheme(p.ColorScheme);
    ColorManager.SetTargetScheme(p.ColorScheme == ColorScheme::RGB    ? ColorScheme::BGR
                                 : p.ColorScheme == ColorScheme::RGBA ? ColorScheme::BGRA
                                                                      : ColorScheme::Indexed);
    SetPixelFormat(ColorManager.PixelFormatFor(1));
}

void TSGIGraphic::ReadChannelRow(TLoad& load, unsigned c, std::uint32_t r, std::uint8_t* buffer) {
    const std::uint32_t height = ImageProperties.Height;
    std::fill_n(buffer, load.RowBytes, 0);
    if (!load.RunLength) {
        Stream->SetPosition(BasePosition + std::int64_t(HeaderSize) +
                            (std::int64_t(c) * height + r) * std::int64_t(load.RowBytes));
        Stream->ReadBuffer(buffer, load.RowBytes);
        return;
    }
    const std::size_t entry = std::size_t(c) * height + r;
    // Offsets and lengths from the tables are kept inside the file.
    const std::int64_t streamSize = Stream->Size();
    const std::int64_t start = BasePosition + load.Starts[entry];
    if (start >= streamSize) return;
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::int64_t>(load.Lengths[entry], streamSize - start));
    load.Packed.resize(length);
    Stream->SetPosition(start);
    Stream->ReadBuffer(load.Packed.data(), length);
    const std::uint8_t* source = load.Packed.data();
    std::uint8_t* dest = buffer;
    load.Decoder->Decode(source, dest, static_cast<std::int32_t>(std::min<std::size_t>(length, INT32_MAX)),
                         static_cast<std::int32_t>(ImageProperties.Width));
}

void TSGIGraphic::ReadRows(TLoad& load) {
    const std::uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    const std::size_t rowBytes = load.RowBytes;
    const unsigned used = load.Used;
    std::vector<std::uint8_t> buffers(rowBytes * std::max(used, 1u));
    for (std::uint32_t r = 0; r < height; ++r) {
        std::uint8_t* target = ScanLine(static_cast<int>(height - 1 - r));
        if (used == 1) {
            ReadChannelRow(load, 0, r, buffers.data());
            // Two-byte samples are big-endian: the high byte is the first.
            for (std::uint32_t x = 0; x < width; ++x) target[x] = buffers[std::size_t(x) * load.BytesPerChannel];
            continue;
        }
        std::array<TSourcePlane, 4> planes;
        for (unsigned c = 0; c < used; ++c) {
            ReadChannelRow(load, c, r, buffers.data() + c * rowBytes);
            planes[c] = {buffers.data() + c * rowBytes, rowBytes};
        }
        ColorManager.ConvertLine({planes.data(), used}, target, Stride(), width);
    }
}
