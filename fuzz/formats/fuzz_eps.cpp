// Arbitrary bytes through the EPS reader (see ReaderFuzzTarget.h), whose TIFF preview offset may
// point anywhere.
#include "ReaderFuzzTarget.h"
#include "formats/EPSGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SilenceWarnings();
    TMemoryStream stream(data, size);
    TEPSGraphic graphic;
    try {
        graphic.ReadProperties(stream, 1);
    } catch (const Exception&) {
    }
    return FuzzReader<TEPSGraphic>(data, size);
}
