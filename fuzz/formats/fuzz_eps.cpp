// Feeds arbitrary bytes to the EPS reader, whose TIFF preview offset may point anywhere.
#include "formats/EPSGraphic.h"
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
    TEPSGraphic::CanLoadStream(stream);
    TEPSGraphic graphic;
    try {
        graphic.ReadProperties(stream, 0);
        graphic.ReadProperties(stream, 1);
        stream.SetPosition(0);
        graphic.LoadFromStream(stream);
        if (!graphic.Empty()) graphic.Pixel(graphic.Width() - 1, graphic.Height() - 1);
    } catch (const Exception&) {
    }
    return 0;
}
