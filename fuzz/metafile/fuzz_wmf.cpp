// WMF files, placeable and plain.
#include "MetafileFuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A placeable header for a box of 0..1000 at 1000 units per inch, then a plain WMF header
    // with 16 object slots.
    static const std::vector<std::uint8_t> header = {0xD7, 0xCD, 0xC6, 0x9A, 0,  0, 0, 0, 0, 0, 0xE8, 3, 0xE8, 3,
                                                     0xE8, 3,    0,    0,    0,  0, 0, 0, 1, 0, 9,    0, 0,    3,
                                                     0,    0,    0,    0,    16, 0, 0, 0, 0, 0, 0,    0};
    return FuzzMetafile(data, size, false, header);
}
