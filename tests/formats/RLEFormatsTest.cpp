// Targa, PCX, Photoshop and SGI readers on small files whose pixels are known.
#include "TestSupport.h"

#include "formats/PCXGraphic.h"
#include "formats/PSDGraphic.h"
#include "formats/SGIGraphic.h"
#include "formats/TargaGraphic.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

namespace {

void Put16LE(TBytes& b, std::size_t at, unsigned v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}
void Put16BE(TBytes& b, std::size_t at, unsigned v) {
    b[at] = (v >> 8) & 0xFF;
    b[at + 1] = v & 0xFF;
}
void Put32BE(TBytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (24 - 8 * i)) & 0xFF;
}
void Append(TBytes& b, std::initializer_list<unsigned> values) {
    for (unsigned v : values) b.push_back(static_cast<std::uint8_t>(v));
}

// ---- Targa ----

TBytes TargaHeader(unsigned imageType, unsigned width, unsigned height, unsigned depth, unsigned descriptor,
                   unsigned mapType = 0, unsigned mapLength = 0, unsigned mapEntrySize = 0) {
    TBytes b(18, 0);
    b[1] = static_cast<std::uint8_t>(mapType);
    b[2] = static_cast<std::uint8_t>(imageType);
    Put16LE(b, 5, mapLength);
    b[7] = static_cast<std::uint8_t>(mapEntrySize);
    Put16LE(b, 12, width);
    Put16LE(b, 14, height);
    b[16] = static_cast<std::uint8_t>(depth);
    b[17] = static_cast<std::uint8_t>(descriptor);
    return b;
}

TBgrImage LoadTarga(const TBytes& bytes) { return ToBgr(*LoadBytes(bytes, "tga").Bitmap); }

TEST(TargaReader, RowOrderFollowsTheDescriptor) {
    TBytes file = TargaHeader(2, 2, 2, 24, 0);
    Append(file, {0, 0, 255, 0, 0, 255, /* second stored row */ 255, 0, 0, 255, 0, 0});
    TBgrImage bottomUp = LoadTarga(file);
    EXPECT_EQ(bottomUp.At(0, 1), RGBColor(255, 0, 0));  // first stored row at the bottom
    EXPECT_EQ(bottomUp.At(0, 0), RGBColor(0, 0, 255));
    file[17] = 0x20;
    TBgrImage topDown = LoadTarga(file);
    EXPECT_EQ(topDown.At(0, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(topDown.At(1, 1), RGBColor(0, 0, 255));
}

TEST(TargaReader, SixteenBitColourMapAndFifteenBitPixels) {
    TBytes mapped = TargaHeader(1, 1, 1, 8, 0x20, 1, 2, 16);
    Append(mapped, {0x00, 0x00, 0xFF, 0x7F, /* pixel */ 1});
    EXPECT_EQ(LoadTarga(mapped).At(0, 0), RGBColor(248, 248, 248));

    TBytes direct = TargaHeader(2, 2, 1, 15, 0x20);
    Append(direct, {0x00, 0x7C, 0x1F, 0x00});  // pure red, pure blue: 2 bytes a pixel
    TLoadedPicture loaded = LoadBytes(direct, "tga");
    EXPECT_EQ(loaded.Bitmap->PixelFormat(), TPixelFormat::pf15bit);
    TBgrImage image = ToBgr(*loaded.Bitmap);
    EXPECT_EQ(image.At(0, 0), RGBColor(255, 0, 0));
    EXPECT_EQ(image.At(1, 0), RGBColor(0, 0, 255));
}

TEST(TargaReader, RunLengthGrayMatchesItsUncompressedTwin) {
    TBytes raw = TargaHeader(3, 4, 2, 8, 0x20);
    Append(raw, {10, 10, 10, 20, 30, 40, 50, 50});
    TBytes rle = TargaHeader(11, 4, 2, 8, 0x20);
    Append(rle, {0x82, 10, 0x00, 20, /* row 2 */ 0x01, 30, 40, 0x81, 50});
    EXPECT_TRUE(SamePicture(LoadTarga(rle), LoadTarga(raw)));
}

TEST(TargaReader, PacketPastTheRowIsConsumedWhole) {
    TBytes rle = TargaHeader(11, 2, 2, 8, 0x20);
    // A run of three covers row 0 and one pixel beyond; row 1 starts after that packet.
    Append(rle, {0x82, 100, 0x81, 200});
    TBgrImage image = LoadTarga(rle);
    EXPECT_EQ(image.At(1, 0), RGBColor(100, 100, 100));
    EXPECT_EQ(image.At(0, 1), RGBColor(200, 200, 200));
    EXPECT_EQ(image.At(1, 1), RGBColor(200, 200, 200));
}

TEST(TargaReader, RawPacketLongerThanTwoRowsIsConsumedWhole) {
    // Row 0: a raw packet of 128 pixels in a 4-pixel row; row 1: a run of four 200s.
    TBytes rle = TargaHeader(11, 4, 2, 8, 0x20);
    rle.push_back(0x7F);
    for (unsigned i = 0; i < 128; ++i) rle.push_back(static_cast<std::uint8_t>(i + 1));
    Append(rle, {0x83, 200});
    TBgrImage image = LoadTarga(rle);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(image.At(x, 0), RGBColor(x + 1, x + 1, x + 1));
        EXPECT_EQ(image.At(x, 1), RGBColor(200, 200, 200));
    }
}

TEST(TargaReader, GrayWithAlphaShowsTheGraySamples) {
    TBytes file = TargaHeader(3, 2, 1, 16, 0x28);
    Append(file, {90, 255, 180, 0});
    TBgrImage image = LoadTarga(file);
    EXPECT_EQ(image.At(0, 0), RGBColor(90, 90, 90));
    EXPECT_EQ(image.At(1, 0), RGBColor(180, 180, 180));
}

TEST(TargaReader, TrueColourRunsAndTwentyFourBitColourMaps) {
    // 32 bits, run-length encoded: a run of two pixels, then one raw pixel; alpha is not shown.
    TBytes rgba = TargaHeader(10, 3, 1, 32, 0x28);
    Append(rgba, {0x81, 10, 20, 30, 255, 0x00, 40, 50, 60, 128});
    TLoadedPicture loaded = LoadBytes(rgba, "tga");
    EXPECT_EQ(loaded.Bitmap->PixelFormat(), TPixelFormat::pf32bit);
    TBgrImage image = ToBgr(*loaded.Bitmap);
    EXPECT_EQ(image.At(0, 0), RGBColor(30, 20, 10));
    EXPECT_EQ(image.At(1, 0), RGBColor(30, 20, 10));
    EXPECT_EQ(image.At(2, 0), RGBColor(60, 50, 40));

    // A map of two 24-bit entries stored blue first, indexed by a run-length raw packet.
    TBytes mapped = TargaHeader(9, 2, 1, 8, 0x20, 1, 2, 24);
    Append(mapped, {1, 2, 3, /* entry 1 */ 30, 20, 10, /* pixels */ 0x01, 1, 0});
    image = LoadTarga(mapped);
    EXPECT_EQ(image.At(0, 0), RGBColor(10, 20, 30));
    EXPECT_EQ(image.At(1, 0), RGBColor(3, 2, 1));
}

TEST(TargaReader, TruncatedRowsRaiseTheStreamErrorOrAreTooLarge) {
    TBytes file = TargaHeader(2, 4, 4, 24, 0);
    file.resize(file.size() + 45, 1);
    EXPECT_THROW(LoadTarga(file), EReadError);  // the last row lacks its last pixel
    file.resize(file.size() - 10);
    EXPECT_EQ(MessageOf([&] { LoadTarga(file); }), "Cannot load image. The Targa image of 4 x 4 pixels is too large.");
}

// ---- PCX ----

TBytes PcxHeader(unsigned version, unsigned bits, unsigned planes, unsigned xmin, unsigned xmax, unsigned height,
                 unsigned bytesPerLine, unsigned paletteInfo = 1, unsigned encoding = 0) {
    TBytes b(128, 0);
    b[0] = 10;
    b[1] = static_cast<std::uint8_t>(version);
    b[2] = static_cast<std::uint8_t>(encoding);
    b[3] = static_cast<std::uint8_t>(bits);
    Put16LE(b, 4, xmin);
    Put16LE(b, 8, xmax);
    Put16LE(b, 10, height - 1);
    b[65] = static_cast<std::uint8_t>(planes);
    Put16LE(b, 66, bytesPerLine);
    Put16LE(b, 68, paletteInfo);
    return b;
}

TBgrImage LoadPcx(const TBytes& bytes) { return ToBgr(*LoadBytes(bytes, "pcx").Bitmap); }

TEST(PCXReader, SixteenColoursFromTheHeaderPalette) {
    TBytes file = PcxHeader(5, 1, 4, 0, 1, 1, 2);
    file[16 + 3 * 5] = 10;  // colour 5 = (10, 20, 30)
    file[16 + 3 * 5 + 1] = 20;
    file[16 + 3 * 5 + 2] = 30;
    // Pixel 0 has bits 0 and 2 set (planes 0 and 2); pixel 1 is colour 0.
    Append(file, {0x80, 0, 0, 0, 0x80, 0, 0, 0});
    TBgrImage image = LoadPcx(file);
    EXPECT_EQ(image.At(0, 0), RGBColor(10, 20, 30));
    EXPECT_EQ(image.At(1, 0), RGBColor(0, 0, 0));
    // Version 3 files use the standard colours whatever their header says.
    file[1] = 3;
    EXPECT_EQ(LoadPcx(file).At(0, 0), RGBColor(170, 0, 170));
}

TEST(PCXReader, EightBitPalettesAndGrayLevels) {
    TBytes file = PcxHeader(5, 8, 1, 10, 19, 1, 10, 2);
    for (unsigned i = 0; i < 10; ++i) file.push_back(static_cast<std::uint8_t>(i * 20));
    TBgrImage grey = LoadPcx(file);
    EXPECT_EQ(grey.Width, 10);  // xmin 10 .. xmax 19
    EXPECT_EQ(grey.At(3, 0), RGBColor(60, 60, 60));
    file.push_back(12);
    for (unsigned i = 0; i < 256; ++i) Append(file, {255 - i, i, 7});
    TBgrImage coloured = LoadPcx(file);
    EXPECT_EQ(coloured.At(3, 0), RGBColor(195, 60, 7));
}

TEST(PCXReader, ThreePlanesConvertToBlueGreenRed) {
    TBytes file = PcxHeader(5, 8, 3, 0, 1, 1, 2, 1, 1);
    Append(file, {0xC2, 200, /* green */ 1, 2, /* blue */ 0xC2, 0});
    TBgrImage image = LoadPcx(file);
    EXPECT_EQ(image.At(0, 0), RGBColor(200, 1, 0));
    EXPECT_EQ(image.At(1, 0), RGBColor(200, 2, 0));
}

TEST(PCXReader, RowsNarrowerThanThePictureAreRefused) {
    TBytes file = PcxHeader(5, 8, 1, 0, 99, 1, 4);
    file.resize(file.size() + 8, 0);
    EXPECT_THROW(LoadPcx(file), EInvalidGraphic);
}

TEST(PCXReader, ShortDataLeavesTheMissingRowBlack) {
    TBytes file = PcxHeader(5, 8, 1, 0, 1, 2, 2, 2);
    Append(file, {255, 255});
    TBgrImage image = LoadPcx(file);
    EXPECT_EQ(image.At(0, 0), RGBColor(255, 255, 255));
    EXPECT_EQ(image.At(0, 1), RGBColor(0, 0, 0));
    // More than a row missing: the header claims more than the file holds.
    EXPECT_EQ(MessageOf([] { LoadPcx(PcxHeader(5, 8, 1, 0, 1, 4, 2, 2)); }),
              "Cannot load image. The PCX or SCR image of 2 x 4 pixels is too large.");
}

// ---- Photoshop ----

TBytes PsdFile(unsigned channels, unsigned width, unsigned height, unsigned depth, unsigned mode, const TBytes& planes,
               const char* signature = "8BPS") {
    TBytes b(26, 0);
    std::copy(signature, signature + 4, b.begin());
    Put16BE(b, 4, 1);
    Put16BE(b, 12, channels);
    Put32BE(b, 14, height);
    Put32BE(b, 18, width);
    Put16BE(b, 22, depth);
    Put16BE(b, 24, mode);
    b.resize(b.size() + 14, 0);  // three empty sections and the compression word 0
    b.insert(b.end(), planes.begin(), planes.end());
    return b;
}

TEST(PSDReader, LowerCaseSignatureIsClaimedButRefused) {
    TBytes file = PsdFile(3, 1, 1, 8, 3, {1, 2, 3}, "8bps");
    TMemoryStream stream(file);
    EXPECT_TRUE(TPSDGraphic::CanLoadStream(stream));
    try {
        LoadBytes(file, "psd");
        FAIL() << "loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected PSD or PDD image format.");
    }
}

TEST(PSDReader, CMYKPlanesOfFullInkValuesShowWhite) {
    TBgrImage image = ToBgr(*LoadBytes(PsdFile(4, 1, 1, 8, 4, {255, 255, 255, 255}), "psd").Bitmap);
    EXPECT_EQ(image.At(0, 0), RGBColor(255, 255, 255));
}

TEST(PSDReader, ExtraChannelsAndSixteenBitSamples) {
    TBgrImage five = ToBgr(*LoadBytes(PsdFile(5, 1, 1, 8, 3, {10, 20, 30, 40, 50}), "psd").Bitmap);
    EXPECT_EQ(five.At(0, 0), RGBColor(10, 20, 30));
    TBgrImage wide = ToBgr(*LoadBytes(PsdFile(3, 1, 1, 16, 3, {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x10}), "psd").Bitmap);
    EXPECT_EQ(wide.At(0, 0), RGBColor(255, 127, 0));
}

// The file of PsdFile with compression word 1 and the row byte counts before the data.
TBytes PackBitsPsd(unsigned channels, unsigned width, unsigned height, unsigned mode,
                   const std::vector<unsigned>& counts, const TBytes& rows) {
    TBytes b = PsdFile(channels, width, height, 8, mode, {});
    Put16BE(b, b.size() - 2, 1);
    for (unsigned count : counts) Append(b, {count >> 8, count & 0xFF});
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

TEST(PSDReader, PackBitsPlanesIndexedColoursAndGreyRows) {
    // RGB, 2 x 2: every channel row is a run of two; channels one after the other.
    const TBytes rgbRows = {0xFF, 10, 0xFF, 20, /* green */ 0xFF, 30, 0xFF, 40, /* blue */ 0xFF, 50, 0xFF, 60};
    TBgrImage rgb = ToBgr(*LoadBytes(PackBitsPsd(3, 2, 2, 3, {2, 2, 2, 2, 2, 2}, rgbRows), "psd").Bitmap);
    EXPECT_EQ(rgb.At(1, 0), RGBColor(10, 30, 50));
    EXPECT_EQ(rgb.At(0, 1), RGBColor(20, 40, 60));

    // Grey rows decoded one by one where their counts say: a literal of two, then a run.
    TBgrImage grey = ToBgr(*LoadBytes(PackBitsPsd(1, 2, 2, 1, {3, 2}, {0x01, 5, 6, 0xFF, 9}), "psd").Bitmap);
    EXPECT_EQ(grey.At(0, 0), RGBColor(5, 5, 5));
    EXPECT_EQ(grey.At(1, 0), RGBColor(6, 6, 6));
    EXPECT_EQ(grey.At(1, 1), RGBColor(9, 9, 9));

    // Indexed: 256 red values, then 256 green, then 256 blue in the colour mode data.
    TBytes indexed = PsdFile(1, 2, 1, 8, 2, {7, 0});
    TBytes table(768, 0);
    table[7] = 200, table[256 + 7] = 100, table[512 + 7] = 50;
    Put32BE(indexed, 26, 768);
    indexed.insert(indexed.begin() + 30, table.begin(), table.end());
    TBgrImage colours = ToBgr(*LoadBytes(indexed, "psd").Bitmap);
    EXPECT_EQ(colours.At(0, 0), RGBColor(200, 100, 50));
    EXPECT_EQ(colours.At(1, 0), RGBColor(0, 0, 0));
}

TEST(PSDReader, TooFewChannelsForTheModeAreRefused) {
    EXPECT_THROW(LoadBytes(PsdFile(2, 1, 1, 8, 4, {1, 2}), "psd"), EInvalidGraphic);
}

// ---- SGI ----

TBytes SgiHeader(unsigned storage, unsigned bpc, unsigned dimension, unsigned width, unsigned height,
                 unsigned channels) {
    TBytes b(512, 0);
    Put16BE(b, 0, 474);
    b[2] = static_cast<std::uint8_t>(storage);
    b[3] = static_cast<std::uint8_t>(bpc);
    Put16BE(b, 4, dimension);
    Put16BE(b, 6, width);
    Put16BE(b, 8, height);
    Put16BE(b, 10, channels);
    return b;
}

TEST(SGIReader, VerbatimAndRunLengthGiveTheSamePictureBottomUp) {
    TBytes verbatim = SgiHeader(0, 1, 3, 2, 2, 3);
    // Channel planes, each stored bottom row first.
    Append(verbatim, {255, 255, 0, 0, /* green */ 0, 0, 0, 0, /* blue */ 0, 0, 255, 255});
    TBgrImage plain = ToBgr(*LoadBytes(verbatim, "rgb").Bitmap);
    EXPECT_EQ(plain.At(0, 1), RGBColor(255, 0, 0));  // first stored row at the bottom
    EXPECT_EQ(plain.At(0, 0), RGBColor(0, 0, 255));

    TBytes rle = SgiHeader(1, 1, 3, 2, 2, 3);
    const std::uint32_t tables = 512 + 2 * 6 * 4;
    rle.resize(tables, 0);
    const unsigned values[6] = {255, 0, 0, 0, 0, 255};  // channel c, row r: c * 2 + r
    for (unsigned i = 0; i < 6; ++i) {
        Put32BE(rle, 512 + 4 * i, tables + 3 * i);
        Put32BE(rle, 512 + 24 + 4 * i, 3);
    }
    for (unsigned v : values) Append(rle, {0x02, v, 0x00});  // a run of two, then the end marker
    EXPECT_TRUE(SamePicture(ToBgr(*LoadBytes(rle, "rgb").Bitmap), plain));
}

TEST(SGIReader, TwoBytesPerSampleAndOffsetsOutsideTheFile) {
    TBytes wide = SgiHeader(0, 2, 2, 1, 1, 1);
    Append(wide, {0xAB, 0xCD});
    EXPECT_EQ(ToBgr(*LoadBytes(wide, "bw").Bitmap).At(0, 0), RGBColor(0xAB, 0xAB, 0xAB));

    TBytes rle = SgiHeader(1, 1, 2, 1, 1, 1);
    rle.resize(521, 0);             // the tables and one byte of run-length data, which no row uses
    Put32BE(rle, 512, 0x7FFFFFF0);  // start far beyond the end of the file
    Put32BE(rle, 516, 0xFFFFFFFF);
    EXPECT_EQ(ToBgr(*LoadBytes(rle, "bw").Bitmap).At(0, 0), RGBColor(0, 0, 0));
}

TEST(SGIReader, AlphaChannelsAndTwoByteRunLengthRows) {
    // RGBA, stored: the fourth channel is alpha, carried but not shown.
    TBytes rgba = SgiHeader(0, 1, 3, 1, 1, 4);
    Append(rgba, {10, 20, 30, 40});
    TLoadedPicture loaded = LoadBytes(rgba, "rgba");
    EXPECT_EQ(loaded.Bitmap->PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(ToBgr(*loaded.Bitmap).At(0, 0), RGBColor(10, 20, 30));

    // RGB with two bytes a sample, run-length encoded: each channel row a run of two big-endian
    // samples, scaled to 8 bits by truncation.
    TBytes wide = SgiHeader(1, 2, 3, 2, 1, 3);
    const std::uint32_t data = 512 + 2 * 3 * 4;
    wide.resize(data, 0);
    const unsigned samples[3] = {0xFFFF, 0x8000, 0x0101};
    for (unsigned c = 0; c < 3; ++c) {
        Put32BE(wide, 512 + 4 * c, data + 6 * c);
        Put32BE(wide, 512 + 12 + 4 * c, 6);
        Append(wide, {0x00, 0x02, samples[c] >> 8, samples[c] & 0xFF, 0x00, 0x00});
    }
    TBgrImage image = ToBgr(*LoadBytes(wide, "rgb").Bitmap);
    EXPECT_EQ(image.At(0, 0), RGBColor(255, 127, 1));
    EXPECT_EQ(image.At(1, 0), RGBColor(255, 127, 1));
}

TEST(SGIReader, DimensionZeroIsNotClaimed) {
    TBytes file = SgiHeader(0, 1, 0, 1, 1, 1);
    file.push_back(0);
    TMemoryStream stream(file);
    EXPECT_FALSE(TSGIGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
}

}  // namespace
