// Run-length decoders of Targa, PackBits (TIFF, Photoshop), PCX and SGI data. All but PCX keep no
// state between calls: every Decode starts at a packet boundary.
#pragma once

#include "codecs/Decoder.h"

// UnpackedSize counts pixels of ColorDepth bits (8, 15, 16, 24 or 32; any other depth decodes
// nothing). Source is advanced past every packet consumed, also past the pixels of a packet that
// reach beyond UnpackedSize, so that a reader can reposition its stream.
class TTargaRLEDecoder : public TDecoder {
public:
    explicit TTargaRLEDecoder(std::uint32_t ColorDepth) : colorDepth_(ColorDepth) {}
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;

private:
    std::uint32_t colorDepth_;
};

class TPackbitsRLEDecoder : public TDecoder {
public:
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;
};

// PCX runs may cross rows, so a reader may decode row by row from data read in pieces: Decode
// advances Source past what it consumed and Dest past what it wrote, keeps the part of a run
// beyond UnpackedSize for the next call, and leaves a count byte whose value is missing unread.
// BeginDecoding forgets a kept run.
class TPCXRLEDecoder : public TDecoder {
public:
    void BeginDecoding() override;
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;

private:
    std::uint8_t pendingCount_ = 0;  // bytes of the last run still to write
    std::uint8_t pendingValue_ = 0;
};

// One channel row. UnpackedSize counts samples of SampleSize bits (8 or 16); the row's own end
// marker stops decoding. 16-bit samples are copied in the file's (big-endian) byte order.
class TSGIRLEDecoder : public TDecoder {
public:
    explicit TSGIRLEDecoder(std::uint8_t SampleSize) : sampleSize_(SampleSize) {}
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;

private:
    std::uint8_t sampleSize_;
};
