// Settings, converter choice, gamma and palettes of the colour manager.
#include "ColorTestSupport.h"

#include <array>

namespace {

const char* const kDepth = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
const char* const kSamples = "Sample count per pixel does not correspond to the given color scheme.";
const char* const kSubsampling = "Subsampling value is invalid. Allowed are 1, 2 and 4.";
const char* const kVertical = "Vertical subsampling value must be <= horizontal subsampling value.";
const char* const kIndexed = "Conversion between indexed and non-indexed pixel formats is not supported.";
const char* const kNoMethod = "Color conversion failed. Could not find a proper method.";

TEST(ColorManager, StartsWithReaderDefaultsAndDisplayGammaTable) {
    TColorManager cm;
    EXPECT_TRUE(cm.Stale());
    EXPECT_EQ(cm.SourceDepth(), 8);
    EXPECT_EQ(cm.TargetDepth(), 8);
    EXPECT_EQ(cm.SourceSampleCount(), 3);
    EXPECT_EQ(cm.TargetSampleCount(), 3);
    EXPECT_EQ(cm.SourceScheme(), ColorScheme::RGB);
    EXPECT_EQ(cm.TargetScheme(), ColorScheme::BGR);
    EXPECT_EQ(cm.MainGamma(), 1.0f);
    EXPECT_EQ(cm.DisplayGamma(), 2.2f);
    EXPECT_TRUE(cm.CrToRed().empty());
    // (i / 255)^(1 / 2.2) × 255, rounded.
    const auto& table = cm.GammaTable();
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[1], 21);
    EXPECT_EQ(table[64], 136);
    EXPECT_EQ(table[128], 186);
    EXPECT_EQ(table[200], 228);
    EXPECT_EQ(table[255], 255);
}

TEST(ColorManager, SettersRefuseBadValuesAndKeepTheOldOnes) {
    TColorManager cm;
    EXPECT_EQ(ColorErrorOf([&] { cm.SetSourceDepth(0); }), kDepth);
    EXPECT_EQ(ColorErrorOf([&] { cm.SetTargetDepth(17); }), kDepth);
    EXPECT_EQ(ColorErrorOf([&] { cm.SetSourceSampleCount(0); }), kSamples);
    EXPECT_EQ(ColorErrorOf([&] { cm.SetTargetSampleCount(5); }), kSamples);
    EXPECT_EQ(cm.SourceDepth(), 8);
    EXPECT_EQ(cm.TargetDepth(), 8);
    EXPECT_EQ(cm.SourceSampleCount(), 3);
    EXPECT_EQ(cm.TargetSampleCount(), 3);
    // Every depth from 1 to 16 passes the check, not only the usual ones.
    for (std::uint8_t bits = 1; bits <= 16; ++bits) EXPECT_NO_THROW(cm.SetSourceDepth(bits));
}

TEST(ColorManager, OnlyRealChangesOfDepthCountOrSchemeMarkStale) {
    TColorManager cm;
    cm.SelectConverter();
    EXPECT_FALSE(cm.Stale());
    cm.SetSourceDepth(8);
    cm.SetTargetSampleCount(3);
    cm.SetTargetScheme(ColorScheme::BGR);
    cm.SourceFlags = SwapBytes;
    cm.TargetFlags = GammaCorrect;
    cm.SetGammaValues(2.0f, 2.0f);
    const float weights[] = {0.3f};
    cm.SetYCbCrValues(weights, 2, 2);
    EXPECT_FALSE(cm.Stale());
    cm.SetTargetScheme(ColorScheme::RGB);
    EXPECT_TRUE(cm.Stale());
    cm.SelectConverter();
    cm.SetSourceSampleCount(4);
    EXPECT_TRUE(cm.Stale());
}

TEST(ColorManager, GammaValuesFallBackToDefaultsAndTableFollowsDepths) {
    TColorManager cm;
    cm.SetGammaValues(0, -1);
    EXPECT_EQ(cm.MainGamma(), 1.0f);
    EXPECT_EQ(cm.DisplayGamma(), 2.2f);

    // 4-bit target: both highs are 15, entries above 15 keep the 8-bit table's values.
    const std::uint8_t before200 = cm.GammaTable()[200];
    cm.SetSourceDepth(4);
    cm.SetTargetDepth(4);
    cm.SetGammaValues(1, 1);
    for (int i = 0; i <= 15; ++i) EXPECT_EQ(cm.GammaTable()[i], i);
    EXPECT_EQ(cm.GammaTable()[200], before200);

    // A 2-bit source is indexed by values widened to the target's depth: 15 here, not 3.
    cm.SetSourceDepth(2);
    cm.SetGammaValues(2.5f, 1);
    EXPECT_EQ(cm.GammaTable()[15], 15);
    EXPECT_EQ(cm.GammaTable()[3], 8);  // (3 / 15)^0.4 × 15 = 7.88
}

TEST(ColorManager, YCbCrValuesCheckSubsamplingAfterTakingTheWeights) {
    TColorManager cm;
    const float weights[] = {0.2126f, 0.7152f, 0.0722f};
    cm.SetYCbCrValues(weights, 4, 2);
    EXPECT_EQ(cm.LumaCoefficients()[1], 0.7152f);
    EXPECT_EQ(cm.HorizontalSubsampling(), 4);
    EXPECT_EQ(cm.VerticalSubsampling(), 2);

    const float red[] = {0.5f};
    EXPECT_EQ(ColorErrorOf([&] { cm.SetYCbCrValues(red, 2, 4); }), kVertical);
    EXPECT_EQ(cm.LumaCoefficients()[0], 0.5f);
    EXPECT_EQ(cm.LumaCoefficients()[2], 0.0722f);
    EXPECT_EQ(cm.HorizontalSubsampling(), 4);
    EXPECT_EQ(ColorErrorOf([&] { cm.SetYCbCrValues(red, 3, 1); }), kSubsampling);
    EXPECT_EQ(ColorErrorOf([&] { cm.SetYCbCrValues(red, 1, 0); }), kSubsampling);
    EXPECT_EQ(cm.VerticalSubsampling(), 2);
    EXPECT_NO_THROW(cm.SetYCbCrValues({}, 1, 1));
    EXPECT_EQ(cm.LumaCoefficients()[0], 0.5f);
}

TEST(ColorManager, PixelFormatFollowsDepthAndSampleCount) {
    struct Case {
        std::uint8_t samples, bits;
        TPixelFormat format;
    };
    const Case cases[] = {
        {1, 1, TPixelFormat::pf1bit},   {1, 2, TPixelFormat::pf4bit},   {1, 3, TPixelFormat::pf4bit},
        {1, 4, TPixelFormat::pf4bit},   {1, 5, TPixelFormat::pfCustom}, {1, 8, TPixelFormat::pf8bit},
        {1, 16, TPixelFormat::pf8bit},  {2, 8, TPixelFormat::pfCustom}, {3, 1, TPixelFormat::pf15bit},
        {3, 5, TPixelFormat::pf15bit},  {3, 6, TPixelFormat::pf24bit},  {3, 16, TPixelFormat::pf24bit},
        {4, 4, TPixelFormat::pfCustom}, {4, 8, TPixelFormat::pf32bit},  {4, 16, TPixelFormat::pf32bit},
    };
    for (const Case& c : cases) {
        TColorManager cm;
        cm.SetTargetSampleCount(c.samples);
        cm.SetTargetDepth(c.bits);
        EXPECT_EQ(cm.PixelFormatFor(1), c.format) << int(c.samples) << "x" << int(c.bits);
        EXPECT_EQ(cm.PixelFormatFor(0), TPixelFormat::pf24bit);
    }
}

TEST(ColorManager, SelectionPicksTheConverterForSchemesAndDepths) {
    using K = TConverterKind;
    using S = ColorScheme;
    struct Case {
        S source;
        std::uint8_t sourceDepth;
        S target;
        std::uint8_t targetDepth;
        K kind;
    };
    const Case cases[] = {
        {S::Indexed, 16, S::Indexed, 16, K::Indexed16To16},
        {S::Indexed, 16, S::Indexed, 8, K::Indexed16ToPacked},
        {S::Indexed, 4, S::Indexed, 16, K::PackedToIndexed16},
        {S::Indexed, 4, S::Indexed, 8, K::PackedToPacked},
        {S::Gray, 1, S::Gray, 8, K::PackedToPacked},
        {S::Gray, 16, S::Gray, 8, K::Gray8Or16},
        {S::Gray, 16, S::Gray, 4, K::None},
        {S::GrayAlpha, 8, S::Gray, 8, K::Gray8Or16},
        {S::GrayAlpha, 4, S::Gray, 8, K::None},
        {S::RGB, 8, S::RGBA, 8, K::RGBOrderKept},
        {S::RGBA, 16, S::BGR, 8, K::RGBOrderExchanged},
        {S::BGRA, 8, S::RGB, 8, K::RGBOrderExchanged},
        {S::BGR, 8, S::BGRA, 8, K::RGBOrderKept},
        {S::RGB, 8, S::CMYK, 8, K::None},
        {S::CMYK, 8, S::RGB, 8, K::CMYKToRGB},
        {S::CMYK, 8, S::BGRA, 8, K::CMYKToBGR},
        {S::CIELab, 8, S::BGR, 8, K::CIELabToBGR},
        {S::YCbCr, 8, S::RGBA, 8, K::YCbCrToRGB},
        {S::PhotoYCC, 8, S::BGR, 8, K::YCbCrToBGR},
    };
    for (const Case& c : cases) {
        TColorManager cm;
        Describe(cm, c.source, c.sourceDepth, c.target, c.targetDepth);
        cm.SelectConverter();
        EXPECT_EQ(cm.Converter(), c.kind) << int(c.source) << " to " << int(c.target);
        EXPECT_FALSE(cm.Stale());
    }
}

TEST(ColorManager, SelectionSetsAlphaFlagsFromTheSchemes) {
    TColorManager cm;
    cm.SourceFlags = AlphaPresent | SwapBytes;
    Describe(cm, ColorScheme::RGB, 8, ColorScheme::BGRA, 8);
    cm.SelectConverter();
    EXPECT_EQ(cm.SourceFlags, SwapBytes);
    EXPECT_EQ(cm.TargetFlags, AlphaPresent);
    cm.SetSourceScheme(ColorScheme::GrayAlpha);
    cm.SetTargetScheme(ColorScheme::Gray);
    cm.SelectConverter();
    EXPECT_EQ(cm.SourceFlags, SwapBytes | AlphaPresent);
    EXPECT_EQ(cm.TargetFlags, 0);
}

TEST(ColorManager, MismatchedSidesFailAtTheFirstLineNotAtTheSetter) {
    Bytes line(3), target(3);
    TColorManager cm;
    EXPECT_NO_THROW(Describe(cm, ColorScheme::Gray, 8, ColorScheme::BGR, 8));
    EXPECT_EQ(ColorErrorOf([&] { Convert(cm, line, target, 1); }), kIndexed);
    EXPECT_TRUE(cm.Stale());
    // The same again: the failed selection is not remembered as done.
    EXPECT_EQ(ColorErrorOf([&] { Convert(cm, line, target, 1); }), kIndexed);

    TColorManager grayAlphaTarget;
    Describe(grayAlphaTarget, ColorScheme::GrayAlpha, 8, ColorScheme::GrayAlpha, 8);
    EXPECT_EQ(ColorErrorOf([&] { Convert(grayAlphaTarget, line, target, 1); }), kIndexed);
    TColorManager colourToIndexed;
    Describe(colourToIndexed, ColorScheme::RGB, 8, ColorScheme::Indexed, 8);
    EXPECT_EQ(ColorErrorOf([&] { Convert(colourToIndexed, line, target, 1); }), kIndexed);
}

TEST(ColorManager, SchemesWithoutConverterFailWithNoMethod) {
    Bytes line(8), target(8);
    for (ColorScheme source : {ColorScheme::CMY, ColorScheme::Unknown}) {
        TColorManager cm;
        Describe(cm, source, 8, ColorScheme::BGR, 8);
        EXPECT_EQ(ColorErrorOf([&] { Convert(cm, line, target, 1); }), kNoMethod);
        EXPECT_FALSE(cm.Stale());
    }
    TColorManager deepGray;
    Describe(deepGray, ColorScheme::Gray, 16, ColorScheme::Gray, 2);
    EXPECT_EQ(ColorErrorOf([&] { Convert(deepGray, line, target, 1); }), kNoMethod);
}

TEST(ColorManager, YCbCrTablesAreBuiltInSinglePrecisionAtSelection) {
    TColorManager cm;
    Describe(cm, ColorScheme::YCbCr, 8, ColorScheme::BGR, 8);
    cm.SelectConverter();
    ASSERT_EQ(cm.CrToRed().size(), 256u);
    EXPECT_EQ(cm.CrToRed()[255], 178);    // 1.402 × 127
    EXPECT_EQ(cm.CrToRed()[0], -179);     // 1.402 × -128 = -179.46
    EXPECT_EQ(cm.CbToBlue()[255], 225);   // 1.772 × 127 = 225.04
    EXPECT_EQ(cm.CrToGreen()[0], 91);     // -round(0.714136 × -128)
    EXPECT_EQ(cm.CbToGreen()[255], -44);  // -round(0.344136 × 127) = -round(43.7)
    EXPECT_EQ(cm.CrToRed()[128], 0);

    TColorManager photo;
    Describe(photo, ColorScheme::PhotoYCC, 8, ColorScheme::BGR, 8);
    photo.SelectConverter();
    EXPECT_EQ(photo.CrToRed()[137], 0);
    EXPECT_EQ(photo.CbToBlue()[156], 0);
    EXPECT_EQ(photo.CbToBlue()[157], 2);  // 1.772 rounds to 2
}

TEST(ColorManager, UnusableLumaWeightsAreRefusedNotConverted) {
    TColorManager cm;
    const float weights[] = {0.299f, 0.0f, 0.114f};
    cm.SetYCbCrValues(weights, 1, 1);
    Describe(cm, ColorScheme::YCbCr, 8, ColorScheme::BGR, 8);
    Bytes line(3), target(3);
    EXPECT_NE(ColorErrorOf([&] { Convert(cm, line, target, 1); }), "");
}

TEST(ColorManager, GrayPaletteIsARampReversedForMinimumIsWhite) {
    TColorManager cm;
    cm.SetTargetSampleCount(1);
    cm.SetTargetDepth(1);
    EXPECT_EQ(cm.MakeGrayPalette(false), (TPalette{{0, 0, 0}, {255, 255, 255}}));
    EXPECT_EQ(cm.MakeGrayPalette(true), (TPalette{{255, 255, 255}, {0, 0, 0}}));

    cm.SetTargetDepth(2);
    const TPalette four = cm.MakeGrayPalette(true);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[1].Red, 170);
    EXPECT_EQ(four[3].Green, 0);

    // Depth times sample count, capped at 8 bits.
    cm.SetTargetDepth(4);
    cm.SetTargetSampleCount(3);
    const TPalette full = cm.MakeGrayPalette(false);
    ASSERT_EQ(full.size(), 256u);
    EXPECT_EQ(full[77].Blue, 77);

    cm.SetTargetSampleCount(1);
    cm.TargetFlags = GammaCorrect;
    const TPalette corrected = cm.MakeGrayPalette(false);
    ASSERT_EQ(corrected.size(), 16u);
    EXPECT_EQ(corrected[1].Red, cm.GammaTable()[17]);
    EXPECT_EQ(corrected[1].Red, 74);
}

TEST(ColorManager, ColorPaletteLayoutsReadRedGreenBlue) {
    TColorManager cm;
    const Bytes rgb = {10, 20, 30, 40, 50, 60};
    const std::array<TSourcePlane, 1> one{{{rgb.data(), rgb.size()}}};
    EXPECT_EQ(cm.MakeColorPalette(one, PaletteLayout::Interleaved8By3, 2, false),
              (TPalette{{10, 20, 30}, {40, 50, 60}}));
    EXPECT_EQ(cm.MakeColorPalette(one, PaletteLayout::Interleaved8By3, 2, true),
              (TPalette{{30, 20, 10}, {60, 50, 40}}));

    // Windows palette quads: blue, green, red, reserved; the last reserved byte may be missing.
    const Bytes quads = {1, 2, 3, 99, 4, 5, 6};
    EXPECT_EQ(cm.MakeColorPalette(quads.data(), quads.size(), PaletteLayout::Interleaved8By4, 2, true),
              (TPalette{{3, 2, 1}, {6, 5, 4}}));

    const Bytes r = {1, 2}, g = {3, 4}, b = {5, 6};
    const std::array<TSourcePlane, 3> planes{{{r.data(), 2}, {g.data(), 2}, {b.data(), 2}}};
    EXPECT_EQ(cm.MakeColorPalette(planes, PaletteLayout::Planar8By4, 2, true), (TPalette{{1, 3, 5}, {2, 4, 6}}));

    // 16-bit entries are scaled down, big-endian with SwapBytes.
    const Bytes words = {0xFF, 0xFF, 0x01, 0x01, 0x00, 0xFF};
    const std::array<TSourcePlane, 1> w{{{words.data(), words.size()}}};
    cm.SourceFlags = SwapBytes;
    EXPECT_EQ(cm.MakeColorPalette(w, PaletteLayout::Interleaved16By3, 1, false), (TPalette{{255, 1, 0}}));
    cm.SourceFlags = 0;
    EXPECT_EQ(cm.MakeColorPalette(w, PaletteLayout::Interleaved16By3, 1, false), (TPalette{{255, 1, 254}}));

    cm.TargetFlags = GammaCorrect;
    EXPECT_EQ(cm.MakeColorPalette(one, PaletteLayout::Interleaved8By3, 1, false)[0].Green, cm.GammaTable()[20]);
}

TEST(ColorManager, ColorPaletteIsRefittedToTheTargetDepth) {
    Bytes colours;
    for (std::uint8_t k = 0; k < 16; ++k) colours.insert(colours.end(), {k, static_cast<std::uint8_t>(100 + k), 7});
    const std::array<TSourcePlane, 1> one{{{colours.data(), colours.size()}}};

    TColorManager cm;
    cm.SetSourceDepth(4);
    cm.SetTargetDepth(8);
    const TPalette wide = cm.MakeColorPalette(one, PaletteLayout::Interleaved8By3, 16, false);
    ASSERT_EQ(wide.size(), 256u);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(wide[i].Red, i / 17) << i;
    EXPECT_EQ(wide[17 * 9].Green, 109);

    // Downwards: entry i of a 4-bit target takes colour 17·i of an 8-bit palette.
    Bytes many;
    for (int k = 0; k < 256; ++k) many.insert(many.end(), {static_cast<std::uint8_t>(k), 0, 0});
    const std::array<TSourcePlane, 1> all{{{many.data(), many.size()}}};
    cm.SetSourceDepth(8);
    cm.SetTargetDepth(4);
    const TPalette narrow = cm.MakeColorPalette(all, PaletteLayout::Interleaved8By3, 300, false);
    ASSERT_EQ(narrow.size(), 16u);
    EXPECT_EQ(narrow[15].Red, 255);
    EXPECT_EQ(narrow[3].Red, 51);

    // Missing colours of a short palette are black.
    cm.SetSourceDepth(2);
    cm.SetTargetDepth(8);
    const TPalette sparse = cm.MakeColorPalette(one, PaletteLayout::Interleaved8By3, 2, false);
    EXPECT_EQ(sparse[85].Green, 101);
    EXPECT_EQ(sparse[170], (TRGBEntry{0, 0, 0}));

    // A 16-bit palette index has no entry past 255.
    cm.SetSourceDepth(16);
    const TPalette deep = cm.MakeColorPalette(all, PaletteLayout::Interleaved8By3, 256, false);
    ASSERT_EQ(deep.size(), 256u);
    EXPECT_EQ(deep[1], (TRGBEntry{0, 0, 0}));
}

TEST(ColorManager, ShortPaletteDataIsRefused) {
    TColorManager cm;
    const Bytes rgb(5);
    const std::array<TSourcePlane, 1> one{{{rgb.data(), rgb.size()}}};
    EXPECT_NE(ColorErrorOf([&] { cm.MakeColorPalette(one, PaletteLayout::Interleaved8By3, 2, false); }), "");
    EXPECT_NE(ColorErrorOf([&] { cm.MakeColorPalette(one, PaletteLayout::Planar8By3, 1, false); }), "");
    EXPECT_EQ(cm.MakeColorPalette({}, PaletteLayout::Planar8By3, 0, false).size(), 0u);
}

}  // namespace
