// Arbitrary bytes through the PCX reader (see ReaderFuzzTarget.h).
#include "ReaderFuzzTarget.h"
#include "formats/PCXGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzReader<TPCXGraphic>(data, size);
}
