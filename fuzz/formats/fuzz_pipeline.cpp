// The whole load pipeline from memory: the first byte picks the extension used when no reader
// claims the rest, among every extension of the picture-format table and one it does not know,
// so the platform's bitmap, icon and JPEG loaders are reached under each of their extensions.
// Any Exception is a clean refusal; anything else is a bug.
#include "ReaderFuzzTarget.h"
#include "formats/FileFormatList.h"
#include "formats/LoadPipeline.h"
#include "platform/PictureFormats.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
    const std::string& extension = extensions[data[0] % extensions.size()];
    TMemoryStream stream(data + 1, size - 1);
    try {
        TLoadedPicture loaded = LoadPictureStream(stream, extension);
        const TBitmap& bitmap = *loaded.Bitmap;
        if (!bitmap.Empty()) bitmap.Pixel(bitmap.Width() - 1, bitmap.Height() - 1);
        if (loaded.Properties) DescribeProperties(*loaded.Properties);
    } catch (const Exception&) {
    }
    return 0;
}
