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
    // Options (the T4Options value) and SwapBits (the fill-order flag) are kept but change
    // nothing: codes are always read most significant bit first.
    TCCITTDecoder(std::uint32_t Options, bool SwapBits, bool WordAligned, std::uint32_t Width);

    struct TTreeNode {
        std::uint16_t Child[2] = {0, 0};  // 0: no child (node 0 is the root)
        std::int16_t Value = 0;           // run length, EndOfLine, BadCode, or 0 off any code
    };

    void StartInput(const std::uint8_t* Source, std::int32_t PackedSize);
    bool InputExhausted() const { return FBitsLeft == 0 && FPackedSize <= 0; }
    bool PeekBit();
    void SkipBit();
    bool ReadBit();
    void DropPartialByte() { FBitsLeft = 0; }
    std::int32_t ReadRun();

    void StartOutput(std::uint8_t* Dest, std::int32_t UnpackedSize);
    std::size_t RowBytes() const { return (static_cast<std::size_t>(FWidth) + 7) / 8; }
    // Writes a run of the current colour, cut at the end of the row; true when the row is full.
    bool WriteRun(std::uint32_t Count);
    void StartRow(std::size_t Offset);

    std::uint32_t FOptions;
    bool FIsWhite = true;
    bool FSwapBits;
    std::vector<TTreeNode> FWhiteTree, FBlackTree;
    std::uint32_t FWidth;
    std::uint32_t FBitsLeft = 0;
    std::uint8_t FBitMask = 0;
    std::uint8_t FCurrentByte = 0;
    std::int32_t FPackedSize = 0;
    std::uint32_t FRestWidth = 0;
    const std::uint8_t* FSourceStart = nullptr;
    const std::uint8_t* FSource = nullptr;
    std::uint8_t* FTarget = nullptr;       // start of the destination
    std::size_t FTargetSize = 0;
    std::size_t FTargetOffset = 0;         // current output byte
    std::uint32_t FFreeTargetBits = 8;
    bool FWordAligned;
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
