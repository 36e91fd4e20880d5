#include "GifBuilder.h"
#include "TestSupport.h"

#include "formats/FileFormatList.h"
#include "formats/GIFGraphic.h"
#include "formats/ReaderStrings.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <map>

using namespace gif_builder;
namespace fs = std::filesystem;

namespace {

TBytes Pixels(unsigned count, unsigned modulo) {
    TBytes pixels;
    for (unsigned i = 0; i < count; ++i) pixels.push_back(static_cast<std::uint8_t>((i * 7 + i / 5) % modulo));
    return pixels;
}

TColor TableColor(unsigned i) { return RGBColor(std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)); }

// Graphic control (transparent index 3), comment, application and plain text extensions, an
// unknown label and a stray byte.
TBytes Extensions() {
    TBytes b = {33, 249, 4, 1, 0, 0, 3, 0};
    b.insert(b.end(), {33, 254, 3, 'a', 'b', 'c', 2, 'd', 'e', 0});
    b.insert(b.end(), {33, 255, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
    b.insert(b.end(), {33, 1, 12, 0, 0, 0, 0, 8, 0, 8, 0, 1, 1, 0, 0, 2, 'h', 'i', 0});
    b.insert(b.end(), {33, 7, 0x99});
    return b;
}

}  // namespace

TEST(GifReader, DescribesTheFirstImage) {
    TBytes file = Gif({Header("gif89a", 20, 10, 7), Extensions(), Image(0, 4, Pixels(80, 16), 4, true, 3)});
    TGIFGraphic reader;
    TMemoryStream stream(file);
    ASSERT_TRUE(reader.ReadProperties(stream, 5));
    const TImageProperties& p = reader.ImageProperties;
    EXPECT_EQ(p.Version, 89u);
    EXPECT_EQ(p.Width, 20u);  // the descriptor's width 0 means the screen width
    EXPECT_EQ(p.Height, 4u);
    EXPECT_EQ(p.ColorScheme, ColorScheme::Indexed);
    EXPECT_EQ(p.SamplesPerPixel, 1);
    EXPECT_EQ(p.BitsPerSample, 4);
    EXPECT_EQ(p.BitsPerPixel, 4);
    EXPECT_EQ(p.Compression, CompressionKind::LZW);
    EXPECT_TRUE(p.LocalColorTable);
    EXPECT_TRUE(p.Interlaced);

    TMemoryStream globalOnly(Gif({Header("GIF87a", 3, 2, 1), Image(3, 2, Pixels(6, 4), 2)}));
    ASSERT_TRUE(reader.ReadProperties(globalOnly, 0));
    EXPECT_EQ(reader.ImageProperties.Version, 87u);
    EXPECT_EQ(reader.ImageProperties.BitsPerSample, 2);
    EXPECT_FALSE(reader.ImageProperties.LocalColorTable);

    TMemoryStream notGif(TBytes{'G', 'I', 'X', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 59});
    EXPECT_FALSE(reader.ReadProperties(notGif, 0));
}

TEST(GifReader, CopiesTheFirstImageWithItsPalette) {
    TBytes pixels = Pixels(13 * 7, 256);
    auto reader = LoadReader<TGIFGraphic>(
        Gif({Header("GIF89a", 13, 7, 7), Extensions(), Image(13, 7, pixels), Image(13, 7, TBytes(13 * 7, 1))}));
    ASSERT_EQ(reader->Width(), 13);
    ASSERT_EQ(reader->Height(), 7);
    EXPECT_EQ(reader->PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(reader->Palette().size(), 256u);
    EXPECT_FALSE(reader->Transparent());  // the transparent index shows its palette colour
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) EXPECT_EQ(reader->Pixel(x, y), TableColor(pixels[y * 13 + x]));

    // A local table replaces the global one; small code sizes.
    reader = LoadReader<TGIFGraphic>(Gif({Header("GIF89a", 5, 5, 7), Image(4, 3, Pixels(12, 16), 4, false, 3, 1, 1)}));
    EXPECT_EQ(reader->Palette().size(), 16u);
    EXPECT_EQ(reader->Width(), 4);  // the offsets are not used
    EXPECT_EQ(reader->Pixel(3, 2), TableColor(Pixels(12, 16)[11]));
    reader = LoadReader<TGIFGraphic>(Gif({Header("GIF89a", 3, 3, 0), Image(3, 3, Pixels(9, 2), 2)}));
    EXPECT_EQ(reader->Pixel(2, 2), TableColor(Pixels(9, 2)[8]));
}

TEST(GifReader, InterlacedRowsComeInFourPasses) {
    TBytes pixels;
    for (std::uint8_t block = 0; block < 10; ++block) pixels.insert(pixels.end(), 3, block);
    auto reader = LoadReader<TGIFGraphic>(Gif({Header("GIF89a", 3, 10, 7), Image(3, 10, pixels, 8, true)}));
    const int rowOfBlock[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    for (int block = 0; block < 10; ++block) EXPECT_EQ(reader->ScanLine(rowOfBlock[block])[2], block);
}

TEST(GifReader, FilesWithoutAnImage) {
    auto reader = LoadReader<TGIFGraphic>(Gif({Header("GIF89a", 10, 10, 1)}));
    EXPECT_TRUE(reader->Empty());
    reader = LoadReader<TGIFGraphic>(Gif({Header("GIF89a", 10, 10, -1), Extensions()}));
    EXPECT_TRUE(reader->Empty());
    // Width 0 on the screen as well: an empty picture, nothing decoded.
    reader = LoadReader<TGIFGraphic>(Gif({Header("GIF89a", 0, 10, 1), Image(0, 10, {}, 2)}));
    EXPECT_EQ(reader->Width(), 0);
}

TEST(GifReader, RefusesBrokenFilesCleanly) {
    EXPECT_EQ(ReaderMessage<TGIFGraphic>(TBytes{'G', 'I', 'F', '8', 'x', 'a', 0, 0, 0, 0, 0, 0, 0, 59}),
              "'8x' is not a valid integer value");
    EXPECT_EQ(ReaderMessage<TGIFGraphic>(TBytes{'P', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 59}),
              FormatText(gesInvalidImage, "GIF"));
    // Reads past the end inside an extension or a colour table.
    TBytes cut = Gif({Header("GIF89a", 4, 4, 7), Extensions()});
    EXPECT_EQ(ReaderMessage<TGIFGraphic>(TBytes(cut.begin(), cut.end() - 8)), "Stream read error");
    EXPECT_EQ(ReaderMessage<TGIFGraphic>(TBytes(cut.begin(), cut.begin() + 100)), "Stream read error");

    // Data that ends early leaves the remaining pixels at index 0.
    TBytes full = Gif({Header("GIF89a", 16, 16, 7), Image(16, 16, TBytes(256, 5))});
    TBytes truncated(full.begin(), full.begin() + 13 + 768 + 10 + 1 + 40);
    auto reader = LoadReader<TGIFGraphic>(truncated);
    EXPECT_EQ(reader->Pixel(0, 0), TableColor(5));
    EXPECT_EQ(reader->Pixel(15, 15), TableColor(0));
    // An image without data shows index 0.
    EXPECT_EQ(LoadReader<TGIFGraphic>(Gif({Header("GIF89a", 2, 2, 1), Image(2, 2, {}, 2)}))->Pixel(1, 1),
              TableColor(0));
    // Code sizes the decoder has no alphabet for decode nothing.
    TBytes badCodeSize = Gif({Header("GIF89a", 4, 4, 7), Image(4, 4, TBytes(16, 5))});
    badCodeSize[13 + 768 + 10] = 14;
    EXPECT_EQ(LoadReader<TGIFGraphic>(badCodeSize)->Pixel(0, 0), TableColor(0));

    // More pixels than can be held, or than the data could ever stand for.
    EXPECT_EQ(ReaderMessage<TGIFGraphic>(Gif({Header("GIF89a", 1, 1, 1), Image(65535, 65535, {1}, 2)})),
              "Cannot load image. The GIF image of 65535 x 65535 pixels is too large.");
    EXPECT_EQ(ReaderMessage<TGIFGraphic>(Gif({Header("GIF89a", 1, 1, 1), Image(65535, 1321, {1}, 2)})),
              "Cannot load image. The GIF image of 65535 x 1321 pixels is too large.");
}

namespace {
bool IsGif(const fs::path& path) { return path.extension() == ".gif"; }
}  // namespace

TEST(GifReader, CorpusPicturesMatchAnIndependentDecode) {
    PIXAMO_REQUIRE_CORPUS();
    // Deliberate differences, listed in docs/formats.md.
    const std::map<std::string, std::string> refused = {
        {"decompression_bomb.gif", "Cannot load image. The GIF image of 65535 x 1321 pixels is too large."},
        // Image and screen 0 pixels wide: no picture to show.
        {"zero_width.gif", "Cannot load image. Invalid or unexpected GIF image format."},
    };
    int compared = 0;
    for (const fs::path& file : CorpusFiles("pillow", &IsGif)) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        if (auto r = refused.find(name); r != refused.end()) {
            try {
                LoadPictureFile(file.string());
                ADD_FAILURE() << "loaded";
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), r->second);
            }
            continue;
        }
        TLoadedPicture loaded;
        TBgrImage actual = LoadBgr(file.string(), &loaded);
        EXPECT_EQ(loaded.Class, &TGIFGraphicClass);
        std::optional<TBgrImage> reference = ReferenceDecode(file.string());
        if (!reference) {
            ADD_FAILURE() << "no independent decode";
            continue;
        }
        EXPECT_TRUE(SamePicture(actual, *reference));
        ++compared;
    }
    if (compared == 0) GTEST_SKIP() << "no GIF pictures or no independent decoder";
}

TEST(GifReader, LoadsPicturesEncodedByImageMagickExactly) {
    PIXAMO_REQUIRE_TOOL("convert");
    TBgrImage picture;
    picture.Width = 31;
    picture.Height = 19;
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x) {
            std::uint8_t level = static_cast<std::uint8_t>(((x / 4) * 40 + (y / 5) * 60) & 0xFF);
            picture.Bgr.insert(picture.Bgr.end(), {level, std::uint8_t(255 - level), std::uint8_t(x * 8)});
        }
    fs::path source = ScratchFolder() / "gif-source.ppm";
    WriteFile(source, MakePpm(picture));
    for (const char* options : {"", "-interlace GIF"}) {
        fs::path target = ScratchFolder() / "magick.gif";
        ASSERT_TRUE(RunTool("convert " + source.string() + " " + options + " " + target.string()));
        EXPECT_TRUE(SamePicture(LoadBgr(target.string()), picture)) << options;
    }
}
