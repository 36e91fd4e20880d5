#include "TestPictures.h"

#include "platform/Exception.h"
#include "platform/PictureFiles.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TBitmap Load(const TBytes& bytes) {
    TMemoryStream stream(bytes);
    TBitmap bitmap;
    bitmap.LoadFromStream(stream);
    return bitmap;
}

std::string LoadError(const TBytes& bytes) {
    try {
        Load(bytes);
    } catch (const EInvalidGraphic& e) {
        return e.what();
    } catch (const EReadError& e) {
        return e.what();
    }
    return "loaded";
}

constexpr TColor Red = RGBColor(255, 0, 0), Green = RGBColor(0, 255, 0), Blue = RGBColor(0, 0, 255);

}  // namespace

TEST(BitmapFile, TwentyFourBitRoundTripKeepsEveryWidthsPadding) {
    for (int width = 1; width <= 5; ++width) {
        TBitmap picture = MakeTestPicture(width, 3);
        TMemoryStream stream;
        picture.SaveToStream(stream);
        const TBytes& file = stream.Data();
        ASSERT_EQ(file.size(), 54 + DibStride(width, 24) * 3);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[10], 54);  // pixels right after the two headers
        EXPECT_EQ(file[14], 40);
        EXPECT_EQ(file[28], 24);
        // Bottom-up: the file's first row is the picture's last.
        EXPECT_EQ(file[54], picture.ScanLine(2)[0]);
        stream.SetPosition(0);
        TBitmap back;
        back.LoadFromStream(stream);
        ASSERT_EQ(back.PixelFormat(), TPixelFormat::pf24bit);
        ASSERT_EQ(back.Width(), width);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) EXPECT_EQ(back.Pixel(x, y), picture.Pixel(x, y));
    }
}

TEST(BitmapFile, SavingAnIndexedBitmapWritesItsColours) {
    TBitmap picture;
    picture.SetPixelFormat(TPixelFormat::pf8bit);
    picture.SetSize(3, 2);
    picture.SetPalette({{10, 20, 30}, {200, 100, 50}});
    picture.ScanLine(1)[2] = 1;
    TMemoryStream stream;
    picture.SaveToStream(stream);
    stream.SetPosition(0);
    TBitmap back;
    back.LoadFromStream(stream);
    EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(back.Pixel(0, 0), RGBColor(10, 20, 30));
    EXPECT_EQ(back.Pixel(2, 1), RGBColor(200, 100, 50));
}

TEST(BitmapFile, IndexedDepthsKeepTheirFormatAndPalette) {
    // 1 bit: 10 pixels, 0b1010000011 per row, two rows, bottom-up.
    TBmpSpec one;
    one.BitCount = 1;
    one.Width = 10;
    one.Height = 2;
    one.Palette = {0x000000, 0xFFFFFF};
    one.Pixels = {0xA0, 0xC0, 0, 0, 0xFF, 0xFF, 0, 0};
    TBitmap b1 = Load(MakeBmp(one));
    EXPECT_EQ(b1.PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(b1.Pixel(0, 0), RGBColor(255, 255, 255));  // top row = second stored row
    EXPECT_EQ(b1.Pixel(0, 1), RGBColor(255, 255, 255));
    EXPECT_EQ(b1.Pixel(1, 1), 0u);
    EXPECT_EQ(b1.Pixel(9, 1), RGBColor(255, 255, 255));

    TBmpSpec four;
    four.BitCount = 4;
    four.Width = 3;
    four.Height = 1;
    four.ColorsUsed = 3;
    four.Palette = {0xFF0000, 0x00FF00, 0x0000FF};
    four.Pixels = {0x21, 0x00, 0, 0};
    TBitmap b4 = Load(MakeBmp(four));
    EXPECT_EQ(b4.PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(b4.Pixel(0, 0), Blue);
    EXPECT_EQ(b4.Pixel(1, 0), Green);
    EXPECT_EQ(b4.Pixel(2, 0), Red);
    EXPECT_EQ(b4.Palette().size(), 16u);  // padded so that every index has a colour

    // 8 bits, top-down, an index past the stored palette shows black.
    TBmpSpec eight;
    eight.BitCount = 8;
    eight.Width = 2;
    eight.Height = -2;
    eight.ColorsUsed = 2;
    eight.Palette = {0x102030, 0x405060};
    eight.Pixels = {1, 0, 0, 0, 200, 1, 0, 0};
    TBitmap b8 = Load(MakeBmp(eight));
    EXPECT_EQ(b8.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(b8.Pixel(0, 0), RGBColor(0x40, 0x50, 0x60));
    EXPECT_EQ(b8.Pixel(1, 0), RGBColor(0x10, 0x20, 0x30));
    EXPECT_EQ(b8.Pixel(0, 1), 0u);
}

TEST(BitmapFile, OldOs2HeaderHasThreeBytePaletteEntries) {
    TBmpSpec s;
    s.HeaderSize = 12;
    s.BitCount = 8;
    s.Width = 2;
    s.Height = 1;
    s.Palette.assign(256, 0);
    s.Palette[7] = 0x123456;
    s.Pixels = {7, 0, 0, 0};
    TBitmap b = Load(MakeBmp(s));
    EXPECT_EQ(b.Pixel(0, 0), RGBColor(0x12, 0x34, 0x56));
    EXPECT_EQ(b.Pixel(1, 0), 0u);
}

TEST(BitmapFile, SixteenBitLayouts) {
    // 5-5-5 stays a 15-bit bitmap.
    TBmpSpec s555;
    s555.BitCount = 16;
    s555.Width = 2;
    s555.Pixels = {0x00, 0x7C, 0x1F, 0x00};  // red, blue
    TBitmap a = Load(MakeBmp(s555));
    EXPECT_EQ(a.PixelFormat(), TPixelFormat::pf15bit);
    EXPECT_EQ(a.Pixel(0, 0), Red);
    EXPECT_EQ(a.Pixel(1, 0), Blue);

    // 5-6-5 through BI_BITFIELDS becomes 24 bits, channels widened to the full range.
    TBmpSpec s565 = s555;
    s565.Compression = 3;
    s565.Masks = {0xF800, 0x07E0, 0x001F};
    s565.Pixels = {0xE0, 0x07, 0x10, 0x84};  // pure green; red 16 green 32 blue 16 of 31/63/31
    TBitmap b = Load(MakeBmp(s565));
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(b.Pixel(0, 0), Green);
    EXPECT_EQ(b.Pixel(1, 0), RGBColor(132, 130, 132));

    // 4-4-4-4 with alpha in a V5 header keeps the alpha in a 32-bit bitmap.
    TBmpSpec s4444 = s555;
    s4444.HeaderSize = 124;
    s4444.Compression = 3;
    s4444.Masks = {0x0F00, 0x00F0, 0x000F, 0xF000};
    s4444.Pixels = {0x00, 0x8F, 0xF0, 0xF0};
    TBitmap c = Load(MakeBmp(s4444));
    ASSERT_EQ(c.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(c.Pixel(0, 0), Red);
    EXPECT_EQ(c.ScanLine(0)[3], 136);
    EXPECT_EQ(c.Pixel(1, 0), Green);
}

TEST(BitmapFile, ThirtyTwoBitLayouts) {
    TBmpSpec plain;
    plain.BitCount = 32;
    plain.Width = 1;
    plain.Pixels = {1, 2, 3, 4};
    TBitmap a = Load(MakeBmp(plain));
    EXPECT_EQ(a.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(a.Pixel(0, 0), RGBColor(3, 2, 1));

    // 10-10-10 through a V4 header: converted to 24 bits.
    TBmpSpec wide = plain;
    wide.HeaderSize = 108;
    wide.Compression = 3;
    wide.Masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    wide.Pixels = {0xFF, 0x03, 0x00, 0x00};  // blue full
    TBitmap b = Load(MakeBmp(wide));
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(b.Pixel(0, 0), Blue);
}

TEST(BitmapFile, Rle8WorkedBytes) {
    TBmpSpec s;
    s.BitCount = 8;
    s.Compression = 1;
    s.Width = 5;
    s.Height = 3;
    s.Palette.assign(16, 0);
    for (int i = 0; i < 16; ++i) s.Palette[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i * 0x101010);
    s.Pixels = {
        0x02, 0x01, 0x00, 0x03, 0x07, 0x08, 0x09, 0x00,  // bottom row: 1 1 7 8 9 (absolute run padded)
        0x00, 0x00,                                      // end of line
        0x00, 0x02, 0x03, 0x01,                          // delta: 3 right, 1 up -> top row, x 3
        0x02, 0x05,                                      // 5 5 at x 3 and 4
        0x00, 0x01,                                      // end of bitmap
    };
    TBitmap b = Load(MakeBmp(s));
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
    const std::uint8_t* bottom = b.ScanLine(2);
    EXPECT_EQ(std::vector<int>(bottom, bottom + 5), (std::vector<int>{1, 1, 7, 8, 9}));
    const std::uint8_t* middle = b.ScanLine(1);
    EXPECT_EQ(std::vector<int>(middle, middle + 5), (std::vector<int>{0, 0, 0, 0, 0}));
    const std::uint8_t* top = b.ScanLine(0);
    EXPECT_EQ(std::vector<int>(top, top + 5), (std::vector<int>{0, 0, 0, 5, 5}));
}

TEST(BitmapFile, Rle4WorkedBytes) {
    TBmpSpec s;
    s.BitCount = 4;
    s.Compression = 2;
    s.Width = 6;
    s.Height = 1;
    s.Palette.assign(16, 0);
    s.Pixels = {0x03, 0x12, 0x00, 0x03, 0x34, 0x50, 0x00, 0x01};  // 1 2 1, then 3 4 5
    TBitmap b = Load(MakeBmp(s));
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_EQ(b.ScanLine(0)[0], 0x12);
    EXPECT_EQ(b.ScanLine(0)[1], 0x13);
    EXPECT_EQ(b.ScanLine(0)[2], 0x45);
}

TEST(BitmapFile, RleRunsStayInsideRowAndPicture) {
    TBmpSpec s;
    s.BitCount = 8;
    s.Compression = 1;
    s.Width = 3;
    s.Height = 2;
    s.Palette.assign(4, 0);
    s.Pixels = {0xFF, 0x02,              // 255 pixels into a 3-pixel row
                0x00, 0xFF, 0x01, 0x02,  // absolute run of 255 with 2 bytes of data
                0x00, 0x02, 0xFF, 0xFF,  // delta far past the picture
                0x05, 0x03};
    TBitmap b = Load(MakeBmp(s));
    EXPECT_EQ(b.ScanLine(1)[0], 2);
    EXPECT_EQ(b.ScanLine(1)[2], 2);
    EXPECT_EQ(b.ScanLine(0)[0], 0);

    s.Pixels = {0x00, 0x02, 0x01, 0x00,  // delta one to the right
                0x05, 0x03,              // clipped at the row's end
                0x00, 0x02, 0xFF, 0xFF,  // delta far past the picture ends it
                0x01, 0x01};
    TBitmap c = Load(MakeBmp(s));
    EXPECT_EQ(std::vector<int>(c.ScanLine(1), c.ScanLine(1) + 3), (std::vector<int>{0, 3, 3}));
    EXPECT_EQ(std::vector<int>(c.ScanLine(0), c.ScanLine(0) + 3), (std::vector<int>{0, 0, 0}));
}

TEST(BitmapFile, MalformedHeadersAreRefusedCleanly) {
    TBmpSpec good;
    good.Width = 2;
    good.Pixels.assign(8, 0);
    EXPECT_EQ(LoadError(MakeBmp(good)), "loaded");

    TBytes badMagic = MakeBmp(good);
    badMagic[1] = 'A';
    EXPECT_EQ(LoadError(badMagic), "Cannot load image. Invalid or unexpected Windows bitmap image format.");

    TBmpSpec s = good;
    s.Width = 0;
    EXPECT_EQ(LoadError(MakeBmp(s)), "Cannot load image. Invalid or unexpected Windows bitmap image format.");
    s = good;
    s.Planes = 2;
    EXPECT_EQ(LoadError(MakeBmp(s)), "Cannot load image. Invalid or unexpected Windows bitmap image format.");
    s = good;
    s.BitCount = 7;
    EXPECT_EQ(LoadError(MakeBmp(s)), "Cannot load image. 7 bits per pixel are not supported for Windows bitmap files.");
    s = good;
    s.Compression = 4;
    EXPECT_EQ(LoadError(MakeBmp(s)),
              "Cannot load image. The compression scheme is not supported for Windows bitmap files.");
    s = good;
    s.HeaderSize = 64;
    s.Compression = 3;  // OS/2's Huffman coding
    EXPECT_EQ(LoadError(MakeBmp(s)),
              "Cannot load image. The compression scheme is not supported for Windows bitmap files.");
    s = good;
    s.Width = 100000;
    s.Height = 100000;
    EXPECT_EQ(LoadError(MakeBmp(s)), "Cannot load image. The picture is too large (100000 x 100000 pixels).");
    s = good;
    s.BitCount = 8;
    s.ColorsUsed = 300;
    s.Palette.assign(300, 0);
    EXPECT_EQ(LoadError(MakeBmp(s)), "Cannot load image. Palette in Windows bitmap file is invalid.");
    s = good;
    s.BitCount = 16;
    s.Compression = 3;
    s.Masks = {0xF800, 0x0FE0, 0x001F};  // red and green overlap
    EXPECT_EQ(LoadError(MakeBmp(s)), "Cannot load image. Invalid color masks in Windows bitmap file.");
    s = good;
    s.BitCount = 8;
    s.Compression = 1;
    s.Height = -1;  // RLE cannot be top-down
    s.Palette.assign(2, 0);
    EXPECT_EQ(LoadError(MakeBmp(s)), "Cannot load image. Invalid or unexpected Windows bitmap image format.");
    s = good;
    s.OffsetAdjust = -20;  // pixels inside the header
    EXPECT_EQ(LoadError(MakeBmp(s)), "Cannot load image. Invalid or unexpected Windows bitmap image format.");
}

TEST(BitmapFile, TruncatedFilesRaiseTheStreamReadError) {
    TBmpSpec s;
    s.Width = 4;
    s.Height = 1000;  // needs 12000 bytes of pixels
    s.Pixels.assign(11990, 0);
    EXPECT_EQ(LoadError(MakeBmp(s)), "Stream read error");
    s.Pixels.assign(100, 0);  // far more than a row missing
    EXPECT_EQ(LoadError(MakeBmp(s)), "Cannot load image. The picture is too large (4 x 1000 pixels).");
    TBytes file = MakeBmp(TBmpSpec{});
    for (std::size_t cut : {5, 14, 20, 53})
        EXPECT_EQ(LoadError(TBytes(file.begin(), file.begin() + cut)), "Stream read error") << cut;
    EXPECT_EQ(LoadError(TBytes{'B'}), "Cannot load image. Invalid or unexpected Windows bitmap image format.");
    EXPECT_EQ(LoadError(TBytes{'n', 'o', 't'}),
              "Cannot load image. Invalid or unexpected Windows bitmap image format.");
    // The last row may lack its padding.
    TBmpSpec unpadded;
    unpadded.Width = 1;
    unpadded.Height = 2;
    unpadded.Pixels = {1, 2, 3, 0, 4, 5, 6};
    EXPECT_EQ(Load(MakeBmp(unpadded)).Pixel(0, 0), RGBColor(6, 5, 4));
}

TEST(BitmapFile, ReadsFromTheStreamsPosition) {
    TBmpSpec s;
    s.Pixels = {1, 2, 3, 0};
    TBytes file = MakeBmp(s);
    TBytes shifted(7, 0xEE);
    shifted.insert(shifted.end(), file.begin(), file.end());
    TMemoryStream stream(shifted);
    stream.SetPosition(7);
    TBitmap b;
    b.LoadFromStream(stream);
    EXPECT_EQ(b.Pixel(0, 0), RGBColor(3, 2, 1));
}

TEST(BitmapFile, PillowSuite) {
    namespace fs = std::filesystem;
    fs::path folder = fs::path(PIXAMO_CORPUS_DIR) / "pillow" / "bmp";
    if (!fs::is_directory(folder / "g")) GTEST_SKIP() << "no corpus";
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(folder / "g")) {
        SCOPED_TRACE(entry.path().filename().string());
        TBitmap b;
        ASSERT_NO_THROW(b.LoadFromFile(entry.path().string()));
        EXPECT_GT(b.Width(), 0);
        int width = 0, height = 0;
        TBytes rgb;
        if (HaveImageMagick() && DecodeWithImageMagick(entry.path().string(), width, height, rgb)) {
            ASSERT_EQ(b.Width(), width);
            ASSERT_EQ(b.Height(), height);
            // 16-bit channels are widened with slightly different rounding elsewhere.
            EXPECT_LE(MaxDifference(b, rgb), 4);
            ++compared;
        }
    }
    // The bad ones load or are refused with a picture or stream error; none may crash.
    for (const auto& entry : fs::directory_iterator(folder / "b")) {
        SCOPED_TRACE(entry.path().filename().string());
        TBitmap b;
        try {
            b.LoadFromFile(entry.path().string());
        } catch (const EInvalidGraphic&) {
        } catch (const EStreamError&) {
        }
    }
    if (HaveImageMagick()) {
        EXPECT_GT(compared, 15);
    }
}

TEST(BitmapFile, FilesMadeByImageMagick) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    TScratchFolder folder;
    TBitmap source = MakeTestPicture(37, 23);
    WritePpm(source, folder / "source.ppm");
    struct TCase {
        const char* Options;
        const char* Output;
        TPixelFormat Format;
        int Tolerance;
    };
    const TCase cases[] = {
        {"", "BMP3:plain24.bmp", TPixelFormat::pf24bit, 0},
        {"-alpha set -channel A -evaluate set 100% +channel", "BMP:argb.bmp", TPixelFormat::pf32bit, 0},
        {"-colors 200", "BMP3:palette8.bmp", TPixelFormat::pf8bit, 0},
        {"-colors 200 -compress RLE", "BMP3:rle8.bmp", TPixelFormat::pf8bit, 0},
        {"-colors 12", "BMP3:palette4.bmp", TPixelFormat::pf4bit, 0},
        {"-monochrome", "BMP3:mono.bmp", TPixelFormat::pf1bit, 0},
        {"-colors 200", "BMP2:os2.bmp", TPixelFormat::pf8bit, 0},
        {"-define bmp:subtype=RGB565", "BMP:rgb565.bmp", TPixelFormat::pf24bit, 0},
        {"-define bmp:subtype=RGB555", "BMP:rgb555.bmp", TPixelFormat::pf15bit, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Output);
        std::string output = c.Output;
        std::string name = output.substr(output.find(':') + 1);
        ASSERT_TRUE(RunConvert("'" + (folder / "source.ppm") + "' " + c.Options + " '" +
                               output.substr(0, output.find(':') + 1) + (folder / name) + "'"));
        TBitmap b;
        ASSERT_NO_THROW(b.LoadFromFile(folder / name));
        EXPECT_EQ(b.PixelFormat(), c.Format);
        int width = 0, height = 0;
        TBytes rgb;
        ASSERT_TRUE(DecodeWithImageMagick(folder / name, width, height, rgb));
        ASSERT_EQ(b.Width(), width);
        ASSERT_EQ(b.Height(), height);
        EXPECT_LE(MaxDifference(b, rgb), c.Tolerance + 4);
    }
}

TEST(BitmapFile, SaveToFileWritesWhatImageMagickReads) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    TScratchFolder folder;
    TBitmap picture = MakeTestPicture(13, 7);
    picture.SaveToFile(folder / "out.bmp");
    int width = 0, height = 0;
    TBytes rgb;
    ASSERT_TRUE(DecodeWithImageMagick(folder / "out.bmp", width, height, rgb));
    ASSERT_EQ(width, 13);
    ASSERT_EQ(height, 7);
    EXPECT_EQ(MaxDifference(picture, rgb), 0);
}

TEST(BitmapFile, EmptyPicturesAreNotSaved) {
    TBitmap empty;
    TMemoryStream stream;
    EXPECT_THROW(empty.SaveToStream(stream), EInvalidGraphic);
    EXPECT_EQ(stream.Size(), 0);
}

TEST(BitmapFile, ImpossibleSizesLeaveAnEmptyBitmap) {
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf32bit);
    EXPECT_THROW(b.SetSize(1 << 30, 1 << 30), EOutOfMemory);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Stride(), 0u);
}
