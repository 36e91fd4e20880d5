// Arbitrary bytes through the Targa reader (see ReaderFuzzTarget.h).
#include "ReaderFuzzTarget.h"
#include "formats/TargaGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzReader<TTargaGraphic>(data, size);
}
