// ThunderScan 4-bit data: runs, 2- and 3-bit deltas and raw pixels, two pixels per output byte
// with the first in the high half.
#pragma once

#include "codecs/Decoder.h"

class TThunderDecoder : public TDecoder {
public:
    // Width counts output bytes per row: a row holds 2 × Width pixels. Width <= 0 decodes nothing.
    explicit TThunderDecoder(std::int32_t Width) : width_(Width) {}
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;

private:
    std::int32_t width_;
};
