// Arbitrary bytes through the PNG reader (see ReaderFuzzTarget.h).
#include "ReaderFuzzTarget.h"
#include "formats/PNGGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzReader<TPNGGraphic>(data, size);
}
