// Opening a clip-art EMF as drawing programs export one: a few thousand records of filled and
// outlined Bézier shapes in their own brushes and pens, drawn in 0.01 mm under a world
// transform to the reference device's pixels, with captions in two fonts. The target is under
// 100 ms for a picture of a few thousand records.
#include "MetafileBuilders.h"

#include "metafile/Metafile.h"
#include "platform/Stream.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

// shapes × 10 records, plus captions; 10 × 10 cm.
TBytes ClipArt(int shapes) {
    TEmfBuilder emf;
    // 0.01 mm to the pixels of the builder's 96-dpi reference device.
    float scale = 96.0f / 2540;
    TBytes xform;
    for (float f : {scale, 0.0f, 0.0f, scale, 0.0f, 0.0f}) PutFloat(xform, f);
    emf.Record(35, {}, xform);
    emf.Record(19, {2});  // winding fill
    std::uint32_t seed = 1;
    auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(range));
    };
    for (int i = 0; i < shapes; ++i) {
        emf.Brush(1, static_cast<std::uint32_t>(next(0xFFFFFF)));
        emf.Select(1);
        emf.Pen(2, static_cast<std::uint32_t>(next(0x808080)), 0, 20 + next(60));
        emf.Select(2);
        // A closed blob of four to twelve Bézier segments around a random centre.
        int cx = 500 + next(9000), cy = 500 + next(9000), r = 200 + next(1500);
        int segments = 4 + next(9);
        TBytes points;
        std::int32_t count = 3 * segments;
        for (int k = 0; k < count; ++k) {
            double a = 2 * 3.14159265 * (k + 1) / count;
            double rr = r * (0.7 + next(60) / 100.0);
            Put32(points, static_cast<std::uint32_t>(cx + static_cast<int>(rr * std::cos(a))));
            Put32(points, static_cast<std::uint32_t>(cy + static_cast<int>(rr * std::sin(a))));
        }
        emf.Record(59, {});                          // BeginPath
        emf.Record(27, {cx + r, cy});                // MoveToEx
        emf.Record(5, {0, 0, 0, 0, count}, points);  // PolyBezierTo
        emf.Record(61, {}).Record(60, {});           // CloseFigure, EndPath
        emf.Record(63, {0, 0, 0, 0});                // StrokeAndFillPath
    }
    // Captions: a font per size, a dozen lines.
    for (int i = 0; i < 12; ++i) {
        TBytes face = Utf16(i % 2 ? u"Arial" : u"Times New Roman");
        face.resize(64, 0);
        emf.Record(82, {3, -300 - 50 * i, 0, 0, 0, i % 3 ? 400 : 700, 0}, face);
        emf.Select(3);
        TBytes text = Utf16(u"Clip art caption");
        emf.Record(84, {0, 0, 0, 0, 1, 0, 0, 500, 500 + 750 * i, 16, 76, 0, 0, 0, 0, 0, 0}, text);
    }
    // 10 × 10 cm: 378 × 378 pixels at 96 dpi.
    return emf.Build(378, 378);
}

void BM_OpenClipArtEmf(benchmark::State& state) {
    TBytes bytes = ClipArt(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TMetafile metafile;
        TMemoryStream stream(bytes);
        metafile.LoadFromStream(stream);
        benchmark::DoNotOptimize(metafile.Bits());
        state.counters["records"] = metafile.Statistics().Records;
    }
}
BENCHMARK(BM_OpenClipArtEmf)->Arg(300)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
