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

void SaveScaledPicture(const TPixelBuffer& picture, int width, int height, TFilterFunction filter, float support,
                       const std::string& fileName, std::chrono::steady_clock::duration* writeTime) {
    using TClock = std::chrono::steady_clock;
    TClock::duration writing{};
    if (SaveFormatOf(fileName) == TSaveFormat::Jpeg || width <= 0 || height <= 0) {
        TPixelBuffer result(width, height);
        picture.Resample(result, filter, support);
        const TClock::time_point start = TClock::now();
        SavePicture(result, fileName);
        writing = TClock::now() - start;
    } else {
        // Writing is everything but the scaling, which is the time in ResampleInBands outside
        // the writer.
        TClock::duration scaling{};
        const TClock::time_point start = TClock::now();
        SaveBmpFileInBands(width, height, fileName, [&](const TBmpBandWriter& write) {
            const TClock::time_point scaleStart = TClock::now();
            TClock::duration inWriter{};
            picture.ResampleInBands(width, height, filter, support,
                                    [&](int first, int count, const TPixelBuffer& band) {
                                        const TClock::time_point writeStart = TClock::now();
                                        write(first, TBgrView{band.Bits(), width, count, band.Stride()});
                                        inWriter += TClock::now() - writeStart;
                                    });
            scaling = TClock::now() - scaleStart - inWriter;
        });
        writing = TClock::now() - start - scaling;
    }
    if (writeTime) *writeTime += writing;
}
