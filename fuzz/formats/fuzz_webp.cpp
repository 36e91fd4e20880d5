// Arbitrary bytes through the WebP reader (see ReaderFuzzTarget.h).
#include "ReaderFuzzTarget.h"
#include "formats/WebPGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzReader<TWebPGraphic>(data, size);
}
