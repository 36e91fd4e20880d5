#include "formats/JXLGraphic.h"

#include "formats/CodecLibraries.h"
#include "formats/FileFormatList.h"
#include "formats/ReaderStrings.h"
#include "platform/Stream.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

const TGraphicClass TJXLGraphicClass = ReaderClass<TJXLGraphic>("TJXLGraphic");

namespace {

constexpr std::uint8_t ContainerSignature[12] = {0, 0, 0, 12, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
// The first piece of the file handed to the decoder for the basic header; more follows in
// growing pieces when the header lies further in (a container with boxes before the codestream).
constexpr std::size_t FirstHeaderPiece = 256;
// Exif boxes beyond this are not kept (Brotli-compressed boxes could otherwise grow without bound).
constexpr std::size_t MaxExifSize = std::size_t(1) << 24;

// Where libjxl's rows go: the bitmap's rows of the shown picture.
struct TRowTarget {
    TBitmap* Bitmap;
    bool Alpha;
    std::atomic<bool> OutOfBounds{false};
};

// libjxl's row callback, called from its worker threads on distinct pixels: R, G, B(, A) bytes
// into B, G, R, alpha drawn onto white.
void WriteRow(void* opaque, std::size_t x, std::size_t y, std::size_t count, const void* pixels) {
    auto* target = static_cast<TRowTarget*>(opaque);
    TBitmap& bitmap = *target->Bitmap;
    if (y >= static_cast<std::size_t>(bitmap.Height()) || x > static_cast<std::size_t>(bitmap.Width()) ||
        count > static_cast<std::size_t>(bitmap.Width()) - x) {
        target->OutOfBounds = true;
        return;
    }
    const auto* in = static_cast<const std::uint8_t*>(pixels);
    std::uint8_t* out = bitmap.ScanLine(static_cast<int>(y)) + 3 * x;
    if (target->Alpha) {
        for (std::size_t i = 0; i < count; ++i, in += 4, out += 3) {
            out[0] = OverWhite(in[2], in[3]);
            out[1] = OverWhite(in[1], in[3]);
            out[2] = OverWhite(in[0], in[3]);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
}

// libjxl's decoder and thread runner, each freed through the library it came from.
struct TDecoderDeleter {
    void operator()(JxlDecoder* decoder) const { JxlLibrary().JxlDecoderDestroy(decoder); }
};
struct TRunnerDeleter {
    void operator()(void* runner) const { JxlLibrary().JxlThreadParallelRunnerDestroy(runner); }
};
using TDecoder = std::unique_ptr<JxlDecoder, TDecoderDeleter>;
using TRunner = std::unique_ptr<void, TRunnerDeleter>;

// Orientations 5 to 8 exchange width and height.
bool Transposed(const JxlBasicInfo& info) { return info.orientation >= JXL_ORIENT_TRANSPOSE; }

}  // namespace

const char* TJXLGraphic::FormatLabel() const { return gesJXL; }

bool TJXLGraphic::CanLoadStream(TStream& stream) {
    const TStreamPositionKeeper keep(stream);
    const std::int64_t remaining = stream.Remaining();
    std::uint8_t b[sizeof ContainerSignature] = {};
    if (remaining <= 2) return false;
    stream.ReadBuffer(b, static_cast<std::size_t>(std::min<std::int64_t>(remaining, sizeof b)));
    if (b[0] == 0xFF && b[1] == 0x0A) return true;
    return remaining > static_cast<std::int64_t>(sizeof b) && std::memcmp(b, ContainerSignature, sizeof b) == 0;
}

bool TJXLGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    const TJxlLibrary& jxl = JxlLibrary();
    const TDecoder decoder(jxl.JxlDecoderCreate(nullptr));
    if (!decoder || jxl.JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS) return false;
    TByteArray input;
    std::size_t consumed = 0;
    JxlDecoderStatus status = JXL_DEC_NEED_MORE_INPUT;
    for (std::size_t piece = FirstHeaderPiece; status == JXL_DEC_NEED_MORE_INPUT && stream.Remaining() > 0;
         piece *= 4) {
        // Bytes the decoder has not taken yet stay in front of the next piece.
        input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(consumed));
        const std::size_t kept = input.size();
        const std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(stream.Remaining(), piece));
        input.resize(kept + count);
        stream.ReadBuffer(input.data() + kept, count);
        jxl.JxlDecoderSetInput(decoder.get(), input.data(), input.size());
        if (stream.Remaining() == 0) jxl.JxlDecoderCloseInput(decoder.get());
        status = jxl.JxlDecoderProcessInput(decoder.get());
        consumed = input.size() - jxl.JxlDecoderReleaseInput(decoder.get());
    }
    JxlBasicInfo info;
    if (status != JXL_DEC_BASIC_INFO || jxl.JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
        return false;

    TImageProperties& p = ImageProperties;
    p.Width = Transposed(info) ? info.ysize : info.xsize;
    p.Height = Transposed(info) ? info.xsize : info.ysize;
    p.HasAlpha = info.alpha_bits > 0;
    const bool gray = info.num_color_channels == 1;
    p.ColorScheme = gray ? (p.HasAlpha ? ColorScheme::GrayAlpha : ColorScheme::Gray)
                         : (p.HasAlpha ? ColorScheme::RGBA : ColorScheme::RGB);
    p.BitsPerSample = static_cast<std::uint8_t>(std::min<std::uint32_t>(info.bits_per_sample, 255));
    p.SamplesPerPixel = static_cast<std::uint8_t>((gray ? 1 : 3) + (p.HasAlpha ? 1 : 0));
    p.BitsPerPixel = static_cast<std::uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    p.Compression = CompressionKind::JPEGXL;
    return true;
}

void TJXLGraphic::LoadFromStream(TStream& stream) {
    Metadata() = {};
    if (!BeginLoad(stream)) GraphicError(gesInvalidImage, ErrorLabel());
    stream.SetPosition(BasePosition);
    CheckImageSize(ImageProperties.Width, ImageProperties.Height);
    const TByteArray file = ReadToEnd(stream);

    const TJxlLibrary& jxl = JxlLibrary();
    const TDecoder decoder(jxl.JxlDecoderCreate(nullptr));
    const TRunner runner(jxl.JxlThreadParallelRunnerCreate(nullptr, static_cast<std::size_t>(DecoderThreadCount())));
    if (!decoder || !runner) GraphicError(gesInvalidImage, ErrorLabel());
    JxlDecoder* d = decoder.get();
    if (jxl.JxlDecoderSubscribeEvents(
            d, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE | JXL_DEC_BOX) != JXL_DEC_SUCCESS ||
        jxl.JxlDecoderSetParallelRunner(d, jxl.JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS ||
        jxl.JxlDecoderSetUnpremultiplyAlpha(d, JXL_TRUE) != JXL_DEC_SUCCESS ||
        jxl.JxlDecoderSetDecompressBoxes(d, JXL_TRUE) != JXL_DEC_SUCCESS ||
        jxl.JxlDecoderSetInput(d, file.data(), file.size()) != JXL_DEC_SUCCESS)
        GraphicError(gesInvalidImage, ErrorLabel());
    jxl.JxlDecoderCloseInput(d);

    const bool alpha = ImageProperties.HasAlpha;
    TRowTarget target{this, alpha};
    const JxlPixelFormat format{alpha ? 4u : 3u, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    // The Exif box being read, and how much of its buffer is still free.
    bool readingExif = false;
    TByteArray exif;
    auto finishExif = [&] {
        if (!readingExif) return;
        exif.resize(exif.size() - jxl.JxlDecoderReleaseBoxBuffer(d));
        Metadata().Exif = ExifFromContainer(exif.data(), exif.size());
        readingExif = false;
    };
    for (;;) {
        const JxlDecoderStatus status = jxl.JxlDecoderProcessInput(d);
        if (status != JXL_DEC_BOX_NEED_MORE_OUTPUT) finishExif();
        switch (status) {
            case JXL_DEC_BASIC_INFO: {
                JxlBasicInfo info;
                if (jxl.JxlDecoderGetBasicInfo(d, &info) != JXL_DEC_SUCCESS)
                    GraphicError(gesInvalidImage, ErrorLabel());
                const std::uint32_t width = Transposed(info) ? info.ysize : info.xsize;
                const std::uint32_t height = Transposed(info) ? info.xsize : info.ysize;
                if (width != ImageProperties.Width || height != ImageProperties.Height ||
                    (info.alpha_bits > 0) != alpha)
                    GraphicError(gesInvalidImage, ErrorLabel());
                // libjxl applies the codestream's orientation; where it is not the identity it
                // supersedes an Exif Orientation tag, which otherwise turns the picture.
                Metadata().OrientationApplied = info.orientation != JXL_ORIENT_IDENTITY;
                break;
            }
            case JXL_DEC_COLOR_ENCODING: {
                std::size_t size = 0;
                if (jxl.JxlDecoderGetICCProfileSize(d, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) ==
                    JXL_DEC_SUCCESS) {
                    Metadata().Icc.resize(size);
                    if (jxl.JxlDecoderGetColorAsICCProfile(d, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                           Metadata().Icc.data(), size) != JXL_DEC_SUCCESS)
                        Metadata().Icc.clear();
                }
                break;
            }
            case JXL_DEC_BOX: {
                JxlBoxType type;
                if (jxl.JxlDecoderGetBoxType(d, type, JXL_TRUE) == JXL_DEC_SUCCESS &&
                    std::memcmp(type, "Exif", 4) == 0 && Metadata().Exif.empty()) {
                    exif.assign(4096, 0);
                    readingExif = jxl.JxlDecoderSetBoxBuffer(d, exif.data(), exif.size()) == JXL_DEC_SUCCESS;
                }
                break;
            }
            case JXL_DEC_BOX_NEED_MORE_OUTPUT: {
                const std::size_t free = jxl.JxlDecoderReleaseBoxBuffer(d);
                const std::size_t used = exif.size() - free;
                if (exif.size() >= MaxExifSize) {
                    readingExif = false;
                    break;
                }
                exif.resize(exif.size() * 2);
                if (jxl.JxlDecoderSetBoxBuffer(d, exif.data() + used, exif.size() - used) != JXL_DEC_SUCCESS)
                    readingExif = false;
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
                SetPixelFormat(TPixelFormat::pf24bit);
                SetSize(static_cast<int>(ImageProperties.Width), static_cast<int>(ImageProperties.Height));
                if (jxl.JxlDecoderSetImageOutCallback(d, &format, &WriteRow, &target) != JXL_DEC_SUCCESS)
                    GraphicError(gesInvalidImage, ErrorLabel());
                break;
            case JXL_DEC_FULL_IMAGE:
                // The first frame is the picture shown.
                if (target.OutOfBounds || Empty()) GraphicError(gesInvalidImage, ErrorLabel());
                return;
            case JXL_DEC_SUCCESS:
                // A file that ended without a frame.
                GraphicError(gesInvalidImage, ErrorLabel());
            default:
                // JXL_DEC_ERROR, or input still missing from a file that ends early.
                GraphicError(gesInvalidImage, ErrorLabel());
        }
    }
}
