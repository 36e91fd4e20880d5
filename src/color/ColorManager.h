// The colour manager: turns lines of stored samples (1 to 16 bits per sample, 1 to 4 samples
// per pixel, interleaved or one plane per sample, any ColorScheme) into the bitmap's layout,
// and builds the palettes of indexed and gray bitmaps.
//
// How a reader uses it:
//
//   TColorManager cm;
//   cm.SetSourceSampleCount(3);  cm.SetTargetSampleCount(3);
//   cm.SetSourceScheme(ColorScheme::RGB);
//   cm.SourceFlags = SwapBytes;             // big-endian 16-bit samples
//   cm.SetTargetScheme(ColorScheme::BGR);
//   cm.SetSourceDepth(16);  cm.SetTargetDepth(8);
//   bitmap.SetPixelFormat(cm.PixelFormatFor(1));
//   for each row:
//       cm.ConvertLine(row.data(), row.size(), bitmap.ScanLine(y), bitmap.Stride(), width);
//
// Planar data passes one TSourcePlane per sample, in the scheme's order:
//
//   std::array<TSourcePlane, 3> planes{{{red, n}, {green, n}, {blue, n}}};
//   cm.ConvertLine(planes, bitmap.ScanLine(y), bitmap.Stride(), width);
//
// Interlaced data passes a mask per pass: bit 128 stands for the first target pixel, 64 for the
// next and so on, repeating every 8 pixels. Pixels whose bit is clear keep their target value and
// consume no source samples, so the source holds just the pass's pixels, packed.
//
// Every size is checked once per line before anything is written: sources or a target too short
// for count pixels under the mask raise EColorConversionError instead of touching memory outside
// the given lines. 16-bit samples are native words (little-endian here) unless SourceFlags holds
// SwapBytes, and need no particular alignment.
//
// Failures raise EColorConversionError (platform/Exception.h).
#pragma once

#include "color/ColorTypes.h"
#include "platform/Bitmap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// One source line: all samples (interleaved) or one plane of a planar line.
struct TSourcePlane {
    const std::uint8_t* Data = nullptr;
    std::size_t Size = 0;  // bytes available at Data
};

// a × b / c for unsigned 16-bit values: 32-bit product, truncating division, 16-bit result.
// The scaling step of every sample-depth conversion; c must not be 0.
constexpr std::uint16_t MulDiv16(std::uint16_t a, std::uint16_t b, std::uint16_t c) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(a) * b / c);
}

// The line converter picked by SelectConverter.
enum class TConverterKind : std::uint8_t {
    None,
    RGBOrderKept,
    RGBOrderExchanged,
    Gray8Or16,
    PackedToPacked,
    Indexed16To16,
    Indexed16ToPacked,
    PackedToIndexed16,
    CMYKToBGR,
    CMYKToRGB,
    CIELabToBGR,
    CIELabToRGB,
    YCbCrToBGR,
    YCbCrToRGB,
};

class TColorManager {
public:
    TColorManager();

    // Bits per sample, 1 to 16.
    void SetSourceDepth(std::uint8_t bits);
    void SetTargetDepth(std::uint8_t bits);
    // Samples per pixel, 1 to 4 (not compared with the scheme).
    void SetSourceSampleCount(std::uint8_t count);
    void SetTargetSampleCount(std::uint8_t count);
    void SetSourceScheme(ColorScheme scheme);
    void SetTargetScheme(ColorScheme scheme);

    // Read-write; SelectConverter sets or clears AlphaPresent on both sides from the schemes.
    // SourceFlags: SwapBytes, LabScaledL, LabBiasedAB. TargetFlags: GammaCorrect.
    TConvertOptions SourceFlags = 0;
    TConvertOptions TargetFlags = 0;

    // Values not above 0 fall back to 1.0 (main) and 2.2 (display); GammaTable is rebuilt for
    // the current depths at once, so set the depths first.
    void SetGammaValues(float mainGamma, float displayGamma);
    // Luma weights of red, green, blue (as many as given, at most three are used) and the chroma
    // subsampling factors (1, 2 or 4; vertical not above horizontal), kept for the caller.
    void SetYCbCrValues(std::span<const float> coefficients, std::uint8_t horizontal, std::uint8_t vertical);

    // The bitmap pixel format for the depth and sample count of side 0 (source) or 1 (target).
    TPixelFormat PixelFormatFor(int side) const;

    // Converts count target pixels. sources holds one interleaved line or one plane per sample
    // (3 or 4); targetSize is the number of bytes at target. Selects the converter first when a
    // depth, sample count or scheme changed.
    void ConvertLine(std::span<const TSourcePlane> sources, std::uint8_t* target, std::size_t targetSize,
                     std::uint32_t count, std::uint8_t mask = 0xFF);
    // The same for one interleaved source line.
    void ConvertLine(const std::uint8_t* source, std::size_t sourceSize, std::uint8_t* target, std::size_t targetSize,
                     std::uint32_t count, std::uint8_t mask = 0xFF);

    // Picks the converter for the current description; ConvertLine runs it when Stale().
    void SelectConverter();

    // A palette from stored colour entries: one TSourcePlane for the interleaved layouts, three
    // (red, green, blue; a fourth is ignored) for the planar ones. Gamma-corrected with
    // GammaCorrect in TargetFlags; refitted to the target depth when the depths differ (a 4-bit
    // palette for an 8-bit target has colour k at entry 17·k).
    TPalette MakeColorPalette(std::span<const TSourcePlane> sources, PaletteLayout layout, std::uint32_t colorCount,
                              bool blueFirst) const;
    // The same for one interleaved block of size bytes.
    TPalette MakeColorPalette(const std::uint8_t* data, std::size_t size, PaletteLayout layout,
                              std::uint32_t colorCount, bool blueFirst) const;
    // A gray ramp of 2^(target depth × target samples) entries, at most 256.
    TPalette MakeGrayPalette(bool minimumIsWhite) const;

    bool Stale() const { return stale_; }
    TConverterKind Converter() const { return converter_; }
    std::uint8_t SourceDepth() const { return sourceDepth_; }
    std::uint8_t TargetDepth() const { return targetDepth_; }
    std::uint8_t SourceSampleCount() const { return sourceSampleCount_; }
    std::uint8_t TargetSampleCount() const { return targetSampleCount_; }
    ColorScheme SourceScheme() const { return sourceScheme_; }
    ColorScheme TargetScheme() const { return targetScheme_; }
    float MainGamma() const { return mainGamma_; }
    float DisplayGamma() const { return displayGamma_; }
    const std::array<std::uint8_t, 256>& GammaTable() const { return gammaTable_; }
    const std::array<float, 3>& LumaCoefficients() const { return luma_; }
    std::uint8_t HorizontalSubsampling() const { return horizontalSubsampling_; }
    std::uint8_t VerticalSubsampling() const { return verticalSubsampling_; }
    // Chroma tables of YCbCr and PhotoYCC sources; empty until such a source is selected.
    const std::vector<std::int32_t>& CrToRed() const { return crToRed_; }
    const std::vector<std::int32_t>& CbToBlue() const { return cbToBlue_; }
    const std::vector<std::int32_t>& CrToGreen() const { return crToGreen_; }
    const std::vector<std::int32_t>& CbToGreen() const { return cbToGreen_; }

private:
    void BuildGammaTable();
    void BuildYCbCrTables();

    bool stale_ = true;
    std::uint8_t sourceDepth_ = 8;
    std::uint8_t targetDepth_ = 8;
    std::uint8_t sourceSampleCount_ = 3;
    std::uint8_t targetSampleCount_ = 3;
    float mainGamma_ = 1.0f;
    float displayGamma_ = 2.2f;
    std::array<std::uint8_t, 256> gammaTable_{};
    std::array<float, 3> luma_{0.299f, 0.587f, 0.114f};
    std::uint8_t horizontalSubsampling_ = 1;
    std::uint8_t verticalSubsampling_ = 1;
    std::vector<std::int32_t> crToRed_, cbToBlue_, crToGreen_, cbToGreen_;
    ColorScheme sourceScheme_ = ColorScheme::RGB;
    ColorScheme targetScheme_ = ColorScheme::BGR;
    TConverterKind converter_ = TConverterKind::None;
};
