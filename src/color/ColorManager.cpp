#include "color/ColorManager.h"

#include "color/LineFrame.h"
#include "platform/Exception.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const char* const kDepthInvalid = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
const char* const kSampleCountInvalid = "Sample count per pixel does not correspond to the given color scheme.";
const char* const kSubsamplingInvalid = "Subsampling value is invalid. Allowed are 1, 2 and 4.";
const char* const kVerticalAboveHorizontal = "Vertical subsampling value must be <= horizontal subsampling value.";
const char* const kIndexedMismatch = "Conversion between indexed and non-indexed pixel formats is not supported.";
const char* const kNoConverter = "Color conversion failed. Could not find a proper method.";

bool HasAlpha(ColorScheme scheme) {
    return scheme == ColorScheme::GrayAlpha || scheme == ColorScheme::RGBA || scheme == ColorScheme::BGRA;
}
bool IsRGBOrder(ColorScheme scheme) { return scheme == ColorScheme::RGB || scheme == ColorScheme::RGBA; }
bool IsBGROrder(ColorScheme scheme) { return scheme == ColorScheme::BGR || scheme == ColorScheme::BGRA; }
void SetFlag(TConvertOptions& flags, TConvertOption flag, bool on) {
    flags = static_cast<TConvertOptions>(on ? (flags | flag) : (flags & ~flag));
}
bool ValidSubsampling(std::uint8_t factor) { return factor == 1 || factor == 2 || factor == 4; }
template <class T> void SetMarkingStale(T& field, T value, bool& stale) {
    if (field != value) {
        field = value;
        stale = true;
    }
}
std::uint32_t HighValue(std::uint8_t bits) { return (1u << bits) - 1; }

// round(factor · d) in single precision, halves to even; a value outside the 32-bit range (from
// absurd luma weights) is refused rather than converted.
std::int32_t RoundChroma(float factor, int d) {
    const float product = factor * static_cast<float>(d);
    const float rounded = std::nearbyint(product);
    if (!std::isfinite(rounded) || std::fabs(rounded) >= 2147483648.0f)
        throw EColorConversionError("Color conversion failed. The luma coefficients give no usable chroma tables.");
    return static_cast<std::int32_t>(rounded);
}

}  // namespace

TColorManager::TColorManager() { BuildGammaTable(); }

void TColorManager::SetSourceDepth(std::uint8_t bits) {
    if (bits == 0 || bits > 16) throw EColorConversionError(kDepthInvalid);
    SetMarkingStale(sourceDepth_, bits, stale_);
}

void TColorManager::SetTargetDepth(std::uint8_t bits) {
    if (bits == 0 || bits > 16) throw EColorConversionError(kDepthInvalid);
    SetMarkingStale(targetDepth_, bits, stale_);
}

void TColorManager::SetSourceSampleCount(std::uint8_t count) {
    if (count == 0 || count > 4) throw EColorConversionError(kSampleCountInvalid);
    SetMarkingStale(sourceSampleCount_, count, stale_);
}

void TColorManager::SetTargetSampleCount(std::uint8_t count) {
    if (count == 0 || count > 4) throw EColorConversionError(kSampleCountInvalid);
    SetMarkingStale(targetSampleCount_, count, stale_);
}

void TColorManager::SetSourceScheme(ColorScheme scheme) { SetMarkingStale(sourceScheme_, scheme, stale_); }

void TColorManager::SetTargetScheme(ColorScheme scheme) { SetMarkingStale(targetScheme_, scheme, stale_); }

void TColorManager::SetGammaValues(float mainGamma, float displayGamma) {
    mainGamma_ = mainGamma > 0 ? mainGamma : 1.0f;
    displayGamma_ = displayGamma > 0 ? displayGamma : 2.2f;
    BuildGammaTable();
}

// Entries above the source high keep their previous values.
void TColorManager::BuildGammaTable() {
    const long double exponent =
        1.0L / (static_cast<long double>(mainGamma_) * static_cast<long double>(displayGamma_));
    const std::uint32_t targetHigh = targetDepth_ >= 8 ? 255 : HighValue(targetDepth_);
    // Below 8 bits the table is indexed by values already widened to the target's depth.
    const std::uint32_t sourceHigh = sourceDepth_ >= 8 ? 255 : std::min<std::uint32_t>(HighValue(targetDepth_), 255);
    for (std::uint32_t i = 0; i <= sourceHigh; ++i) {
        const long double level = std::pow(static_cast<long double>(i) / sourceHigh, exponent) * targetHigh;
        gammaTable_[i] = static_cast<std::uint8_t>(std::nearbyint(level));
    }
}

void TColorManager::SetYCbCrValues(std::span<const float> coefficients, std::uint8_t horizontal,
                                   std::uint8_t vertical) {
    for (std::size_t k = 0; k < coefficients.size() && k < luma_.size(); ++k) luma_[k] = coefficients[k];
    if (!ValidSubsampling(horizontal) || !ValidSubsampling(vertical)) throw EColorConversionError(kSubsamplingInvalid);
    if (horizontal < vertical) throw EColorConversionError(kVerticalAboveHorizontal);
    horizontalSubsampling_ = horizontal;
    verticalSubsampling_ = vertical;
}

TPixelFormat TColorManager::PixelFormatFor(int side) const {
    const std::uint8_t bits = side == 0 ? sourceDepth_ : targetDepth_;
    const std::uint8_t samples = side == 0 ? sourceSampleCount_ : targetSampleCount_;
    switch (samples) {
        case 1:
            if (bits == 1) return TPixelFormat::pf1bit;
            if (bits >= 2 && bits <= 4) return TPixelFormat::pf4bit;  // 2-bit data is shown through a 4-bit bitmap
            if (bits >= 8) return TPixelFormat::pf8bit;
            break;
        case 3:
            return bits <= 5 ? TPixelFormat::pf15bit : TPixelFormat::pf24bit;
        case 4:
            if (bits >= 8) return TPixelFormat::pf32bit;
            break;
        default:
            break;
    }
    return TPixelFormat::pfCustom;
}

// YCbCr chroma is centred on 128; PhotoYCC's C1 (blue) on 156 and C2 (red) on 137.
void TColorManager::BuildYCbCrTables() {
    const float red = luma_[0], green = luma_[1], blue = luma_[2];
    const float f1 = 2 - 2 * red;
    const float f2 = red * f1 / green;
    const float f3 = 2 - 2 * blue;
    const float f4 = blue * f3 / green;
    const bool photo = sourceScheme_ == ColorScheme::PhotoYCC;
    const int redCentre = photo ? 137 : 128;
    const int blueCentre = photo ? 156 : 128;
    std::vector<std::int32_t> crToRed(256), cbToBlue(256), crToGreen(256), cbToGreen(256);
    for (int i = 0; i < 256; ++i) {
        crToRed[i] = RoundChroma(f1, i - redCentre);
        cbToBlue[i] = RoundChroma(f3, i - blueCentre);
        crToGreen[i] = -RoundChroma(f2, i - redCentre);
        cbToGreen[i] = -RoundChroma(f4, i - blueCentre);
    }
    crToRed_ = std::move(crToRed);
    cbToBlue_ = std::move(cbToBlue);
    crToGreen_ = std::move(crToGreen);
    cbToGreen_ = std::move(cbToGreen);
}

void TColorManager::SelectConverter() {
    converter_ = TConverterKind::None;
    const bool indexedSource = sourceScheme_ == ColorScheme::Indexed || sourceScheme_ == ColorScheme::Gray ||
                               sourceScheme_ == ColorScheme::GrayAlpha;
    const bool indexedTarget = targetScheme_ == ColorScheme::Indexed || targetScheme_ == ColorScheme::Gray;
    if (indexedSource != indexedTarget) throw EColorConversionError(kIndexedMismatch);
    SetFlag(SourceFlags, AlphaPresent, HasAlpha(sourceScheme_));
    SetFlag(TargetFlags, AlphaPresent, HasAlpha(targetScheme_));

    const bool source16 = sourceDepth_ == 16, target16 = targetDepth_ == 16;
    const bool rgbTarget = IsRGBOrder(targetScheme_), bgrTarget = IsBGROrder(targetScheme_);
    auto byOrder = [&](TConverterKind toRGB, TConverterKind toBGR) {
        return rgbTarget ? toRGB : bgrTarget ? toBGR : TConverterKind::None;
    };
    switch (sourceScheme_) {
        case ColorScheme::Indexed:
            converter_ = source16 && target16 ? TConverterKind::Indexed16To16
                         : source16           ? TConverterKind::Indexed16ToPacked
                         : target16           ? TConverterKind::PackedToIndexed16
                                              : TConverterKind::PackedToPacked;
            break;
        case ColorScheme::Gray:
            if (!source16 && !target16)
                converter_ = TConverterKind::PackedToPacked;
            else if (sourceDepth_ >= 8 && targetDepth_ >= 8)
                converter_ = TConverterKind::Gray8Or16;
            break;
        case ColorScheme::GrayAlpha:
            if ((sourceDepth_ == 8 || source16) && (targetDepth_ == 8 || target16))
                converter_ = TConverterKind::Gray8Or16;
            break;
        case ColorScheme::RGB:
        case ColorScheme::RGBA:
            converter_ = byOrder(TConverterKind::RGBOrderKept, TConverterKind::RGBOrderExchanged);
            break;
        case ColorScheme::BGR:
        case ColorScheme::BGRA:
            converter_ = byOrder(TConverterKind::RGBOrderExchanged, TConverterKind::RGBOrderKept);
            break;
        case ColorScheme::CMYK:
            converter_ = byOrder(TConverterKind::CMYKToRGB, TConverterKind::CMYKToBGR);
            break;
        case ColorScheme::CIELab:
            converter_ = byOrder(TConverterKind::CIELabToRGB, TConverterKind::CIELabToBGR);
            break;
        case ColorScheme::YCbCr:
        case ColorScheme::PhotoYCC:
            converter_ = byOrder(TConverterKind::YCbCrToRGB, TConverterKind::YCbCrToBGR);
            if (converter_ != TConverterKind::None) BuildYCbCrTables();
            break;
        default:  // Unknown, CMY
            break;
    }
    stale_ = false;
}

void TColorManager::ConvertLine(std::span<const TSourcePlane> sources, std::uint8_t* target, std::size_t targetSize,
                                std::uint32_t count, std::uint8_t mask) {
    if (stale_) SelectConverter();
    if (converter_ == TConverterKind::None) throw EColorConversionError(kNoConverter);
    // Readers assign the flag sets whole; alpha follows the schemes whenever they do it.
    SetFlag(SourceFlags, AlphaPresent, HasAlpha(sourceScheme_));
    SetFlag(TargetFlags, AlphaPresent, HasAlpha(targetScheme_));

    TLineSettings s;
    s.SourceDepth = sourceDepth_;
    s.TargetDepth = targetDepth_;
    s.SourceFlags = SourceFlags;
    s.TargetFlags = TargetFlags;
    s.GammaTable = gammaTable_.data();
    s.CrToRed = crToRed_.data();
    s.CbToBlue = cbToBlue_.data();
    s.CrToGreen = crToGreen_.data();
    s.CbToGreen = cbToGreen_.data();
    const TLine line{sources, target, targetSize, count, mask};

    switch (converter_) {
        case TConverterKind::None:
            break;
        case TConverterKind::RGBOrderKept:
            ConvertRGBFamily(s, line, false);
            break;
        case TConverterKind::RGBOrderExchanged:
            ConvertRGBFamily(s, line, true);
            break;
        case TConverterKind::Gray8Or16:
            ConvertGray8Or16(s, line);
            break;
        case TConverterKind::PackedToPacked:
            ConvertPackedToPacked(s, line);
            break;
        case TConverterKind::Indexed16To16:
            ConvertIndexed16To16(s, line);
            break;
        case TConverterKind::Indexed16ToPacked:
            ConvertIndexed16ToPacked(s, line);
            break;
        case TConverterKind::PackedToIndexed16:
            ConvertPackedToIndexed16(s, line);
            break;
        case TConverterKind::CMYKToBGR:
        case TConverterKind::CMYKToRGB:
            ConvertCMYK(s, line, converter_ == TConverterKind::CMYKToBGR);
            break;
        case TConverterKind::CIELabToBGR:
        case TConverterKind::CIELabToRGB:
            ConvertCIELab(s, line, converter_ == TConverterKind::CIELabToBGR);
            break;
        case TConverterKind::YCbCrToBGR:
        case TConverterKind::YCbCrToRGB:
            ConvertYCbCr(s, line, converter_ == TConverterKind::YCbCrToBGR);
            break;
    }
}

void TColorManager::ConvertLine(const std::uint8_t* source, std::size_t sourceSize, std::uint8_t* target,
                                std::size_t targetSize, std::uint32_t count, std::uint8_t mask) {
    const TSourcePlane plane{source, sourceSize};
    ConvertLine(std::span<const TSourcePlane>(&plane, 1), target, targetSize, count, mask);
}

namespace {

// Reads one palette component per call from the stored entries.
template <class Sample, class Fn> void ReadPaletteEntries(std::array<TRGBEntry, 256>& entries, std::size_t count,
                                                          const std::uint8_t* const planes[3], std::size_t step,
                                                          Fn fn) {
    for (std::size_t i = 0; i < count; ++i) {
        entries[i].Red = fn(LoadSample<Sample>(planes[0] + i * step));
        entries[i].Green = fn(LoadSample<Sample>(planes[1] + i * step));
        entries[i].Blue = fn(LoadSample<Sample>(planes[2] + i * step));
    }
}

void RequirePalettePlanes(std::span<const TSourcePlane> sources, std::size_t planes, std::uint64_t bytes) {
    if (sources.size() < planes)
        throw EColorConversionError(FormatText(
            "Color conversion failed. %zu palette planes are needed, %zu were given.", planes, sources.size()));
    for (std::size_t k = 0; k < planes; ++k)
        if (bytes > 0 && (sources[k].Data == nullptr || sources[k].Size < bytes))
            throw EColorConversionError(FormatText(
                "Color conversion failed. The palette data holds %zu bytes, %llu are needed.",
                sources[k].Data == nullptr ? std::size_t{0} : sources[k].Size, static_cast<unsigned long long>(bytes)));
}

}  // namespace

TPalette TColorManager::MakeColorPalette(std::span<const TSourcePlane> sources, PaletteLayout layout,
                                         std::uint32_t colorCount, bool blueFirst) const {
    std::array<TRGBEntry, 256> entries{};
    const std::size_t count = std::min<std::uint32_t>(colorCount, 256);
    const bool gamma = (TargetFlags & GammaCorrect) != 0;
    const bool swap = (SourceFlags & SwapBytes) != 0;
    const unsigned index = static_cast<unsigned>(layout);
    const bool words = index >= 4;
    const bool planar = (index & 2) != 0;
    const std::size_t sampleBytes = words ? 2 : 1;

    const std::uint8_t* planes[3] = {};
    std::size_t step = sampleBytes;
    if (count > 0) {
        if (planar) {
            RequirePalettePlanes(sources, 3, count * sampleBytes);
            for (int k = 0; k < 3; ++k) planes[k] = sources[k].Data;
        } else {
            const std::size_t samples = (index & 1) != 0 ? 4 : 3;
            step = samples * sampleBytes;
            // The ignored fourth sample of the last colour need not be there.
            RequirePalettePlanes(sources, 1, (count - 1) * step + 3 * sampleBytes);
            const std::uint8_t* first = sources[0].Data;
            const bool reversed = blueFirst;
            planes[0] = first + (reversed ? 2 : 0) * sampleBytes;
            planes[1] = first + sampleBytes;
            planes[2] = first + (reversed ? 0 : 2) * sampleBytes;
        }
        const std::uint8_t* table = gammaTable_.data();
        if (!words) {
            if (gamma)
                ReadPaletteEntries<std::uint8_t>(entries, count, planes, step, GammaByte{table});
            else
                ReadPaletteEntries<std::uint8_t>(entries, count, planes, step, PassByte{});
        } else if (swap) {
            if (gamma)
                ReadPaletteEntries<std::uint16_t>(entries, count, planes, step, SwapScaleGammaWord{table});
            else
                ReadPaletteEntries<std::uint16_t>(entries, count, planes, step, SwapScaleWord{});
        } else {
            if (gamma)
                ReadPaletteEntries<std::uint16_t>(entries, count, planes, step, ScaleGammaWord{table});
            else
                ReadPaletteEntries<std::uint16_t>(entries, count, planes, step, ScaleWordFn{});
        }
    }

    // Refit to the target depth so that index values widened or narrowed by the line converter
    // still find their colours. Downwards the copy runs from the top so nothing is read after it
    // was overwritten; upwards from the bottom.
    std::size_t result = count;
    const std::uint32_t sourceHigh = HighValue(sourceDepth_);
    const std::uint32_t targetHigh = HighValue(targetDepth_);
    if (targetDepth_ <= 8 && sourceHigh != targetHigh) {
        auto from = [&](std::uint32_t i) {
            return MulDiv16(static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(sourceHigh),
                            static_cast<std::uint16_t>(targetHigh));
        };
        if (sourceHigh < targetHigh) {
            for (std::uint32_t i = targetHigh + 1; i-- > 0;) entries[i] = entries[from(i)];
        } else {
            // Deeper than 8 bits the source index can lie past the 256 entries: those are black.
            for (std::uint32_t i = 0; i <= targetHigh; ++i) {
                const std::uint32_t k = from(i);
                entries[i] = k < entries.size() ? entries[k] : TRGBEntry{};
            }
        }
        result = targetHigh + 1;
    }
    return TPalette(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(result));
}

TPalette TColorManager::MakeColorPalette(const std::uint8_t* data, std::size_t size, PaletteLayout layout,
                                         std::uint32_t colorCount, bool blueFirst) const {
    const TSourcePlane plane{data, size};
    return MakeColorPalette(std::span<const TSourcePlane>(&plane, 1), layout, colorCount, blueFirst);
}

TPalette TColorManager::MakeGrayPalette(bool minimumIsWhite) const {
    const unsigned bits = std::min(static_cast<unsigned>(targetDepth_) * targetSampleCount_, 8u);
    const std::size_t n = std::size_t{1} << bits;
    const unsigned step = 255 / static_cast<unsigned>(n - 1);
    const bool gamma = (TargetFlags & GammaCorrect) != 0;
    TPalette palette(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned level = static_cast<unsigned>(i) * step;
        const std::uint8_t value = gamma ? gammaTable_[level] : static_cast<std::uint8_t>(level);
        palette[minimumIsWhite ? n - 1 - i : i] = TRGBEntry{value, value, value};
    }
    return palette;
}
