#include "SavePicture.h"

#include "platform/PictureFiles.h"
#include "platform/PictureFormats.h"

namespace {

constexpr int JpegQuality = 95;
constexpr bool JpegProgressive = true;

}  // namespace

const TSaveFormatInfo SaveFormats[2] = {
    {TSaveFormat::Jpeg, "jpg", "JPEG Image File"},
    {TSaveFormat::Bitmap, "bmp", "Bitmap File"},
};

TSaveFormat SaveFormatOf(const std::string& fileName) {
    const std::string extension = ExtensionOf(fileName);
    for (const TSaveFormatInfo& format : SaveFormats)
        if (extension == format.Extension) return format.Format;
    return TSaveFormat::Bitmap;
}

void SavePicture(const TPixelBuffer& picture, const std::string& fileName) {
    const TBgrView view{picture.Bits(), picture.Width(), picture.Height(), picture.Stride()};
    if (SaveFormatOf(fileName) == TSaveFormat::Jpeg)
        SaveJpegFile(view, fileName, JpegQuality, JpegProgressive);
    else
        SaveBmpFile(view, fileName);
}
