// Lempel-Ziv-Welch decoders of TIFF strips and GIF image data. Every Decode starts with a fresh
// string table, so a reader hands a whole strip, or a GIF image's whole data, to one call.
#pragma once

#include "codecs/Decoder.h"

// Codes of 9 to 12 bits, most significant bit first; 256 clears, 257 ends the strip.
class TTIFFLZWDecoder : public TDecoder {
public:
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;
};

// Codes of InitialCodeSize + 1 to 12 bits, least significant bit first. InitialCodeSize is the
// image's LZW minimum code size; values outside 1..11 decode nothing.
class TGIFLZWDecoder : public TDecoder {
public:
    explicit TGIFLZWDecoder(std::uint8_t InitialCodeSize) : initialCodeSize_(InitialCodeSize) {}
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;

private:
    std::uint8_t initialCodeSize_;
};
