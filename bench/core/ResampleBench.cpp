// Resample timings for the sizes the Pillow script times as well (bench/core/run.sh runs both).
#include "core/PixelBuffer.h"
#include "core/Resample.h"

#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <tuple>

namespace {

const TPixelBuffer& Noise(int width, int height) {
    static std::map<std::pair<int, int>, std::unique_ptr<TPixelBuffer>> cache;
    auto& picture = cache[{width, height}];
    if (!picture) {
        picture = TPixelBuffer::Create(width, height);
        std::mt19937 random(42);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 3 * width; ++x) picture->RowBytes(y)[x] = static_cast<std::uint8_t>(random());
    }
    return *picture;
}

// Arguments: filter index, source width and height, destination width and height, scalar (0/1).
void BM_Resample(benchmark::State& state) {
    const TResampleFilter& filter = ResampleFilterAt(static_cast<int>(state.range(0)));
    const TPixelBuffer& source = Noise(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    TPixelBuffer destination(static_cast<int>(state.range(3)), static_cast<int>(state.range(4)));
    ForceScalarResample(state.range(5) != 0);
    for (auto _ : state) {
        source.Resample(destination, filter.Filter, filter.Support);
        benchmark::DoNotOptimize(destination.Bits());
    }
    ForceScalarResample(false);
    state.SetLabel(std::string(filter.Name) + (state.range(5) ? " scalar" : ""));
}

void Sizes(benchmark::internal::Benchmark* b) {
    const std::tuple<int, int, int, int> sizes[] = {
        {4000, 3000, 1000, 750}, {1000, 750, 4000, 3000}, {4000, 3000, 3600, 2700}};
    for (int filter : {5, 1})
        for (auto [sw, sh, dw, dh] : sizes) b->Args({filter, sw, sh, dw, dh, 0});
    // The portable code, for comparison, on the first size.
    for (int filter : {5, 1}) b->Args({filter, 4000, 3000, 1000, 750, 1});
    b->ArgNames({"filter", "sw", "sh", "dw", "dh", "scalar"})->Unit(benchmark::kMillisecond)->MinTime(1.0);
}

BENCHMARK(BM_Resample)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
