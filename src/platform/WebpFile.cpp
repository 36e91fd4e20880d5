// WebP files through libwebp; the extended format's metadata chunks through libwebpmux.
#include "Exception.h"
#include "PictureFiles.h"
#include "Stream.h"

#include <memory>
#include <new>

#include <webp/encode.h>
#include <webp/mux.h>

namespace {

// The largest width and height the format stores.
constexpr int MaxWebpSide = WEBP_MAX_DIMENSION;

const char* EncodingErrorText(WebPEncodingError error) {
    switch (error) {
        case VP8_ENC_ERROR_OUT_OF_MEMORY:
        case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
            return "Out of memory.";
        case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
        case VP8_ENC_ERROR_PARTITION_OVERFLOW:
            return "The picture is too large for a lossy WebP file at this quality.";
        case VP8_ENC_ERROR_FILE_TOO_BIG:
            return "The picture is too large for a WebP file.";
        default:
            return "The WebP encoder failed.";
    }
}

struct TPictureGuard {
    WebPPicture Picture;
    TPictureGuard() { WebPPictureInit(&Picture); }
    ~TPictureGuard() { WebPPictureFree(&Picture); }
    TPictureGuard(const TPictureGuard&) = delete;
    TPictureGuard& operator=(const TPictureGuard&) = delete;
};

struct TMemoryWriterGuard {
    WebPMemoryWriter Writer;
    TMemoryWriterGuard() { WebPMemoryWriterInit(&Writer); }
    ~TMemoryWriterGuard() { WebPMemoryWriterClear(&Writer); }
    TMemoryWriterGuard(const TMemoryWriterGuard&) = delete;
    TMemoryWriterGuard& operator=(const TMemoryWriterGuard&) = delete;
};

struct TMuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

// The bare bitstream file with EXIF and XMP chunks added (which makes it the extended format).
void WriteWithMetadata(const WebPData& image, const TMetadataBlocks& metadata, TStream& stream) {
    std::unique_ptr<WebPMux, TMuxDeleter> mux(WebPMuxNew());
    if (!mux) throw std::bad_alloc();
    const auto check = [](WebPMuxError error) {
        if (error == WEBP_MUX_MEMORY_ERROR) throw std::bad_alloc();
        if (error != WEBP_MUX_OK) throw EInvalidGraphic("The WebP metadata could not be written.");
    };
    check(WebPMuxSetImage(mux.get(), &image, 0));
    if (!metadata.Exif.empty()) {
        const WebPData exif{metadata.Exif.data(), metadata.Exif.size()};
        check(WebPMuxSetChunk(mux.get(), "EXIF", &exif, 0));
    }
    if (!metadata.Xmp.empty()) {
        const WebPData xmp{reinterpret_cast<const std::uint8_t*>(metadata.Xmp.data()), metadata.Xmp.size()};
        check(WebPMuxSetChunk(mux.get(), "XMP ", &xmp, 0));
    }
    WebPData assembled;
    WebPDataInit(&assembled);
    const WebPMuxError error = WebPMuxAssemble(mux.get(), &assembled);
    if (error == WEBP_MUX_OK) {
        try {
            stream.WriteBuffer(assembled.bytes, assembled.size);
        } catch (...) {
            WebPDataClear(&assembled);
            throw;
        }
    }
    WebPDataClear(&assembled);
    check(error);
}

}  // namespace

void WriteWebpStream(const TBgrView& view, TStream& stream, int quality, bool lossless,
                     const TMetadataBlocks& metadata) {
    if (view.Width <= 0 || view.Height <= 0 || !view.Bits) throw EInvalidGraphic("Cannot save an empty picture.");
    if (view.Width > MaxWebpSide || view.Height > MaxWebpSide)
        throw EInvalidGraphic(FormatText("A WebP file holds at most %dx%d pixels; the picture has %dx%d.", MaxWebpSide,
                                         MaxWebpSide, view.Width, view.Height));
    WebPConfig config;
    if (!WebPConfigInit(&config)) throw EInvalidGraphic("The WebP encoder does not match its header.");
    config.quality = static_cast<float>(quality);
    config.lossless = lossless ? 1 : 0;

    TPictureGuard picture;
    TMemoryWriterGuard output;
    picture.Picture.width = view.Width;
    picture.Picture.height = view.Height;
    picture.Picture.use_argb = lossless ? 1 : 0;
    picture.Picture.writer = WebPMemoryWrite;
    picture.Picture.custom_ptr = &output.Writer;
    if (!WebPPictureImportBGR(&picture.Picture, view.Bits, static_cast<int>(view.Stride))) throw std::bad_alloc();
    if (!WebPEncode(&config, &picture.Picture)) {
        if (picture.Picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY) throw std::bad_alloc();
        throw EInvalidGraphic(EncodingErrorText(picture.Picture.error_code));
    }
    if (metadata.Exif.empty() && metadata.Xmp.empty())
        stream.WriteBuffer(output.Writer.mem, output.Writer.size);
    else
        WriteWithMetadata({output.Writer.mem, output.Writer.size}, metadata, stream);
}
