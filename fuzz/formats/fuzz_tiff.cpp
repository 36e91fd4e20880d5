// Arbitrary bytes through the TIFF reader (see ReaderFuzzTarget.h), and the directory walk of the
// next few image indexes, whose chain may loop.
#include "ReaderFuzzTarget.h"
#include "formats/TIFFGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SilenceWarnings();
    TMemoryStream stream(data, size);
    TTIFFGraphic graphic;
    try {
        for (unsigned index = 1; index < 4; ++index) graphic.ReadProperties(stream, index);
    } catch (const Exception&) {
    }
    return FuzzReader<TTIFFGraphic>(data, size);
}
