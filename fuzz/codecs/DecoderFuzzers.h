// One fuzzing entry per decoder: the first bytes of the input choose the decoder's settings and
// the output size, the rest is packed data. Shared by the libFuzzer targets and the regression
// test that replays the inputs they once failed on.
#pragma once

#include "codecs/Decoders.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace decoderfuzz {

// Hands out leading settings bytes (0 once the input is used up) and then the rest as data.
class TInput {
public:
    TInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() {
        if (pos_ >= size_) return 0;
        return data_[pos_++];
    }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() << 8 | Byte()); }
    // The next Count bytes (fewer at the end) copied into their own exactly-sized buffer.
    std::vector<std::uint8_t> Take(std::size_t count) {
        count = std::min(count, size_ - pos_);
        std::vector<std::uint8_t> part(data_ + pos_, data_ + pos_ + count);
        pos_ += count;
        return part;
    }
    std::vector<std::uint8_t> Rest() { return Take(size_ - pos_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Decodes Packed into a buffer of exactly OutputBytes bytes and checks the write-back stays in
// its buffer (a failed check aborts, which the fuzzer reports).
inline void Run(TDecoder& decoder, const std::vector<std::uint8_t>& packed, std::size_t outputBytes,
                std::int32_t unpackedSize) {
    std::vector<std::uint8_t> output(outputBytes);
    const std::uint8_t* source = packed.data();
    std::uint8_t* dest = output.data();
    decoder.Decode(source, dest, static_cast<std::int32_t>(packed.size()), unpackedSize);
    if (source < packed.data() || source > packed.data() + packed.size()) __builtin_trap();
    if (dest < output.data() || dest > output.data() + output.size()) __builtin_trap();
}

inline void Targa(TInput in) {
    static constexpr std::uint32_t Depths[] = {8, 15, 16, 24, 32, 12};
    const std::uint32_t depth = Depths[in.Byte() % 6];
    const std::size_t pixels = in.Byte();
    TTargaRLEDecoder decoder(depth);
    Run(decoder, in.Rest(), pixels * ((depth + 7) / 8), static_cast<std::int32_t>(pixels));
}

inline void Packbits(TInput in) {
    const std::size_t size = in.Word() % 4097;
    TPackbitsRLEDecoder decoder;
    Run(decoder, in.Rest(), size, static_cast<std::int32_t>(size));
}

inline void PCX(TInput in) {
    const std::size_t size = in.Word() % 4097;
    TPCXRLEDecoder decoder;
    Run(decoder, in.Rest(), size, static_cast<std::int32_t>(size));
}

inline void SGI(TInput in) {
    const std::uint8_t sampleSize = in.Byte() & 1 ? 16 : 8;
    const std::size_t samples = in.Word() % 2049;
    TSGIRLEDecoder decoder(sampleSize);
    Run(decoder, in.Rest(), samples * sampleSize / 8, static_cast<std::int32_t>(samples));
}

inline void TIFFLZW(TInput in) {
    const std::size_t size = in.Word();
    TTIFFLZWDecoder decoder;
    Run(decoder, in.Rest(), size, static_cast<std::int32_t>(size));
}

inline void GIFLZW(TInput in) {
    const std::uint8_t codeSize = in.Byte() % 14;
    const std::size_t size = in.Word();
    TGIFLZWDecoder decoder(codeSize);
    Run(decoder, in.Rest(), size, static_cast<std::int32_t>(size));
}

inline void Fax3(TInput in) {
    const std::uint32_t width = in.Word() % 5000;
    const std::size_t size = in.Word() % 20000;
    TCCITTFax3Decoder decoder(0, false, width);
    Run(decoder, in.Rest(), size, static_cast<std::int32_t>(size));
}

inline void FaxMH(TInput in) {
    const bool wordAligned = in.Byte() & 1;
    const std::uint32_t width = in.Word() % 5000;
    const std::size_t size = in.Word() % 20000;
    TCCITTMHDecoder decoder(0, false, wordAligned, width);
    Run(decoder, in.Rest(), size, static_cast<std::int32_t>(size));
}

// Feeds the stream in pieces the way the PNG reader feeds data chunks, or strip by strip.
inline void LZ77(TInput in) {
    const std::uint8_t flags = in.Byte();
    const bool autoReset = flags & 1;
    const std::size_t piece = in.Byte() + 1u;
    const std::size_t outputPiece = in.Byte() * 16u + 1;
    TLZ77Decoder decoder(1, autoReset);
    decoder.BeginDecoding();
    for (int round = 0; round < 64; ++round) {
        const std::vector<std::uint8_t> packed = in.Take(piece);
        if (packed.empty()) break;
        Run(decoder, packed, outputPiece, static_cast<std::int32_t>(outputPiece));
        if (decoder.AvailableInput() > packed.size()) __builtin_trap();
        if (decoder.AvailableOutput() > outputPiece) __builtin_trap();
    }
    try {
        decoder.FinishDecoding();
    } catch (const Exception&) {
    }
}

// Settings: width - 1, rows - 1, flags (colour scheme, planes, sampling, precision, strip
// number), tables length (2 bytes); then the tables and the strip.
inline void TIFFJPEG(TInput in) {
    TImageProperties p;
    p.Width = in.Byte() + 1u;
    p.Height = in.Byte() + 1u;
    const std::uint8_t flags = in.Byte();
    static constexpr ColorScheme Schemes[] = {ColorScheme::YCbCr, ColorScheme::RGB, ColorScheme::Gray,
                                              ColorScheme::CMYK};
    p.ColorScheme = Schemes[flags & 3];
    p.SamplesPerPixel = p.ColorScheme == ColorScheme::Gray ? 1 : p.ColorScheme == ColorScheme::CMYK ? 4 : 3;
    p.PlanarConfig = flags & 4 ? 2 : 1;
    if (flags & 8) p.YCbCrSubSampling = {2, static_cast<std::uint8_t>(flags & 16 ? 2 : 1)};
    p.BitsPerSample = flags & 32 ? 12 : 8;
    p.RowsPerStrip = {p.Height};
    p.StripCount = 1;
    p.CurrentStrip = flags & 64 ? 1 : 0;
    p.BytesPerLine = p.Width * (p.PlanarConfig == 2 ? 1u : p.SamplesPerPixel);
    p.JPEGTables = in.Take(in.Word());
    const std::vector<std::uint8_t> strip = in.Rest();
    try {
        TTIFFJPEGDecoder decoder(p);
        decoder.BeginDecoding();
        Run(decoder, strip, std::size_t{p.BytesPerLine} * p.Height,
            static_cast<std::int32_t>(p.BytesPerLine * p.Height));
        // A second strip through the same decompressor.
        Run(decoder, strip, p.BytesPerLine, static_cast<std::int32_t>(p.BytesPerLine));
        decoder.FinishDecoding();
    } catch (const Exception&) {
    }
}

inline void Thunder(TInput in) {
    const auto width = static_cast<std::int8_t>(in.Byte());
    const std::size_t size = in.Word() % 4097;
    TThunderDecoder decoder(width);
    Run(decoder, in.Rest(), size, static_cast<std::int32_t>(size));
}

using TFuzzer = void (*)(TInput);

struct TEntry {
    std::string_view Name;
    TFuzzer Fuzzer;
};

// Target names: the fuzzer executable is fuzz_<name>, its inputs live in folders of that name.
inline constexpr TEntry Fuzzers[] = {
    {"targa_rle", Targa},  {"packbits_rle", Packbits}, {"pcx_rle", PCX},     {"sgi_rle", SGI},
    {"tiff_lzw", TIFFLZW}, {"gif_lzw", GIFLZW},        {"ccitt_fax3", Fax3}, {"ccitt_mh", FaxMH},
    {"lz77", LZ77},        {"tiff_jpeg", TIFFJPEG},    {"thunder", Thunder},
};

inline TFuzzer Find(std::string_view name) {
    for (const TEntry& entry : Fuzzers)
        if (entry.Name == name) return entry.Fuzzer;
    return nullptr;
}

}  // namespace decoderfuzz
