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

// Converts one line of kPixels again and again; throughput counts the target bytes.
void RunLine(benchmark::State& state, TColorManager& cm, std::size_t sourceBytes,
             std::size_t targetBytes) {
    std::vector<std::uint8_t> source(sourceBytes), target(targetBytes);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<std::uint8_t>(i * 37);
    cm.ConvertLine(source.data(), source.size(), target.data(), target.size(), kPixels);
    for (auto _ : state) {
        cm.ConvertLine(source.data(), source.size(), target.data(), target.size(), kPixels);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, targetBytes);
}

TColorManager Manager(ColorScheme source, std::uint8_t sourceDepth, ColorScheme target,
                      std::uint8_t sourceSamples, TConvertOptions sourceFlags = 0) {
    TColorManager cm;
    cm.SetSourceSampleCount(sourceSamples);
    cm.SetSourceScheme(source);
    cm.SourceFlags = sourceFlags;
    cm.SetTargetScheme(target);
    cm.SetSourceDepth(sourceDepth);
    cm.SetTargetDepth(8);
    return cm;
}

void BM_RGBToBGR8(benchmark::State& state) {
    TColorManager cm = Manager(ColorScheme::RGB, 8, ColorScheme::BGR, 3);
    RunLine(state, cm, kPixels * 3, kPixels * 3);
}
BENCHMARK(BM_RGBToBGR8);

void BM_RGBAToBGRA8(benchmark::State& state) {
    TColorManager cm = Manager(ColorScheme::RGBA, 8, ColorScheme::BGRA, 4);
    RunLine(state, cm, kPixels * 4, kPixels * 4);
}
BENCHMARK(BM_RGBAToBGRA8);

void BM_RGB16BigEndianToBGR8(benchmark::State& state) {
    TColorManager cm = Manager(ColorScheme::RGB, 16, ColorScheme::BGR, 3, SwapBytes);
    RunLine(state, cm, kPixels * 6, kPixels * 3);
}
BENCHMARK(BM_RGB16BigEndianToBGR8);

void BM_Palette4To8(benchmark::State& state) {
    TColorManager cm = Manager(ColorScheme::Indexed, 4, ColorScheme::Indexed, 1);
    RunLine(state, cm, kPixels / 2, kPixels);
}
BENCHMARK(BM_Palette4To8);

void BM_YCbCrToBGR8(benchmark::State& state) {
    TColorManager cm = Manager(ColorScheme::YCbCr, 8, ColorScheme::BGR, 3);
    RunLine(state, cm, kPixels * 3, kPixels * 3);
}
BENCHMARK(BM_YCbCrToBGR8);

void BM_CMYKToBGR8(benchmark::State& state) {
    TColorManager cm = Manager(ColorScheme::CMYK, 8, ColorScheme::BGR, 4);
    RunLine(state, cm, kPixels * 4, kPixels * 3);
}
BENCHMARK(BM_CMYKToBGR8);

}  // namespace

BENCHMARK_MAIN();
