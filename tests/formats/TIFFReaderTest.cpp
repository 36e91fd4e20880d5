// The TIFF reader on small files written field by field: tags, byte orders, layouts, and files
// whose sizes and offsets do not hold together.
#include "formats/TIFFGraphic.h"

#include "TestSupport.h"
#include "TiffBuilder.h"
#include "formats/ReaderStrings.h"
#include "platform/Exception.h"
#include "platform/PictureFiles.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

namespace fs = std::filesystem;

namespace {

using B = TTiffBuilder;

const std::string InvalidTIFF = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";
const std::string UnsupportedCompression =
    "Cannot load image. The compression scheme is not supported for TIF/TIFF files.";

TBgrImage Load(const TBytes& bytes, TTIFFGraphic& graphic) {
    TMemoryStream stream(bytes);
    graphic.LoadFromStream(stream);
    return ToBgr(graphic);
}

TBgrImage Load(const TBytes& bytes) {
    TTIFFGraphic graphic;
    return Load(bytes, graphic);
}

// The message of the exception a load raises; "" when it succeeds.
std::string LoadError(const TBytes& bytes) {
    try {
        Load(bytes);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

// A 3 x 4 RGB picture whose every sample differs.
TBytes RgbSamples() {
    TBytes samples;
    for (int i = 0; i < 3 * 4 * 3; ++i) samples.push_back(static_cast<std::uint8_t>(i * 7 + 1));
    return samples;
}

TBytes Slice(const TBytes& bytes, std::size_t from, std::size_t count) {
    return TBytes(bytes.begin() + from, bytes.begin() + std::min(bytes.size(), from + count));
}

// Three RGB strips of 2, 2 and 0 rows in the given byte order.
TBytes RgbFile(bool big) {
    const TBytes samples = RgbSamples();
    B b(big);
    b.Basic(3, 4, 8, 3, 2).Set(278, B::Short, {2});
    b.AddStrip(Slice(samples, 0, 18)).AddStrip(Slice(samples, 18, 18));
    return b.Build();
}

void ExpectRgbSamples(const TBgrImage& image) {
    const TBytes samples = RgbSamples();
    ASSERT_EQ(image.Width, 3);
    ASSERT_EQ(image.Height, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x) {
            const std::uint8_t* s = &samples[(y * 3 + x) * 3];
            EXPECT_EQ(image.At(x, y), RGBColor(s[0], s[1], s[2])) << x << "," << y;
        }
}

TBytes Deflate(const TBytes& data) {
    uLongf size = compressBound(data.size());
    TBytes out(size);
    compress(out.data(), &size, data.data(), data.size());
    out.resize(size);
    return out;
}

}  // namespace

TEST(TIFFReader, ContentTestLooksAtTheHeaderOnly) {
    const TBytes file = RgbFile(false);
    TMemoryStream stream(file);
    stream.SetPosition(0);
    EXPECT_TRUE(TTIFFGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    TBytes wrongVersion = file;
    wrongVersion[2] = 43;
    TMemoryStream other(wrongVersion);
    EXPECT_FALSE(TTIFFGraphic::CanLoadStream(other));
    // The first directory must start inside the stream; exactly 8 bytes are not enough.
    TBytes header = Slice(file, 0, 8);
    TMemoryStream shortStream(header);
    EXPECT_FALSE(TTIFFGraphic::CanLoadStream(shortStream));
    header.push_back(0);
    header[4] = 100;
    TMemoryStream pastEnd(header);
    EXPECT_FALSE(TTIFFGraphic::CanLoadStream(pastEnd));
}

TEST(TIFFReader, BothByteOrdersGiveTheSamePicture) {
    ExpectRgbSamples(Load(RgbFile(false)));
    ExpectRgbSamples(Load(RgbFile(true)));
}

TEST(TIFFReader, ShortPairInsideTheValueFieldOfABigEndianFile) {
    B b(true);
    b.Basic(2, 2, 8, 3, 6).Set(530, B::Short, {2, 1}).AddStrip(TBytes(12, 128));
    TTIFFGraphic graphic;
    TMemoryStream stream(b.Build());
    ASSERT_TRUE(graphic.ReadProperties(stream, 0));
    EXPECT_EQ(graphic.ImageProperties.YCbCrSubSampling, (TByteArray{2, 1}));
    EXPECT_EQ(graphic.ImageProperties.ColorScheme, ColorScheme::YCbCr);
    EXPECT_TRUE(graphic.ImageProperties.Options & BigEndian);
}

TEST(TIFFReader, PropertiesOfTheDirectory) {
    B b;
    b.Basic(5, 7, 8, 1, 1).Set(282, B::Rational, {100, 1}).Set(283, B::Rational, {300, 2}).Set(296, B::Short, {3});
    b.Set(317, B::Short, {2}).Set(266, B::Short, {2}).Set(284, B::Short, {1});
    b.AddStrip(TBytes(35, 0));
    TTIFFGraphic graphic;
    TMemoryStream stream(b.Build());
    ASSERT_TRUE(graphic.ReadProperties(stream, 0));
    const TImageProperties& p = graphic.ImageProperties;
    EXPECT_EQ(p.Version, 42u);
    EXPECT_EQ(p.FirstIFD, 44u);  // after the strip
    EXPECT_EQ(p.Width, 5u);
    EXPECT_EQ(p.Height, 7u);
    // Centimetres become inches.
    EXPECT_FLOAT_EQ(p.XResolution, 254.0f);
    EXPECT_FLOAT_EQ(p.YResolution, 381.0f);
    // RowsPerStrip absent: one strip of the whole height.
    EXPECT_EQ(p.RowsPerStrip, (TCardinalArray{7}));
    EXPECT_EQ(p.Predictor, 2u);
    EXPECT_EQ(p.PlanarConfig, 1u);
    EXPECT_TRUE(p.Options & ReversedBits);
    EXPECT_EQ(p.Compression, CompressionKind::None);
    EXPECT_EQ(p.BitsPerPixel, 8);
    EXPECT_EQ(p.JPEGTablesMode, 3u);
    EXPECT_FLOAT_EQ(p.FileGamma, 1.0f);

    // Zero rows per strip would leave every strip empty: read as the whole height.
    b.Set(278, B::Long, {0});
    TMemoryStream zeroRows(b.Build());
    ASSERT_TRUE(graphic.ReadProperties(zeroRows, 0));
    EXPECT_EQ(graphic.ImageProperties.RowsPerStrip, (TCardinalArray{7}));
}

TEST(TIFFReader, ImageIndexWalksTheChainAndStopsAtLoops) {
    B second;
    second.Basic(9, 1, 8, 1, 1).AddStrip(TBytes(9, 0));
    B first;
    first.Basic(4, 1, 8, 1, 1).AddStrip(TBytes(4, 0)).Next(second);
    const TBytes file = first.Build();
    TTIFFGraphic graphic;
    TMemoryStream stream(file);
    ASSERT_TRUE(graphic.ReadProperties(stream, 1));
    EXPECT_EQ(graphic.ImageProperties.Width, 9u);
    EXPECT_FALSE(graphic.ReadProperties(stream, 2));
    EXPECT_EQ(graphic.ImageProperties.Width, 0u);
    // LoadFromStream always takes the first directory.
    stream.SetPosition(0);
    graphic.LoadFromStream(stream);
    EXPECT_EQ(graphic.Width(), 4);

    // The last directory links back to the first one: any index beyond it answers false.
    B looped;
    looped.Basic(4, 1, 8, 1, 1).AddStrip(TBytes(4, 0)).LinkLastTo(0);
    TBytes loop = looped.Build();
    const std::uint32_t directory = loop[4];
    B again;
    again.Basic(4, 1, 8, 1, 1).AddStrip(TBytes(4, 0)).LinkLastTo(directory);
    loop = again.Build();
    TMemoryStream loopStream(loop);
    EXPECT_TRUE(graphic.ReadProperties(loopStream, 0));
    EXPECT_FALSE(graphic.ReadProperties(loopStream, 1));
    EXPECT_FALSE(graphic.ReadProperties(loopStream, 4000000000u));
}

TEST(TIFFReader, WhiteIsZeroBilevelHasWhiteFirst) {
    B b;
    b.Basic(8, 1, 1, 1, 0).AddStrip({0x0F});
    TTIFFGraphic graphic;
    const TBgrImage image = Load(b.Build(), graphic);
    EXPECT_EQ(graphic.PixelFormat(), TPixelFormat::pf1bit);
    ASSERT_GE(graphic.Palette().size(), 2u);
    EXPECT_EQ(graphic.Palette()[0], (TRGBEntry{255, 255, 255}));
    EXPECT_EQ(image.At(0, 0), RGBColor(255, 255, 255));
    EXPECT_EQ(image.At(7, 0), RGBColor(0, 0, 0));
}

TEST(TIFFReader, ExtraSamplesDecideAlpha) {
    TBytes pixels = {10, 20, 30, 40, 50, 60, 70, 80};
    B b;
    b.Basic(2, 1, 8, 4, 2).Set(338, B::Short, {2}).AddStrip(pixels);
    TTIFFGraphic graphic;
    const TBgrImage image = Load(b.Build(), graphic);
    EXPECT_TRUE(graphic.ImageProperties.HasAlpha);
    EXPECT_EQ(graphic.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(image.At(1, 0), RGBColor(50, 60, 70));
    EXPECT_EQ(graphic.ScanLine(0)[3], 40);

    b.Set(338, B::Short, {3});
    TTIFFGraphic other;
    TMemoryStream stream(b.Build());
    ASSERT_TRUE(other.ReadProperties(stream, 0));
    EXPECT_FALSE(other.ImageProperties.HasAlpha);
}

TEST(TIFFReader, TiledImageLoadsEmpty) {
    B b;
    b.Basic(16, 16, 8, 1, 1).Set(322, B::Short, {16}).Set(323, B::Short, {16}).AddStrip(TBytes(256, 9));
    TTIFFGraphic graphic;
    TMemoryStream stream(b.Build());
    EXPECT_NO_THROW(graphic.LoadFromStream(stream));
    EXPECT_TRUE(graphic.Empty());
    EXPECT_TRUE(graphic.ImageProperties.Options & Tiled);
}

TEST(TIFFReader, UnsupportedCompressions) {
    for (std::uint32_t compression : {4u, 6u, 32766u, 32908u, 34661u, 12345u}) {
        B b;
        b.Basic(8, 1, 1, 1, 0).Set(259, B::Short, {compression}).AddStrip({0, 0});
        EXPECT_EQ(LoadError(b.Build()), UnsupportedCompression) << compression;
    }
    // Two-dimensionally coded Group 3 data.
    B twoD;
    twoD.Basic(8, 1, 1, 1, 0).Set(259, B::Short, {3}).Set(292, B::Long, {1}).AddStrip({0, 1});
    EXPECT_EQ(LoadError(twoD.Build()), UnsupportedCompression);
    // Old-style LZW: codes least significant bit first, the clear code as 0x00, 0x01.
    B oldLzw;
    oldLzw.Basic(2, 1, 8, 1, 1).Set(259, B::Short, {5}).AddStrip({0x00, 0x01, 0x40, 0x20});
    EXPECT_EQ(LoadError(oldLzw.Build()), UnsupportedCompression);
}

TEST(TIFFReader, InvalidHeadersAndSizes) {
    B noWidth;
    noWidth.Basic(0, 1, 8, 1, 1).AddStrip({0});
    EXPECT_EQ(LoadError(noWidth.Build()), InvalidTIFF);
    B noStrips;
    noStrips.Basic(2, 1, 8, 1, 1);
    EXPECT_EQ(LoadError(noStrips.Build()), InvalidTIFF);
    EXPECT_EQ(LoadError({'I', 'I', 43, 0, 8, 0, 0, 0, 0, 0}), InvalidTIFF);
    EXPECT_EQ(LoadError({'X', 'Y', 42, 0, 8, 0, 0, 0, 0, 0}), InvalidTIFF);
    // A directory whose entries run past the end of the file.
    EXPECT_EQ(LoadError({'I', 'I', 42, 0, 8, 0, 0, 0, 200, 0, 1, 1}), InvalidTIFF);
    EXPECT_EQ(LoadError({'I', 'I', 42, 0, 8, 0, 0, 0}), InvalidTIFF);

    // More pixels than any file can describe, refused before allocation.
    B huge;
    huge.Basic(100000, 100000, 8, 3, 2).AddStrip({1, 2, 3});
    EXPECT_NE(LoadError(huge.Build()).find("too large"), std::string::npos);
    B wide;
    wide.Basic(4000000000u, 1, 8, 1, 1).AddStrip({1});
    EXPECT_NE(LoadError(wide.Build()).find("too large"), std::string::npos);
}

TEST(TIFFReader, SampleLayoutsTheConvertersCannotTakeAreRefused) {
    // 12-bit gray, RGB with one sample, CMYK with three, gray with three, separate 4-bit planes.
    B twelve;
    twelve.Basic(2, 1, 12, 1, 1).AddStrip({1, 2, 3});
    EXPECT_EQ(LoadError(twelve.Build()), InvalidTIFF);
    B thinRgb;
    thinRgb.Basic(2, 1, 8, 1, 2).AddStrip({1, 2});
    EXPECT_EQ(LoadError(thinRgb.Build()), InvalidTIFF);
    B thinCmyk;
    thinCmyk.Basic(2, 1, 8, 3, 5).AddStrip(TBytes(6, 0));
    EXPECT_EQ(LoadError(thinCmyk.Build()), InvalidTIFF);
    B wideGray;
    wideGray.Basic(2, 1, 8, 3, 1).AddStrip(TBytes(6, 0));
    EXPECT_EQ(LoadError(wideGray.Build()), InvalidTIFF);
    B planar4;
    planar4.Basic(2, 1, 4, 3, 2).Set(284, B::Short, {2}).AddStrip({0}).AddStrip({0}).AddStrip({0});
    EXPECT_EQ(LoadError(planar4.Build()), InvalidTIFF);
    B planarJpeg;
    planarJpeg.Basic(2, 1, 8, 3, 6).Set(259, B::Short, {7}).Set(284, B::Short, {2});
    planarJpeg.AddStrip({0xFF, 0xD8}).AddStrip({0xFF, 0xD8}).AddStrip({0xFF, 0xD8});
    EXPECT_EQ(LoadError(planarJpeg.Build()), InvalidTIFF);
    // Fax data is bilevel, ThunderScan data 4-bit gray.
    B grayFax;
    grayFax.Basic(8, 1, 8, 1, 0).Set(259, B::Short, {3}).AddStrip({0, 1, 0x76});
    EXPECT_EQ(LoadError(grayFax.Build()), InvalidTIFF);
    B thunder8;
    thunder8.Basic(2, 1, 8, 1, 1).Set(259, B::Short, {32809}).AddStrip({0xC5, 0x01});
    EXPECT_EQ(LoadError(thunder8.Build()), InvalidTIFF);
    // Depths above 16 and an unknown photometric interpretation end in the colour manager's errors.
    B float64;
    float64.Basic(1, 1, 64, 1, 1).AddStrip(TBytes(8, 0));
    EXPECT_EQ(LoadError(float64.Build()), "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.");
    B logLuv;
    logLuv.Basic(1, 1, 8, 3, 32844).AddStrip(TBytes(3, 0));
    EXPECT_EQ(LoadError(logLuv.Build()), "Color conversion failed. Could not find a proper method.");
}

TEST(TIFFReader, StripsOutsideTheFileLeaveRowsBlank) {
    const TBytes samples = RgbSamples();
    B b;
    b.Basic(3, 4, 8, 3, 2).Set(278, B::Short, {2}).AddStrip(Slice(samples, 0, 18));
    // The first strip starts at offset 8, right after the header; the second lies far beyond.
    b.Set(273, B::Long, {8, 0xFFFFFF00u}).Set(279, B::Long, {18, 18});
    const TBgrImage image = Load(b.Build());
    ASSERT_EQ(image.Height, 4);
    EXPECT_EQ(image.At(0, 0), RGBColor(samples[0], samples[1], samples[2]));
    EXPECT_EQ(image.At(2, 3), RGBColor(0, 0, 0));

    // Byte counts far beyond the file are cut at its end; a missing count means "to the end".
    B packbits;
    packbits.Basic(4, 2, 8, 1, 1).Set(259, B::Short, {32773}).Set(278, B::Short, {1});
    packbits.AddStrip({0xFD, 7}).AddStrip({0xFD, 9});
    packbits.Set(279, B::Long, {0x7FFFFFFF});
    const TBgrImage cut = Load(packbits.Build());
    EXPECT_EQ(cut.At(3, 0), RGBColor(7, 7, 7));
    EXPECT_EQ(cut.At(3, 1), RGBColor(9, 9, 9));
}

TEST(TIFFReader, FieldValuesOutsideTheFileCountAsAbsent) {
    B b;
    b.Basic(2, 2, 8, 1, 3).AddStrip({1, 2, 3, 4});
    b.SetRaw(278, B::Long, 1000, 0x7FFFFFF0);  // rows per strip far away: the whole height
    b.SetRaw(320, B::Short, 0x40000000, 16);   // a colour map larger than the file
    TTIFFGraphic graphic;
    const TBgrImage image = Load(b.Build(), graphic);
    EXPECT_EQ(graphic.ImageProperties.RowsPerStrip, (TCardinalArray{2}));
    EXPECT_EQ(image.At(1, 1), RGBColor(4, 4, 4));
}

TEST(TIFFReader, PalettesOfBothByteOrdersAndLargeColourMaps) {
    for (bool big : {false, true}) {
        std::vector<std::uint32_t> map(3 * 16, 0);
        for (std::uint32_t i = 0; i < 16; ++i) {
            map[i] = i * 4096 + 255;  // red
            map[16 + i] = 65535 - i * 4096;
            map[32 + i] = 257 * 7;
        }
        B b(big);
        b.Basic(4, 1, 4, 1, 3).Set(320, B::Short, map).AddStrip({0x01, 0xEF});
        TTIFFGraphic graphic;
        const TBgrImage image = Load(b.Build(), graphic);
        EXPECT_EQ(graphic.PixelFormat(), TPixelFormat::pf4bit);
        EXPECT_EQ(image.At(1, 0), RGBColor(16, 239, 7)) << big;
        EXPECT_EQ(image.At(3, 0), RGBColor(240, 15, 7)) << big;
    }
    // 16-bit indices with a map of 3 x 65536 values, far more than 768.
    std::vector<std::uint32_t> map(3 * 65536, 0);
    for (std::uint32_t i = 0; i < 65536; ++i) map[i] = i;
    B b;
    b.Basic(2, 1, 16, 1, 3).Set(320, B::Short, map).AddStrip({0, 0, 0xFF, 0xFF});
    TBgrImage image;
    EXPECT_NO_THROW(image = Load(b.Build()));
    EXPECT_EQ(image.Width, 2);
    // Without a colour map the indices show as gray levels.
    B noMap;
    noMap.Basic(2, 1, 8, 1, 3).AddStrip({0, 255});
    const TBgrImage gray = Load(noMap.Build());
    EXPECT_EQ(gray.At(1, 0), RGBColor(255, 255, 255));
}

TEST(TIFFReader, GrayDepthsAndAlpha) {
    // 2-bit gray is widened into a 4-bit bitmap: 0, 1, 2, 3 become 0, 85, 170, 255.
    B two;
    two.Basic(4, 1, 2, 1, 1).AddStrip({0x1B});
    TTIFFGraphic graphic;
    const TBgrImage image = Load(two.Build(), graphic);
    EXPECT_EQ(graphic.PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(image.At(0, 0), RGBColor(0, 0, 0));
    EXPECT_EQ(image.At(1, 0), RGBColor(85, 85, 85));
    EXPECT_EQ(image.At(3, 0), RGBColor(255, 255, 255));

    // 16-bit gray in big-endian order is truncated to 8 bits.
    B sixteen(true);
    sixteen.Basic(2, 1, 16, 1, 1).AddStrip({0x12, 0x34, 0xFF, 0xFF});
    const TBgrImage deep = Load(sixteen.Build());
    EXPECT_EQ(deep.At(0, 0), RGBColor(0x12, 0x12, 0x12));
    EXPECT_EQ(deep.At(1, 0), RGBColor(255, 255, 255));

    // Gray with an alpha sample shows the gray sample, interleaved or in separate planes.
    B alpha;
    alpha.Basic(2, 1, 8, 2, 1).Set(338, B::Short, {2}).AddStrip({10, 0, 200, 255});
    const TBgrImage chunky = Load(alpha.Build());
    EXPECT_EQ(chunky.At(0, 0), RGBColor(10, 10, 10));
    EXPECT_EQ(chunky.At(1, 0), RGBColor(200, 200, 200));
    B planar;
    planar.Basic(2, 1, 8, 2, 1).Set(338, B::Short, {1}).Set(284, B::Short, {2}).AddStrip({10, 200}).AddStrip({0, 255});
    const TBgrImage separate = Load(planar.Build());
    EXPECT_EQ(separate.At(1, 0), RGBColor(200, 200, 200));
}

TEST(TIFFReader, CmykInksBecomeRgbInterleavedOrInPlanes) {
    // No ink (white), full cyan, full black, and magenta with a quarter of black.
    const TBytes inks = {0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 255, 0, 128, 0, 64};
    B b;
    b.Basic(4, 1, 8, 4, 5).AddStrip(inks);
    TTIFFGraphic graphic;
    const TBgrImage image = Load(b.Build(), graphic);
    EXPECT_EQ(graphic.ImageProperties.ColorScheme, ColorScheme::CMYK);
    EXPECT_EQ(graphic.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(image.At(0, 0), RGBColor(255, 255, 255));
    EXPECT_EQ(image.At(1, 0), RGBColor(0, 255, 255));
    EXPECT_EQ(image.At(2, 0), RGBColor(0, 0, 0));
    EXPECT_EQ(image.At(3, 0), RGBColor(191, 95, 191));

    // The same inks as four planes of a big-endian file.
    B planar(true);
    planar.Basic(4, 1, 8, 4, 5).Set(284, B::Short, {2});
    for (std::size_t ink = 0; ink < 4; ++ink)
        planar.AddStrip({inks[ink], inks[4 + ink], inks[8 + ink], inks[12 + ink]});
    EXPECT_TRUE(SamePicture(Load(planar.Build()), image));
}

TEST(TIFFReader, SeparatePlanesAreInterleaved) {
    const TBytes samples = RgbSamples();
    TBytes planes[3];
    for (std::size_t i = 0; i < samples.size(); ++i) planes[i % 3].push_back(samples[i]);
    B b;
    b.Basic(3, 4, 8, 3, 2).Set(284, B::Short, {2}).Set(278, B::Short, {3});
    // Each plane in two strips of 3 and 1 rows.
    for (const TBytes& plane : planes) b.AddStrip(Slice(plane, 0, 9)).AddStrip(Slice(plane, 9, 3));
    ExpectRgbSamples(Load(b.Build()));
}

TEST(TIFFReader, PredictorIsUndoneFor8And16BitSamples) {
    const TBytes samples = RgbSamples();
    TBytes differences = samples;
    for (int y = 0; y < 4; ++y)
        for (int i = 3; i < 9; ++i)
            differences[y * 9 + i] = static_cast<std::uint8_t>(samples[y * 9 + i] - samples[y * 9 + i - 3]);
    B b;
    b.Basic(3, 4, 8, 3, 2).Set(259, B::Short, {8}).Set(317, B::Short, {2}).AddStrip(Deflate(differences));
    ExpectRgbSamples(Load(b.Build()));

    // 16-bit gray, big-endian: 0x1000, +0x1000, +0xF000 (wrapping) give 0x1000, 0x2000, 0x1000.
    B wide(true);
    wide.Basic(3, 1, 16, 1, 1).Set(259, B::Short, {8}).Set(317, B::Short, {2});
    wide.AddStrip(Deflate({0x10, 0x00, 0x10, 0x00, 0xF0, 0x00}));
    const TBgrImage image = Load(wide.Build());
    EXPECT_EQ(image.At(0, 0), RGBColor(15, 15, 15));
    EXPECT_EQ(image.At(1, 0), RGBColor(31, 31, 31));
    EXPECT_EQ(image.At(2, 0), RGBColor(15, 15, 15));

    // Without compression the predictor is not applied.
    B plain;
    plain.Basic(2, 1, 8, 1, 1).Set(317, B::Short, {2}).AddStrip({5, 5});
    EXPECT_EQ(Load(plain.Build()).At(1, 0), RGBColor(5, 5, 5));
}

TEST(TIFFReader, ReversedFillOrder) {
    // 0x80 with the lowest bit first is the first pixel black in a black-is-zero bilevel image.
    B b;
    b.Basic(8, 1, 1, 1, 1).Set(266, B::Short, {2}).AddStrip({0xFE});
    const TBgrImage image = Load(b.Build());
    EXPECT_EQ(image.At(0, 0), RGBColor(0, 0, 0));
    EXPECT_EQ(image.At(1, 0), RGBColor(255, 255, 255));
}

TEST(TIFFReader, FillOrderLeavesJpegStripsAlone) {
    // One JPEG strip of a 16 x 16 picture in a single colour (libjpeg's YCbCr, 2 x 2 sampling).
    std::vector<std::uint8_t> bgr(16 * 16 * 3);
    for (std::size_t i = 0; i < bgr.size(); i += 3) bgr[i] = 40, bgr[i + 1] = 120, bgr[i + 2] = 200;
    TMemoryStream jpeg;
    WriteJpegStream(TBgrView{bgr.data(), 16, 16, 48}, jpeg, 95, false);
    B b;
    b.Basic(16, 16, 8, 3, 6).Set(259, B::Short, {7}).AddStrip(jpeg.Data());
    const TBgrImage plain = Load(b.Build());
    const TColor colour = plain.At(7, 7);
    EXPECT_NEAR(RedOf(colour), 200, 3);
    EXPECT_NEAR(GreenOf(colour), 120, 3);
    EXPECT_NEAR(BlueOf(colour), 40, 3);
    b.Set(266, B::Short, {2});
    EXPECT_TRUE(SamePicture(Load(b.Build()), plain));
}

TEST(TIFFReader, ModifiedHuffmanAndThunderScanStrips) {
    // Modified Huffman row of 8 pixels: white 2 (0111), black 3 (10), white 3 (1000).
    B mh;
    mh.Basic(8, 2, 1, 1, 0).Set(259, B::Short, {2}).Set(278, B::Short, {1});
    mh.AddStrip({0x7A, 0x00}).AddStrip({0x7A, 0x00});
    const TBgrImage fax = Load(mh.Build());
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(fax.At(1, y), RGBColor(255, 255, 255));
        EXPECT_EQ(fax.At(2, y), RGBColor(0, 0, 0));
        EXPECT_EQ(fax.At(4, y), RGBColor(0, 0, 0));
        EXPECT_EQ(fax.At(5, y), RGBColor(255, 255, 255));
    }

    // ThunderScan rows of 4 pixels: raw 5, run of 3; raw 9, deltas +1, +1, 0.
    B thunder;
    thunder.Basic(4, 2, 4, 1, 1).Set(259, B::Short, {32809}).Set(278, B::Short, {2});
    thunder.AddStrip({0xC5, 0x03, 0xC9, 0x50 | 0x04 | 0x00});
    const TBgrImage t = Load(thunder.Build());
    EXPECT_EQ(t.At(3, 0), RGBColor(0x55, 0x55, 0x55));
    EXPECT_EQ(t.At(0, 1), RGBColor(0x99, 0x99, 0x99));
    EXPECT_EQ(t.At(1, 1), RGBColor(0xAA, 0xAA, 0xAA));
    EXPECT_EQ(t.At(3, 1), RGBColor(0xBB, 0xBB, 0xBB));
}

TEST(TIFFReader, SubsampledYCbCrDataUnits) {
    // 3 x 3 pixels in 2 x 2 units: Y00 Y01 Y10 Y11 Cb Cr; the units at the right and bottom
    // edges are only partly inside the picture.
    const TBytes units = {10, 20, 30, 40, 128, 128, 50, 51, 60, 61, 128, 255,
                          70, 71, 0,  0,  128, 128, 90, 91, 0,  0,  128, 128};
    B b;
    b.Basic(3, 3, 8, 3, 6).Set(530, B::Short, {2, 2}).AddStrip(units);
    const TBgrImage image = Load(b.Build());
    EXPECT_EQ(image.At(0, 0), RGBColor(10, 10, 10));
    EXPECT_EQ(image.At(1, 0), RGBColor(20, 20, 20));
    EXPECT_EQ(image.At(0, 1), RGBColor(30, 30, 30));
    EXPECT_EQ(image.At(1, 1), RGBColor(40, 40, 40));
    // Cr 255: red = Y + round(1.402 x 127), green = Y - round(0.714136 x 127).
    EXPECT_EQ(image.At(2, 0), RGBColor(50 + 178, 0, 50));
    EXPECT_EQ(image.At(2, 1), RGBColor(60 + 178, 0, 60));
    EXPECT_EQ(image.At(0, 2), RGBColor(70, 70, 70));
    EXPECT_EQ(image.At(2, 2), RGBColor(90, 90, 90));
    // Vertical subsampling finer than the horizontal one is not a TIFF layout.
    b.Set(530, B::Short, {1, 2});
    EXPECT_NE(LoadError(b.Build()), "");
}

TEST(TIFFReader, FuzzFindings) {
    // 369 bytes of Group 3 data claiming 2 x 16777248 pixels: refused before millions of rows
    // are decoded and converted.
    const TBytes fax = ReadFile(fs::path(PIXAMO_TEST_DATA_DIR) / "fuzz-tiff-fax-huge-picture");
    EXPECT_EQ(LoadError(fax), "Cannot load image. The TIF/TIFF image of 2 x 16777248 pixels is too large.");
}

TEST(TIFFReader, EveryTruncationOfAFileFailsCleanly) {
    B b;
    b.Basic(3, 4, 8, 3, 2).Set(259, B::Short, {5}).Set(278, B::Short, {2}).Set(317, B::Short, {2});
    b.AddStrip({0x80, 0x01, 0x60, 0x50, 0x38, 0x24, 0x16}).AddStrip({0x80, 0x00, 0x20, 0x10, 0x08, 0x04});
    const TBytes file = b.Build();
    for (std::size_t size = 0; size <= file.size(); ++size) {
        TBytes part = Slice(file, 0, size);
        TTIFFGraphic graphic;
        TMemoryStream stream(part);
        try {
            graphic.LoadFromStream(stream);
        } catch (const Exception&) {
        }
    }
}
