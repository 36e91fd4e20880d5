// Line conversion speed over 4000-pixel lines with every pixel selected, against a plain copy of
// the same bytes.
#include "color/ColorManager.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kPixels = 4000;

void SetBytes(benchmark::State& state, std::size_t bytesPerLine) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerLine));
}

void BM_Memcpy(benchmark::State& state) {
    std::vector<std::uint8_t> source(kPixels * 3, 7), target(kPixels * 3);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, source.size());
}
BENCHMARK(BM_Memcpy);

// One source description, converted to 8-bit samples; byte sizes are per line.
struct TLineCase {
    ColorScheme Source;
    std::uint8_t Depth;
    ColorScheme Target;
    std::uint8_t Samples;
    TConvertOptions Flags;
    std::size_t SourceBytes, TargetBytes;
};

// Converts one line of kPixels again and again; throughput counts the target bytes.
void BM_Line(benchmark::State& state, TLineCase c) {
    TColorManager cm;
    cm.SetSourceSampleCount(c.Samples);
    cm.SetSourceScheme(c.Source);
    cm.SourceFlags = c.Flags;
    cm.SetTargetScheme(c.Target);
    cm.SetSourceDepth(c.Depth);
    cm.SetTargetDepth(8);
    std::vector<std::uint8_t> source(c.SourceBytes), target(c.TargetBytes);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(i * 37);
    for (auto _ : state) {
        cm.ConvertLine(source.data(), source.size(), target.data(), target.size(), kPixels);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, c.TargetBytes);
}

using S = ColorScheme;
BENCHMARK_CAPTURE(BM_Line, RGBToBGR8, TLineCase{S::RGB, 8, S::BGR, 3, 0, kPixels * 3, kPixels * 3});
BENCHMARK_CAPTURE(BM_Line, RGBAToBGRA8, TLineCase{S::RGBA, 8, S::BGRA, 4, 0, kPixels * 4, kPixels * 4});
BENCHMARK_CAPTURE(BM_Line, RGB16BigEndianToBGR8, TLineCase{S::RGB, 16, S::BGR, 3, SwapBytes, kPixels * 6, kPixels * 3});
BENCHMARK_CAPTURE(BM_Line, Palette4To8, TLineCase{S::Indexed, 4, S::Indexed, 1, 0, kPixels / 2, kPixels});
BENCHMARK_CAPTURE(BM_Line, YCbCrToBGR8, TLineCase{S::YCbCr, 8, S::BGR, 3, 0, kPixels * 3, kPixels * 3});
BENCHMARK_CAPTURE(BM_Line, CMYKToBGR8, TLineCase{S::CMYK, 8, S::BGR, 4, 0, kPixels * 4, kPixels * 3});

}  // namespace

BENCHMARK_MAIN();
