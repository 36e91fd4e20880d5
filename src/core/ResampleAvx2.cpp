// Resampling with AVX2 and FMA. Every sum still adds its products one after another in list
// order with a fused multiply-add, so the bytes equal the portable code's; the parallelism runs
// across pixels: eight rows per vector in the horizontal pass, a row's bytes in the vertical pass.
//
// Only the functions marked below use AVX2, so that nothing shared with the rest of the program
// (inline library code) is compiled for it and the binary still runs on older processors.
#include "ResampleContributors.h"

#include "platform/Exception.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#define PIXAMO_AVX2 __attribute__((target("avx2,fma")))

bool ProcessorHasAvx2Fma() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

namespace {

constexpr int Lanes = 8;
// The ring of intermediate rows of one strip of destination columns stays below this many floats.
constexpr std::size_t StripFloats = std::size_t{1} << 21;
// The vertical pass works on this many floats of a row at a time (eight vectors).
constexpr int ChunkFloats = 64;

// Scratch floats kept between calls: the view resamples at every zoom step, and fresh pages for
// each call would cost more than the arithmetic.
class TFloatScratch {
public:
    float* Get(std::size_t count) {
        if (count > capacity_) {
            data_.reset();
            capacity_ = 0;
            const std::size_t bytes = (count * sizeof(float) + 63) / 64 * 64;
            auto* p = static_cast<float*>(std::aligned_alloc(64, bytes));
            if (!p) throw EOutOfMemory(bytes);
            data_.reset(p);
            capacity_ = count;
        }
        return data_.get();
    }

private:
    struct Free {
        void operator()(float* p) const { std::free(p); }
    };
    std::unique_ptr<float, Free> data_;
    std::size_t capacity_ = 0;
};

struct TScratch {
    TFloatScratch Source;        // eight source rows, lanes = rows: [byte][row]
    TFloatScratch Columns;       // eight intermediate rows in the same layout
    TFloatScratch Intermediate;  // the ring of intermediate rows, one float per byte
};

thread_local TScratch Scratch;

PIXAMO_AVX2 inline __m256 BytesToFloats(__m128i bytes) { return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes)); }

// Bytes 0 .. count - 1 of eight rows into floats, byte b of row l at out[8 b + l].
PIXAMO_AVX2 void TransposeRows(const std::uint8_t* const rows[Lanes], int count, float* out) {
    // Local copies: the vector stores below may alias anything, the row table included.
    const std::uint8_t *row0 = rows[0], *row1 = rows[1], *row2 = rows[2], *row3 = rows[3];
    const std::uint8_t *row4 = rows[4], *row5 = rows[5], *row6 = rows[6], *row7 = rows[7];
    int b = 0;
    for (; b + 8 <= count; b += 8) {
        const __m128i r0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0 + b));
        const __m128i r1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1 + b));
        const __m128i r2 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row2 + b));
        const __m128i r3 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row3 + b));
        const __m128i r4 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row4 + b));
        const __m128i r5 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row5 + b));
        const __m128i r6 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row6 + b));
        const __m128i r7 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row7 + b));
        const __m128i a0 = _mm_unpacklo_epi8(r0, r1), a1 = _mm_unpacklo_epi8(r2, r3);
        const __m128i a2 = _mm_unpacklo_epi8(r4, r5), a3 = _mm_unpacklo_epi8(r6, r7);
        const __m128i b0 = _mm_unpacklo_epi16(a0, a1), b1 = _mm_unpackhi_epi16(a0, a1);
        const __m128i b2 = _mm_unpacklo_epi16(a2, a3), b3 = _mm_unpackhi_epi16(a2, a3);
        const __m128i c0 = _mm_unpacklo_epi32(b0, b2), c1 = _mm_unpackhi_epi32(b0, b2);
        const __m128i c2 = _mm_unpacklo_epi32(b1, b3), c3 = _mm_unpackhi_epi32(b1, b3);
        float* o = out + static_cast<std::size_t>(b) * Lanes;
        _mm256_store_ps(o + 0 * Lanes, BytesToFloats(c0));
        _mm256_store_ps(o + 1 * Lanes, BytesToFloats(_mm_srli_si128(c0, 8)));
        _mm256_store_ps(o + 2 * Lanes, BytesToFloats(c1));
        _mm256_store_ps(o + 3 * Lanes, BytesToFloats(_mm_srli_si128(c1, 8)));
        _mm256_store_ps(o + 4 * Lanes, BytesToFloats(c2));
        _mm256_store_ps(o + 5 * Lanes, BytesToFloats(_mm_srli_si128(c2, 8)));
        _mm256_store_ps(o + 6 * Lanes, BytesToFloats(c3));
        _mm256_store_ps(o + 7 * Lanes, BytesToFloats(_mm_srli_si128(c3, 8)));
    }
    for (; b < count; ++b)
        for (int l = 0; l < Lanes; ++l) out[static_cast<std::size_t>(b) * Lanes + l] = rows[l][b];
}

// The inverse for floats: in[8 b + l] for b in 0 .. count - 1 (count a multiple of 8) to rows.
PIXAMO_AVX2 void TransposeToRows(const float* in, int count, float* const rows[Lanes]) {
    float *row0 = rows[0], *row1 = rows[1], *row2 = rows[2], *row3 = rows[3];
    float *row4 = rows[4], *row5 = rows[5], *row6 = rows[6], *row7 = rows[7];
    for (int b = 0; b < count; b += 8) {
        const float* p = in + static_cast<std::size_t>(b) * Lanes;
        const __m256 v0 = _mm256_load_ps(p), v1 = _mm256_load_ps(p + 8), v2 = _mm256_load_ps(p + 16),
                     v3 = _mm256_load_ps(p + 24), v4 = _mm256_load_ps(p + 32), v5 = _mm256_load_ps(p + 40),
                     v6 = _mm256_load_ps(p + 48), v7 = _mm256_load_ps(p + 56);
        const __m256 t0 = _mm256_unpacklo_ps(v0, v1), t1 = _mm256_unpackhi_ps(v0, v1);
        const __m256 t2 = _mm256_unpacklo_ps(v2, v3), t3 = _mm256_unpackhi_ps(v2, v3);
        const __m256 t4 = _mm256_unpacklo_ps(v4, v5), t5 = _mm256_unpackhi_ps(v4, v5);
        const __m256 t6 = _mm256_unpacklo_ps(v6, v7), t7 = _mm256_unpackhi_ps(v6, v7);
        const __m256 s0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 s1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 s2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 s3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 s4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 s5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 s6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 s7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
        _mm256_store_ps(row0 + b, _mm256_permute2f128_ps(s0, s4, 0x20));
        _mm256_store_ps(row1 + b, _mm256_permute2f128_ps(s1, s5, 0x20));
        _mm256_store_ps(row2 + b, _mm256_permute2f128_ps(s2, s6, 0x20));
        _mm256_store_ps(row3 + b, _mm256_permute2f128_ps(s3, s7, 0x20));
        _mm256_store_ps(row4 + b, _mm256_permute2f128_ps(s0, s4, 0x31));
        _mm256_store_ps(row5 + b, _mm256_permute2f128_ps(s1, s5, 0x31));
        _mm256_store_ps(row6 + b, _mm256_permute2f128_ps(s2, s6, 0x31));
        _mm256_store_ps(row7 + b, _mm256_permute2f128_ps(s3, s7, 0x31));
    }
}

// Above 255 gives 255, below 0 gives 0, anything else rounds to nearest, ties to even.
PIXAMO_AVX2 inline __m256 ClampRound(__m256 sum) {
    const __m256 clamped = _mm256_min_ps(_mm256_max_ps(sum, _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
    return _mm256_round_ps(clamped, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}

struct TTaps {
    const int* Offset;  // of the tap's three channel vectors in the transposed source
    const float* Weight;
    int Count;
    bool Contiguous;  // each tap the source pixel right of the one before
};

// One destination column, eight rows: the three channel sums, taps from `from` on.
PIXAMO_AVX2 inline void AddTaps(const float* source, const TTaps& taps, int from, __m256& blue, __m256& green,
                                __m256& red) {
    for (int k = from; k < taps.Count; ++k) {
        const float* p = source + taps.Offset[k];
        const __m256 w = _mm256_broadcast_ss(taps.Weight + k);
        blue = _mm256_fmadd_ps(_mm256_load_ps(p), w, blue);
        green = _mm256_fmadd_ps(_mm256_load_ps(p + 8), w, green);
        red = _mm256_fmadd_ps(_mm256_load_ps(p + 16), w, red);
    }
}

PIXAMO_AVX2 inline void StoreColumn(float* out, __m256 blue, __m256 green, __m256 red) {
    _mm256_store_ps(out, ClampRound(blue));
    _mm256_store_ps(out + 8, ClampRound(green));
    _mm256_store_ps(out + 16, ClampRound(red));
}

// One tap of four columns: twelve independent fused multiply-adds.
PIXAMO_AVX2 __attribute__((always_inline)) inline void FourTaps(const float* p0, const float* p1, const float* p2,
                                                                const float* p3, const float* w0p, const float* w1p,
                                                                const float* w2p, const float* w3p, __m256& b0,
                                                                __m256& g0, __m256& r0, __m256& b1, __m256& g1,
                                                                __m256& r1, __m256& b2, __m256& g2, __m256& r2,
                                                                __m256& b3, __m256& g3, __m256& r3) {
    const __m256 w0 = _mm256_broadcast_ss(w0p), w1 = _mm256_broadcast_ss(w1p);
    const __m256 w2 = _mm256_broadcast_ss(w2p), w3 = _mm256_broadcast_ss(w3p);
    b0 = _mm256_fmadd_ps(_mm256_load_ps(p0), w0, b0);
    b1 = _mm256_fmadd_ps(_mm256_load_ps(p1), w1, b1);
    b2 = _mm256_fmadd_ps(_mm256_load_ps(p2), w2, b2);
    b3 = _mm256_fmadd_ps(_mm256_load_ps(p3), w3, b3);
    g0 = _mm256_fmadd_ps(_mm256_load_ps(p0 + 8), w0, g0);
    g1 = _mm256_fmadd_ps(_mm256_load_ps(p1 + 8), w1, g1);
    g2 = _mm256_fmadd_ps(_mm256_load_ps(p2 + 8), w2, g2);
    g3 = _mm256_fmadd_ps(_mm256_load_ps(p3 + 8), w3, g3);
    r0 = _mm256_fmadd_ps(_mm256_load_ps(p0 + 16), w0, r0);
    r1 = _mm256_fmadd_ps(_mm256_load_ps(p1 + 16), w1, r1);
    r2 = _mm256_fmadd_ps(_mm256_load_ps(p2 + 16), w2, r2);
    r3 = _mm256_fmadd_ps(_mm256_load_ps(p3 + 16), w3, r3);
}

// Eight rows of the transposed source through the column lists into the transposed output.
// Four columns run side by side so that twelve independent sums hide the latency of the FMA.
PIXAMO_AVX2 void HorizontalBlock(const float* source, const TTaps* columns, int count, float* out) {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const TTaps &c0 = columns[i], &c1 = columns[i + 1], &c2 = columns[i + 2], &c3 = columns[i + 3];
        __m256 b0 = _mm256_setzero_ps(), g0 = b0, r0 = b0, b1 = b0, g1 = b0, r1 = b0;
        __m256 b2 = b0, g2 = b0, r2 = b0, b3 = b0, g3 = b0, r3 = b0;
        const int common = std::min(std::min(c0.Count, c1.Count), std::min(c2.Count, c3.Count));
        if (c0.Contiguous && c1.Contiguous && c2.Contiguous && c3.Contiguous) {
            // Away from the edges the taps walk the source pixel by pixel: no offsets to load.
            const float *p0 = source + c0.Offset[0], *p1 = source + c1.Offset[0];
            const float *p2 = source + c2.Offset[0], *p3 = source + c3.Offset[0];
            for (int k = 0; k < common; ++k, p0 += 24, p1 += 24, p2 += 24, p3 += 24)
                FourTaps(p0, p1, p2, p3, c0.Weight + k, c1.Weight + k, c2.Weight + k, c3.Weight + k, b0, g0, r0, b1, g1,
                         r1, b2, g2, r2, b3, g3, r3);
        } else {
            for (int k = 0; k < common; ++k)
                FourTaps(source + c0.Offset[k], source + c1.Offset[k], source + c2.Offset[k], source + c3.Offset[k],
                         c0.Weight + k, c1.Weight + k, c2.Weight + k, c3.Weight + k, b0, g0, r0, b1, g1, r1, b2, g2, r2,
                         b3, g3, r3);
        }
        // Lists one or two taps longer than the others finish side by side too; a list that has
        // ended adds 0 × its first pixel, which leaves its sum as it is (a sum is never -0).
        const int longest = std::max(std::max(c0.Count, c1.Count), std::max(c2.Count, c3.Count));
        static const float zero = 0.0f;
        for (int k = common; k < longest; ++k) {
            auto tap = [&](const TTaps& c, const float*& weight) {
                weight = k < c.Count ? c.Weight + k : &zero;
                return source + (k < c.Count ? c.Offset[k] : 0);
            };
            const float *w0, *w1, *w2, *w3;
            const float *p0 = tap(c0, w0), *p1 = tap(c1, w1), *p2 = tap(c2, w2), *p3 = tap(c3, w3);
            FourTaps(p0, p1, p2, p3, w0, w1, w2, w3, b0, g0, r0, b1, g1, r1, b2, g2, r2, b3, g3, r3);
        }
        float* o = out + static_cast<std::size_t>(i) * 3 * Lanes;
        StoreColumn(o, b0, g0, r0);
        StoreColumn(o + 24, b1, g1, r1);
        StoreColumn(o + 48, b2, g2, r2);
        StoreColumn(o + 72, b3, g3, r3);
    }
    for (; i < count; ++i) {
        __m256 b = _mm256_setzero_ps(), g = b, r = b;
        AddTaps(source, columns[i], 0, b, g, r);
        StoreColumn(out + static_cast<std::size_t>(i) * 3 * Lanes, b, g, r);
    }
}

// Eight clamped and rounded vectors of sums to 64 bytes in order.
PIXAMO_AVX2 inline void PackBytes(const __m256 sums[8], std::uint8_t* out) {
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (int half = 0; half < 2; ++half) {
        const __m256* s = sums + 4 * half;
        const __m256i i0 = _mm256_cvtps_epi32(ClampRound(s[0])), i1 = _mm256_cvtps_epi32(ClampRound(s[1]));
        const __m256i i2 = _mm256_cvtps_epi32(ClampRound(s[2])), i3 = _mm256_cvtps_epi32(ClampRound(s[3]));
        const __m256i packed = _mm256_packus_epi16(_mm256_packs_epi32(i0, i1), _mm256_packs_epi32(i2, i3));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32 * half), _mm256_permutevar8x32_epi32(packed, order));
    }
}

// One destination row of the strip from the listed intermediate rows; bytes of the strip row.
PIXAMO_AVX2 void VerticalRow(const float* const* rows, const float* weights, int count, int bytes, std::uint8_t* out) {
    for (int x = 0; x < bytes; x += ChunkFloats) {
        __m256 s[8];
        for (auto& v : s) v = _mm256_setzero_ps();
        for (int k = 0; k < count; ++k) {
            const float* p = rows[k] + x;
            const __m256 w = _mm256_broadcast_ss(weights + k);
            s[0] = _mm256_fmadd_ps(_mm256_load_ps(p), w, s[0]);
            s[1] = _mm256_fmadd_ps(_mm256_load_ps(p + 8), w, s[1]);
            s[2] = _mm256_fmadd_ps(_mm256_load_ps(p + 16), w, s[2]);
            s[3] = _mm256_fmadd_ps(_mm256_load_ps(p + 24), w, s[3]);
            s[4] = _mm256_fmadd_ps(_mm256_load_ps(p + 32), w, s[4]);
            s[5] = _mm256_fmadd_ps(_mm256_load_ps(p + 40), w, s[5]);
            s[6] = _mm256_fmadd_ps(_mm256_load_ps(p + 48), w, s[6]);
            s[7] = _mm256_fmadd_ps(_mm256_load_ps(p + 56), w, s[7]);
        }
        if (bytes - x >= ChunkFloats) {
            PackBytes(s, out + x);
        } else {
            alignas(32) std::uint8_t last[ChunkFloats];
            PackBytes(s, last);
            std::memcpy(out + x, last, static_cast<std::size_t>(bytes - x));
        }
    }
}

// Two clamped and rounded vectors of sums to 16 bytes in order; only `count` of them stored.
PIXAMO_AVX2 inline void PackSixteen(__m256 low, __m256 high, std::uint8_t* out, int count) {
    const __m256i words = _mm256_permute4x64_epi64(
        _mm256_packs_epi32(_mm256_cvtps_epi32(ClampRound(low)), _mm256_cvtps_epi32(ClampRound(high))), 0xD8);
    const __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
    if (count >= 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    } else {
        alignas(16) std::uint8_t last[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(last), bytes);
        std::memcpy(out, last, static_cast<std::size_t>(count));
    }
}

// Four destination rows at once from one run of intermediate rows, so that each row loaded
// serves four sums. weights holds four per row (0 where a destination row does not use it:
// adding 0 leaves a sum as it was, so every sum still sees its own products in its own order).
PIXAMO_AVX2 void VerticalRows4(const float* const* rows, const float* weights, int count, int bytes,
                               std::uint8_t* const out[4]) {
    for (int x = 0; x < bytes; x += 16) {
        __m256 a0 = _mm256_setzero_ps(), b0 = a0, a1 = a0, b1 = a0, a2 = a0, b2 = a0, a3 = a0, b3 = a0;
        for (int k = 0; k < count; ++k) {
            const __m256 low = _mm256_load_ps(rows[k] + x), high = _mm256_load_ps(rows[k] + x + 8);
            const float* w = weights + 4 * k;
            const __m256 w0 = _mm256_broadcast_ss(w), w1 = _mm256_broadcast_ss(w + 1);
            const __m256 w2 = _mm256_broadcast_ss(w + 2), w3 = _mm256_broadcast_ss(w + 3);
            a0 = _mm256_fmadd_ps(low, w0, a0);
            b0 = _mm256_fmadd_ps(high, w0, b0);
            a1 = _mm256_fmadd_ps(low, w1, a1);
            b1 = _mm256_fmadd_ps(high, w1, b1);
            a2 = _mm256_fmadd_ps(low, w2, a2);
            b2 = _mm256_fmadd_ps(high, w2, b2);
            a3 = _mm256_fmadd_ps(low, w3, a3);
            b3 = _mm256_fmadd_ps(high, w3, b3);
        }
        PackSixteen(a0, b0, out[0] + x, bytes - x);
        PackSixteen(a1, b1, out[1] + x, bytes - x);
        PackSixteen(a2, b2, out[2] + x, bytes - x);
        PackSixteen(a3, b3, out[3] + x, bytes - x);
    }
}

// The same for two destination rows, 32 floats a step.
PIXAMO_AVX2 void VerticalRows2(const float* const* rows, const float* weights, int count, int bytes,
                               std::uint8_t* const out[2]) {
    for (int x = 0; x < bytes; x += 32) {
        __m256 a0 = _mm256_setzero_ps(), b0 = a0, c0 = a0, d0 = a0, a1 = a0, b1 = a0, c1 = a0, d1 = a0;
        for (int k = 0; k < count; ++k) {
            const float* p = rows[k] + x;
            const __m256 v0 = _mm256_load_ps(p), v1 = _mm256_load_ps(p + 8);
            const __m256 v2 = _mm256_load_ps(p + 16), v3 = _mm256_load_ps(p + 24);
            const __m256 w0 = _mm256_broadcast_ss(weights + 2 * k), w1 = _mm256_broadcast_ss(weights + 2 * k + 1);
            a0 = _mm256_fmadd_ps(v0, w0, a0);
            b0 = _mm256_fmadd_ps(v1, w0, b0);
            c0 = _mm256_fmadd_ps(v2, w0, c0);
            d0 = _mm256_fmadd_ps(v3, w0, d0);
            a1 = _mm256_fmadd_ps(v0, w1, a1);
            b1 = _mm256_fmadd_ps(v1, w1, b1);
            c1 = _mm256_fmadd_ps(v2, w1, c1);
            d1 = _mm256_fmadd_ps(v3, w1, d1);
        }
        PackSixteen(a0, b0, out[0] + x, bytes - x);
        PackSixteen(a1, b1, out[1] + x, bytes - x);
        if (bytes - x > 16) {
            PackSixteen(c0, d0, out[0] + x + 16, bytes - x - 16);
            PackSixteen(c1, d1, out[1] + x + 16, bytes - x - 16);
        }
    }
}

// A run of destination columns (a multiple of eight, but for the strip's last) whose taps span
// a short range of source columns: the transposed source and the sums of eight rows stay in the
// first-level cache.
struct TChunk {
    int First, Last;  // destination columns, relative to the strip
    int Low, High;    // source columns read
    std::vector<TTaps> Taps;
    std::vector<int> Offsets;
};

constexpr int ChunkSourceColumns = 256;
constexpr int ChunkColumns = 256;

std::vector<TChunk> SplitIntoChunks(const TContributors& columns, int first, int last) {
    std::vector<TChunk> chunks;
    auto range = [&](int i, int& low, int& high) {
        for (int k = columns.First[i]; k < columns.First[i + 1]; ++k) {
            low = std::min(low, columns.Index[k]);
            high = std::max(high, columns.Index[k]);
        }
    };
    for (int start = first; start < last;) {
        int low = INT32_MAX, high = -1, end = start;
        while (end < last && end - start < ChunkColumns) {
            int groupLow = low, groupHigh = high;
            const int groupEnd = std::min(end + Lanes, last);
            for (int i = end; i < groupEnd; ++i) range(i, groupLow, groupHigh);
            if (end > start && groupHigh >= groupLow && groupHigh - groupLow >= ChunkSourceColumns) break;
            low = groupLow, high = groupHigh, end = groupEnd;
        }
        if (high < low) low = high = 0;  // no taps at all: the sums stay 0
        TChunk chunk{start - first, end - first, low, high, {}, {}};
        chunk.Offsets.reserve(static_cast<std::size_t>(columns.First[end] - columns.First[start]));
        for (int k = columns.First[start]; k < columns.First[end]; ++k)
            chunk.Offsets.push_back((columns.Index[k] - low) * 3 * Lanes);
        for (int i = start; i < end; ++i) {
            bool contiguous = true;
            for (int k = columns.First[i] + 1; k < columns.First[i + 1]; ++k)
                contiguous = contiguous && columns.Index[k] == columns.Index[k - 1] + 1;
            chunk.Taps.push_back(TTaps{chunk.Offsets.data() + (columns.First[i] - columns.First[start]),
                                       columns.Weight.data() + columns.First[i],
                                       columns.First[i + 1] - columns.First[i], contiguous});
        }
        chunks.push_back(std::move(chunk));
        start = end;
    }
    return chunks;
}

int RoundUp(int value, int step) { return (value + step - 1) / step * step; }

// The rows that lists j .. j + count - 1 read, lowest and highest.
struct TRowRun {
    int Low, High;
};

TRowRun RunOf(const TContributors& lists, int j, int count) {
    TRowRun run{INT32_MAX, -1};
    for (int k = lists.First[j]; k < lists.First[j + count]; ++k) {
        run.Low = std::min(run.Low, lists.Index[k]);
        run.High = std::max(run.High, lists.Index[k]);
    }
    return run;
}

// Whether a list reads rows one after another upward, as every list does away from the edges.
bool Ascending(const TContributors& lists, int j) {
    if (lists.First[j] == lists.First[j + 1]) return false;
    for (int k = lists.First[j] + 1; k < lists.First[j + 1]; ++k)
        if (lists.Index[k] != lists.Index[k - 1] + 1) return false;
    return true;
}

// How many destination rows from j on (before end) to compute together: four or two ascending lists whose
// common run of rows is not much longer than the lists themselves, else one.
int GroupSize(const TContributors& lists, int j, int end) {
    for (int group : {4, 2}) {
        if (j + group > end) continue;
        bool ascending = true;
        for (int g = 0; g < group && ascending; ++g) ascending = Ascending(lists, j + g);
        if (!ascending) continue;
        const TRowRun run = RunOf(lists, j, group);
        const int taps = lists.First[j + group] - lists.First[j];
        if (2 * (run.High - run.Low + 1) * group <= 3 * taps) return group;
    }
    return 1;
}

// The part of the destination a call computes: columns and rows of the whole destination, and
// where the tile holding them starts.
struct TArea {
    int Top, Bottom;  // destination rows Top .. Bottom - 1
    int Left;         // destination column of the tile's first column
};

// Destination columns first .. last - 1 of the area's rows. The intermediate rows live in a ring
// of ringRows rows: the horizontal pass fills them eight at a time, from the first multiple of
// eight at or below the lowest row read, just before the vertical pass first needs them.
void ResampleStrip(const TPixelBuffer& source, TPixelBuffer& destination, const TContributors& columns,
                   const TContributors& rows, int first, int last, const TArea& area, int ringRows) {
    const std::vector<TChunk> chunks = SplitIntoChunks(columns, first, last);
    int sourceBytes = 0, blockFloats = 0;
    for (const TChunk& c : chunks) {
        sourceBytes = std::max(sourceBytes, 3 * (c.High - c.Low + 1));
        blockFloats = std::max(blockFloats, RoundUp(3 * (c.Last - c.First), Lanes) * Lanes);
    }
    const int stripBytes = 3 * (last - first);
    const int pitch = RoundUp(stripBytes, ChunkFloats);
    const int height = source.Height();
    float* transposed = Scratch.Source.Get(static_cast<std::size_t>(sourceBytes) * Lanes);
    float* block = Scratch.Columns.Get(static_cast<std::size_t>(blockFloats));
    // One row more than the ring holds: lanes past the bottom row are stored there and dropped.
    float* ring = Scratch.Intermediate.Get(static_cast<std::size_t>(pitch) * (ringRows + 1));
    float* const sink = ring + static_cast<std::size_t>(pitch) * ringRows;
    // The vertical pass reads whole chunks of a row, the padding after the strip included.
    const int written = RoundUp(stripBytes, Lanes);
    for (int r = 0; r <= ringRows; ++r)
        std::fill(ring + static_cast<std::size_t>(r) * pitch + written, ring + static_cast<std::size_t>(r + 1) * pitch,
                  0.0f);

    auto ringRow = [&](int y) { return ring + static_cast<std::size_t>(y % ringRows) * pitch; };
    // Rows from the start to computed - 1 have been through the horizontal pass.
    int computed = std::max(0, RunOf(rows, area.Top, area.Bottom - area.Top).Low) / Lanes * Lanes;
    auto computeUpTo = [&](int needed) {
        for (; computed <= needed; computed += Lanes) {
            const std::uint8_t* in[Lanes];
            float* out[Lanes];
            for (const TChunk& c : chunks) {
                const int floats = 3 * (c.Last - c.First);
                for (int l = 0; l < Lanes; ++l) {
                    // Rows past the bottom repeat the last one.
                    in[l] = source.RowBytes(std::min(computed + l, height - 1)) + 3 * c.Low;
                    out[l] = (computed + l < height ? ringRow(computed + l) : sink) + 3 * c.First;
                }
                TransposeRows(in, 3 * (c.High - c.Low + 1), transposed);
                HorizontalBlock(transposed, c.Taps.data(), c.Last - c.First, block);
                // The last chunk of a strip may end inside a group of eight floats.
                std::fill(block + static_cast<std::size_t>(floats) * Lanes,
                          block + static_cast<std::size_t>(RoundUp(floats, Lanes)) * Lanes, 0.0f);
                TransposeToRows(block, RoundUp(floats, Lanes), out);
            }
        }
    };

    std::vector<const float*> sourceRows;
    std::vector<float> weights;
    for (int j = area.Top; j < area.Bottom;) {
        const int group = GroupSize(rows, j, area.Bottom);
        const TRowRun run = RunOf(rows, j, group);
        computeUpTo(run.High);
        sourceRows.clear();
        std::uint8_t* out[4];
        for (int g = 0; g < group; ++g) out[g] = destination.RowBytes(j + g - area.Top) + 3 * (first - area.Left);
        if (group == 1) {
            for (int k = rows.First[j]; k < rows.First[j + 1]; ++k) sourceRows.push_back(ringRow(rows.Index[k]));
            VerticalRow(sourceRows.data(), rows.Weight.data() + rows.First[j], rows.First[j + 1] - rows.First[j],
                        stripBytes, out[0]);
        } else {
            weights.assign(static_cast<std::size_t>(run.High - run.Low + 1) * group, 0.0f);
            for (int y = run.Low; y <= run.High; ++y) sourceRows.push_back(ringRow(y));
            for (int g = 0; g < group; ++g)
                for (int k = rows.First[j + g]; k < rows.First[j + g + 1]; ++k)
                    weights[static_cast<std::size_t>(rows.Index[k] - run.Low) * group + g] = rows.Weight[k];
            if (group == 4)
                VerticalRows4(sourceRows.data(), weights.data(), run.High - run.Low + 1, stripBytes, out);
            else
                VerticalRows2(sourceRows.data(), weights.data(), run.High - run.Low + 1, stripBytes, out);
        }
        j += group;
    }
}

// Rows the ring must hold so that no row is dropped before the last destination row that
// needs it: rows are computed in blocks of eight up to the highest row needed so far.
int RingRows(const TContributors& rows, const TArea& area, int height) {
    // Up to four destination rows are computed together, so the rows of list j have to last
    // until the rows of list j + 3 are in.
    int ring = Lanes, highest = -1;
    for (int j = area.Top; j < area.Bottom; ++j) {
        const TRowRun own = RunOf(rows, j, 1);
        highest = std::max(highest, RunOf(rows, j, std::min(4, area.Bottom - j)).High);
        if (own.High >= 0) ring = std::max(ring, RoundUp(highest + 1, Lanes) - own.Low);
    }
    // A ring as tall as the source never drops a row.
    return std::min(ring, RoundUp(height, Lanes));
}

}  // namespace

void ResampleAvx2(const TPixelBuffer& source, TPixelBuffer& tile, const TContributors& columns,
                  const TContributors& rows, int left, int top) {
    const TArea area{top, top + tile.Height(), left};
    const int width = tile.Width();
    const int ringRows = RingRows(rows, area, source.Height());
    // Strong vertical reductions need tall rings; strips of columns keep them within bounds.
    const std::size_t floatsPerColumn = 3 * static_cast<std::size_t>(ringRows);
    const int stripColumns =
        static_cast<int>(std::min<std::size_t>(std::max<std::size_t>(StripFloats / floatsPerColumn, 8), width));
    for (int first = left; first < left + width; first += stripColumns)
        ResampleStrip(source, tile, columns, rows, first, std::min(left + width, first + stripColumns), area, ringRows);
}
