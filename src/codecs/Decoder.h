// The interface every compression decoder implements; see Decoders.h for the buffer contract.
#pragma once

#include "platform/Exception.h"

#include <cstdint>

class TDecoder {
public:
    virtual ~TDecoder() = default;

    virtual void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                        std::int32_t UnpackedSize) = 0;
    virtual void FinishDecoding() {}
    virtual void BeginDecoding() {}

protected:
    TDecoder() = default;
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;
};
