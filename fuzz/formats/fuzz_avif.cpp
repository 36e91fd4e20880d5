// Arbitrary bytes through the AVIF reader (see ReaderFuzzTarget.h).
#include "ReaderFuzzTarget.h"
#include "formats/AVIFGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzReader<TAVIFGraphic>(data, size);
}
