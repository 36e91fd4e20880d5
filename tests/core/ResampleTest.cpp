#include "TestPictures.h"

#include "core/ResampleContributors.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

std::unique_ptr<TPixelBuffer> Resampled(const TPixelBuffer& source, int width, int height,
                                        const TResampleFilter& filter) {
    auto result = TPixelBuffer::Create(width, height);
    source.Resample(*result, filter.Filter, filter.Support);
    return result;
}

const TResampleFilter& Box = ResampleFilters[0];
const TResampleFilter& Triangle = ResampleFilters[1];
const TResampleFilter& Lanczos3 = ResampleFilters[5];

// Runs a test body once on the vector code (where the processor has it) and once on the portable code.
class ResampleBothPaths : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!GetParam() && !ResampleVectorPathAvailable()) GTEST_SKIP() << "no AVX2 + FMA here";
        ForceScalarResample(GetParam());
    }
    void TearDown() override { ForceScalarResample(false); }
};

}  // namespace

TEST(ResampleFilters, ListOrderNamesAndSupports) {
    const char* names[] = {"Box", "Triangle", "Hermite", "Bell", "Spline", "Lanczos3", "Mitchell"};
    const float supports[] = {0.5f, 1, 1, 1.5f, 2, 3, 2};
    for (int i = 0; i < 7; ++i) {
        EXPECT_STREQ(ResampleFilters[i].Name, names[i]);
        EXPECT_EQ(ResampleFilters[i].Support, supports[i]);
        EXPECT_EQ(&ResampleFilterAt(i), &ResampleFilters[i]);
    }
    EXPECT_EQ(&ResampleFilterAt(-1), &ResampleFilters[6]);
    EXPECT_EQ(&ResampleFilterAt(7), &ResampleFilters[6]);
}

TEST(ResampleFilters, ValuesEvennessAndSupport) {
    EXPECT_EQ(BoxFilter(0.5f), 1.0f);
    EXPECT_EQ(BoxFilter(-0.5f), 0.0f);
    EXPECT_EQ(TriangleFilter(0.25f), 0.75f);
    EXPECT_EQ(HermiteFilter(0.5f), 0.5f);
    EXPECT_EQ(BellFilter(0.25f), 0.6875f);
    EXPECT_EQ(BellFilter(1.0f), 0.125f);
    EXPECT_EQ(SplineFilter(0.0f), static_cast<float>(2.0L / 3.0L));
    EXPECT_EQ(SplineFilter(1.0f), static_cast<float>(1.0L / 6.0L));
    EXPECT_EQ(MitchellFilter(0.0f), static_cast<float>(static_cast<float>(16.0L / 3.0L) / 6.0L));
    EXPECT_EQ(MitchellFilter(1.0f),
              static_cast<float>(static_cast<float>(7.0L / 3.0L - 12 + 20 - 32.0L / 3.0L) / -6.0L));
    EXPECT_EQ(SinC(0.0f), 1.0f);
    EXPECT_EQ(Lanczos3Filter(0.0f), 1.0f);
    EXPECT_NEAR(Lanczos3Filter(1.5f), -0.1350949, 1e-6);
    // Not exactly zero at whole distances in single precision, but tiny.
    EXPECT_LT(std::fabs(Lanczos3Filter(1.0f)), 1e-7f);
    for (const TResampleFilter& f : ResampleFilters) {
        for (float x : {0.1f, 0.3f, 0.7f, 1.2f, 1.9f, 2.6f}) EXPECT_EQ(f.Filter(x), f.Filter(-x)) << f.Name << x;
        EXPECT_EQ(f.Filter(f.Support + 0.01f), 0.0f) << f.Name;
        EXPECT_EQ(f.Filter(-f.Support - 0.01f), 0.0f) << f.Name;
    }
}

TEST(ResampleFilters, SinCMatchesTheExtendedSineToTheLastBit) {
    // sin(y) / y with y = x·π rounded to single, all in extended precision, then rounded to single.
    auto reference = [](float x) {
        const float y = static_cast<float>(x * 3.141592653589793238462643383279502884L);
        return static_cast<float>(std::sin(static_cast<long double>(y)) / y);
    };
    std::mt19937 random(30);
    std::uniform_real_distribution<float> spread(-3.0f, 3.0f);
    for (int n = 0; n < 100000; ++n) {
        const float x = spread(random);
        ASSERT_EQ(SinC(x), reference(x)) << x;
        // Near whole numbers the sine nearly cancels.
        const float near = std::nextafter(static_cast<float>(n % 7 - 3), static_cast<float>(random() % 2 ? 9 : -9));
        ASSERT_EQ(SinC(near), reference(near)) << near;
    }
}

TEST_P(ResampleBothPaths, BoxShrinksElevenUniformPixelsUnevenly) {
    auto row = GrayRow(std::vector<std::uint8_t>(11, 200));
    EXPECT_EQ(BlueRow(*Resampled(*row, 4, 1, Box)), (std::vector<int>{180, 180, 240, 180}));
    auto ten = GrayRow(std::vector<std::uint8_t>(10, 200));
    EXPECT_EQ(BlueRow(*Resampled(*ten, 4, 1, Box)), (std::vector<int>{200, 200, 200, 200}));
    // The same holds down a column.
    auto column = TPixelBuffer::Create(1, 11);
    for (int y = 0; y < 11; ++y) column->SetPixel(0, y, {200, 200, 200});
    auto shrunk = Resampled(*column, 1, 4, Box);
    EXPECT_EQ(shrunk->GetPixel(0, 2), (TPixel24{240, 240, 240}));
    EXPECT_EQ(shrunk->GetPixel(0, 3), (TPixel24{180, 180, 180}));
}

TEST_P(ResampleBothPaths, TriangleRoundsTheHalfToEven) {
    auto row = GrayRow({0, 255});
    EXPECT_EQ(BlueRow(*Resampled(*row, 3, 1, Triangle)), (std::vector<int>{0, 128, 255}));
}

TEST_P(ResampleBothPaths, SumsRoundOnlyAfterEachFusedMultiplyAdd) {
    // The last sum here is exactly 122.5 (ties to even: 122); rounding each product to single
    // before adding it would give 122.500015 and 123.
    auto row = GrayRow({19, 247, 164, 17, 149, 205, 106});
    EXPECT_EQ(BlueRow(*Resampled(*row, 12, 1, ResampleFilters[4]))[11], 122);
}

TEST(ResampleArithmetic, ByteMultiplyAddEqualsTheFusedOne) {
    std::mt19937 random(20);
    std::uniform_real_distribution<float> weights(-1.5f, 1.5f), sums(-300.0f, 600.0f);
    int midpoints = 0;
    for (int n = 0; n < 400000; ++n) {
        const float byte = static_cast<float>(random() % 256);
        float weight = weights(random), sum = sums(random);
        if (n % 2 && byte != 0) {
            // Aim the exact sum at a midpoint between two singles, then step the weight a few ulps.
            const float target = std::nextafter(sum, 1e9f);
            const double midpoint = (static_cast<double>(sum) + target) / 2 + std::ldexp(1.0, -(random() % 40));
            weight = static_cast<float>((midpoint - sum) / byte);
            for (int step = static_cast<int>(random() % 5); step > 0; --step) weight = std::nextafter(weight, 0.0f);
        }
        const float fused = std::fma(byte, weight, sum);
        ASSERT_EQ(MultiplyAddByte(byte, weight, sum), fused) << byte << " " << weight << " " << sum;
        const double exact = static_cast<double>(byte) * weight + sum;
        midpoints += static_cast<float>(exact) != fused;
    }
    // The inputs did reach sums where rounding through double goes wrong.
    EXPECT_GT(midpoints, 0);
    EXPECT_EQ(MultiplyAddByte(0, 0.5f, 0), 0.0f);
}

// Taps past the ends are mirrored about the end pixels unevenly: before the first pixel j reads
// -j (the end pixel is not repeated), past the last it reads 2·size − 1 − j (the end pixel is
// repeated). Ends that differ from their neighbours make each rule show in the bytes; the
// expected rows were worked out in exact arithmetic, with clamping or a symmetric mirror giving
// other first and last values.
TEST_P(ResampleBothPaths, TapsPastTheEndsAreMirroredAboutTheEndPixels) {
    const std::vector<std::uint8_t> values = {250, 20, 180, 60, 130, 5, 220};
    struct Case {
        const TResampleFilter& filter;
        int size;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {ResampleFilters[4], 13, {173, 134, 85, 102, 133, 118, 92, 95, 98, 71, 62, 115, 184}},
        {ResampleFilters[6], 13, {224, 137, 42, 96, 164, 123, 71, 95, 119, 62, 24, 108, 208}},
        // Shrinking widens the reach to six pixels: the taps fold back over most of the line.
        {ResampleFilters[4], 3, {119, 106, 124}},
        {Triangle, 3, {132, 92, 138}},
    };
    auto row = GrayRow(values);
    auto column = TPixelBuffer::Create(1, static_cast<int>(values.size()));
    for (std::size_t y = 0; y < values.size(); ++y)
        column->SetPixel(0, static_cast<int>(y), {values[y], values[y], values[y]});
    for (const Case& c : cases) {
        EXPECT_EQ(BlueRow(*Resampled(*row, c.size, 1, c.filter)), c.expected) << c.filter.Name << c.size;
        const auto down = Resampled(*column, 1, c.size, c.filter);
        for (int y = 0; y < c.size; ++y) EXPECT_EQ(down->GetPixel(0, y).Blue, c.expected[y]) << c.filter.Name << y;
    }
}

// Spline and Mitchell round t² to single before using it. At these points that last bit moves
// a weight, and the weight moves a byte: kept in extended precision the square would give the
// values in the comments (worked out in exact arithmetic). 2 − t needs no test: for a single t
// in [1, 2) it is exact.
TEST_P(ResampleBothPaths, SplineAndMitchellRoundTheSquareToSingle) {
    EXPECT_EQ(SplineFilter(0x1.0a3d7p-3f), 0x1.4d3e32p-1f);      // unrounded: 0x1.4d3e34p-1
    EXPECT_EQ(SplineFilter(-0x1.c6a7fp-3f), 0x1.3ee69ep-1f);     // unrounded: 0x1.3ee69cp-1
    EXPECT_EQ(MitchellFilter(0x1.df3b64p-4f), 0x1.ba0cep-1f);    // unrounded: 0x1.ba0cdep-1
    EXPECT_EQ(MitchellFilter(-0x1.041894p-2f), 0x1.8ed5d6p-1f);  // unrounded: 0x1.8ed5d2p-1
    // Byte 8 would be 128.
    EXPECT_EQ(BlueRow(*Resampled(*GrayRow({105, 241, 119, 255, 102, 128, 218}), 11, 1, ResampleFilters[4])),
              (std::vector<int>{150, 180, 195, 165, 180, 207, 167, 123, 129, 165, 203}));
    // Byte 2 would be 92.
    EXPECT_EQ(BlueRow(*Resampled(*GrayRow({180, 125, 30}), 4, 1, ResampleFilters[6])),
              (std::vector<int>{174, 147, 93, 35}));
}

TEST_P(ResampleBothPaths, SameSizeKeepsEveryPixelForBoxTriangleAndLanczos3) {
    for (auto [w, h] : {std::pair{3, 3}, std::pair{17, 9}, std::pair{40, 33}}) {
        auto picture = NoisePicture(w, h, 10);
        for (const TResampleFilter* f : {&Box, &Triangle, &Lanczos3})
            EXPECT_EQ(PixelBytes(*Resampled(*picture, w, h, *f)), PixelBytes(*picture)) << f->Name << w;
    }
}

TEST_P(ResampleBothPaths, OvershootIsClampedToTheByteRange) {
    auto edge = GrayRow({0, 0, 0, 0, 255, 255, 255, 255});
    for (int f : {5, 6}) {
        const auto values = BlueRow(*Resampled(*edge, 29, 1, ResampleFilters[f]));
        // Ringing beside the edge would wrap round without the clamp: dark side stays dark, bright stays bright.
        for (int x = 0; x <= 11; ++x) EXPECT_LE(values[x], 10) << f << " " << x;
        for (int x = 17; x <= 20; ++x) EXPECT_EQ(values[x], 255) << f << " " << x;
    }
}

TEST_P(ResampleBothPaths, SourcesSmallerThanTheFilterReachStayInside) {
    // Repeated mirroring keeps every tap inside; the sanitizers watch the reads.
    for (const TResampleFilter& f : ResampleFilters)
        for (auto [sw, sh] : {std::pair{1, 1}, std::pair{2, 1}, std::pair{1, 3}, std::pair{2, 2}, std::pair{3, 2}})
            for (auto [dw, dh] : {std::pair{1, 1}, std::pair{2, 3}, std::pair{9, 7}, std::pair{31, 2}}) {
                auto picture = NoisePicture(sw, sh, 11);
                Resampled(*picture, dw, dh, f);
            }
    auto grey = TPixelBuffer::Create(1, 1);
    grey->SetPixel(0, 0, {77, 88, 99});
    auto big = Resampled(*grey, 9, 5, Box);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(big->GetPixel(x, y), (TPixel24{77, 88, 99}));
    // A strong reduction widens the reach far past both ends of the line.
    auto wide = NoisePicture(100, 60, 12);
    for (const TResampleFilter& f : ResampleFilters) Resampled(*wide, 2, 2, f);
}

TEST_P(ResampleBothPaths, SinglePixelDestinationAveragesTheWholeLine) {
    auto row = GrayRow({10, 20, 30, 40, 50});
    EXPECT_EQ(BlueRow(*Resampled(*row, 1, 1, Box)), (std::vector<int>{30}));
    auto picture = NoisePicture(23, 17, 13);
    for (const TResampleFilter& f : ResampleFilters) {
        auto column = Resampled(*picture, 1, 17, f);
        auto line = Resampled(*picture, 23, 1, f);
        auto dot = Resampled(*picture, 1, 1, f);
        // Noise averages out to a mid grey.
        EXPECT_NEAR(dot->GetPixel(0, 0).Green, 128, 40) << f.Name;
    }
    auto black = TPixelBuffer::Create(30, 20);
    auto white = NoisePicture(30, 20, 14);
    for (int y = 0; y < 20; ++y) std::memset(white->RowBytes(y), 255, 90);
    for (int y = 0; y < 20; ++y) std::memset(white->RowBytes(y), 0, 45);  // left half black
    EXPECT_NEAR(Resampled(*white, 1, 1, Box)->GetPixel(0, 0).Red, 128, 2);
}

TEST_P(ResampleBothPaths, EmptyDestinationOrSourceWritesNothingAndRaisesNothing) {
    auto picture = NoisePicture(8, 8, 15);
    for (auto [w, h] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{5, 0}}) {
        TPixelBuffer empty(w, h);
        EXPECT_NO_THROW(picture->Resample(empty, Lanczos3Filter, 3));
    }
    TPixelBuffer nothing(0, 4);
    auto target = NoisePicture(3, 3, 16);
    nothing.Resample(*target, BoxFilter, 0.5f);
    for (std::uint8_t byte : PixelBytes(*target)) EXPECT_EQ(byte, 0);
}

TEST_P(ResampleBothPaths, ResamplingIntoItselfReadsTheOriginal) {
    auto picture = NoisePicture(20, 10, 17);
    auto copy = TPixelBuffer::CreateCopy(*picture);
    auto expected = Resampled(*copy, 20, 10, ResampleFilters[4]);
    picture->Resample(*picture, SplineFilter, 2);
    EXPECT_EQ(PixelBytes(*picture), PixelBytes(*expected));
}

// Any rectangle of a destination, computed on its own from the lists of the whole destination,
// is byte for byte that part of the whole resample: at the edges (mirrored taps), across strips
// of the vector code, for every filter, enlarging and shrinking.
TEST_P(ResampleBothPaths, TilesEqualThePlaceInTheWholeResample) {
    struct Case {
        int sw, sh, dw, dh;
    };
    const Case cases[] = {
        {50, 40, 200, 160}, {50, 40, 400, 320}, {64, 48, 64, 48}, {400, 300, 50, 37}, {400, 300, 100, 75},
        {1, 1, 9, 7},       {3, 70, 24, 560},   {90, 2, 11, 1},   {37, 23, 80, 50},   {260, 4000, 240, 3},
    };
    std::mt19937 random(77);
    unsigned seed = 300;
    const auto check = [&](const TPixelBuffer& picture, int dw, int dh, const TResampleFilter& f, int tiles) {
        const auto whole = Resampled(picture, dw, dh, f);
        const auto plan = TResamplePlan::Create(picture.Width(), picture.Height(), dw, dh, f.Filter, f.Support);
        for (int n = 0; n < tiles; ++n) {
            const int left = static_cast<int>(random() % dw), top = static_cast<int>(random() % dh);
            const int width = 1 + static_cast<int>(random() % (dw - left));
            const int height = 1 + static_cast<int>(random() % (dh - top));
            TPixelBuffer tile(width, height);
            plan->Render(picture, left, top, tile);
            ASSERT_EQ(PixelBytes(tile), PixelBytes(*CopyRect(*whole, left, top, width, height)))
                << f.Name << " " << picture.Width() << "x" << picture.Height() << " -> " << dw << "x" << dh << " at "
                << left << "," << top << " " << width << "x" << height;
        }
    };
    for (const Case& c : cases) {
        const auto picture = NoisePicture(c.sw, c.sh, seed++);
        for (const TResampleFilter& f : ResampleFilters) check(*picture, c.dw, c.dh, f, 12);
    }
    for (int n = 0; n < 40; ++n) {
        const auto picture = NoisePicture(1 + random() % 90, 1 + random() % 90, seed++);
        check(*picture, 1 + random() % 200, 1 + random() % 200, ResampleFilters[random() % 7], 6);
    }
    // A rectangle reaching past the destination is refused.
    const auto picture = NoisePicture(10, 10, seed);
    const auto plan = TResamplePlan::Create(10, 10, 20, 20, SplineFilter, 2);
    TPixelBuffer tile(8, 8);
    EXPECT_THROW(plan->Render(*picture, 13, 0, tile), Exception);
    EXPECT_THROW(plan->Render(*picture, 0, -1, tile), Exception);
    EXPECT_THROW(plan->Render(*NoisePicture(11, 10, seed), 0, 0, tile), Exception);
}

INSTANTIATE_TEST_SUITE_P(, ResampleBothPaths, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Scalar" : "Vector"; });

// The vector result must equal the portable one byte for byte.
static void ExpectSameBytes(const TPixelBuffer& picture, int dw, int dh, const TResampleFilter& f) {
    auto vector = Resampled(picture, dw, dh, f);
    ForceScalarResample(true);
    auto scalar = Resampled(picture, dw, dh, f);
    ForceScalarResample(false);
    ASSERT_EQ(PixelBytes(*vector), PixelBytes(*scalar))
        << f.Name << " " << picture.Width() << "x" << picture.Height() << " -> " << dw << "x" << dh;
}

TEST(ResampleVectorPath, GivesTheSameBytesAsThePortableCode) {
    if (!ResampleVectorPathAvailable()) GTEST_SKIP() << "no AVX2 + FMA here";
    struct Case {
        int sw, sh, dw, dh;
    };
    const Case cases[] = {
        {37, 23, 11, 7},    {37, 23, 80, 50},   {37, 23, 37, 23},     {1, 1, 5, 4},  {13, 1, 4, 9},   {5, 40, 3, 17},
        {301, 97, 123, 41}, {64, 64, 200, 190}, {250, 120, 249, 119}, {9, 33, 1, 1}, {2, 70, 130, 3},
    };
    unsigned seed = 100;
    for (const Case& c : cases) {
        auto picture = NoisePicture(c.sw, c.sh, seed++);
        for (const TResampleFilter& f : ResampleFilters) ExpectSameBytes(*picture, c.dw, c.dh, f);
    }
    // Random sizes from 1 to 70 each way.
    std::mt19937 random(seed);
    for (int n = 0; n < 60; ++n) {
        const int sw = 1 + random() % 70, sh = 1 + random() % 70, dw = 1 + random() % 70, dh = 1 + random() % 70;
        ExpectSameBytes(*NoisePicture(sw, sh, seed + n), dw, dh, ResampleFilters[random() % 7]);
    }
    // A single row from a tall picture needs every source row at once: the vector code then
    // splits the destination into strips of columns.
    auto tall = NoisePicture(220, 4000, seed);
    for (const TResampleFilter* f : {&Box, &Lanczos3}) ExpectSameBytes(*tall, 200, 1, *f);
}
