// Arbitrary bytes through the HEIF reader (see ReaderFuzzTarget.h).
#include "ReaderFuzzTarget.h"
#include "formats/HEIFGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzReader<THEIFGraphic>(data, size);
}
