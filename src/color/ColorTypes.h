// What the readers and the colour manager say about stored samples.
#pragma once

#include <cstdint>

// Stored by readers and compared by range: the numeric values are fixed.
enum class ColorScheme : std::uint8_t {
    Unknown = 0,
    Indexed = 1,
    Gray = 2,
    GrayAlpha = 3,
    RGB = 4,
    RGBA = 5,
    BGR = 6,
    BGRA = 7,
    CMY = 8,
    CMYK = 9,
    CIELab = 10,
    YCbCr = 11,
    PhotoYCC = 12,
};

// Conversion flags, combined as a bit set (TConvertOptions).
enum TConvertOption : std::uint8_t {
    AlphaPresent = 1,
    GammaCorrect = 2,
    SwapBytes = 4,
    LabScaledL = 8,
    LabBiasedAB = 16,
};
using TConvertOptions = std::uint8_t;

enum class PaletteLayout : std::uint8_t {
    Interleaved8By3 = 0,
    Interleaved8By4 = 1,
    Planar8By3 = 2,
    Planar8By4 = 3,
    Interleaved16By3 = 4,
    Interleaved16By4 = 5,
    Planar16By3 = 6,
    Planar16By4 = 7,
};
