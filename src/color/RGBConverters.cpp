// The RGB family, gray 8/16 and indexed 16 to 16: samples mapped one by one through a component
// function, with straight copies and byte shuffles for the common 8-bit lines.
#include "color/LineFrame.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PIXAMO_COLOR_X86 1
#endif

namespace {

using std::uint16_t;
using std::uint8_t;

// Colors components through f and, with CopyAlpha, component 3 through fa. Every sample of a pixel
// is read before any is written, so a line converted onto itself stays intact. The layout is
// copied into locals: byte stores could otherwise alias it and force reloads in every pixel.
template <class Src, class Dst, int Colors, bool CopyAlpha, class F, class FA>
void MapSamples(const TSampleLayout& l, const TLine& line, F f, FA fa) {
    constexpr int Read = CopyAlpha ? Colors + 1 : Colors;
    const uint8_t* source[Read];
    std::size_t place[Read];
#pragma GCC unroll 4
    for (int k = 0; k < Read; ++k) {
        source[k] = l.Component[k];
        place[k] = l.TargetOffset[k];
    }
    const std::size_t sourceStep = l.SourceStep, targetStep = l.TargetStep;
    uint8_t* const target = line.Target;
    std::size_t offset = 0;
    ForEachPixel(line.Count, line.Mask, [&](std::uint32_t i) PIXAMO_PIXEL_INLINE {
        Src in[Read];
#pragma GCC unroll 4
        for (int k = 0; k < Read; ++k) in[k] = LoadSample<Src>(source[k] + offset);
        uint8_t* t = target + static_cast<std::size_t>(i) * targetStep;
#pragma GCC unroll 4
        for (int k = 0; k < Colors; ++k) StoreSample<Dst>(t + place[k], f(in[k]));
        if constexpr (CopyAlpha) StoreSample<Dst>(t + place[Colors], fa(in[Colors]));
        offset += sourceStep;
    });
}

// Picks the component functions for the depth pair and flags; gamma is null when not applied.
// Copied alpha never takes gamma. Depth pairs other than 8 and 16 write nothing.
template <int Colors, bool CopyAlpha> void MapByDepths(const TSampleLayout& l, const TLine& line, uint8_t sourceDepth,
                                                       uint8_t targetDepth, bool swap, const uint8_t* gamma) {
    if (sourceDepth == 8 && targetDepth == 8) {
        if (gamma)
            MapSamples<uint8_t, uint8_t, Colors, CopyAlpha>(l, line, GammaByte{gamma}, PassByte{});
        else
            MapSamples<uint8_t, uint8_t, Colors, CopyAlpha>(l, line, PassByte{}, PassByte{});
    } else if (sourceDepth == 8 && targetDepth == 16) {
        if (gamma)
            MapSamples<uint8_t, uint16_t, Colors, CopyAlpha>(l, line, WidenByte<GammaByte>{{gamma}},
                                                             WidenByte<PassByte>{});
        else
            MapSamples<uint8_t, uint16_t, Colors, CopyAlpha>(l, line, WidenByte<PassByte>{}, WidenByte<PassByte>{});
    } else if (sourceDepth == 16 && targetDepth == 8) {
        if (swap && gamma)
            MapSamples<uint16_t, uint8_t, Colors, CopyAlpha>(l, line, SwapScaleGammaWord{gamma}, SwapScaleWord{});
        else if (swap)
            MapSamples<uint16_t, uint8_t, Colors, CopyAlpha>(l, line, SwapScaleWord{}, SwapScaleWord{});
        else if (gamma)
            MapSamples<uint16_t, uint8_t, Colors, CopyAlpha>(l, line, ScaleGammaWord{gamma}, ScaleWordFn{});
        else
            MapSamples<uint16_t, uint8_t, Colors, CopyAlpha>(l, line, ScaleWordFn{}, ScaleWordFn{});
    } else if (sourceDepth == 16 && targetDepth == 16) {
        if (swap)
            MapSamples<uint16_t, uint16_t, Colors, CopyAlpha>(l, line, SwapWordFn{}, SwapWordFn{});
        else
            MapSamples<uint16_t, uint16_t, Colors, CopyAlpha>(l, line, PassWord{}, PassWord{});
    }
}

// Exchanges the first and third byte of each pixel of pixelBytes (3 or 4) bytes.
void SwapRedBlueScalar(const uint8_t* s, uint8_t* t, std::size_t pixels, std::size_t pixelBytes) {
    for (std::size_t i = 0; i < pixels; ++i, s += pixelBytes, t += pixelBytes) {
        const uint8_t first = s[0], second = s[1], third = s[2];
        t[0] = third;
        t[1] = second;
        t[2] = first;
        if (pixelBytes == 4) t[3] = s[3];
    }
}

#ifdef PIXAMO_COLOR_X86
// Byte selectors for exchanging red and blue in 48 bytes (16 pixels) held in three registers:
// output register o takes byte s of the block from input register s / 16; other bytes are zeroed
// (selector 0x80) so that the partial results can be or-ed together.
struct TSwapSelectors {
    alignas(16) std::int8_t Bytes[3][3][16];
};
constexpr TSwapSelectors MakeSwapSelectors() {
    TSwapSelectors m{};
    for (int o = 0; o < 3; ++o)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 16; ++j) {
                const int out = 16 * o + j;
                const int from = 3 * (out / 3) + 2 - out % 3;
                m.Bytes[o][i][j] = static_cast<std::int8_t>(from / 16 == i ? from % 16 : 0x80);
            }
    return m;
}
constexpr TSwapSelectors kSwap = MakeSwapSelectors();

// Sixteen 3-byte pixels per step, loaded whole before they are stored, so the shuffle stays
// inside 3 × pixels bytes and also works in place. Returns the pixels done.
__attribute__((target("ssse3"))) std::size_t SwapRedBlue24Ssse3(const uint8_t* s, uint8_t* t, std::size_t pixels) {
    auto selector = [](int o, int i) { return _mm_load_si128(reinterpret_cast<const __m128i*>(kSwap.Bytes[o][i])); };
    const __m128i a0 = selector(0, 0), b0 = selector(0, 1);
    const __m128i a1 = selector(1, 0), b1 = selector(1, 1), c1 = selector(1, 2);
    const __m128i b2 = selector(2, 1), c2 = selector(2, 2);
    const std::size_t done = pixels & ~std::size_t{15};
    for (std::size_t i = 0; i < done; i += 16) {
        const auto* in = reinterpret_cast<const __m128i*>(s + 3 * i);
        const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1), c = _mm_loadu_si128(in + 2);
        auto* out = reinterpret_cast<__m128i*>(t + 3 * i);
        _mm_storeu_si128(out, _mm_or_si128(_mm_shuffle_epi8(a, a0), _mm_shuffle_epi8(b, b0)));
        _mm_storeu_si128(out + 1, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, a1), _mm_shuffle_epi8(b, b1)),
                                               _mm_shuffle_epi8(c, c1)));
        _mm_storeu_si128(out + 2, _mm_or_si128(_mm_shuffle_epi8(b, b2), _mm_shuffle_epi8(c, c2)));
    }
    return done;
}

// The same for 32 pixels (96 bytes, six 16-byte chunks) per step with 32-byte registers. Lane L
// of output register o is chunk c = 2o + L and draws on chunks c - 1, c and c + 1; 32-byte loads
// at offsets 16c - 16, 16c and 16c + 16 put those in lane L. The first chunk needs nothing before
// it and the last nothing after it, so no load leaves the block, and all loads precede the stores.
struct TWideSwapSelectors {
    alignas(32) std::int8_t Bytes[3][3][32];  // [output][neighbour: before, same, after]
};
constexpr TWideSwapSelectors MakeWideSwapSelectors() {
    TWideSwapSelectors m{};
    for (int o = 0; o < 3; ++o)
        for (int n = 0; n < 3; ++n)
            for (int lane = 0; lane < 2; ++lane)
                for (int j = 0; j < 16; ++j) {
                    const int out = 32 * o + 16 * lane + j;
                    const int from = 3 * (out / 3) + 2 - out % 3;
                    const int chunk = 2 * o + lane + n - 1;
                    m.Bytes[o][n][16 * lane + j] = static_cast<std::int8_t>(from / 16 == chunk ? from % 16 : 0x80);
                }
    return m;
}
constexpr TWideSwapSelectors kWideSwap = MakeWideSwapSelectors();

__attribute__((target("avx2"))) inline __m256i MergeChunks(const std::int8_t (&selectors)[3][32], __m256i before,
                                                           __m256i same, __m256i after) {
    const auto* m = reinterpret_cast<const __m256i*>(selectors);
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(before, _mm256_load_si256(m)),
                                           _mm256_shuffle_epi8(same, _mm256_load_si256(m + 1))),
                           _mm256_shuffle_epi8(after, _mm256_load_si256(m + 2)));
}

__attribute__((target("avx2"))) std::size_t SwapRedBlue24Avx2(const uint8_t* s, uint8_t* t, std::size_t pixels) {
    const std::size_t done = pixels & ~std::size_t{31};
    for (std::size_t i = 0; i < done; i += 32) {
        const uint8_t* in = s + 3 * i;
        const __m128i firstChunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i lastChunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 80));
        const auto* wide = reinterpret_cast<const __m256i*>(in);
        const __m256i first = _mm256_broadcastsi128_si256(firstChunk);
        const __m256i c01 = _mm256_loadu_si256(wide);
        const __m256i c12 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 16));
        const __m256i c23 = _mm256_loadu_si256(wide + 1);
        const __m256i c34 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 48));
        const __m256i c45 = _mm256_loadu_si256(wide + 2);
        const __m256i last = _mm256_zextsi128_si256(lastChunk);
        auto* out = reinterpret_cast<__m256i*>(t + 3 * i);
        _mm256_storeu_si256(out, MergeChunks(kWideSwap.Bytes[0], first, c01, c12));
        _mm256_storeu_si256(out + 1, MergeChunks(kWideSwap.Bytes[1], c12, c23, c34));
        _mm256_storeu_si256(out + 2, MergeChunks(kWideSwap.Bytes[2], c34, c45, last));
    }
    return done;
}

// Eight 4-byte pixels per 32-byte step.
__attribute__((target("avx2"))) std::size_t SwapRedBlue32Avx2(const uint8_t* s, uint8_t* t, std::size_t pixels) {
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 2, 1, 0, 3, 6, 5, 4, 7,
                                           10, 9, 8, 11, 14, 13, 12, 15);
    const std::size_t done = pixels & ~std::size_t{7};
    for (std::size_t i = 0; i < done; i += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t + 4 * i), _mm256_shuffle_epi8(v, order));
    }
    return done;
}

const bool kHasSsse3 = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
const bool kHasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
#endif

void SwapRedBlue(const uint8_t* s, uint8_t* t, std::size_t pixels, std::size_t pixelBytes) {
    std::size_t done = 0;
#ifdef PIXAMO_COLOR_X86
    if (pixelBytes == 3 && kHasAvx2) done = SwapRedBlue24Avx2(s, t, pixels);
    if (pixelBytes == 3 && kHasSsse3)
        done += SwapRedBlue24Ssse3(s + 3 * done, t + 3 * done, pixels - done);
    else if (pixelBytes == 4 && kHasAvx2)
        done = SwapRedBlue32Avx2(s, t, pixels);
#endif
    SwapRedBlueScalar(s + done * pixelBytes, t + done * pixelBytes, pixels - done, pixelBytes);
}

bool Is8Or16(uint8_t depth) { return depth == 8 || depth == 16; }

}  // namespace

void ConvertRGBFamily(const TLineSettings& s, const TLine& line, bool exchange) {
    if (!Is8Or16(s.SourceDepth) || !Is8Or16(s.TargetDepth)) return;
    const bool sourceAlpha = (s.SourceFlags & AlphaPresent) != 0;
    const bool targetAlpha = (s.TargetFlags & AlphaPresent) != 0;
    const bool copyAlpha = sourceAlpha && targetAlpha;
    const bool planar = line.Sources.size() > 1;
    const std::size_t sourceBytes = s.SourceDepth / 8, targetBytes = s.TargetDepth / 8;
    TSampleLayout l =
        MakeLayout(line, planar, copyAlpha ? 4 : 3, sourceAlpha ? 4 : 3, sourceBytes, targetAlpha ? 4 : 3, targetBytes);
    for (std::size_t k = 0; k < 3; ++k) l.TargetOffset[k] = (exchange ? 2 - k : k) * targetBytes;
    l.TargetOffset[3] = 3 * targetBytes;

    const bool bytes = s.SourceDepth == 8 && s.TargetDepth == 8;
    const bool gamma = (s.TargetFlags & GammaCorrect) != 0;
    if (bytes && !gamma && !planar && line.Mask == 0xFF && l.SourceStep == l.TargetStep && line.Count > 0) {
        if (!exchange) {
            std::memmove(line.Target, l.Component[0], static_cast<std::size_t>(line.Count) * l.TargetStep);
            return;
        }
        if (l.TargetStep == 3 || copyAlpha) {
            SwapRedBlue(l.Component[0], line.Target, line.Count, l.TargetStep);
            return;
        }
    }
    const bool swap = (s.SourceFlags & SwapBytes) != 0;
    const uint8_t* table = gamma ? s.GammaTable : nullptr;
    if (copyAlpha)
        MapByDepths<3, true>(l, line, s.SourceDepth, s.TargetDepth, swap, table);
    else
        MapByDepths<3, false>(l, line, s.SourceDepth, s.TargetDepth, swap, table);
}

void ConvertGray8Or16(const TLineSettings& s, const TLine& line) {
    if (!Is8Or16(s.SourceDepth) || !Is8Or16(s.TargetDepth)) return;
    const bool sourceAlpha = (s.SourceFlags & AlphaPresent) != 0;
    const TSampleLayout l = MakeLayout(line, false, 1, sourceAlpha ? 2 : 1, s.SourceDepth / 8, 1, s.TargetDepth / 8);
    MapByDepths<1, false>(l, line, s.SourceDepth, s.TargetDepth, (s.SourceFlags & SwapBytes) != 0, nullptr);
}

void ConvertIndexed16To16(const TLineSettings& s, const TLine& line) {
    const TSampleLayout l = MakeLayout(line, false, 1, 1, 2, 1, 2);
    if ((s.SourceFlags & SwapBytes) == 0 && line.Mask == 0xFF) {
        if (line.Count > 0) std::memmove(line.Target, l.Component[0], static_cast<std::size_t>(line.Count) * 2);
        return;
    }
    MapByDepths<1, false>(l, line, 16, 16, (s.SourceFlags & SwapBytes) != 0, nullptr);
}
