// Arbitrary bytes through the SGI reader (see ReaderFuzzTarget.h).
#include "ReaderFuzzTarget.h"
#include "formats/SGIGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzReader<TSGIGraphic>(data, size);
}
