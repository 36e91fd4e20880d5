// The whole load pipeline from memory: the first byte picks the extension used when no reader
// claims the rest, among every extension of the picture-format table and one it does not know,
// so the platform's bitmap, icon and JPEG loaders are reached under each of their extensions, and
// then the colour profile and the orientation are applied as the editor applies them (JPEG files
// also decoded at 1/2, 1/4 or 1/8 of their size, as pixamo-cli --draft asks). First bytes
// from 0xF0 on hand the rest straight to the metadata parsers instead: the EXIF walk,
// ImageMagick's raw profile text, XMP, the PNG metadata chunks and the ICC profile reading of
// Little CMS. Any Exception is a clean refusal; anything else is a bug.
#include "ReaderFuzzTarget.h"
#include "core/PixelBuffer.h"
#include "formats/ExifOrientation.h"
#include "formats/FileFormatList.h"
#include "formats/LoadPipeline.h"
#include "formats/PNGMetadata.h"
#include "platform/ColorProfile.h"
#include "platform/PictureFormats.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

void FuzzMetadata(std::uint8_t selector, std::span<const std::uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    switch (selector & 7) {
        case 0:
            ExifOrientation(bytes);
            break;
        case 1:
            ExifOrientation(ExifFromRawProfile(text));
            break;
        case 2:
            XmpOrientation(text);
            break;
        case 3:
        case 4: {
            // A chunk type from the next byte: eXIf, iCCP, tEXt, zTXt, iTXt.
            if (bytes.empty()) break;
            static const std::uint32_t types[] = {0x45584946, 0x49434350, 0x54455854, 0x5A545854, 0x49545854};
            TPictureMetadata metadata;
            ReadPngMetadataChunk(types[bytes[0] % 5], bytes.subspan(1), metadata);
            break;
        }
        default: {
            // A profile as a picture would carry it, through every transform the loaders build.
            static const TTransformInput inputs[] = {TTransformInput::Bgr, TTransformInput::Bgra, TTransformInput::Gray,
                                                     TTransformInput::Cmyk, TTransformInput::InvertedCmyk};
            std::uint8_t pixels[4 * 64];
            for (std::size_t i = 0; i < sizeof pixels; ++i) pixels[i] = static_cast<std::uint8_t>(i * 37);
            try {
                auto transform = CreateColorTransform(bytes, inputs[selector % 5]);
                std::uint8_t out[4 * 64];
                transform->Convert(pixels, out, 64);
            } catch (const Exception&) {
            }
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SilenceWarnings();
    static const std::vector<std::string> extensions = [] {
        FormatList();  // registers the readers' extensions beside the platform's own
        std::vector<std::string> list;
        for (const TPictureFormat& format : TPictureFormatTable::Instance().Formats()) list.push_back(format.Extension);
        list.push_back("xyz");
        return list;
    }();
    if (size == 0) return 0;
    if (data[0] >= 0xF0) {
        FuzzMetadata(data[0], {data + 1, size - 1});
        return 0;
    }
    const std::string& extension = extensions[data[0] % extensions.size()];
    TMemoryStream stream(data + 1, size - 1);
    // The JPEG loader's reduced decodes too: the first byte's top bits ask for 1/1 to 1/8.
    TLoadOptions options;
    const int denominator = 1 << (data[0] >> 6);
    options.JpegScale = [denominator](int, int) { return denominator; };
    try {
        TLoadedPicture loaded = LoadPictureStream(stream, extension, options);
        const TBitmap& bitmap = *loaded.Bitmap;
        if (!bitmap.Empty()) bitmap.Pixel(bitmap.Width() - 1, bitmap.Height() - 1);
        if (loaded.Properties) DescribeProperties(*loaded.Properties);
        if (!bitmap.Empty() && loaded.Metadata.Orientation != 0) {
            std::unique_ptr<TPixelBuffer> upright = TakeUprightBuffer(*loaded.Bitmap, loaded.Metadata);
            if (upright->Width() > 0) upright->GetPixel(upright->Width() - 1, upright->Height() - 1);
        }
    } catch (const Exception&) {
    }
    return 0;
}
