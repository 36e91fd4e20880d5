#include "formats/AVIFGraphic.h"

#include "formats/CodecLibraries.h"
#include "formats/FileFormatList.h"
#include "formats/IsoBrands.h"
#include "formats/ReaderStrings.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cstring>

const TGraphicClass TAVIFGraphicClass = ReaderClass<TAVIFGraphic>("TAVIFGraphic");

// libavif's decoder reading the file from the stream, a piece at a time.
class TAvifSource {
public:
    explicit TAvifSource(TStream& stream) : avif_(AvifLibrary()), stream_(stream), base_(stream.Position()) {
        const std::int64_t remaining = stream.Remaining();
        io_.read = &Read;
        io_.sizeHint = static_cast<std::uint64_t>(std::max<std::int64_t>(remaining, 0));
        io_.persistent = AVIF_FALSE;
        io_.data = this;
        decoder_ = avif_.avifDecoderCreate();
        if (decoder_ == nullptr) throw EOutOfMemory(sizeof(avifDecoder));
        decoder_->maxThreads = DecoderThreadCount();
        decoder_->imageSizeLimit = static_cast<std::uint32_t>(MaxPixelCount);
        // Files of older writers lack properties the strict rules ask for (pixi, an alpha ispe);
        // they decode all the same.
        decoder_->strictFlags = AVIF_STRICT_DISABLED;
        decoder_->ignoreXMP = AVIF_TRUE;
        // Without a destroy function the decoder leaves io_ to its owner.
        avif_.avifDecoderSetIO(decoder_, &io_);
    }
    ~TAvifSource() { avif_.avifDecoderDestroy(decoder_); }
    TAvifSource(const TAvifSource&) = delete;
    TAvifSource& operator=(const TAvifSource&) = delete;

    avifDecoder* Decoder() const { return decoder_; }
    // "<result>: <details>" for a failed call.
    std::string ErrorText(avifResult result) const {
        std::string text = avif_.avifResultToString(result);
        if (decoder_->diag.error[0] != '\0') text += std::string(": ") + decoder_->diag.error;
        return LibraryMessage(text.c_str());
    }

private:
    // libavif's read: the range from offset, cut at the end of the file; an exception must not
    // pass through the library.
    static avifResult Read(avifIO* io, std::uint32_t readFlags, std::uint64_t offset, std::size_t size,
                           avifROData* out) {
        auto* self = static_cast<TAvifSource*>(io->data);
        if (readFlags != 0 || offset > io->sizeHint) return AVIF_RESULT_IO_ERROR;
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, io->sizeHint - offset));
        try {
            self->buffer_.resize(size);
            self->stream_.SetPosition(self->base_ + static_cast<std::int64_t>(offset));
            self->stream_.ReadBuffer(self->buffer_.data(), size);
        } catch (...) {
            return AVIF_RESULT_IO_ERROR;
        }
        out->data = self->buffer_.data();
        out->size = size;
        return AVIF_RESULT_OK;
    }

    const TAvifLibrary& avif_;
    TStream& stream_;
    std::int64_t base_;
    avifIO io_{};
    avifDecoder* decoder_ = nullptr;
    TByteArray buffer_;
};

namespace {

// Where the shown picture comes from in the decoded one: the clean aperture, then a rotation by
// Angle × 90 degrees anticlockwise, then a mirror (0: top and bottom exchanged, 1: left and
// right, -1: none), the order in which the format applies them.
struct TGeometry {
    avifCropRect Crop{};
    int Angle = 0;
    int Mirror = -1;

    bool Plain(const avifImage& image) const {
        return Angle == 0 && Mirror < 0 && Crop.x == 0 && Crop.y == 0 && Crop.width == image.width &&
               Crop.height == image.height;
    }
    std::uint32_t ShownWidth() const { return Angle % 2 ? Crop.height : Crop.width; }
    std::uint32_t ShownHeight() const { return Angle % 2 ? Crop.width : Crop.height; }
};

TGeometry GeometryOf(const TAvifLibrary& avif, const avifImage& image) {
    TGeometry g;
    g.Crop = {0, 0, image.width, image.height};
    if (image.transformFlags & AVIF_TRANSFORM_CLAP) {
        // An aperture that does not fit the picture is ignored, as viewers do.
        avifCropRect crop;
        avifDiagnostics diag{};
        if (avif.avifCropRectConvertCleanApertureBox(&crop, &image.clap, image.width, image.height, image.yuvFormat,
                                                     &diag) &&
            crop.width > 0 && crop.height > 0)
            g.Crop = crop;
    }
    if (image.transformFlags & AVIF_TRANSFORM_IROT) g.Angle = image.irot.angle & 3;
    if (image.transformFlags & AVIF_TRANSFORM_IMIR) g.Mirror = image.imir.mode & 1;
    return g;
}

// Copies the converted picture (rows of bytesPerPixel samples) into the bitmap as shown.
void CopyShown(const std::uint8_t* pixels, std::size_t rowBytes, unsigned bytesPerPixel, const TGeometry& g,
               TBitmap& bitmap) {
    const std::int64_t cw = g.Crop.width, ch = g.Crop.height;
    const std::int64_t dw = g.ShownWidth(), dh = g.ShownHeight();
    // The pixel of the cropped picture that the shown pixel (x, y) takes.
    auto sourceOf = [&](std::int64_t x, std::int64_t y) {
        if (g.Mirror == 0) y = dh - 1 - y;
        if (g.Mirror == 1) x = dw - 1 - x;
        switch (g.Angle) {
            case 1:
                return std::pair{cw - 1 - y, x};
            case 2:
                return std::pair{cw - 1 - x, ch - 1 - y};
            case 3:
                return std::pair{y, ch - 1 - x};
            default:
                return std::pair{x, y};
        }
    };
    auto offsetOf = [&](std::pair<std::int64_t, std::int64_t> point) {
        return (point.second + g.Crop.y) * static_cast<std::int64_t>(rowBytes) +
               (point.first + g.Crop.x) * static_cast<std::int64_t>(bytesPerPixel);
    };
    for (std::int64_t y = 0; y < dh; ++y) {
        const std::int64_t first = offsetOf(sourceOf(0, y));
        const std::int64_t step = dw > 1 ? offsetOf(sourceOf(1, y)) - first : 0;
        std::uint8_t* out = bitmap.ScanLine(static_cast<int>(y));
        const std::uint8_t* in = pixels + first;
        for (std::int64_t x = 0; x < dw; ++x, in += step, out += bytesPerPixel) std::memcpy(out, in, bytesPerPixel);
    }
}

}  // namespace

TAVIFGraphic::TAVIFGraphic() = default;
TAVIFGraphic::~TAVIFGraphic() = default;

const char* TAVIFGraphic::FormatLabel() const { return gesAVIF; }

bool TAVIFGraphic::CanLoadStream(TStream& stream) {
    const std::optional<TFileTypeBrands> brands = ReadFileTypeBrands(stream);
    if (!brands) return false;
    const bool hevcMajor = brands->Major == FourCC("heic") || brands->Major == FourCC("heix") ||
                           brands->Major == FourCC("hevc") || brands->Major == FourCC("hevx") ||
                           brands->Major == FourCC("heim") || brands->Major == FourCC("heis");
    return !hevcMajor && brands->HasAny({FourCC("avif"), FourCC("avis")});
}

bool TAVIFGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    source_.reset();
    libraryError_.clear();
    const TAvifLibrary& avif = AvifLibrary();
    auto source = std::make_unique<TAvifSource>(stream);
    avifDecoder* decoder = source->Decoder();
    if (const avifResult result = avif.avifDecoderParse(decoder); result != AVIF_RESULT_OK) {
        libraryError_ = source->ErrorText(result);
        return false;
    }
    const avifImage& image = *decoder->image;
    const TGeometry g = GeometryOf(avif, image);
    TImageProperties& p = ImageProperties;
    p.Width = g.ShownWidth();
    p.Height = g.ShownHeight();
    p.HasAlpha = decoder->alphaPresent != AVIF_FALSE;
    const bool gray = image.yuvFormat == AVIF_PIXEL_FORMAT_YUV400;
    p.ColorScheme = gray ? (p.HasAlpha ? ColorScheme::GrayAlpha : ColorScheme::Gray)
                         : (p.HasAlpha ? ColorScheme::RGBA : ColorScheme::RGB);
    p.BitsPerSample = static_cast<std::uint8_t>(image.depth);
    p.SamplesPerPixel = static_cast<std::uint8_t>((gray ? 1 : 3) + (p.HasAlpha ? 1 : 0));
    p.BitsPerPixel = static_cast<std::uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    p.Compression = CompressionKind::AV1;
    source_ = std::move(source);
    return true;
}

void TAVIFGraphic::LoadFromStream(TStream& stream) {
    Metadata() = {};
    if (!BeginLoad(stream)) {
        if (!libraryError_.empty()) GraphicError(gesLibraryError, ErrorLabel(), libraryError_.c_str());
        GraphicError(gesInvalidImage, ErrorLabel());
    }
    const std::unique_ptr<TAvifSource> source = std::move(source_);
    const TAvifLibrary& avif = AvifLibrary();
    avifDecoder* decoder = source->Decoder();
    CheckImageSize(ImageProperties.Width, ImageProperties.Height);
    if (const avifResult result = avif.avifDecoderNextImage(decoder); result != AVIF_RESULT_OK)
        GraphicError(gesLibraryError, ErrorLabel(), source->ErrorText(result).c_str());
    // The AV1 data may give another size than the container.
    const avifImage& image = *decoder->image;
    CheckImageSize(image.width, image.height);
    Metadata().Icc.assign(image.icc.data, image.icc.data + image.icc.size);
    Metadata().Exif = ExifFromContainer(image.exif.data, image.exif.size);
    // The container's rotation and mirror are applied while copying; where it states them they
    // supersede an Exif Orientation tag, which otherwise turns the picture as in a JPEG.
    Metadata().OrientationApplied = (image.transformFlags & (AVIF_TRANSFORM_IROT | AVIF_TRANSFORM_IMIR)) != 0;

    const TGeometry g = GeometryOf(avif, image);
    const bool alpha = image.alphaPlane != nullptr;
    avifRGBImage rgb;
    avif.avifRGBImageSetDefaults(&rgb, &image);
    rgb.depth = 8;
    rgb.format = alpha ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
    SetPixelFormat(alpha ? TPixelFormat::pf32bit : TPixelFormat::pf24bit);
    avifResult result;
    if (g.Plain(image)) {
        SetSize(static_cast<int>(image.width), static_cast<int>(image.height));
        rgb.pixels = Bits();
        rgb.rowBytes = static_cast<std::uint32_t>(Stride());
        result = avif.avifImageYUVToRGB(&image, &rgb);
    } else {
        // Turned or cropped pictures are converted whole first, then copied as shown.
        const unsigned bytesPerPixel = alpha ? 4 : 3;
        TByteArray converted;
        const std::size_t rowBytes = std::size_t(image.width) * bytesPerPixel;
        try {
            converted.resize(rowBytes * image.height);
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory(rowBytes * image.height);
        }
        rgb.pixels = converted.data();
        rgb.rowBytes = static_cast<std::uint32_t>(rowBytes);
        result = avif.avifImageYUVToRGB(&image, &rgb);
        if (result == AVIF_RESULT_OK) {
            SetSize(static_cast<int>(g.ShownWidth()), static_cast<int>(g.ShownHeight()));
            CopyShown(converted.data(), rowBytes, bytesPerPixel, g, *this);
        }
    }
    if (result != AVIF_RESULT_OK) GraphicError(gesLibraryError, ErrorLabel(), source->ErrorText(result).c_str());
    if (alpha) DrawOnWhite(*this);
    ImageProperties.Width = static_cast<std::uint32_t>(Width());
    ImageProperties.Height = static_cast<std::uint32_t>(Height());
}
