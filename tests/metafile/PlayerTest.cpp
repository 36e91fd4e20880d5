// Hand-built WMF and EMF files: mapping modes, the world transform, saved states, clipping,
// paths, text, bitmaps and objects, each checked at pixels whose colour the records decide.
#include "MetafileBuilders.h"

#include "metafile/Metafile.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

constexpr std::uint32_t Red = 0x0000FF, Green = 0x00FF00, Blue = 0xFF0000, White = 0xFFFFFF, Black = 0;
constexpr std::uint32_t NullPenStock = 0x80000008u;

struct TPlayed {
    TBitmap Bitmap;
    TPlayStatistics Statistics;
    TColor At(int x, int y) const { return Bitmap.Pixel(x, y); }
    // Pixels in [left, right) × [top, bottom) that are not white.
    int Ink(int left, int top, int right, int bottom) const {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) count += Bitmap.Pixel(x, y) != White;
        return count;
    }
};

TPlayed Play(const TBytes& bytes) {
    TPlayed played;
    TMetafileHeader header = ReadMetafileHeader(bytes.data(), bytes.size());
    played.Statistics = PlayMetafile(bytes.data(), bytes.size(), header.Width, header.Height, played.Bitmap);
    return played;
}

// An EMF with a red brush and no pen selected, ready for fills.
TEmfBuilder RedFills() {
    TEmfBuilder emf;
    emf.Brush(1, Red).Select(1).NoPen();
    return emf;
}

TBytes Floats(std::initializer_list<float> values) {
    TBytes b;
    for (float f : values) PutFloat(b, f);
    return b;
}

}  // namespace

TEST(MetafilePlayer, MapsWindowsAndViewportsOfEveryMappingMode) {
    // Placeable, 1000 units per inch over 0..1000: 96 × 96 pixels.
    TWmfBuilder wmf;
    wmf.Window(0, 0, 1000, 1000).Brush(Red).Select(0).Pen(0, 5).Select(1).Rectangle(250, 250, 750, 750);
    TPlayed a = Play(wmf.Placeable(0, 0, 1000, 1000, 1000));
    EXPECT_EQ(a.Bitmap.Width(), 96);
    EXPECT_EQ(a.At(48, 48), Red);
    EXPECT_EQ(a.At(20, 20), White);
    EXPECT_EQ(a.At(76, 76), White);

    // A window with y upwards: the rectangle lands in the lower left quarter.
    TWmfBuilder up;
    up.Window(0, 1000, 1000, -1000).Brush(Red).Select(0).Pen(0, 5).Select(1).Rectangle(0, 0, 500, 500);
    TPlayed b = Play(up.Placeable(0, 0, 1000, 1000, 1000));
    EXPECT_EQ(b.At(20, 70), Red);
    EXPECT_EQ(b.At(20, 20), White);
    EXPECT_EQ(b.At(70, 70), White);

    // MM_LOMETRIC on a 96-dpi device: 127 units (12.7 mm) are 48 pixels, y upwards.
    TPlayed c = Play(RedFills().Record(17, {2}).Rectangle(0, 0, 127, -127).Build(96, 96));
    EXPECT_EQ(c.At(24, 24), Red);
    EXPECT_EQ(c.At(60, 24), White);
    EXPECT_EQ(c.At(24, 60), White);

    // MM_ISOTROPIC keeps the axes alike: a viewport of 96 × 48 for a square window is cut to
    // 48 × 48.
    TPlayed d = Play(
        RedFills().Record(17, {7}).Record(9, {100, 100}).Record(11, {96, 48}).Rectangle(0, 0, 100, 100).Build(96, 96));
    EXPECT_EQ(d.At(24, 24), Red);
    EXPECT_EQ(d.At(70, 24), White);
}

TEST(MetafilePlayer, AppliesTheWorldTransformAndRestoresSavedStates) {
    TEmfBuilder emf = RedFills();
    emf.Record(33, {});                                     // SaveDC
    emf.Record(35, {}, Floats({0.5f, 0, 0, 0.5f, 48, 0}));  // SetWorldTransform
    emf.Rectangle(0, 0, 96, 96);
    emf.Brush(2, Blue).Select(2);
    emf.Record(34, {-1});  // RestoreDC: the transform and the red brush come back
    emf.Rectangle(0, 48, 48, 96);
    TBytes set = Floats({1, 0, 0, 1, 48, 0});
    Put32(set, 4);  // ModifyWorldTransform(MWT_SET)
    emf.Record(36, {}, set).Brush(3, Green).Select(3).Rectangle(0, 60, 20, 96);
    TPlayed played = Play(emf.Build(96, 96));
    EXPECT_EQ(played.At(70, 20), Red);
    EXPECT_EQ(played.At(20, 20), White);
    EXPECT_EQ(played.At(20, 70), Red);
    EXPECT_EQ(played.At(60, 80), Green);
    EXPECT_EQ(played.At(80, 55), White);
}

TEST(MetafilePlayer, ClipsToRectanglesRegionsAndPaths) {
    TPlayed rects = Play(RedFills()
                             .Record(30, {10, 10, 50, 50})  // IntersectClipRect
                             .Record(29, {20, 20, 30, 30})  // ExcludeClipRect
                             .Rectangle(0, 0, 96, 96)
                             .Build(96, 96));
    EXPECT_EQ(rects.At(15, 15), Red);
    EXPECT_EQ(rects.At(25, 25), White);
    EXPECT_EQ(rects.At(60, 60), White);

    // A clip path: the ellipse's inside only.
    TPlayed path = Play(RedFills()
                            .Record(59, {})
                            .Ellipse(0, 0, 96, 96)
                            .Record(60, {})
                            .Record(67, {5})  // SelectClipPath(RGN_COPY)
                            .Rectangle(0, 0, 96, 96)
                            .Build(96, 96));
    EXPECT_EQ(path.At(48, 48), Red);
    EXPECT_EQ(path.At(3, 3), White);
    EXPECT_EQ(path.At(92, 92), White);

    // A region in device units, then a reset; SaveDC/RestoreDC bring a clip back.
    TBytes region;
    for (std::uint32_t v : {32u, 1u, 1u, 16u, 0u, 0u, 48u, 96u, 0u, 0u, 48u, 96u}) Put32(region, v);
    TEmfBuilder emf = RedFills();
    emf.Record(75, {std::int32_t(region.size()), 5}, region);  // ExtSelectClipRgn(RGN_COPY)
    emf.Record(33, {});
    emf.Record(75, {0, 5});  // reset
    emf.Brush(2, Blue).Select(2).Rectangle(0, 0, 96, 96);
    emf.Record(34, {-1});
    emf.Brush(3, Green).Select(3).Rectangle(0, 0, 96, 48);
    TPlayed regions = Play(emf.Build(96, 96));
    EXPECT_EQ(regions.At(20, 20), Green);  // inside the restored clip
    EXPECT_EQ(regions.At(70, 20), Blue);   // outside it: only the unclipped blue reached here
    EXPECT_EQ(regions.At(70, 70), Blue);
}

TEST(MetafilePlayer, FillsPathsByThePolygonFillMode) {
    // A five-pointed star drawn in one figure: its middle is inside twice.
    auto star = [](int fillMode) {
        TEmfBuilder emf = RedFills();
        emf.Record(19, {fillMode});
        emf.Record(59, {});
        emf.Record(27, {48, 0});
        for (auto [x, y] : {std::pair{76, 90}, {2, 34}, {94, 34}, {20, 90}}) emf.Record(54, {x, y});
        emf.Record(61, {}).Record(60, {}).Record(62, {0, 0, 96, 96});  // CloseFigure, EndPath, FillPath
        return Play(emf.Build(96, 96));
    };
    EXPECT_EQ(star(1).At(48, 50), White);  // ALTERNATE
    EXPECT_EQ(star(2).At(48, 50), Red);    // WINDING
    EXPECT_EQ(star(1).At(48, 20), Red);    // a point of the star
}

TEST(MetafilePlayer, DrawsTextAlignedAtItsReferencePoint) {
    // Arial with a character height of 20, black, in an EMF of 192 × 96.
    auto text = [](std::uint32_t align, int x, int y, const std::u16string& chars, std::int32_t options = 0,
                   TBytes dx = {}) {
        TEmfBuilder emf;
        TBytes face = Utf16(u"Arial");
        face.resize(64, 0);
        emf.Record(82, {1, -20, 0, 0, 0, 400, 0}, face);
        emf.Select(1).Record(22, {std::int32_t(align)}).Record(18, {1});  // transparent background
        emf.Record(25, {std::int32_t(Green)});
        TBytes string = Utf16(chars);
        std::int32_t offString = 76, offDx = dx.empty() ? 0 : offString + std::int32_t(string.size());
        string.insert(string.end(), dx.begin(), dx.end());
        emf.Record(84,
                   {0, 0, 0, 0, 1, 0, 0, x, y, std::int32_t(chars.size()), offString, options, 10, 60, 180, 90, offDx},
                   string);
        return Play(emf.Build(192, 96));
    };
    TPlayed top = text(0, 20, 30, u"HHHH");  // TA_TOP | TA_LEFT
    EXPECT_GT(top.Ink(20, 30, 80, 50), 100);
    EXPECT_EQ(top.Ink(0, 0, 192, 30), 0);
    EXPECT_EQ(top.Ink(0, 0, 19, 96), 0);
    // The ink of four H of Arial: 4 advances of 0.722 em less the last one's right bearing.
    int right = 0;
    for (int x = 0; x < 192; ++x)
        if (top.Ink(x, 30, x + 1, 50)) right = x;
    EXPECT_NEAR(right, 20 + 3 * 14.4 + 13, 2);

    TPlayed baseline = text(24, 20, 50, u"HHHH");  // TA_BASELINE: ink above the point
    EXPECT_GT(baseline.Ink(20, 30, 80, 50), 100);
    EXPECT_EQ(baseline.Ink(0, 51, 192, 96), 0);
    TPlayed rightAligned = text(2, 100, 30, u"HHHH");  // TA_RIGHT: ink left of the point
    EXPECT_GT(rightAligned.Ink(40, 30, 100, 50), 100);
    EXPECT_EQ(rightAligned.Ink(101, 0, 192, 96), 0);

    // Advances of 40: the letters spread out.
    TBytes dx;
    for (int i = 0; i < 4; ++i) Put32(dx, 40);
    TPlayed spread = text(0, 20, 30, u"HHHH", 0, dx);
    EXPECT_GT(spread.Ink(140, 30, 180, 50), 20);
    // An opaque rectangle takes the background colour, text or not.
    TPlayed opaque = text(0, 20, 30, u"", 2 /* ETO_OPAQUE */);
    EXPECT_EQ(opaque.At(15, 65), Green);
    EXPECT_EQ(opaque.At(5, 65), White);
}

TEST(MetafilePlayer, DrawsDeviceIndependentBitmaps) {
    // A 2 × 2 bitmap, bottom row first: red, green; then blue, yellow.
    auto dib = [](bool topDown) {
        TBytes info;
        for (std::uint32_t v : {40u, 2u, topDown ? std::uint32_t(-2) : 2u}) Put32(info, v);
        Put16(info, 1);
        Put16(info, 24);
        for (int i = 0; i < 6; ++i) Put32(info, 0);
        TBytes bits = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 0, 0};
        return std::pair{info, bits};
    };
    auto stretch = [&](bool topDown, int sx, int sy, int sw, int sh) {
        auto [info, bits] = dib(topDown);
        TBytes data = info;
        data.insert(data.end(), bits.begin(), bits.end());
        TEmfBuilder emf;
        // StretchDIBits onto the whole picture.
        emf.Record(81, {0, 0, 95, 95, 0, 0, sx, sy, sw, sh, 80, 40, 120, 16, 0, 0x00CC0020, 96, 96}, data);
        return Play(emf.Build(96, 96));
    };
    TPlayed bottomUp = stretch(false, 0, 0, 2, 2);
    EXPECT_EQ(bottomUp.At(20, 20), Blue);
    EXPECT_EQ(bottomUp.At(70, 20), 0x00FFFF);  // yellow
    EXPECT_EQ(bottomUp.At(20, 70), Red);
    EXPECT_EQ(bottomUp.At(70, 70), Green);
    TPlayed topDown = stretch(true, 0, 0, 2, 2);
    EXPECT_EQ(topDown.At(20, 20), Red);
    EXPECT_EQ(topDown.At(70, 70), 0x00FFFF);
    // Source rows count from the bottom of a bottom-up bitmap: row 0 is the red-green one.
    TPlayed corner = stretch(false, 1, 0, 1, 1);
    EXPECT_EQ(corner.At(48, 48), Green);

    // A WMF DIBSTRETCHBLT of a two-colour bitmap with its own palette, and a DSTINVERT PatBlt.
    TBytes mono;
    for (std::uint32_t v : {40u, 2u, 1u}) Put32(mono, v);
    Put16(mono, 1);
    Put16(mono, 1);
    for (int i = 0; i < 6; ++i) Put32(mono, 0);
    for (std::uint32_t c : {0x000000FFu, 0x00FF0000u}) Put32(mono, c);  // blue, red (B, G, R, 0)
    Put32(mono, 0x40u);                                                 // pixels 0, 1
    TWmfBuilder wmf;
    wmf.Window(0, 0, 96, 96).Record(0x0B41, {0x0020, 0x00CC, 1, 2, 0, 0, 48, 96, 0, 0}, mono);
    wmf.Record(0x061D, {0x0009, 0x0055, 48, 48, 48, 48});  // DSTINVERT on the lower right
    TPlayed blit = Play(wmf.Placeable(0, 0, 96, 96, 96));
    EXPECT_EQ(blit.At(20, 20), Blue);
    EXPECT_EQ(blit.At(70, 20), Red);
    EXPECT_EQ(blit.At(70, 70), Black);  // white inverted
}

TEST(MetafilePlayer, DrawsWithHatchesPatternsStylesPalettesAndRop2) {
    // A hatched brush (HS_CROSS) on a transparent background shows its lines and the canvas.
    TEmfBuilder hatch;
    hatch.Record(18, {1}).Brush(1, Blue, 2, 4).Select(1).NoPen().Rectangle(0, 0, 96, 96);
    TPlayed hatched = Play(hatch.Build(96, 96));
    int blue = 0;
    for (int x = 0; x < 16; ++x) blue += hatched.At(x, 7) == Blue;
    EXPECT_EQ(blue, 16);
    EXPECT_EQ(hatched.At(3, 3), White);

    // A dashed cosmetic pen leaves gaps; an opaque background fills them.
    auto dashed = [](int mode) {
        TEmfBuilder emf;
        emf.Record(18, {mode}).Record(25, {std::int32_t(Green)}).Pen(1, Red, 1).Select(1);
        emf.Record(27, {0, 40}).Record(54, {96, 40});
        return Play(emf.Build(96, 96));
    };
    TPlayed transparent = dashed(1), opaque = dashed(2);
    int red = 0, white = 0, green = 0;
    for (int x = 0; x < 96; ++x) {
        red += transparent.At(x, 40) == Red;
        white += transparent.At(x, 40) == White;
        green += opaque.At(x, 40) == Green;
    }
    EXPECT_GT(red, 50);
    EXPECT_GT(white, 15);
    EXPECT_EQ(green, white);

    // A palette index colour, and R2_NOT inverting what is there.
    TBytes palette;
    Put16(palette, 0x300);
    Put16(palette, 2);
    for (std::uint32_t c : {Red, Green}) Put32(palette, c);
    TEmfBuilder emf;
    emf.Record(49, {2}, palette).Record(48, {2});  // CreatePalette, SelectPalette
    emf.Brush(1, 0x01000001u).Select(1).NoPen().Rectangle(0, 0, 48, 96);
    emf.Record(20, {6}).Rectangle(0, 48, 96, 96);  // R2_NOT
    TPlayed played = Play(emf.Build(96, 96));
    EXPECT_EQ(played.At(20, 20), Green);
    EXPECT_EQ(played.At(20, 70), 0xFF00FF);  // green inverted
    EXPECT_EQ(played.At(70, 70), Black);     // white inverted
    EXPECT_EQ(played.At(70, 20), White);
}

TEST(MetafilePlayer, SizesPlainWmfByItsWindowAndDrawsWithRegions) {
    TWmfBuilder wmf;
    wmf.Window(0, 0, 120, 80).Brush(Red);
    // A region of two rectangles: (10,10)-(40,40) and (50,10)-(70,30).
    TBytes scans;
    for (int v : {2, 10, 30, 10, 40, 2}) Put16(scans, v);
    for (int v : {4, 30, 40, 10, 40, 50, 70, 4}) Put16(scans, v);
    std::initializer_list<int> head = {0, 6, 0, 0, int(scans.size()) + 22, 2, 4, 10, 10, 70, 40};
    wmf.Record(0x06FF, head, scans);
    wmf.Record(0x0228, {1, 0});  // FillRegion(region 1, brush 0)
    TPlayed played = Play(wmf.Plain());
    EXPECT_EQ(played.Bitmap.Width(), 120);
    EXPECT_EQ(played.Bitmap.Height(), 80);
    EXPECT_EQ(played.At(20, 20), Red);
    EXPECT_EQ(played.At(60, 20), White);  // the second scan has one rectangle only
    EXPECT_EQ(played.At(60, 35), Red);
    EXPECT_EQ(played.At(20, 35), Red);
    EXPECT_EQ(played.At(45, 20), White);
}

TEST(MetafilePlayer, DrawsLargePicturesInBandsThatJoinSeamlessly) {
    // 8192 × 4200 pixels take three bands of 2048 rows: a horizontal hatch (HS_HORIZONTAL, a
    // line every eighth row) and a rectangle cross the band edges without a seam.
    TEmfBuilder emf;
    // A comment of 4 KB makes the file large enough for such a canvas.
    emf.Record(70, {4096}, TBytes(4096, 0));
    emf.Record(18, {1}).Brush(1, Blue, 2, 0).Select(1).NoPen().Rectangle(0, 0, 100, 4200);
    emf.Brush(2, Red).Select(2).Rectangle(200, 1000, 300, 4100);
    TPlayed played = Play(emf.Build(8192, 4200));
    ASSERT_EQ(played.Bitmap.Height(), 4200);
    for (int y : {2040, 2047, 2048, 2055, 4095, 4103})
        EXPECT_EQ(played.At(50, y), y % 8 == 7 ? Blue : White) << "row " << y;
    for (int y : {1000, 2047, 2048, 4095, 4096, 4099}) EXPECT_EQ(played.At(250, y), Red) << "row " << y;
    EXPECT_EQ(played.At(250, 4100), White);
}

TEST(MetafilePlayer, DrawsArcsCounterclockwiseAndPiesFromTheirCentre) {
    // A pie from the right-hand radial to the top one: counterclockwise, that is the upper
    // right quarter; clockwise (SetArcDirection) the other three.
    auto pie = [](int direction) {
        TEmfBuilder emf = RedFills();
        emf.Record(57, {direction});
        emf.Record(47, {0, 0, 96, 96, 96, 48, 48, 0});
        return Play(emf.Build(96, 96));
    };
    TPlayed counterclockwise = pie(1), clockwise = pie(2);
    EXPECT_EQ(counterclockwise.At(70, 26), Red);
    EXPECT_EQ(counterclockwise.At(26, 26), White);
    EXPECT_EQ(counterclockwise.At(70, 70), White);
    EXPECT_EQ(clockwise.At(70, 26), White);
    EXPECT_EQ(clockwise.At(26, 26), Red);
    EXPECT_EQ(clockwise.At(70, 70), Red);
    // With y upwards (MM_LOMETRIC) counterclockwise is still counterclockwise on the picture.
    TEmfBuilder up = RedFills();
    up.Record(17, {2}).Record(12, {0, 96});  // the viewport origin at the bottom
    up.Record(47, {0, 0, 254, 254, 254, 127, 127, 254});
    TPlayed lometric = Play(up.Build(96, 96));
    EXPECT_EQ(lometric.At(70, 26), Red);
    EXPECT_EQ(lometric.At(26, 70), White);
}

TEST(MetafilePlayer, BlendsShadesAndMasksBitmaps) {
    // A 1 × 1 DIB of 32 bits: B, G, R, A.
    auto dib32 = [](std::uint32_t pixel) {
        TBytes data;
        for (std::uint32_t v : {40u, 1u, 1u}) Put32(data, v);
        Put16(data, 1);
        Put16(data, 32);
        for (int i = 0; i < 6; ++i) Put32(data, 0);
        Put32(data, pixel);
        return data;
    };
    TEmfBuilder emf;
    // AlphaBlend of half-transparent blue (premultiplied) over the left half, AC_SRC_ALPHA:
    // identity source transform, the DIB at 108 and its bits at 148.
    TBytes blend = Floats({1, 0, 0, 1, 0, 0});
    for (std::uint32_t v : {0u, 0u, 108u, 40u, 148u, 4u, 1u, 1u}) Put32(blend, v);
    TBytes half = dib32(0x80000080u);
    blend.insert(blend.end(), half.begin(), half.end());
    emf.Record(114, {0, 0, 47, 95, 0, 0, 48, 96, std::int32_t(0x01FF0000), 0, 0}, blend);
    // GradientFill, a rectangle shaded downwards from red to green over the right half's top.
    TBytes shade;
    for (auto [x, y, red, green] : {std::tuple{48, 0, 0xFF00, 0}, std::tuple{96, 48, 0, 0xFF00}}) {
        Put32(shade, std::uint32_t(x));
        Put32(shade, std::uint32_t(y));
        for (int c : {red, green, 0, 0}) Put16(shade, c);
    }
    Put32(shade, 0);
    Put32(shade, 1);
    emf.Record(118, {0, 0, 96, 48, 2, 1, 1}, shade);
    // The sprite trick of old clip art over the right half's bottom: the picture with
    // SRCINVERT, its mask (black where the sprite is) with SRCAND, the picture again.
    for (auto [pixel, rop] :
         {std::pair{0x00FF0000u, 0x00660046u}, {0x00000000u, 0x008800C6u}, {0x00FF0000u, 0x00660046u}}) {
        emf.Record(81, {0, 0, 95, 95, 48, 48, 0, 0, 1, 1, 80, 40, 120, 4, 0, std::int32_t(rop), 48, 48}, dib32(pixel));
    }
    TPlayed played = Play(emf.Build(96, 96));
    EXPECT_NEAR(BlueOf(played.At(20, 50)), 255, 2);
    EXPECT_NEAR(RedOf(played.At(20, 50)), 127, 2);  // white under half-covering blue
    EXPECT_GT(RedOf(played.At(60, 2)), 200);
    EXPECT_LT(GreenOf(played.At(60, 2)), 60);
    EXPECT_GT(GreenOf(played.At(60, 45)), 200);
    EXPECT_EQ(played.At(70, 70), Red);
}
