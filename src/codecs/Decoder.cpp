#include "codecs/Decoder.h"

void TDecoder::Encode(const std::uint8_t*, std::uint8_t*, std::uint32_t, std::uint32_t& BytesStored) {
    BytesStored = 0;
}
