// CMYK, CIE L*a*b*, YCbCr and PhotoYCC sources to BGR or RGB targets. An alpha sample of the
// target is left as it is.
#include "color/LineFrame.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace {

using std::uint16_t;
using std::uint8_t;

// fn maps the N source samples of a pixel to red, green, blue target samples. The layout is
// copied into locals so that byte stores cannot force it to be reloaded per pixel.
template <class Src, class Dst, int N, class Fn> void MapColors(const TSampleLayout& l, const TLine& line, Fn fn) {
    const uint8_t* source[N];
#pragma GCC unroll 4
    for (int k = 0; k < N; ++k) source[k] = l.Component[k];
    const std::size_t red = l.TargetOffset[0], green = l.TargetOffset[1], blue = l.TargetOffset[2];
    const std::size_t sourceStep = l.SourceStep, targetStep = l.TargetStep;
    uint8_t* const target = line.Target;
    std::size_t offset = 0;
    ForEachPixel(line.Count, line.Mask, [&](std::uint32_t i) PIXAMO_PIXEL_INLINE {
        Src in[N];
#pragma GCC unroll 4
        for (int k = 0; k < N; ++k) in[k] = LoadSample<Src>(source[k] + offset);
        const std::array<Dst, 3> rgb = fn(in);
        uint8_t* t = target + static_cast<std::size_t>(i) * targetStep;
        StoreSample<Dst>(t + red, rgb[0]);
        StoreSample<Dst>(t + green, rgb[1]);
        StoreSample<Dst>(t + blue, rgb[2]);
        offset += sourceStep;
    });
}

// Runs fn8 (an 8-bit result per colour) for 8-bit targets and the same widened by 257 for 16-bit
// targets; fn16 gives 16-bit results for 16-bit sources into 16-bit targets.
template <class Src, int N, class Fn8>
void MapToDepth(const TSampleLayout& l, const TLine& line, uint8_t targetDepth, Fn8 fn8) {
    if (targetDepth == 8) {
        MapColors<Src, uint8_t, N>(l, line, fn8);
    } else {
        MapColors<Src, uint16_t, N>(l, line, [fn8](const Src* in) {
            const std::array<uint8_t, 3> c = fn8(in);
            return std::array<uint16_t, 3>{static_cast<uint16_t>(c[0] * 257u), static_cast<uint16_t>(c[1] * 257u),
                                           static_cast<uint16_t>(c[2] * 257u)};
        });
    }
}

bool Is8Or16(uint8_t depth) { return depth == 8 || depth == 16; }

uint8_t ClampByte(std::int64_t v) { return static_cast<uint8_t>(std::clamp<std::int64_t>(v, 0, 255)); }

// The checked layout for three or four colour samples and a target of 3 samples, or 4 with an
// untouched alpha sample.
TSampleLayout ColorLayout(const TLineSettings& s, const TLine& line, bool planar, std::size_t samples, bool bgr) {
    const std::size_t targetBytes = s.TargetDepth / 8;
    TSampleLayout l = MakeLayout(line, planar, samples, samples, s.SourceDepth / 8,
                                 (s.TargetFlags & AlphaPresent) != 0 ? 4 : 3, targetBytes);
    SetTargetOrder(l, bgr, targetBytes);
    return l;
}

// 8-bit CMYK: each colour is the product of the inverted colour and the inverted black.
uint8_t InkByte(uint8_t ink, uint8_t black) { return ClampByte(255 - ink - black + MulDiv16(ink, black, 255)); }
uint8_t InkWordToByte(uint16_t ink, uint16_t black) {
    const uint16_t covered = static_cast<uint16_t>(ink + black - MulDiv16(ink, black, 65535));
    return ClampByte(255 - MulDiv16(covered, 255, 65535));
}
uint16_t InkWord(uint16_t ink, uint16_t black) {
    return static_cast<uint16_t>(65535 - ink - black + MulDiv16(ink, black, 65535));
}

// The signed value of a 16-bit sample's first stored byte.
int FirstByteSigned(uint16_t v) {
    const uint8_t first =
        std::endian::native == std::endian::little ? static_cast<uint8_t>(v) : static_cast<uint8_t>(v >> 8);
    return static_cast<std::int8_t>(first);
}

uint8_t LabComponent(long double v) {
    const long double scaled = std::nearbyint(v * 255.0L);
    return static_cast<uint8_t>(std::clamp(scaled, 0.0L, 255.0L));
}

// L*a*b* (D65 white) to RGB in extended precision.
std::array<uint8_t, 3> LabToRGB(long double l, long double a, long double b) {
    long double x, y, z;
    if (l < 7.9996L) {
        y = l / 903.3L;
        x = y + a / 3893.5L;
        z = y - b / 1557.4L;
    } else {
        const long double f = (l + 16.0L) / 116.0L;
        const long double fx = f + a / 500.0L, fz = f - b / 200.0L;
        x = fx * fx * fx;
        y = f * f * f;
        z = fz * fz * fz;
    }
    return {LabComponent(2.998L * x - 1.458L * y - 0.541L * z), LabComponent(-0.952L * x + 1.893L * y + 0.059L * z),
            LabComponent(0.099L * x - 0.198L * y + 1.099L * z)};
}

template <class Src> void ConvertLabSamples(const TLineSettings& s, const TLine& line, const TSampleLayout& l) {
    const bool scaledL = (s.SourceFlags & LabScaledL) != 0;
    const bool biased = (s.SourceFlags & LabBiasedAB) != 0;
    MapToDepth<Src, 3>(l, line, s.TargetDepth, [scaledL, biased](const Src* in) {
        long double lightness = in[0];
        if (scaledL) lightness /= 2.55L;
        long double a, b;
        if (biased) {
            a = static_cast<long double>(in[1]) - 128;
            b = static_cast<long double>(in[2]) - 128;
        } else if constexpr (sizeof(Src) == 1) {
            a = static_cast<std::int8_t>(in[1]);
            b = static_cast<std::int8_t>(in[2]);
        } else {
            a = FirstByteSigned(in[1]);
            b = FirstByteSigned(in[2]);
        }
        return LabToRGB(lightness, a, b);
    });
}

struct TChromaTables {
    const std::int32_t *CrToRed, *CbToBlue, *CrToGreen, *CbToGreen;
    std::array<uint8_t, 3> operator()(uint8_t y, uint8_t cb, uint8_t cr) const {
        const std::int64_t luma = y;
        return {ClampByte(luma + CrToRed[cr]), ClampByte(luma + std::int64_t{CbToGreen[cb]} + CrToGreen[cr]),
                ClampByte(luma + CbToBlue[cb])};
    }
};

// 16-bit luma and chroma straight to 16-bit samples, unclamped.
std::array<uint16_t, 3> YccWords(uint16_t y16, uint16_t cb, uint16_t cr) {
    const float y = static_cast<float>(1.3584L * y16);
    const long double c1 = static_cast<int>(cb) - 40092;
    const long double c2 = static_cast<int>(cr) - 35209;
    const auto word = [](long double v) { return static_cast<uint16_t>(static_cast<std::int64_t>(std::nearbyint(v))); };
    return {word(y + 1.8215L * c2), word(y - 0.9271435L * c2 - 0.4302726L * c1), word(y + 2.2179L * c1)};
}

}  // namespace

void ConvertCMYK(const TLineSettings& s, const TLine& line, bool bgr) {
    if (!Is8Or16(s.SourceDepth) || !Is8Or16(s.TargetDepth)) return;
    const TSampleLayout l = ColorLayout(s, line, line.Sources.size() == 4, 4, bgr);
    if (s.SourceDepth == 8) {
        MapToDepth<uint8_t, 4>(l, line, s.TargetDepth, [](const uint8_t* in) {
            return std::array<uint8_t, 3>{InkByte(in[0], in[3]), InkByte(in[1], in[3]), InkByte(in[2], in[3])};
        });
    } else if (s.TargetDepth == 8) {
        MapColors<uint16_t, uint8_t, 4>(l, line, [](const uint16_t* in) {
            return std::array<uint8_t, 3>{InkWordToByte(in[0], in[3]), InkWordToByte(in[1], in[3]),
                                          InkWordToByte(in[2], in[3])};
        });
    } else {
        MapColors<uint16_t, uint16_t, 4>(l, line, [](const uint16_t* in) {
            return std::array<uint16_t, 3>{InkWord(in[0], in[3]), InkWord(in[1], in[3]), InkWord(in[2], in[3])};
        });
    }
}

void ConvertCIELab(const TLineSettings& s, const TLine& line, bool bgr) {
    if (!Is8Or16(s.SourceDepth) || !Is8Or16(s.TargetDepth)) return;
    const TSampleLayout l = ColorLayout(s, line, line.Sources.size() > 1, 3, bgr);
    if (s.SourceDepth == 8)
        ConvertLabSamples<uint8_t>(s, line, l);
    else
        ConvertLabSamples<uint16_t>(s, line, l);
}

void ConvertYCbCr(const TLineSettings& s, const TLine& line, bool bgr) {
    if (!Is8Or16(s.SourceDepth) || !Is8Or16(s.TargetDepth)) return;
    const TSampleLayout l = ColorLayout(s, line, line.Sources.size() > 1, 3, bgr);
    const TChromaTables tables{s.CrToRed, s.CbToBlue, s.CrToGreen, s.CbToGreen};
    if (s.SourceDepth == 8) {
        MapToDepth<uint8_t, 3>(l, line, s.TargetDepth,
                               [tables](const uint8_t* in) { return tables(in[0], in[1], in[2]); });
    } else if (s.TargetDepth == 8) {
        MapColors<uint16_t, uint8_t, 3>(l, line, [tables](const uint16_t* in) {
            return tables(ScaleWord(in[0]), ScaleWord(in[1]), ScaleWord(in[2]));
        });
    } else {
        MapColors<uint16_t, uint16_t, 3>(l, line, [](const uint16_t* in) { return YccWords(in[0], in[1], in[2]); });
    }
}
