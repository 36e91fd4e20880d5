#include "SavePicture.h"

#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/ExifBlock.h"
#include "platform/PictureFiles.h"
#include "platform/PictureFormats.h"
#include "platform/Stream.h"
#include "platform/Warnings.h"

#include <algorithm>
#include <optional>

namespace {

// The metadata as it goes into the file, and what was left out, as messages.
struct TPreparedMetadata {
    std::vector<std::uint8_t> Exif;
    std::string Xmp;
    std::vector<std::string> LeftOut;
};

TPreparedMetadata PrepareMetadata(const TPictureMetadata* metadata, TSaveFormat format, int width, int height) {
    TPreparedMetadata prepared;
    if (!metadata || format == TSaveFormat::Bitmap) return prepared;
    // Pixels kept as stored (orientation not applied) still need the orientation the file stated.
    const int orientation = metadata->OrientationApplied || metadata->Orientation == 0 ? 1 : metadata->Orientation;
    if (!metadata->Exif.empty()) {
        try {
            prepared.Exif = ExifForSavedPicture(metadata->Exif, width, height, orientation);
        } catch (const EInvalidGraphic& error) {
            prepared.LeftOut.push_back(std::string(error.what()) + " It is not written.");
        }
    }
    if (!metadata->Xmp.empty()) prepared.Xmp = XmpForSavedPicture(metadata->Xmp, width, height, orientation);
    if (format == TSaveFormat::Jpeg) {
        if (prepared.Exif.size() > MaxJpegSegmentData - 6) {
            prepared.Exif.clear();
            prepared.LeftOut.push_back("The EXIF block is too large for a JPEG file. It is not written.");
        }
        if (prepared.Xmp.size() > MaxJpegSegmentData - JpegXmpName.size()) {
            prepared.Xmp.clear();
            prepared.LeftOut.push_back("The XMP packet is too large for a JPEG file. It is not written.");
        }
    }
    return prepared;
}

void WritePicture(const TPixelBuffer& picture, TSaveFormat format, const TSaveOptions& options,
                  const TPreparedMetadata& metadata, TStream& stream) {
    if (options.Quality < MinSaveQuality || options.Quality > MaxSaveQuality)
        throw EInvalidGraphic(
            FormatText("The quality %d lies outside %d to %d.", options.Quality, MinSaveQuality, MaxSaveQuality));
    const TBgrView view{picture.Bits(), picture.Width(), picture.Height(), picture.Stride()};
    const TMetadataBlocks blocks{metadata.Exif, metadata.Xmp};
    switch (format) {
        case TSaveFormat::Jpeg:
            WriteJpegStream(view, stream, options.Quality, options.Progressive, blocks);
            return;
        case TSaveFormat::Png:
            WritePngStream(view, stream, blocks);
            return;
        case TSaveFormat::Webp:
            WriteWebpStream(view, stream, options.Quality, options.Lossless, blocks);
            return;
        case TSaveFormat::Tiff:
            WriteTiffStream(view, stream, blocks);
            return;
        case TSaveFormat::Bitmap:
            WriteBmpStream(view, stream);
            return;
    }
}

}  // namespace

const TSaveFormatInfo SaveFormats[5] = {
    {TSaveFormat::Jpeg, "JPEG Image File", {"jpg", "jpeg", "jpe", "jfif"}},
    {TSaveFormat::Png, "PNG Image File", {"png"}},
    {TSaveFormat::Webp, "WebP Image File", {"webp"}},
    {TSaveFormat::Tiff, "TIFF Image File", {"tif", "tiff"}},
    {TSaveFormat::Bitmap, "Bitmap File", {"bmp"}},
};

const TSaveFormatInfo& SaveFormatInfo(TSaveFormat format) {
    return *std::find_if(std::begin(SaveFormats), std::end(SaveFormats),
                         [format](const TSaveFormatInfo& info) { return info.Format == format; });
}

TSaveFormat SaveFormatOf(const std::string& fileName) {
    const std::string extension = ExtensionOf(fileName);
    for (const TSaveFormatInfo& format : SaveFormats)
        for (const char* known : format.Extensions)
            if (known && extension == known) return format.Format;
    return TSaveFormat::Bitmap;
}

std::vector<std::uint8_t> EncodePicture(const TPixelBuffer& picture, TSaveFormat format, const TSaveOptions& options,
                                        const TPictureMetadata* metadata) {
    TMemoryStream encoded;
    WritePicture(picture, format, options, PrepareMetadata(metadata, format, picture.Width(), picture.Height()),
                 encoded);
    return std::move(encoded.Data());
}

void SavePicture(const TPixelBuffer& picture, const std::string& fileName, const TSaveOptions& options,
                 const TPictureMetadata* metadata) {
    const TSaveFormat format = SaveFormatOf(fileName);
    const TPreparedMetadata prepared = PrepareMetadata(metadata, format, picture.Width(), picture.Height());
    if (format == TSaveFormat::Bitmap) {
        // Written straight into the file: a bitmap is as large as the picture.
        WriteFileAtomically(fileName,
                            [&](TStream& stream) { WritePicture(picture, format, options, prepared, stream); });
    } else {
        // Encoded first: a picture the library refuses never touches the file.
        TMemoryStream encoded;
        WritePicture(picture, format, options, prepared, encoded);
        WriteFileAtomically(fileName, [&encoded](TStream& stream) {
            stream.WriteBuffer(encoded.Data().data(), encoded.Data().size());
        });
    }
    for (const std::string& message : prepared.LeftOut) ShowWarning(message);
}
