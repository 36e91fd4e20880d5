#include "formats/HEIFGraphic.h"

#include "formats/CodecLibraries.h"
#include "formats/FileFormatList.h"
#include "formats/IsoBrands.h"
#include "formats/ReaderStrings.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cstring>

const TGraphicClass THEIFGraphicClass = ReaderClass<THEIFGraphic>("THEIFGraphic");

// libheif's own bound on the sides of a picture (it refuses sides from this size on).
constexpr int MaxHeifSide = 32768;

// libheif's context reading the file from the stream, and the primary picture's handle.
class THeifSource {
public:
    explicit THeifSource(TStream& stream)
        : heif_(HeifLibrary()),
          stream_(stream),
          base_(stream.Position()),
          size_(std::max<std::int64_t>(stream.Remaining(), 0)) {
        context_ = heif_.heif_context_alloc();
        if (context_ == nullptr) throw EOutOfMemory(sizeof(void*));
    }
    ~THeifSource() {
        if (handle_) heif_.heif_image_handle_release(handle_);
        heif_.heif_context_free(context_);
    }
    THeifSource(const THeifSource&) = delete;
    THeifSource& operator=(const THeifSource&) = delete;

    // Reads the boxes and finds the primary picture; answers libheif's error.
    heif_error Open() {
        static const heif_reader reader = {1, &GetPosition, &Read, &Seek, &WaitForFileSize};
        heif_error error = heif_.heif_context_read_from_reader(context_, &reader, this, nullptr);
        if (error.code == heif_error_Ok) error = heif_.heif_context_get_primary_image_handle(context_, &handle_);
        if (error.code == heif_error_Ok) {
            // libheif allocates a grid's whole picture at the size its grid descriptor states,
            // not the size the file declares for it: a 1 KB file could ask for gigabytes. Its
            // size limit, checked when decoding, keeps every item's sides (coded sizes are padded
            // to whole coding blocks, tiny pictures to 64) near the declared ones.
            const int side =
                std::max(heif_.heif_image_handle_get_width(handle_), heif_.heif_image_handle_get_height(handle_));
            heif_.heif_context_set_maximum_image_size_limit(context_,
                                                            std::min(2 * std::max(side, 0) + 64, MaxHeifSide));
        }
        return error;
    }
    const heif_image_handle* Handle() const { return handle_; }

private:
    // libheif's reader; an exception must not pass through the library.
    static std::int64_t GetPosition(void* self) {
        auto* source = static_cast<THeifSource*>(self);
        try {
            return source->stream_.Position() - source->base_;
        } catch (...) {
            return 0;
        }
    }
    static int Read(void* data, std::size_t size, void* self) {
        auto* source = static_cast<THeifSource*>(self);
        try {
            source->stream_.ReadBuffer(data, size);
            return 0;
        } catch (...) {
            return 1;
        }
    }
    static int Seek(std::int64_t position, void* self) {
        auto* source = static_cast<THeifSource*>(self);
        if (position < 0 || position > source->size_) return 1;
        try {
            source->stream_.SetPosition(source->base_ + position);
            return 0;
        } catch (...) {
            return 1;
        }
    }
    static heif_reader_grow_status WaitForFileSize(std::int64_t size, void* self) {
        return size <= static_cast<THeifSource*>(self)->size_ ? heif_reader_grow_status_size_reached
                                                              : heif_reader_grow_status_size_beyond_eof;
    }

    const THeifLibrary& heif_;
    TStream& stream_;
    std::int64_t base_;
    std::int64_t size_;
    heif_context* context_ = nullptr;
    heif_image_handle* handle_ = nullptr;
};

namespace {

struct TImageDeleter {
    void operator()(heif_image* image) const { HeifLibrary().heif_image_release(image); }
};
struct TOptionsDeleter {
    void operator()(heif_decoding_options* options) const { HeifLibrary().heif_decoding_options_free(options); }
};

std::string MessageOf(const heif_error& error) { return LibraryMessage(error.message); }

// A sample of deep bits (stored little-endian in two bytes) rounded to 8 bits.
inline std::uint8_t Deep(const std::uint8_t* p, unsigned maxValue) {
    const unsigned value = std::min<unsigned>(p[0] | (p[1] << 8), maxValue);
    return static_cast<std::uint8_t>((value * 255 + maxValue / 2) / maxValue);
}

// One row of interleaved R, G, B(, A) samples into B, G, R, alpha drawn onto white.
template <bool Wide, bool Alpha>
void ConvertRow(const std::uint8_t* in, std::uint8_t* out, int width, unsigned maxValue, bool premultiplied) {
    constexpr unsigned sampleBytes = Wide ? 2 : 1, samples = Alpha ? 4 : 3;
    auto sample = [maxValue](const std::uint8_t* p) { return Wide ? Deep(p, maxValue) : *p; };
    for (int x = 0; x < width; ++x, in += samples * sampleBytes, out += 3) {
        std::uint8_t r = sample(in), g = sample(in + sampleBytes), b = sample(in + 2 * sampleBytes);
        if constexpr (Alpha) {
            const std::uint8_t a = sample(in + 3 * sampleBytes);
            if (premultiplied) {
                // The colour already carries its alpha: white adds what the alpha leaves.
                r = static_cast<std::uint8_t>(std::min(255, r + 255 - a));
                g = static_cast<std::uint8_t>(std::min(255, g + 255 - a));
                b = static_cast<std::uint8_t>(std::min(255, b + 255 - a));
            } else {
                r = OverWhite(r, a);
                g = OverWhite(g, a);
                b = OverWhite(b, a);
            }
        }
        out[0] = b;
        out[1] = g;
        out[2] = r;
    }
}

}  // namespace

THEIFGraphic::THEIFGraphic() = default;
THEIFGraphic::~THEIFGraphic() = default;

const char* THEIFGraphic::FormatLabel() const { return gesHEIF; }

bool THEIFGraphic::CanLoadStream(TStream& stream) {
    const std::optional<TFileTypeBrands> brands = ReadFileTypeBrands(stream);
    return brands && brands->HasAny({FourCC("heic"), FourCC("heix"), FourCC("hevc"), FourCC("heim"), FourCC("heis"),
                                     FourCC("mif1"), FourCC("msf1")});
}

bool THEIFGraphic::ReadProperties(TStream& stream, unsigned imageIndex) {
    TReaderGraphic::ReadProperties(stream, imageIndex);
    source_.reset();
    libraryError_.clear();
    const std::optional<TFileTypeBrands> brands = ReadFileTypeBrands(stream);
    const THeifLibrary& heif = HeifLibrary();
    auto source = std::make_unique<THeifSource>(stream);
    if (const heif_error error = source->Open(); error.code != heif_error_Ok) {
        libraryError_ = MessageOf(error);
        return false;
    }
    const heif_image_handle* handle = source->Handle();
    TImageProperties& p = ImageProperties;
    p.Width = static_cast<std::uint32_t>(std::max(heif.heif_image_handle_get_width(handle), 0));
    p.Height = static_cast<std::uint32_t>(std::max(heif.heif_image_handle_get_height(handle), 0));
    p.HasAlpha = heif.heif_image_handle_has_alpha_channel(handle) != 0;
    p.ColorScheme = p.HasAlpha ? ColorScheme::RGBA : ColorScheme::RGB;
    p.BitsPerSample =
        static_cast<std::uint8_t>(std::clamp(heif.heif_image_handle_get_luma_bits_per_pixel(handle), 8, 16));
    p.SamplesPerPixel = p.HasAlpha ? 4 : 3;
    p.BitsPerPixel = static_cast<std::uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    if (brands && brands->HasAny(
                      {FourCC("heic"), FourCC("heix"), FourCC("hevc"), FourCC("hevx"), FourCC("heim"), FourCC("heis")}))
        p.Compression = CompressionKind::HEVC;
    else if (brands && brands->HasAny({FourCC("avif"), FourCC("avis")}))
        p.Compression = CompressionKind::AV1;
    source_ = std::move(source);
    return true;
}

void THEIFGraphic::LoadFromStream(TStream& stream) {
    Metadata() = {};
    // libheif applies the container's irot and imir; they supersede an Exif Orientation tag
    // (phones write both, stating the same turn).
    Metadata().OrientationApplied = true;
    if (!BeginLoad(stream)) {
        if (!libraryError_.empty()) GraphicError(gesLibraryError, ErrorLabel(), libraryError_.c_str());
        GraphicError(gesInvalidImage, ErrorLabel());
    }
    const std::unique_ptr<THeifSource> source = std::move(source_);
    const THeifLibrary& heif = HeifLibrary();
    const heif_image_handle* handle = source->Handle();
    // libheif decodes the stored picture before turning or cropping it.
    CheckImageSize(ImageProperties.Width, ImageProperties.Height);
    CheckImageSize(static_cast<std::uint64_t>(std::max(heif.heif_image_handle_get_ispe_width(handle), 0)),
                   static_cast<std::uint64_t>(std::max(heif.heif_image_handle_get_ispe_height(handle), 0)));

    const heif_color_profile_type profile = heif.heif_image_handle_get_color_profile_type(handle);
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
        Metadata().Icc.resize(heif.heif_image_handle_get_raw_color_profile_size(handle));
        if (heif.heif_image_handle_get_raw_color_profile(handle, Metadata().Icc.data()).code != heif_error_Ok)
            Metadata().Icc.clear();
    }
    heif_item_id exifId = 0;
    if (heif.heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &exifId, 1) == 1) {
        TByteArray exif(heif.heif_image_handle_get_metadata_size(handle, exifId));
        if (heif.heif_image_handle_get_metadata(handle, exifId, exif.data()).code == heif_error_Ok)
            Metadata().Exif = ExifFromContainer(exif.data(), exif.size());
    }

    const bool alpha = ImageProperties.HasAlpha;
    const bool wide = ImageProperties.BitsPerSample > 8;
    const heif_chroma chroma = alpha ? (wide ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RGBA)
                                     : (wide ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB);
    const std::unique_ptr<heif_decoding_options, TOptionsDeleter> options(heif.heif_decoding_options_alloc());
    heif_image* decoded = nullptr;
    const heif_error error = heif.heif_decode_image(handle, &decoded, heif_colorspace_RGB, chroma, options.get());
    const std::unique_ptr<heif_image, TImageDeleter> image(decoded);
    if (error.code != heif_error_Ok) GraphicError(gesLibraryError, ErrorLabel(), MessageOf(error).c_str());

    int stride = 0;
    const std::uint8_t* plane = heif.heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif.heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif.heif_image_get_height(image.get(), heif_channel_interleaved);
    const int depth = heif.heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved);
    if (plane == nullptr || width <= 0 || height <= 0 || stride <= 0 || (wide && (depth < 9 || depth > 16)))
        GraphicError(gesInvalidImage, ErrorLabel());
    CheckImageSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    const unsigned maxValue = wide ? (1u << depth) - 1 : 255;
    const bool premultiplied = heif.heif_image_handle_is_premultiplied_alpha(handle) != 0;
    auto convert = wide ? (alpha ? &ConvertRow<true, true> : &ConvertRow<true, false>)
                        : (alpha ? &ConvertRow<false, true> : &ConvertRow<false, false>);
    SetPixelFormat(TPixelFormat::pf24bit);
    SetSize(width, height);
    for (int y = 0; y < height; ++y)
        convert(plane + std::size_t(y) * std::size_t(stride), ScanLine(y), width, maxValue, premultiplied);
    ImageProperties.Width = static_cast<std::uint32_t>(width);
    ImageProperties.Height = static_cast<std::uint32_t>(height);
}
