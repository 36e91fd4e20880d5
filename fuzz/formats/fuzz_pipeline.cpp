// The whole load pipeline from memory: the first byte picks the extension used when no reader
// claims the rest, so the platform's bitmap, icon and JPEG loaders are reached too. Any Exception
// is a clean refusal; anything else is a bug.
#include "ReaderFuzzTarget.h"
#include "formats/LoadPipeline.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SilenceWarnings();
    if (size == 0) return 0;
    static const char* const extensions[] = {"bmp", "ico", "jpg", "wmf", "png", "gif", "tif", "xyz"};
    const char* extension = extensions[data[0] % 8];
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
