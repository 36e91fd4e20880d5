#include "TestPictures.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TPixelBuffer> Uniform(TPixel24 pixel) {
    auto picture = TPixelBuffer::Create(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) picture->SetPixel(x, y, pixel);
    return picture;
}

}  // namespace

TEST(ColorEffects, ColorToPixelTakesRedFromTheLowByte) {
    EXPECT_EQ(ColorToPixel(0x00332211), (TPixel24{0x33, 0x22, 0x11}));
    EXPECT_EQ(ColorToPixel(0x80332211), (TPixel24{0x33, 0x22, 0x11}));
}

TEST(ColorEffects, EnlightenMixesTenPercentWhite) {
    auto picture = Uniform({0, 0, 255});
    Enlighten(*picture);
    EXPECT_EQ(picture->GetPixel(2, 1), (TPixel24{26, 26, 255}));
    Enlighten(*picture);
    EXPECT_EQ(picture->GetPixel(0, 0), (TPixel24{49, 49, 255}));
}

TEST(ColorEffects, EndarkenMixesTenPercentBlack) {
    auto picture = Uniform({255, 5, 0});
    Endarken(*picture);
    EXPECT_EQ(picture->GetPixel(1, 1), (TPixel24{229, 4, 0}));
}

TEST(ColorEffects, MixWithColorTakesThirtyPercent) {
    auto picture = Uniform({0, 0, 0});
    MixWithColor(*picture, RGBColor(255, 0, 0));
    // 0.3 as a double lies just below 0.3, so 76.5 comes out 76.
    EXPECT_EQ(picture->GetPixel(0, 1), (TPixel24{0, 0, 76}));
    auto grey = Uniform({100, 100, 100});
    MixWithColor(*grey, RGBColor(0, 200, 255));
    EXPECT_EQ(grey->GetPixel(0, 0), (TPixel24{146, 130, 70}));
}

TEST(ColorEffects, GammaWorkedValues) {
    auto bright = Uniform({128, 0, 255});
    ApplyGamma(*bright, 2.5f);
    EXPECT_EQ(bright->GetPixel(0, 0), (TPixel24{194, 0, 255}));
    auto dark = Uniform({128, 0, 255});
    ApplyGamma(*dark, 0.1f);
    EXPECT_EQ(dark->GetPixel(0, 0), (TPixel24{0, 0, 255}));
}

TEST(ColorEffects, GammaOneIsTheIdentityAndEndsStayPut) {
    auto picture = TPixelBuffer::Create(256, 1);
    for (int x = 0; x < 256; ++x) {
        const auto v = static_cast<std::uint8_t>(x);
        picture->SetPixel(x, 0, TPixel24{v, v, v});
    }
    const auto ramp = PixelBytes(*picture);
    ApplyGamma(*picture, 1.0f);
    EXPECT_EQ(PixelBytes(*picture), ramp);
    for (float gamma = 0.1f; gamma <= 2.5f; gamma += 0.1f) {
        auto copy = TPixelBuffer::CreateCopy(*picture);
        ApplyGamma(*copy, gamma);
        EXPECT_EQ(copy->GetPixel(0, 0).Red, 0) << gamma;
        EXPECT_EQ(copy->GetPixel(255, 0).Red, 255) << gamma;
        for (int x = 1; x < 256; ++x) ASSERT_LE(copy->GetPixel(x - 1, 0).Red, copy->GetPixel(x, 0).Red) << gamma;
    }
    // Gammas below 0.1, zero included, cap the exponent at 10 instead of dividing by zero.
    auto capped = TPixelBuffer::CreateCopy(*picture);
    ApplyGamma(*capped, 0.0f);
    EXPECT_EQ(capped->GetPixel(128, 0).Red, 0);
    EXPECT_EQ(capped->GetPixel(255, 0).Red, 255);
}
