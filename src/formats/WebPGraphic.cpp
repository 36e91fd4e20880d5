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
    Metadata() = {};
    if (!BeginLoad(stream)) GraphicError(gesInvalidImage, ErrorLabel());
    stream.SetPosition(BasePosition);
    const TImageProperties& p = ImageProperties;
    CheckImageSize(p.Width, p.Height);
    const TByteArray file = ReadToEnd(stream);
    const WebPData data{file.data(), file.size()};

    const std::unique_ptr<WebPDemuxer, TDemuxDeleter> demuxer(WebPDemux(&data));
    if (demuxer) {
        const WebPData icc = FirstChunk(demuxer.get(), "ICCP");
        Metadata().Icc.assign(icc.bytes, icc.bytes + icc.size);
        const WebPData exif = FirstChunk(demuxer.get(), "EXIF");
        Metadata().Exif = ExifFromContainer(exif.bytes, exif.size);
    }

    // The bitstream to decode and where its picture goes: the whole file onto the whole bitmap,
    // or of an animation the first frame at its place on the transparent canvas, as browsers
    // show it. (libwebp's animation decoder would hold two more canvases.)
    const int width = static_cast<int>(p.Width), height = static_cast<int>(p.Height);
    WebPData bitstream = data;
    int left = 0, top = 0;
    bool alpha = p.HasAlpha;
    if (animated_) {
        WebPIterator frame;
        if (!demuxer || !WebPDemuxGetFrame(demuxer.get(), 1, &frame)) GraphicError(gesInvalidImage, ErrorLabel());
        bitstream = frame.fragment;
        left = frame.x_offset;
        top = frame.y_offset;
        const int frameWidth = frame.width, frameHeight = frame.height;
        WebPDemuxReleaseIterator(&frame);
        WebPBitstreamFeatures features;
        if (WebPGetFeatures(bitstream.bytes, bitstream.size, &features) != VP8_STATUS_OK ||
            features.width != frameWidth || features.height != frameHeight || left < 0 || top < 0 ||
            frameWidth > width - left || frameHeight > height - top)
            GraphicError(gesInvalidImage, ErrorLabel());
        alpha = true;
    }

    const std::size_t bytesPerPixel = alpha ? 4 : 3;
    SetPixelFormat(alpha ? TPixelFormat::pf32bit : TPixelFormat::pf24bit);
    SetSize(width, height);
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) GraphicError(gesInvalidImage, ErrorLabel());
    config.options.use_threads = 1;
    config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = ScanLine(top) + std::size_t(left) * bytesPerPixel;
    config.output.u.RGBA.stride = static_cast<int>(Stride());
    config.output.u.RGBA.size = Stride() * std::size_t(height - top) - std::size_t(left) * bytesPerPixel;
    const VP8StatusCode status = WebPDecode(bitstream.bytes, bitstream.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) GraphicError(gesInvalidImage, ErrorLabel());
    // Around the first frame the canvas is transparent: its zeroed pixels turn white here.
    if (alpha) DrawOnWhite(*this);
}
