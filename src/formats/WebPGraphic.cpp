#include "formats/WebPGraphic.h"

#include "formats/FileFormatList.h"
#include "formats/ReaderStrings.h"
#include "platform/Stream.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>

const TGraphicClass TWebPGraphicClass = ReaderClass<TWebPGraphic>("TWebPGraphic");

namespace {

constexpr std::size_t SignatureSize = 12;
// The smallest piece of the file handed to the header parser; a file whose picture header comes
// after large ICCP or EXIF chunks is read further, piece by piece.
constexpr std::size_t FirstHeaderPiece = 64;

struct TDemuxDeleter {
    void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
};
struct TAnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// The first chunk of a kind ("ICCP", "EXIF"), or an empty block.
WebPData FirstChunk(const WebPDemuxer* demuxer, const char* fourcc) {
    WebPChunkIterator chunk;
    WebPData data{nullptr, 0};
    if (WebPDemuxGetChunk(demuxer, fourcc, 1, &chunk)) data = chunk.chunk;
    WebPDemuxReleaseChunkIterator(&chunk);
    return data;
}

}  // namespace

const char* TWebPGraphic::FormatLabel() const { return gesWebP; }

bool TWebPGraphic::CanLoadStream(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    if (stream.Remaining() <= static_cast<std::int64_t>(SignatureSize)) return false;
    std::uint8_t b[SignatureSize];
    stream.ReadBuffer(b, sizeof b);
    return std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WEBP", 4) == 0;
}

bool TWebPGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    const auto available = static_cast<std::size_t>(std::max<std::int64_t>(stream.Remaining(), 0));
    TByteArray head;
    WebPBitstreamFeatures features{};
    VP8StatusCode status = VP8_STATUS_NOT_ENOUGH_DATA;
    // An extended header gives the size and flags before the picture chunk; the kind of
    // compression needs the picture chunk's header too (an animation has none of its own).
    auto needMore = [&] {
        return status == VP8_STATUS_NOT_ENOUGH_DATA ||
               (status == VP8_STATUS_OK && features.format == 0 && !features.has_animation);
    };
    for (std::size_t piece = FirstHeaderPiece; needMore() && head.size() < available; piece *= 4) {
        const std::size_t start = head.size(), count = std::min(piece, available - start);
        head.resize(start + count);
        stream.ReadBuffer(head.data() + start, count);
        status = WebPGetFeatures(head.data(), head.size(), &features);
    }
    if (status != VP8_STATUS_OK) return false;

    TImageProperties& p = ImageProperties;
    p.Width = static_cast<std::uint32_t>(features.width);
    p.Height = static_cast<std::uint32_t>(features.height);
    p.HasAlpha = features.has_alpha != 0;
    p.ColorScheme = p.HasAlpha ? ColorScheme::RGBA : ColorScheme::RGB;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = p.HasAlpha ? 4 : 3;
    p.BitsPerPixel = static_cast<std::uint8_t>(8 * p.SamplesPerPixel);
    // An animation may mix both kinds of frames.
    p.Compression = features.format == 1   ? CompressionKind::VP8
                    : features.format == 2 ? CompressionKind::VP8L
                                           : CompressionKind::Unknown;
    animated_ = features.has_animation != 0;
    return true;
}

void TWebPGraphic::LoadFromStream(TStream& stream) {
    Metadata = {};
    if (!BeginLoad(stream)) GraphicError(gesInvalidImage);
    stream.SetPosition(BasePosition);
    const TImageProperties& p = ImageProperties;
    CheckImageSize(p.Width, p.Height);
    const TByteArray file = ReadToEnd(stream);
    const WebPData data{file.data(), file.size()};

    if (std::unique_ptr<WebPDemuxer, TDemuxDeleter> demuxer(WebPDemux(&data)); demuxer) {
        const WebPData icc = FirstChunk(demuxer.get(), "ICCP");
        Metadata.IccProfile.assign(icc.bytes, icc.bytes + icc.size);
        const WebPData exif = FirstChunk(demuxer.get(), "EXIF");
        Metadata.SetExif(exif.bytes, exif.size);
    }

    const int width = static_cast<int>(p.Width), height = static_cast<int>(p.Height);
    if (animated_) {
        // The first frame composed onto a transparent canvas, as browsers show it.
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options)) GraphicError(gesInvalidImage);
        options.color_mode = MODE_BGRA;
        options.use_threads = 0;
        std::unique_ptr<WebPAnimDecoder, TAnimDecoderDeleter> decoder(WebPAnimDecoderNew(&data, &options));
        WebPAnimInfo info;
        if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) || info.canvas_width != p.Width ||
            info.canvas_height != p.Height)
            GraphicError(gesInvalidImage);
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) GraphicError(gesInvalidImage);
        SetPixelFormat(TPixelFormat::pf32bit);
        SetSize(width, height);
        for (int y = 0; y < height; ++y)
            std::memcpy(ScanLine(y), canvas + std::size_t(y) * width * 4, std::size_t(width) * 4);
        DrawOnWhite(*this);
        return;
    }

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) GraphicError(gesInvalidImage);
    config.options.use_threads = 1;
    SetPixelFormat(p.HasAlpha ? TPixelFormat::pf32bit : TPixelFormat::pf24bit);
    SetSize(width, height);
    config.output.colorspace = p.HasAlpha ? MODE_BGRA : MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = Bits();
    config.output.u.RGBA.stride = static_cast<int>(Stride());
    config.output.u.RGBA.size = Stride() * std::size_t(height);
    const VP8StatusCode status = WebPDecode(data.bytes, data.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) GraphicError(gesInvalidImage);
    if (p.HasAlpha) DrawOnWhite(*this);
}
