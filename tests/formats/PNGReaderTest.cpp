#include "PngBuilder.h"
#include "TestSupport.h"

#include "formats/FileFormatList.h"
#include "formats/PNGGraphic.h"
#include "formats/ReaderStrings.h"
#include "platform/Exception.h"
#include "platform/PictureFiles.h"
#include "platform/Stream.h"

#include <cmath>
#include <functional>

using namespace png_builder;
namespace fs = std::filesystem;

namespace {

// A picture given as samples (channels per pixel, row by row) at one bit depth.
struct TSamples {
    std::uint32_t Width = 0, Height = 0;
    unsigned Depth = 8, Channels = 1;
    std::vector<std::uint16_t> Values;
    std::uint16_t At(std::uint32_t x, std::uint32_t y, unsigned c) const {
        return Values[(y * Width + x) * Channels + c];
    }
};

TSamples Pattern(std::uint32_t width, std::uint32_t height, unsigned depth, unsigned channels) {
    TSamples s{width, height, depth, channels, {}};
    std::uint32_t seed = 12345;
    for (std::uint32_t i = 0; i < width * height * channels; ++i) {
        seed = seed * 1103515245u + 12345u;
        s.Values.push_back(static_cast<std::uint16_t>((seed >> 8) & ((1u << depth) - 1)));
    }
    return s;
}

// The stored bytes of the pixels in the given columns of one row.
TBytes PackRow(const TSamples& s, std::uint32_t y, std::uint32_t firstColumn, std::uint32_t step) {
    TBytes row;
    unsigned bits = 0, acc = 0;
    for (std::uint32_t x = firstColumn; x < s.Width; x += step)
        for (unsigned c = 0; c < s.Channels; ++c) {
            unsigned v = s.At(x, y, c);
            if (s.Depth == 16) {
                row.push_back(static_cast<std::uint8_t>(v >> 8));
                row.push_back(static_cast<std::uint8_t>(v));
            } else {
                acc = (acc << s.Depth) | v;
                bits += s.Depth;
                if (bits == 8) row.push_back(static_cast<std::uint8_t>(acc)), acc = 0, bits = 0;
            }
        }
    if (bits) row.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
    return row;
}

std::uint8_t Paeth(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Filters one row against the (unfiltered) row above; the result starts with the filter byte.
TBytes FilterRow(const TBytes& row, const TBytes& above, std::uint8_t type, unsigned bpp) {
    TBytes out = {type};
    for (std::size_t i = 0; i < row.size(); ++i) {
        int a = i >= bpp ? row[i - bpp] : 0, b = above.empty() ? 0 : above[i],
            c = i >= bpp && !above.empty() ? above[i - bpp] : 0;
        int predictor = type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2 : type == 4 ? Paeth(a, b, c) : 0;
        out.push_back(static_cast<std::uint8_t>(row[i] - predictor));
    }
    return out;
}

// The inflated image data, every row with the next of the five filters in turn.
TBytes ImageData(const TSamples& s, bool interlaced, std::uint8_t firstFilter = 0) {
    static const unsigned passes[7][4] = {{0, 8, 0, 8}, {0, 8, 4, 8}, {4, 8, 0, 4}, {0, 4, 2, 4},
                                          {2, 4, 0, 2}, {0, 2, 1, 2}, {1, 2, 0, 1}};
    const unsigned bpp = std::max(1u, s.Depth * s.Channels / 8);
    TBytes data;
    std::uint8_t filter = firstFilter;
    auto pass = [&](unsigned firstRow, unsigned rowStep, unsigned firstColumn, unsigned columnStep) {
        if (firstColumn >= s.Width) return;
        TBytes above;
        for (std::uint32_t y = firstRow; y < s.Height; y += rowStep) {
            TBytes row = PackRow(s, y, firstColumn, columnStep);
            TBytes filtered = FilterRow(row, above, filter, bpp);
            filter = static_cast<std::uint8_t>((filter + 1) % 5);
            data.insert(data.end(), filtered.begin(), filtered.end());
            above = row;
        }
    };
    if (interlaced)
        for (const auto& p : passes) pass(p[0], p[1], p[2], p[3]);
    else
        pass(0, 1, 0, 1);
    return data;
}

std::uint8_t Level(unsigned v, unsigned depth) { return static_cast<std::uint8_t>(v * 255u / ((1u << depth) - 1)); }

// What the reader shows of grey or colour samples: 16-bit samples truncated, smaller depths
// spread over 0..255.
TBgrImage Expected(const TSamples& s) {
    TBgrImage image;
    image.Width = static_cast<int>(s.Width);
    image.Height = static_cast<int>(s.Height);
    for (std::uint32_t y = 0; y < s.Height; ++y)
        for (std::uint32_t x = 0; x < s.Width; ++x) {
            bool color = s.Channels >= 3;
            std::uint8_t r = Level(s.At(x, y, 0), s.Depth);
            std::uint8_t g = color ? Level(s.At(x, y, 1), s.Depth) : r, b = color ? Level(s.At(x, y, 2), s.Depth) : r;
            image.Bgr.insert(image.Bgr.end(), {b, g, r});
        }
    return image;
}

TBytes SimplePng(const TSamples& s, std::uint8_t colorType, bool interlaced, const std::vector<TBytes>& beforeData = {},
                 const std::vector<TBytes>& afterData = {}) {
    std::vector<TBytes> chunks = {Ihdr(s.Width, s.Height, static_cast<std::uint8_t>(s.Depth), colorType, interlaced)};
    chunks.insert(chunks.end(), beforeData.begin(), beforeData.end());
    chunks.push_back(Chunk("IDAT", Zlib(ImageData(s, interlaced))));
    chunks.insert(chunks.end(), afterData.begin(), afterData.end());
    chunks.push_back(Iend());
    return Png(chunks);
}

const TBytes GrayPixel = Zlib({0, 0x80});  // one row of one 8-bit grey pixel

std::string Formatted(const char* text) { return FormatText(text, "PNG"); }

}  // namespace

TEST(PngReader, DescribesTheHeaderAndTheGamma) {
    TSamples s = Pattern(5, 3, 16, 4);
    TBytes file = SimplePng(s, 6, true, {Chunk("tEXt", {'a', 0, 'b'}), Chunk("gAMA", {0, 0, 0xB1, 0x8F})});
    TPNGGraphic reader;
    TMemoryStream stream(file);
    ASSERT_TRUE(reader.ReadProperties(stream, 3));
    const TImageProperties& p = reader.ImageProperties;
    EXPECT_EQ(p.Width, 5u);
    EXPECT_EQ(p.Height, 3u);
    EXPECT_EQ(p.ColorScheme, ColorScheme::RGBA);
    EXPECT_EQ(p.BitsPerSample, 16);
    EXPECT_EQ(p.SamplesPerPixel, 4);
    EXPECT_EQ(p.BitsPerPixel, 64);
    EXPECT_EQ(p.Compression, CompressionKind::Deflate);
    EXPECT_EQ(p.Options, BigEndian);
    EXPECT_TRUE(p.Interlaced);
    EXPECT_TRUE(p.HasAlpha);
    EXPECT_FLOAT_EQ(p.FileGamma, 0.45455f);

    TSamples grayAlpha = Pattern(2, 2, 8, 2);
    TMemoryStream second(SimplePng(grayAlpha, 4, false));
    ASSERT_TRUE(reader.ReadProperties(second, 0));
    EXPECT_EQ(reader.ImageProperties.ColorScheme, ColorScheme::GrayAlpha);
    EXPECT_EQ(reader.ImageProperties.SamplesPerPixel, 1);
    EXPECT_EQ(reader.ImageProperties.BitsPerPixel, 8);
    EXPECT_EQ(reader.ImageProperties.FileGamma, 1.0f);
    EXPECT_FALSE(reader.ImageProperties.Interlaced);
}

TEST(PngReader, DecodesEveryFilterAndDepthPlainAndInterlaced) {
    struct TCase {
        unsigned Depth, Channels;
        std::uint8_t ColorType;
        TPixelFormat Format;
    };
    const TCase cases[] = {
        {1, 1, 0, TPixelFormat::pf1bit},   {2, 1, 0, TPixelFormat::pf4bit},   {4, 1, 0, TPixelFormat::pf4bit},
        {8, 1, 0, TPixelFormat::pf8bit},   {16, 1, 0, TPixelFormat::pf8bit},  {8, 3, 2, TPixelFormat::pf24bit},
        {16, 3, 2, TPixelFormat::pf24bit}, {8, 2, 4, TPixelFormat::pf8bit},   {16, 2, 4, TPixelFormat::pf8bit},
        {8, 4, 6, TPixelFormat::pf32bit},  {16, 4, 6, TPixelFormat::pf32bit},
    };
    // Sizes that leave some Adam7 passes empty or narrow: 1 x 1 uses pass 1 only, width 3 skips pass 2.
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1}, {3, 5}, {13, 11}};
    for (const TCase& c : cases)
        for (auto [width, height] : sizes)
            for (bool interlaced : {false, true}) {
                SCOPED_TRACE(testing::Message() << "depth " << c.Depth << " type " << int(c.ColorType) << " size "
                                                << width << "x" << height << (interlaced ? " interlaced" : ""));
                TSamples s = Pattern(width, height, c.Depth, c.Channels);
                auto reader = LoadReader<TPNGGraphic>(SimplePng(s, c.ColorType, interlaced));
                EXPECT_EQ(reader->PixelFormat(), c.Format);
                EXPECT_TRUE(SamePicture(ToBgr(*reader), Expected(s)));
            }
}

TEST(PngReader, PassRowsWithUpAverageOrPaethStartFromAZeroRow) {
    TSamples s = Pattern(9, 9, 8, 3);
    for (std::uint8_t filter : {2, 3, 4}) {
        TBytes data = ImageData(s, true, filter);
        auto reader = LoadReader<TPNGGraphic>(Png({Ihdr(9, 9, 8, 2, 1), Chunk("IDAT", Zlib(data)), Iend()}));
        EXPECT_TRUE(SamePicture(ToBgr(*reader), Expected(s))) << "first filter " << int(filter);
    }
}

TEST(PngReader, PalettesAndTransparentColours) {
    TSamples s = Pattern(6, 4, 2, 1);
    TBytes plte = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    auto reader = LoadReader<TPNGGraphic>(SimplePng(s, 3, true, {Chunk("PLTE", plte), Chunk("tRNS", {0})}));
    EXPECT_EQ(reader->PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_FALSE(reader->Transparent());  // palette transparency has no visible effect
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 6; ++x) {
            const std::uint8_t* e = &plte[s.At(x, y, 0) * 3];
            EXPECT_EQ(reader->Pixel(x, y), RGBColor(e[0], e[1], e[2]));
        }
    // A palette longer than 256 entries is cut to 256.
    TBytes longPalette(3 * 300, 7);
    EXPECT_EQ(LoadReader<TPNGGraphic>(SimplePng(Pattern(4, 4, 8, 1), 3, false, {Chunk("PLTE", longPalette)}))
                  ->Palette()
                  .size(),
              256u);

    TSamples gray16 = Pattern(2, 2, 16, 1);
    reader = LoadReader<TPNGGraphic>(SimplePng(gray16, 0, false, {Chunk("tRNS", {0xFF, 0xFE})}));
    EXPECT_TRUE(reader->Transparent());
    EXPECT_EQ(reader->TransparentColor(), RGBColor(254, 254, 254));
    reader = LoadReader<TPNGGraphic>(SimplePng(Pattern(2, 2, 2, 1), 0, false, {Chunk("tRNS", {0, 3})}));
    EXPECT_EQ(reader->TransparentColor(), RGBColor(15, 15, 15));
    reader = LoadReader<TPNGGraphic>(SimplePng(Pattern(2, 2, 8, 3), 2, false, {Chunk("tRNS", {0, 1, 0, 2, 0, 3})}));
    EXPECT_EQ(reader->TransparentColor(), RGBColor(1, 2, 3));
    // Too short to state a colour: ignored.
    reader = LoadReader<TPNGGraphic>(SimplePng(Pattern(2, 2, 8, 3), 2, false, {Chunk("tRNS", {0, 1})}));
    EXPECT_FALSE(reader->Transparent());
}

TEST(PngReader, GammaChunkCorrectsForTheDisplay) {
    TSamples s = Pattern(16, 16, 8, 3);
    auto reader = LoadReader<TPNGGraphic>(SimplePng(s, 2, false, {Chunk("gAMA", {0, 0, 0xB1, 0x8F})}));  // 45455
    EXPECT_TRUE(reader->ImageProperties.Options & UseGamma);
    EXPECT_TRUE(SamePicture(ToBgr(*reader), Expected(s), 1));  // 0.45455 × 2.2 is almost 1
    reader = LoadReader<TPNGGraphic>(SimplePng(s, 2, false, {Chunk("gAMA", {0, 1, 0x86, 0xA0})}));  // 1.0: brightened
    EXPECT_EQ(reader->Pixel(0, 0) & 0xFF,
              static_cast<TColor>(std::nearbyint(std::pow(s.At(0, 0, 0) / 255.0L, 1 / (2.2L)) * 255)));
    reader = LoadReader<TPNGGraphic>(SimplePng(s, 2, false, {Chunk("gAMA", {0, 1})}));  // too short: ignored
    EXPECT_TRUE(SamePicture(ToBgr(*reader), Expected(s)));
}

TEST(PngReader, ChecksTheCrcOfEveryChunkItReads) {
    TSamples s = Pattern(4, 4, 8, 1);
    TBytes plte(3 * 256, 1);
    const std::vector<TBytes> readChunks = {Chunk("gAMA", {0, 1, 0x86, 0xA0}), Chunk("bKGD", {0, 5}),
                                            Chunk("tRNS", {0, 5})};
    // Header at offset 8 + 8: flip a byte inside each read chunk in turn.
    TBytes good = SimplePng(s, 0, false, readChunks);
    ASSERT_EQ(ReaderMessage<TPNGGraphic>(good), "(no exception)");
    std::size_t at = 8;
    while (at < good.size()) {
        std::uint32_t length = (good[at] << 24) | (good[at + 1] << 16) | (good[at + 2] << 8) | good[at + 3];
        std::string type(good.begin() + at + 4, good.begin() + at + 8);
        if (type != "IEND") {
            TBytes bad = good;
            bad[at + 8 + length / 2] ^= 0x10;
            EXPECT_EQ(ReaderMessage<TPNGGraphic>(bad), Formatted(gesCRCError)) << type;
        }
        at += 12 + length;
    }
    TBytes palette = SimplePng(Pattern(4, 4, 8, 1), 3, false, {Chunk("PLTE", plte)});
    palette[8 + 25 + 8 + 100] ^= 1;
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(palette), Formatted(gesCRCError));

    // Chunks that are skipped go unchecked: a text chunk, and the one right after the image data.
    TBytes skipped = SimplePng(s, 0, false, {Chunk("tEXt", {'k', 0, 'v'})}, {Chunk("zzTx", {1, 2, 3})});
    skipped[8 + 25 + 8 + 1] ^= 1;
    skipped[skipped.size() - 12 - 4] ^= 1;  // the CRC of the chunk after the image data
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(skipped), "(no exception)");
}

TEST(PngReader, RefusesWhatItCannotDecode) {
    TBytes idat = Chunk("IDAT", GrayPixel);
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Chunk("gAMA", {0, 1, 0x86, 0xA0}), Ihdr(1, 1, 8, 0), idat, Iend()})),
              Formatted(gesInvalidImage));
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(0, 1, 8, 0), idat, Iend()})), Formatted(gesInvalidImage));
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(1, 0x80000000u, 8, 0), idat, Iend()})), Formatted(gesInvalidImage));
    TBytes shortHeader = Chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0});
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({shortHeader, idat, Iend()})), Formatted(gesInvalidImage));
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(1, 1, 4, 2), idat, Iend()})), Formatted(gesInvalidColorFormat));
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(1, 1, 8, 5), idat, Iend()})), Formatted(gesInvalidColorFormat));
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(1, 1, 8, 0, 0, 1), idat, Iend()})),
              FormatText(gesUnsupportedFeature, "The compression scheme is", "PNG"));
    // A palette whose length is not a multiple of 3, even for an RGB image.
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(1, 1, 8, 2), Chunk("PLTE", TBytes(10, 0)), idat, Iend()})),
              Formatted(gesInvalidPalette));
    // Unknown chunks: ancillary ones (lower-case first letter) are skipped, critical ones refused,
    // also right after the image data.
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(1, 1, 8, 0), Chunk("abCD", {1}), idat, Iend()})), "(no exception)");
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(1, 1, 8, 0), Chunk("ABCD", {1}), idat, Iend()})),
              gesUnknownCriticalChunk);
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(1, 1, 8, 0), idat, Chunk("PLTE", {1, 2, 3}), Iend()})),
              gesUnknownCriticalChunk);
    // No image data at all.
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(1, 1, 8, 0), Iend()})), Formatted(gesNoImageData));
    // Chunk types ignore letter case.
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(1, 1, 8, 0), Chunk("IdAt", GrayPixel), Chunk("iend", {})})),
              "(no exception)");
}

TEST(PngReader, ImageDataAcrossChunksAndItsFaults) {
    TSamples s = Pattern(7, 6, 8, 3);
    TBytes packed = Zlib(ImageData(s, false));
    // Split into chunks of 5 bytes with empty chunks in between.
    std::vector<TBytes> chunks = {Ihdr(7, 6, 8, 2)};
    for (std::size_t i = 0; i < packed.size(); i += 5) {
        chunks.push_back(Chunk("IDAT", TBytes(packed.begin() + i, packed.begin() + std::min(packed.size(), i + 5))));
        chunks.push_back(Chunk("IDAT", {}));
    }
    chunks.push_back(Iend());
    EXPECT_TRUE(SamePicture(ToBgr(*LoadReader<TPNGGraphic>(Png(chunks))), Expected(s)));

    // Data that ends early is not an error; the rows come from what the row buffers hold.
    TBytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2));
    auto reader = LoadReader<TPNGGraphic>(Png({Ihdr(7, 6, 8, 2), Chunk("IDAT", cut), Iend()}));
    EXPECT_EQ(reader->Width(), 7);
    EXPECT_EQ(reader->Pixel(0, 0), Expected(s).At(0, 0));

    // A stream that ends before the rows are complete while data follows it.
    TBytes oneRow = Zlib(TBytes(1 + 7 * 3, 0));
    oneRow.insert(oneRow.end(), {0, 0});
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(7, 6, 8, 2), Chunk("IDAT", oneRow), Iend()})),
              Formatted(gesExtraCompressedData));
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(
                  Png({Ihdr(7, 6, 8, 2), Chunk("IDAT", Zlib(ImageData(s, false))), Chunk("IDAT", {1, 2}), Iend()})),
              "(no exception)");  // the rows were complete before the surplus chunk
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(
                  Png({Ihdr(7, 6, 8, 2), Chunk("IDAT", TBytes(packed.begin(), packed.end() - 4)), Chunk("IDAT", {}),
                       Chunk("IDAT", TBytes(packed.end() - 4, packed.end())), Iend()})),
              "(no exception)");
    TBytes garbage = packed;
    garbage[2] ^= 0xFF;
    garbage[3] ^= 0xFF;
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(7, 6, 8, 2), Chunk("IDAT", garbage), Iend()})),
              Formatted(gesCompressionError));
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(7, 6, 8, 2), Chunk("IDAT", {0x78, 0x9C, 0xFF, 0xFF}), Iend()})),
              Formatted(gesCompressionError));
}

TEST(PngReader, RefusesSizesBeyondTheFileBeforeAllocating) {
    // A chunk length beyond the end of the file is a read past the end.
    TBytes file = Png({Ihdr(1, 1, 8, 0), Chunk("IDAT", GrayPixel), Iend()});
    TBytes longChunk = file;
    longChunk[8 + 25 + 0] = 0x7F;  // IDAT length 0x7F000000 + ...
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(longChunk), "Stream read error");
    // A missing IEND runs into the end of the file.
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(TBytes(file.begin(), file.end() - 12)), "Stream read error");
    // More pixels than can reasonably be held, or than the data could inflate to.
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(100000, 100000, 8, 0), Chunk("IDAT", GrayPixel), Iend()})),
              "Cannot load image. The PNG image of 100000 x 100000 pixels is too large.");
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(Png({Ihdr(8000, 8000, 16, 6), Chunk("IDAT", GrayPixel), Iend()})),
              "Cannot load image. The PNG image of 8000 x 8000 pixels is too large.");
}

TEST(PngReader, LoadsPicturesEncodedByImageMagickExactly) {
    PIXAMO_REQUIRE_TOOL("convert");
    TBgrImage picture;
    picture.Width = 23;
    picture.Height = 17;
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x)
            picture.Bgr.insert(picture.Bgr.end(),
                               {std::uint8_t(x * 11), std::uint8_t(y * 15), std::uint8_t((x * y) & 0xFF)});
    TBgrImage gray = picture;
    for (std::size_t i = 0; i < gray.Bgr.size(); i += 3) gray.Bgr[i] = gray.Bgr[i + 1] = gray.Bgr[i + 2];
    fs::path source = ScratchFolder() / "picture.ppm", graySource = ScratchFolder() / "gray.ppm";
    WriteFile(source, MakePpm(picture));
    WriteFile(graySource, MakePpm(gray));
    struct TVariant {
        const char* Options;
        const fs::path* Source;
        const TBgrImage* Expected;
    };
    const TVariant variants[] = {
        {"-define png:color-type=2", &source, &picture},
        {"-define png:color-type=2 -interlace PNG", &source, &picture},
        {"-define png:color-type=6 -depth 16", &source, &picture},
        {"-define png:color-type=0", &graySource, &gray},
        {"-define png:color-type=0 -depth 16 -interlace PNG", &graySource, &gray},
        {"-define png:color-type=4", &graySource, &gray},
    };
    for (const TVariant& v : variants) {
        fs::path target = ScratchFolder() / "magick.png";
        ASSERT_TRUE(RunTool("convert " + v.Source->string() + " " + v.Options + " -strip " + target.string()));
        TLoadedPicture loaded;
        EXPECT_TRUE(SamePicture(LoadBgr(target.string(), &loaded), *v.Expected)) << v.Options;
        EXPECT_EQ(loaded.Class, &TPNGGraphicClass);
    }
}

TEST(PngReader, DecodesIconImagesStoredAsPng) {
    FormatList();  // the icon loader finds the PNG reader through the extension table
    TSamples s = Pattern(6, 5, 8, 3);
    TBytes png = SimplePng(s, 2, false);
    TBytes icon = {0, 0, 1, 0, 1, 0, 6, 5, 0, 0, 1, 0, 32, 0};
    for (std::uint32_t v : {std::uint32_t(png.size()), 22u})
        for (int shift = 0; shift < 32; shift += 8) icon.push_back(static_cast<std::uint8_t>(v >> shift));
    icon.insert(icon.end(), png.begin(), png.end());
    TIcon picture;
    TMemoryStream stream(icon);
    picture.LoadFromStream(stream);
    EXPECT_TRUE(picture.ImageIsPng());
    EXPECT_TRUE(SamePicture(ToBgr(picture), Expected(s)));
}
