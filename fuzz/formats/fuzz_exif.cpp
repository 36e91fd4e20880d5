// EXIF blocks and XMP packets of a source picture, as saving carries them: the block patched for
// a saved picture, then taken apart for a TIFF file and written into one with a 2x2 picture. Any
// Exception is a clean refusal; anything else is a bug.
#include "ReaderFuzzTarget.h"
#include "platform/ExifBlock.h"
#include "platform/PictureFiles.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SilenceWarnings();
    const std::span<const std::uint8_t> block(data, size);
    XmpForSavedPicture(std::string_view(reinterpret_cast<const char*>(data), size), 70000, 3);
    try {
        const std::vector<std::uint8_t> patched = ExifForSavedPicture(block, 70000, 3);
        ExifTextTags(patched);
        MovedExifIfd(patched, 1000);
        static const std::uint8_t pixels[16] = {};
        TMemoryStream tiff;
        WriteTiffStream({pixels, 2, 2, 8}, tiff, {patched, {}});
        ExifTextTags(block);
        MovedExifIfd(block, 0);
    } catch (const Exception&) {
    }
    return 0;
}
