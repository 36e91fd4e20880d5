// Arbitrary bytes through the Photoshop reader (see ReaderFuzzTarget.h).
#include "ReaderFuzzTarget.h"
#include "formats/PSDGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzReader<TPSDGraphic>(data, size);
}
