// Feeds arbitrary bytes to the TIFF reader: the content test, the directory walk of every image
// index up to a few, and a full load. Any Exception is a clean refusal; anything else is a bug.
#include "formats/TIFFGraphic.h"
#include "platform/Exception.h"
#include "platform/Stream.h"
#include "platform/Warnings.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        SetWarningHandler([](const std::string&) {});  // truncated JPEG strips warn
        return true;
    }();
    (void)quiet;
    TMemoryStream stream(data, size);
    TTIFFGraphic::CanLoadStream(stream);
    TTIFFGraphic graphic;
    try {
        for (unsigned index = 0; index < 4; ++index) graphic.ReadProperties(stream, index);
        stream.SetPosition(0);
        graphic.LoadFromStream(stream);
        if (!graphic.Empty()) graphic.Pixel(graphic.Width() - 1, graphic.Height() - 1);
    } catch (const Exception&) {
    }
    return 0;
}
