// Arbitrary bytes through the GIF reader (see ReaderFuzzTarget.h).
#include "ReaderFuzzTarget.h"
#include "formats/GIFGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzReader<TGIFGraphic>(data, size);
}
