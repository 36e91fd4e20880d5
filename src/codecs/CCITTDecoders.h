// Bilevel TIFF data in the one-dimensional run-length codes of ITU-T T.4. Output is 1 bit per
// pixel, most significant bit first, 0 white and 1 black, every row starting on a new byte;
// UnpackedSize is the size of the destination in bytes.
#pragma once

#include "codecs/Decoder.h"

#include <cstddef>
#include <vector>

class TCCITTDecoder : public TDecoder {
public:
    // Values of a code-tree node other than run lengths.
    static constexpr std::int32_t EndOfLine = -1;
    static constexpr std::int32_t BadCode = -2;

protected:
    // Options (the T4Options value) and SwapBits (the fill-order flag) change nothing: codes are
    // always read most significant bit first (the TIFF reader has reversed the bytes of a strip
    // stored the other way round).
    TCCITTDecoder(std::uint32_t Options, bool SwapBits, bool WordAligned, std::uint32_t Width);

    struct TTreeNode {
        std::uint16_t Child[2] = {0, 0};  // 0: no child (node 0 is the root)
        std::int16_t Value = 0;           // run length, EndOfLine, BadCode, or 0 off any code
    };

    void StartInput(const std::uint8_t* Source, std::int32_t PackedSize);
    bool InputExhausted() const { return bitsLeft_ == 0 && packedSize_ <= 0; }
    bool PeekBit();
    void SkipBit();
    bool ReadBit();
    void DropPartialByte() { bitsLeft_ = 0; }
    std::int32_t ReadRun();

    void StartOutput(std::uint8_t* Dest, std::int32_t UnpackedSize);
    std::size_t RowBytes() const { return (static_cast<std::size_t>(width_) + 7) / 8; }
    // Writes a run of the current colour, cut at the end of the row; true when the row is full.
    bool WriteRun(std::uint32_t Count);
    void StartRow(std::size_t Offset);

    bool isWhite_ = true;
    std::vector<TTreeNode> whiteTree_, blackTree_;
    std::uint32_t width_;
    std::uint32_t bitsLeft_ = 0;
    std::uint8_t bitMask_ = 0;
    std::uint8_t currentByte_ = 0;
    std::int32_t packedSize_ = 0;
    std::uint32_t restWidth_ = 0;
    const std::uint8_t* sourceStart_ = nullptr;
    const std::uint8_t* source_ = nullptr;
    std::uint8_t* target_ = nullptr;  // start of the destination
    std::size_t targetSize_ = 0;
    std::size_t targetOffset_ = 0;  // current output byte
    std::uint32_t freeTargetBits_ = 8;
    bool wordAligned_;
};

// Group 3: every row is introduced by an end-of-line code.
class TCCITTFax3Decoder : public TCCITTDecoder {
public:
    TCCITTFax3Decoder(std::uint32_t Options, bool SwapBits, std::uint32_t Width)
        : TCCITTDecoder(Options, SwapBits, false, Width) {}
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;
};

// Modified Huffman: no end-of-line codes; every row starts on a new input byte, and with
// WordAligned on an even offset from the start of the data.
class TCCITTMHDecoder : public TCCITTDecoder {
public:
    TCCITTMHDecoder(std::uint32_t Options, bool SwapBits, bool WordAligned, std::uint32_t Width)
        : TCCITTDecoder(Options, SwapBits, WordAligned, Width) {}
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;
};
