// Line conversion: every converter, masks, depths, flags and the line size checks.
#include "ColorTestSupport.h"

#include <array>
#include <memory>
#include <random>

namespace {

TColorManager Manager(ColorScheme source, std::uint8_t sourceDepth, ColorScheme target, std::uint8_t targetDepth,
                      TConvertOptions sourceFlags = 0, TConvertOptions targetFlags = 0) {
    TColorManager cm;
    Describe(cm, source, sourceDepth, target, targetDepth);
    cm.SourceFlags = sourceFlags;
    cm.TargetFlags = targetFlags;
    return cm;
}

Bytes RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

TEST(RGBFamily, ExchangesFirstAndThirdSampleOfEveryLineLength) {
    // Lengths around the vector widths: every pixel swapped, nothing written past the line.
    for (std::uint32_t count = 0; count <= 100; ++count) {
        TColorManager cm = Manager(ColorScheme::RGB, 8, ColorScheme::BGR, 8);
        const Bytes source = RandomBytes(count * 3, count);
        Bytes target(count * 3 + 16, 0xAA);
        cm.ConvertLine(source.data(), source.size(), target.data(), count * 3, count);
        for (std::uint32_t i = 0; i < count; ++i) {
            ASSERT_EQ(target[3 * i], source[3 * i + 2]) << count << ":" << i;
            ASSERT_EQ(target[3 * i + 1], source[3 * i + 1]);
            ASSERT_EQ(target[3 * i + 2], source[3 * i]);
        }
        for (std::size_t k = count * 3; k < target.size(); ++k) ASSERT_EQ(target[k], 0xAA) << count;
    }
}

TEST(RGBFamily, ExchangeWorksOnTheLineItself) {
    TColorManager cm = Manager(ColorScheme::RGB, 8, ColorScheme::BGR, 8);
    const Bytes original = RandomBytes(99 * 3, 5);
    Bytes line = original;
    cm.ConvertLine(line.data(), line.size(), line.data(), line.size(), 99);
    for (std::size_t i = 0; i < 99; ++i) ASSERT_EQ(line[3 * i], original[3 * i + 2]) << i;
}

TEST(RGBFamily, ExchangesRedAndBlueWithAlphaCopied) {
    for (std::uint32_t count = 0; count <= 20; ++count) {
        TColorManager cm = Manager(ColorScheme::RGBA, 8, ColorScheme::BGRA, 8);
        const Bytes source = RandomBytes(count * 4, count + 100);
        Bytes target(count * 4 + 8, 0xAA);
        cm.ConvertLine(source.data(), source.size(), target.data(), count * 4, count);
        for (std::uint32_t i = 0; i < count; ++i) {
            ASSERT_EQ(target[4 * i], source[4 * i + 2]);
            ASSERT_EQ(target[4 * i + 2], source[4 * i]);
            ASSERT_EQ(target[4 * i + 3], source[4 * i + 3]);
        }
        EXPECT_EQ(target[count * 4], 0xAA);
    }
}

TEST(RGBFamily, AlphaIsSkippedOrLeftAsAGap) {
    TColorManager skip = Manager(ColorScheme::BGRA, 8, ColorScheme::BGR, 8);
    EXPECT_EQ(Convert(skip, {1, 2, 3, 4, 5, 6, 7, 8}, Bytes(6), 2), (Bytes{1, 2, 3, 5, 6, 7}));
    TColorManager gap = Manager(ColorScheme::BGR, 8, ColorScheme::BGRA, 8);
    EXPECT_EQ(Convert(gap, {1, 2, 3, 5, 6, 7}, Bytes(8, 9), 2), (Bytes{1, 2, 3, 9, 5, 6, 7, 9}));
    TColorManager gapExchanged = Manager(ColorScheme::RGB, 8, ColorScheme::BGRA, 8);
    EXPECT_EQ(Convert(gapExchanged, {1, 2, 3}, Bytes(4, 9), 1), (Bytes{3, 2, 1, 9}));
    TColorManager kept = Manager(ColorScheme::RGBA, 8, ColorScheme::RGBA, 8);
    EXPECT_EQ(Convert(kept, {1, 2, 3, 4}, Bytes(4), 1), (Bytes{1, 2, 3, 4}));
}

TEST(RGBFamily, FlagsAssignedAfterTheFirstLineKeepTheAlpha) {
    TColorManager cm = Manager(ColorScheme::BGRA, 8, ColorScheme::BGR, 8);
    EXPECT_EQ(Convert(cm, {1, 2, 3, 4}, Bytes(3), 1), (Bytes{1, 2, 3}));
    cm.SourceFlags = 0;
    EXPECT_EQ(Convert(cm, {1, 2, 3, 4, 5, 6, 7, 8}, Bytes(6), 2), (Bytes{1, 2, 3, 5, 6, 7}));
}

TEST(RGBFamily, MaskConvertsSelectedPixelsFromPackedSource) {
    // 10101010: pixels 0, 2, 4, 6 from four consecutive source pixels.
    TColorManager cm = Manager(ColorScheme::RGB, 8, ColorScheme::BGR, 8);
    const Bytes source = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const Bytes target = Convert(cm, source, Bytes(24, 0xEE), 8, 170);
    const Bytes expected = {3, 2, 1, 0xEE, 0xEE, 0xEE, 6,  5,  4,  0xEE, 0xEE, 0xEE,
                            9, 8, 7, 0xEE, 0xEE, 0xEE, 12, 11, 10, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(target, expected);

    // The pattern repeats every 8 pixels: 00000001 takes pixels 7 and 15.
    TColorManager gray = Manager(ColorScheme::Gray, 8, ColorScheme::Gray, 8);
    const Bytes pass = Convert(gray, {50, 60}, Bytes(16, 0), 16, 1);
    EXPECT_EQ(pass[7], 50);
    EXPECT_EQ(pass[15], 60);
    EXPECT_EQ(pass[8], 0);
}

TEST(RGBFamily, PlanarSourcesTakeOnePlanePerSample) {
    const Bytes r = {10, 11}, g = {20, 21}, b = {30, 31}, a = {40, 41};
    const std::array<TSourcePlane, 4> planes{{{r.data(), 2}, {g.data(), 2}, {b.data(), 2}, {a.data(), 2}}};
    TColorManager cm = Manager(ColorScheme::RGBA, 8, ColorScheme::BGRA, 8);
    Bytes target(8);
    cm.ConvertLine(planes, target.data(), target.size(), 2);
    EXPECT_EQ(target, (Bytes{30, 20, 10, 40, 31, 21, 11, 41}));

    // Without a target alpha the fourth plane is not needed.
    TColorManager noAlpha = Manager(ColorScheme::RGBA, 8, ColorScheme::RGB, 8);
    Bytes rgb(6);
    noAlpha.ConvertLine(std::span(planes).first(3), rgb.data(), rgb.size(), 2);
    EXPECT_EQ(rgb, (Bytes{10, 20, 30, 11, 21, 31}));
}

TEST(RGBFamily, GammaCorrectsColoursButNotAlpha) {
    TColorManager cm = Manager(ColorScheme::RGBA, 8, ColorScheme::BGRA, 8, 0, GammaCorrect);
    EXPECT_EQ(Convert(cm, {128, 64, 1, 128}, Bytes(4), 1), (Bytes{21, 136, 186, 128}));
    TColorManager words = Manager(ColorScheme::RGB, 16, ColorScheme::BGR, 8, 0, GammaCorrect);
    EXPECT_EQ(Convert(words, Words({0, 0, 0xFFFF}), Bytes(3), 1), (Bytes{255, 0, 0}));
    // 16 to 16 bits takes no gamma.
    TColorManager deep = Manager(ColorScheme::RGB, 16, ColorScheme::RGB, 16, 0, GammaCorrect);
    EXPECT_EQ(Convert(deep, Words({1, 2, 3}), Bytes(6), 1), Words({1, 2, 3}));
}

TEST(RGBFamily, SixteenBitSamplesScaleByTruncationAndSwap) {
    TColorManager cm = Manager(ColorScheme::RGB, 16, ColorScheme::RGB, 8);
    EXPECT_EQ(Convert(cm, Words({65535, 65534, 257, 256, 0, 32768}), Bytes(6), 2), (Bytes{255, 254, 1, 0, 0, 127}));
    // Big-endian: the first byte is the high one.
    TColorManager big = Manager(ColorScheme::RGB, 16, ColorScheme::BGR, 8, SwapBytes);
    EXPECT_EQ(Convert(big, {0x12, 0x34, 0xFF, 0x00, 0x00, 0xFF}, Bytes(3), 1), (Bytes{0, 254, 18}));
    TColorManager alpha = Manager(ColorScheme::RGBA, 16, ColorScheme::BGRA, 8, SwapBytes);
    EXPECT_EQ(Convert(alpha, {0, 0, 0, 0, 0, 0, 0x80, 0x00}, Bytes(4), 1), (Bytes{0, 0, 0, 127}));
    TColorManager swapped = Manager(ColorScheme::RGBA, 16, ColorScheme::RGBA, 16, SwapBytes);
    EXPECT_EQ(Convert(swapped, Words({0x0102, 0x0304, 0x0506, 0x0708}), Bytes(8), 1),
              Words({0x0201, 0x0403, 0x0605, 0x0807}));
    TColorManager wide = Manager(ColorScheme::BGRA, 8, ColorScheme::RGBA, 16);
    EXPECT_EQ(Convert(wide, {1, 2, 3, 255}, Bytes(8), 1), Words({771, 514, 257, 65535}));
}

TEST(RGBFamily, OtherDepthsWriteNothing) {
    TColorManager cm = Manager(ColorScheme::RGB, 4, ColorScheme::BGR, 8);
    EXPECT_EQ(Convert(cm, Bytes(6, 1), Bytes(6, 7), 2), Bytes(6, 7));
}

TEST(Gray, EightAndSixteenBitsSkipAlpha) {
    TColorManager alpha = Manager(ColorScheme::GrayAlpha, 8, ColorScheme::Gray, 8);
    EXPECT_EQ(Convert(alpha, {10, 255, 20, 0, 30, 7}, Bytes(3), 3), (Bytes{10, 20, 30}));
    TColorManager narrow = Manager(ColorScheme::Gray, 16, ColorScheme::Gray, 8, SwapBytes);
    EXPECT_EQ(Convert(narrow, {0xFF, 0xFE, 0x01, 0x01}, Bytes(2), 2), (Bytes{254, 1}));
    TColorManager wide = Manager(ColorScheme::GrayAlpha, 8, ColorScheme::Gray, 16, SwapBytes);
    EXPECT_EQ(Convert(wide, {2, 9}, Bytes(2), 1), Words({514}));
    TColorManager deep = Manager(ColorScheme::GrayAlpha, 16, ColorScheme::Gray, 16, SwapBytes);
    EXPECT_EQ(Convert(deep, {0x12, 0x34, 0xFF, 0xFF}, Bytes(2), 1), Words({0x1234}));
    // Gray lines never take gamma: it lives in the gray palette.
    TColorManager gamma = Manager(ColorScheme::Gray, 16, ColorScheme::Gray, 8, 0, GammaCorrect);
    EXPECT_EQ(Convert(gamma, Words({32768}), Bytes(1), 1), (Bytes{127}));
}

TEST(PackedToPacked, WidensBitFieldsFromTheTopOfEachByte) {
    TColorManager oneBit = Manager(ColorScheme::Gray, 1, ColorScheme::Gray, 8);
    EXPECT_EQ(Convert(oneBit, {0b10110000}, Bytes(8), 8), (Bytes{255, 0, 255, 255, 0, 0, 0, 0}));
    TColorManager nibbles = Manager(ColorScheme::Indexed, 4, ColorScheme::Indexed, 8);
    EXPECT_EQ(Convert(nibbles, {0x1F, 0xA0}, Bytes(3), 3), (Bytes{17, 255, 170}));
    // 2 to 4 bits: 5·v into fields from the top; the unused low field stays as it was.
    TColorManager twoBit = Manager(ColorScheme::Indexed, 2, ColorScheme::Indexed, 4);
    EXPECT_EQ(Convert(twoBit, {0b11011000}, Bytes{0x00, 0x0C}, 3), (Bytes{0xF5, 0xAC}));
    // 8 to 1 bit: only 255 keeps a set bit.
    TColorManager down = Manager(ColorScheme::Gray, 8, ColorScheme::Gray, 1);
    EXPECT_EQ(Convert(down, {255, 254, 255, 0, 255}, Bytes(1), 5), (Bytes{0b10101000}));
}

TEST(PackedToPacked, SameDepthCopiesAndMasksKeepSkippedFields) {
    TColorManager copy = Manager(ColorScheme::Indexed, 4, ColorScheme::Indexed, 4);
    EXPECT_EQ(Convert(copy, {0x12, 0x34}, Bytes{0, 0xFF}, 3), (Bytes{0x12, 0x34}));
    // An interlace pass of 1-bit pixels 0 and 4 (10001000): the other bits stay.
    TColorManager pass = Manager(ColorScheme::Indexed, 1, ColorScheme::Indexed, 1);
    EXPECT_EQ(Convert(pass, {0b10000000}, Bytes{0b01110111}, 8, 0x88), (Bytes{0b11110111}));
    TColorManager widen = Manager(ColorScheme::Indexed, 4, ColorScheme::Indexed, 8);
    EXPECT_EQ(Convert(widen, {0x5A}, Bytes(4, 1), 4, 0x50), (Bytes{1, 85, 1, 170}));
}

TEST(Indexed16, CopiesSwapsAndRescales) {
    TColorManager copy = Manager(ColorScheme::Indexed, 16, ColorScheme::Indexed, 16);
    EXPECT_EQ(Convert(copy, Words({1, 2}), Bytes(4), 2), Words({1, 2}));
    TColorManager swap = Manager(ColorScheme::Indexed, 16, ColorScheme::Indexed, 16, SwapBytes);
    EXPECT_EQ(Convert(swap, Words({0x0102, 0x0304}), Words({7, 7}), 2, 0x40), Words({7, 0x0201}));
    TColorManager toPacked = Manager(ColorScheme::Indexed, 16, ColorScheme::Indexed, 4, SwapBytes);
    EXPECT_EQ(Convert(toPacked, {0xFF, 0xFF, 0x11, 0x11, 0xEF, 0xFF}, Bytes{0, 0x0F}, 3), (Bytes{0xF1, 0xEF}));
    TColorManager fromPacked = Manager(ColorScheme::Indexed, 4, ColorScheme::Indexed, 16);
    EXPECT_EQ(Convert(fromPacked, {0x1F}, Bytes(4), 2), Words({4369, 65535}));
    TColorManager twoBytes = Manager(ColorScheme::Indexed, 2, ColorScheme::Indexed, 16, SwapBytes);
    EXPECT_EQ(Convert(twoBytes, {0b01000000}, Bytes(2), 1), (Bytes{0x55, 0x55}));
}

TEST(CMYK, InkAndBlackMultiplyOut) {
    TColorManager cm = Manager(ColorScheme::CMYK, 8, ColorScheme::BGR, 8);
    const Bytes source = {0, 0, 0, 0, 255, 0, 0, 0, 10, 20, 30, 255, 0, 128, 255, 128};
    const Bytes expected = {255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 63, 127};
    EXPECT_EQ(Convert(cm, source, Bytes(12), 4), expected);

    TColorManager rgba = Manager(ColorScheme::CMYK, 8, ColorScheme::RGBA, 16);
    EXPECT_EQ(Convert(rgba, {255, 0, 0, 0}, Words({0, 0, 0, 9}), 1), Words({0, 65535, 65535, 9}));

    const Bytes c = {0}, m = {255}, y = {0}, k = {0};
    const std::array<TSourcePlane, 4> planes{{{c.data(), 1}, {m.data(), 1}, {y.data(), 1}, {k.data(), 1}}};
    TColorManager planar = Manager(ColorScheme::CMYK, 8, ColorScheme::RGB, 8);
    Bytes target(3);
    planar.ConvertLine(planes, target.data(), target.size(), 1);
    EXPECT_EQ(target, (Bytes{255, 0, 255}));
}

TEST(CMYK, SixteenBitSamples) {
    TColorManager narrow = Manager(ColorScheme::CMYK, 16, ColorScheme::RGB, 8);
    EXPECT_EQ(Convert(narrow, Words({0, 65535, 32768, 0}), Bytes(3), 1), (Bytes{255, 0, 128}));
    TColorManager deep = Manager(ColorScheme::CMYK, 16, ColorScheme::RGB, 16);
    EXPECT_EQ(Convert(deep, Words({0, 65535, 1000, 0, 0, 0, 0, 65535}), Bytes(12), 2),
              Words({65535, 0, 64535, 0, 0, 0}));
    // Samples of 4 bits have no path: the line stays as it was.
    TColorManager shallow = Manager(ColorScheme::CMYK, 4, ColorScheme::RGB, 8);
    EXPECT_EQ(Convert(shallow, Bytes(4), Bytes(3, 5), 1), Bytes(3, 5));
}

TEST(CIELab, WhiteLinearBranchAndSignedChroma) {
    TColorManager biased = Manager(ColorScheme::CIELab, 8, ColorScheme::BGR, 8, LabBiasedAB);
    EXPECT_EQ(Convert(biased, {100, 128, 128}, Bytes(3), 1), (Bytes{255, 255, 255}));
    // L 5 is below 7.9996: Y = 5 / 903.3 gives 1.41 (the cube branch would give 1.51).
    EXPECT_EQ(Convert(biased, {5, 128, 128}, Bytes(3), 1), (Bytes{1, 1, 1}));
    EXPECT_EQ(Convert(biased, {50, 148, 98}, Bytes(3), 1), (Bytes{101, 40, 53}));

    TColorManager scaled = Manager(ColorScheme::CIELab, 8, ColorScheme::RGBA, 8, LabScaledL | LabBiasedAB);
    EXPECT_EQ(Convert(scaled, {200, 128, 128}, Bytes(4, 9), 1), (Bytes{137, 138, 138, 9}));

    // Unbiased a and b are signed bytes: 0x80 is -128, 0x7F is 127.
    TColorManager plain = Manager(ColorScheme::CIELab, 8, ColorScheme::RGB, 8);
    EXPECT_EQ(Convert(plain, {60, 0x80, 0x7F}, Bytes(3), 1), (Bytes{0, 120, 0}));
    TColorManager words = Manager(ColorScheme::CIELab, 16, ColorScheme::RGB, 8);
    EXPECT_EQ(Convert(words, {20, 0, 10, 0x77, 40, 0x99}, Bytes(3), 1), (Bytes{16, 6, 0}));
    TColorManager wide = Manager(ColorScheme::CIELab, 8, ColorScheme::RGB, 16, LabBiasedAB);
    EXPECT_EQ(Convert(wide, {100, 128, 128}, Bytes(6), 1), Words({65535, 65535, 65535}));
}

TEST(YCbCr, LumaAndChromaTables) {
    TColorManager cm = Manager(ColorScheme::YCbCr, 8, ColorScheme::BGR, 8);
    EXPECT_EQ(Convert(cm, {128, 128, 128, 0, 128, 255}, Bytes(6), 2), (Bytes{128, 128, 128, 0, 0, 178}));
    TColorManager photo = Manager(ColorScheme::PhotoYCC, 8, ColorScheme::RGBA, 8);
    EXPECT_EQ(Convert(photo, {77, 156, 137}, Bytes(4, 3), 1), (Bytes{77, 77, 77, 3}));

    const Bytes y = {128, 0}, cb = {128, 128}, cr = {128, 255};
    const std::array<TSourcePlane, 3> planes{{{y.data(), 2}, {cb.data(), 2}, {cr.data(), 2}}};
    TColorManager planar = Manager(ColorScheme::YCbCr, 8, ColorScheme::RGB, 16);
    Bytes target(12);
    planar.ConvertLine(planes, target.data(), target.size(), 2);
    EXPECT_EQ(target, Words({32896, 32896, 32896, 45746, 0, 0}));
}

TEST(YCbCr, SixteenBitSamples) {
    TColorManager narrow = Manager(ColorScheme::YCbCr, 16, ColorScheme::RGB, 8);
    EXPECT_EQ(Convert(narrow, Words({65535, 32896, 32896}), Bytes(3), 1), (Bytes{255, 255, 255}));
    // 1.3584·Y plus chroma from 40092 and 35209, rounded and kept modulo 2^16.
    TColorManager deep = Manager(ColorScheme::YCbCr, 16, ColorScheme::RGB, 16);
    EXPECT_EQ(Convert(deep, Words({10000, 41092, 34709, 0, 0, 35209}), Bytes(12), 2),
              Words({12673, 13617, 15802, 0, 17250, 42152}));
}

TEST(LineSizes, ShortLinesAreRefusedBeforeAnythingIsWritten) {
    TColorManager cm = Manager(ColorScheme::RGB, 8, ColorScheme::BGR, 8);
    Bytes target(12, 0xEE);
    const Bytes shortSource(11, 1);
    EXPECT_NE(ColorErrorOf([&] { Convert(cm, shortSource, target, 4); }), "");
    EXPECT_NE(ColorErrorOf([&] { cm.ConvertLine(Bytes(12).data(), 12, target.data(), 11, 4); }), "");
    EXPECT_EQ(target, Bytes(12, 0xEE));
    // Under a mask only the selected pixels need source samples.
    EXPECT_EQ(ColorErrorOf([&] { Convert(cm, Bytes(6), target, 4, 0xA0); }), "");
    EXPECT_NE(ColorErrorOf([&] { Convert(cm, Bytes(6), target, 4, 0xE0); }), "");
    EXPECT_EQ(ColorErrorOf([&] { cm.ConvertLine(nullptr, 0, nullptr, 0, 0); }), "");
    EXPECT_NE(ColorErrorOf([&] { cm.ConvertLine(nullptr, 12, target.data(), 12, 4); }), "");
    EXPECT_NE(ColorErrorOf([&] { cm.ConvertLine({}, target.data(), 12, 4); }), "");

    const Bytes plane(4);
    const std::array<TSourcePlane, 2> two{{{plane.data(), 4}, {plane.data(), 4}}};
    EXPECT_NE(ColorErrorOf([&] { cm.ConvertLine(two, target.data(), 12, 4); }), "");

    TColorManager packed = Manager(ColorScheme::Gray, 1, ColorScheme::Gray, 8);
    EXPECT_EQ(ColorErrorOf([&] { Convert(packed, Bytes(1), Bytes(8), 8); }), "");
    EXPECT_NE(ColorErrorOf([&] { Convert(packed, Bytes(1), Bytes(8), 9); }), "");
    TColorManager nibble = Manager(ColorScheme::Indexed, 8, ColorScheme::Indexed, 4);
    EXPECT_NE(ColorErrorOf([&] { Convert(nibble, Bytes(3), Bytes(1), 3); }), "");
    TColorManager cmyk = Manager(ColorScheme::CMYK, 16, ColorScheme::BGRA, 8);
    EXPECT_NE(ColorErrorOf([&] { Convert(cmyk, Bytes(16), Bytes(7), 2); }), "");
    EXPECT_NE(ColorErrorOf([&] { Convert(cmyk, Bytes(15), Bytes(8), 2); }), "");
}

}  // namespace

namespace {

// Random descriptions and masks, converted at the smallest line sizes the checks accept, each
// buffer allocated at exactly its size: the sanitizer build then catches any access outside.
TEST(LineSizes, NoDescriptionReachesOutsideItsLines) {
    std::mt19937 random(2024);
    const std::uint8_t depths[] = {1, 2, 4, 8, 16, 3, 5, 12};
    auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(random() % n); };
    int converted = 0;
    for (int round = 0; round < 3000; ++round) {
        TColorManager cm;
        cm.SetSourceScheme(static_cast<ColorScheme>(pick(13)));
        cm.SetTargetScheme(static_cast<ColorScheme>(pick(13)));
        cm.SetSourceDepth(depths[pick(8)]);
        cm.SetTargetDepth(depths[pick(8)]);
        cm.SourceFlags = static_cast<TConvertOptions>(pick(32));
        cm.TargetFlags = static_cast<TConvertOptions>(pick(32));
        const std::size_t planeCount = 1 + pick(4);
        const std::uint32_t count = pick(60);
        const auto mask = static_cast<std::uint8_t>(pick(256));
        auto converts = [&](std::size_t planeSize, std::size_t targetSize) {
            std::vector<std::unique_ptr<std::uint8_t[]>> planes;
            std::vector<TSourcePlane> sources;
            for (std::size_t k = 0; k < planeCount; ++k) {
                planes.push_back(std::make_unique<std::uint8_t[]>(planeSize));
                for (std::size_t i = 0; i < planeSize; ++i) planes.back()[i] = static_cast<std::uint8_t>(random());
                sources.push_back({planes.back().get(), planeSize});
            }
            auto target = std::make_unique<std::uint8_t[]>(targetSize);
            try {
                cm.ConvertLine(sources, target.get(), targetSize, count, mask);
                return true;
            } catch (const EColorConversionError&) {
                return false;
            }
        };
        constexpr std::size_t kAmple = 60 * 8;
        if (!converts(kAmple, kAmple)) continue;
        auto smallest = [](auto accepted) {
            std::size_t low = 0, high = kAmple;
            while (low < high) {
                const std::size_t middle = (low + high) / 2;
                if (accepted(middle))
                    high = middle;
                else
                    low = middle + 1;
            }
            return low;
        };
        const std::size_t planeSize = smallest([&](std::size_t n) { return converts(n, kAmple); });
        const std::size_t targetSize = smallest([&](std::size_t n) { return converts(planeSize, n); });
        ASSERT_TRUE(converts(planeSize, targetSize));
        ++converted;
    }
    EXPECT_GT(converted, 300);
}

}  // namespace
