// What a reader learns about a picture file; the JPEG-in-TIFF decoder reads it too.
#pragma once

#include "color/ColorTypes.h"

#include <cstdint>
#include <vector>

using TCardinalArray = std::vector<std::uint32_t>;
using TByteArray = std::vector<std::uint8_t>;

enum TImageOption : std::uint8_t {
    Tiled = 1,
    BigEndian = 2,
    MinIsWhite = 4,
    ReversedBits = 8,
    UseGamma = 16,
};
using TImageOptions = std::uint8_t;

// How the pixel data is stored; the numeric values follow this order from 0.
enum class CompressionKind : std::uint8_t {
    Unknown,
    None,
    RLE,
    PackBits,
    LZW,
    CCITTFax3,
    CCITTModifiedHuffman,
    CCITTFax4,
    CCITTModifiedHuffmanWord,
    Deflate,
    JPEG,
    OldJPEG,
    ThunderScan,
    NeXT,
    IT8CTPAD,
    IT8LW,
    IT8MP,
    IT8BL,
    PixarFilm,
    PixarLog,
    DCS,
    JBIG,
    // The codecs of the formats read through their libraries.
    VP8,   // lossy WebP
    VP8L,  // lossless WebP
    AV1,   // AVIF
    HEVC,  // HEIC
    JPEGXL,
};

struct TImageProperties {
    std::uint32_t Version = 0;
    TImageOptions Options = 0;
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    ::ColorScheme ColorScheme = ::ColorScheme::Unknown;
    std::uint8_t BitsPerSample = 0;
    std::uint8_t SamplesPerPixel = 0;
    std::uint8_t BitsPerPixel = 0;
    CompressionKind Compression = CompressionKind::Unknown;
    float FileGamma = 1.0f;
    float XResolution = 0;
    float YResolution = 0;
    bool Interlaced = false;
    bool HasAlpha = false;
    std::uint32_t FirstIFD = 0;
    std::uint32_t PlanarConfig = 0;
    std::uint32_t CurrentRow = 0;
    std::uint32_t TileWidth = 0;
    std::uint32_t TileLength = 0;
    std::uint32_t BytesPerLine = 0;
    TCardinalArray RowsPerStrip;
    TByteArray YCbCrSubSampling;
    TByteArray JPEGTables;
    std::uint32_t JPEGColorMode = 0;
    std::uint32_t JPEGTablesMode = 0;
    std::uint32_t CurrentStrip = 0;
    std::uint32_t StripCount = 0;
    std::uint32_t Predictor = 0;
    bool LocalColorTable = false;
    std::uint8_t ChannelCount = 0;
    std::uint8_t FilterMethod = 0;

    // The all-zero record with FileGamma 1.0 that every ReadProperties starts from.
    void Reset() { *this = TImageProperties(); }
};
