// Arbitrary bytes through the JPEG XL reader (see ReaderFuzzTarget.h).
#include "ReaderFuzzTarget.h"
#include "formats/JXLGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzReader<TJXLGraphic>(data, size);
}
