// The TIFF reader against independent decoders: the public TIFF test files, and pictures of
// known pixels written by ImageMagick and libtiff's tiffcp in every compression, byte order,
// strip height and plane layout the reader takes.
#include "formats/TIFFGraphic.h"

#include "TestSupport.h"
#include "formats/FileFormatList.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <map>

namespace fs = std::filesystem;

namespace {

const std::string InvalidTIFF = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";
const std::string UnsupportedCompression =
    "Cannot load image. The compression scheme is not supported for TIF/TIFF files.";
const std::string InvalidDepth = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// What loading a corpus file gives.
enum class TOutcome {
    Match,    // equals the independent decode within the tolerance
    Fails,    // raises the message
    Empty,    // a tiled image: an empty picture, no error
    Loads,    // loads, but differs from other decoders on purpose (see docs/formats.md)
    Refused,  // a damaged file: some Exception, never a crash
};

struct TExpectation {
    TOutcome Outcome;
    int Tolerance = 0;
    std::string Message = "";
};

// Every TIFF of the corpus. 16-bit samples and 16-bit colour maps are truncated to 8 bits here,
// rounded by netpbm: tolerance 1.
const std::map<std::string, TExpectation>& Expectations() {
    static const std::map<std::string, TExpectation> table = {
        {"32bpp-None-jpeg.tiff", {TOutcome::Match}},
        {"32bpp-None.tiff", {TOutcome::Match}},
        {"custom_dir_EXIF_GPS.tiff", {TOutcome::Match}},
        {"deflate-last-strip-extra-data.tiff", {TOutcome::Match}},
        {"logluv-3c-16b.tiff", {TOutcome::Fails, 0, UnsupportedCompression}},
        {"lzw-single-strip.tiff", {TOutcome::Match}},
        {"minisblack-1c-16b.tiff", {TOutcome::Match, 1}},
        {"minisblack-1c-8b.tiff", {TOutcome::Match}},
        {"minisblack-2c-8b-alpha.tiff", {TOutcome::Loads}},
        {"miniswhite-1c-1b.tiff", {TOutcome::Match}},
        {"ojpeg_chewey_subsamp21_multi_strip.tiff", {TOutcome::Fails, 0, UnsupportedCompression}},
        {"ojpeg_single_strip_no_rowsperstrip.tiff", {TOutcome::Fails, 0, UnsupportedCompression}},
        {"ojpeg_zackthecat_subsamp22_single_strip.tiff", {TOutcome::Empty}},
        {"palette-1c-1b.tiff", {TOutcome::Match}},
        {"palette-1c-4b.tiff", {TOutcome::Match, 1}},
        {"palette-1c-8b.tiff", {TOutcome::Match, 1}},
        {"quad-lzw-compat.tiff", {TOutcome::Fails, 0, UnsupportedCompression}},
        {"quad-tile.jpg.tiff", {TOutcome::Empty}},
        {"rgb-3c-16b.tiff", {TOutcome::Match}},
        {"rgb-3c-8b.tiff", {TOutcome::Match}},
        {"test_float64_predictor2_be_lzw.tif", {TOutcome::Fails, 0, InvalidDepth}},
        {"test_float64_predictor2_le_lzw.tif", {TOutcome::Fails, 0, InvalidDepth}},
        {"test_ifd_loop_subifd.tif", {TOutcome::Match}},
        {"test_ifd_loop_to_first.tif", {TOutcome::Match}},
        {"test_ifd_loop_to_self.tif", {TOutcome::Match}},
        {"test_two_ifds.tif", {TOutcome::Match}},
        {"testfax3_bug54_1dnoEOL.tif", {TOutcome::Match}},
        {"testfax3_bug_513.tiff", {TOutcome::Loads}},
        {"testfax4.tiff", {TOutcome::Fails, 0, UnsupportedCompression}},
        {"tiff_with_subifd_chain.tif", {TOutcome::Empty}},
        {"webp_lossless_rgba_alpha_fully_opaque.tif", {TOutcome::Fails, 0, UnsupportedCompression}},
        {"copyleft.tiff", {TOutcome::Match}},
        {"crash-0c7e0e8e11ce787078f00b5b0ca409a167f070e0.tif", {TOutcome::Refused}},
        {"crash-0da013a13571cc8eb457a39fee8db18f8a3c7127.tif", {TOutcome::Fails, 0, UnsupportedCompression}},
        {"crash-0e16d3bfb83be87356d026d66919deaefca44dac.tif", {TOutcome::Refused}},
        {"hopper.Lab.tif", {TOutcome::Loads}},
        {"hopper.tif", {TOutcome::Match}},
        {"hopper_g4.tif", {TOutcome::Fails, 0, UnsupportedCompression}},
        {"hopper_jpg.tif", {TOutcome::Match}},
        {"hopper_lzw.tif", {TOutcome::Match}},
        {"lab.tif", {TOutcome::Match, 1}},
        {"pil136.tiff", {TOutcome::Match}},
        {"pil168.tif", {TOutcome::Match}},
        {"tiff_16bit_RGB.tiff", {TOutcome::Empty}},
        {"tiff_adobe_deflate.tif", {TOutcome::Match}},
        {"tiff_strip_planar_lzw.tiff", {TOutcome::Match}},
        {"tiff_strip_raw.tif", {TOutcome::Match}},
        {"tiff_strip_ycbcr_jpeg_1x1_sampling.tif", {TOutcome::Match}},
        {"tiff_strip_ycbcr_jpeg_2x2_sampling.tif", {TOutcome::Match}},
        {"tiff_tiled_raw.tif", {TOutcome::Empty}},
        {"hopper2.tif", {TOutcome::Match}},
        {"hopper2I.tif", {TOutcome::Match}},
        {"hopper2IR.tif", {TOutcome::Match}},
        {"hopper2R.tif", {TOutcome::Match}},
        {"hopper4.tif", {TOutcome::Match}},
        {"hopper4I.tif", {TOutcome::Match}},
        {"hopper4IR.tif", {TOutcome::Match}},
        {"hopper4R.tif", {TOutcome::Match}},
    };
    return table;
}

bool IsTiff(const fs::path& path) {
    const std::string extension = path.extension().string();
    return extension == ".tif" || extension == ".tiff";
}

TBgrImage LoadWithReader(const fs::path& path, TTIFFGraphic& graphic) {
    TMemoryStream stream(ReadFile(path));
    graphic.LoadFromStream(stream);
    return ToBgr(graphic);
}

// The PNM that libtiff's test suite stores beside a file, else netpbm's decode of it.
std::optional<TBgrImage> Reference(const fs::path& path) {
    for (const char* extension : {".ppm", ".pgm", ".pbm"}) {
        fs::path stored = path;
        stored.replace_extension(extension);
        if (fs::exists(stored)) return ParsePnm(ReadFile(stored));
    }
    if (auto output = RunTool("tifftopnm " + Quote(path.string()) + " 2>/dev/null")) return ParsePnm(*output);
    return ReferenceDecode(path.string());
}

void CheckCorpusFolder(const std::string& folder) {
    PIXAMO_REQUIRE_CORPUS();
    PIXAMO_REQUIRE_TOOL("tifftopnm");
    const std::vector<fs::path> files = CorpusFiles(folder, IsTiff);
    ASSERT_FALSE(files.empty()) << folder;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.string());
        const auto known = Expectations().find(path.filename().string());
        const TExpectation expectation = known != Expectations().end() ? known->second : TExpectation{TOutcome::Match};
        TTIFFGraphic graphic;
        std::string error;
        TBgrImage image;
        try {
            image = LoadWithReader(path, graphic);
        } catch (const Exception& e) {
            error = e.Message();
        }
        switch (expectation.Outcome) {
            case TOutcome::Match: {
                ASSERT_EQ(error, "");
                const std::optional<TBgrImage> reference = Reference(path);
                ASSERT_TRUE(reference.has_value()) << "no reference decode";
                EXPECT_TRUE(SamePicture(image, *reference, expectation.Tolerance));
                break;
            }
            case TOutcome::Fails:
                EXPECT_EQ(error, expectation.Message);
                break;
            case TOutcome::Empty:
                EXPECT_EQ(error, "");
                EXPECT_TRUE(graphic.Empty());
                EXPECT_TRUE(graphic.ImageProperties.Options & Tiled);
                break;
            case TOutcome::Loads:
                EXPECT_EQ(error, "");
                EXPECT_FALSE(graphic.Empty());
                break;
            case TOutcome::Refused:
                EXPECT_NE(error, "");
                break;
        }
    }
}

}  // namespace

TEST(TIFFConformance, LibtiffTestImages) { CheckCorpusFolder("tiff/libtiff"); }

TEST(TIFFConformance, PillowTestImages) {
    CheckCorpusFolder("pillow");
    CheckCorpusFolder("pillow/tiff_gray_2_4_bpp");
}

TEST(TIFFConformance, DifferencesOnPurpose) {
    PIXAMO_REQUIRE_CORPUS();
    // Associated alpha: the stored gray samples are shown as they are, not divided by alpha.
    const fs::path alpha = fs::path(CorpusDir()) / "tiff/libtiff/minisblack-2c-8b-alpha.tiff";
    PIXAMO_REQUIRE_CORPUS_FILE(alpha);
    TTIFFGraphic graphic;
    const TBgrImage image = LoadWithReader(alpha, graphic);
    EXPECT_EQ(graphic.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(image.At(33, 1), RGBColor(127, 127, 127));  // the first PackBits plane
    EXPECT_EQ(image.At(34, 1), RGBColor(129, 129, 129));
}

TEST(TIFFConformance, TheRegistryPicksTheTIFFReader) {
    PIXAMO_REQUIRE_CORPUS();
    const fs::path path = fs::path(CorpusDir()) / "tiff/libtiff/rgb-3c-8b.tiff";
    PIXAMO_REQUIRE_CORPUS_FILE(path);
    TLoadedPicture loaded;
    const TBgrImage image = LoadBgr(path.string(), &loaded);
    EXPECT_EQ(loaded.Class, &TTIFFGraphicClass);
    ASSERT_TRUE(loaded.Properties.has_value());
    EXPECT_EQ(loaded.Properties->Compression, CompressionKind::None);
    EXPECT_TRUE(SamePicture(image, *ParsePnm(ReadFile(fs::path(path).replace_extension(".ppm")))));
}

namespace {

// 37 x 23 pixels, every one different, none of them gray.
TBgrImage KnownPicture() {
    TBgrImage image{37, 23, {}};
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            image.Bgr.push_back(static_cast<std::uint8_t>(x * 7 + y * 3));
            image.Bgr.push_back(static_cast<std::uint8_t>(255 - y * 11));
            image.Bgr.push_back(static_cast<std::uint8_t>(x * 5 ^ y * 9));
        }
    return image;
}

// A bilevel P4 picture of stripes and diagonals; ImageMagick keeps it bilevel.
TBytes KnownBilevel(int width, int height) {
    std::string head = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
    TBytes pbm(head.begin(), head.end());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 8) {
            std::uint8_t byte = 0;
            for (int bit = 0; bit < 8 && x + bit < width; ++bit)
                if ((x + bit) % 13 < 4 || (x + bit + y) % 29 == 0) byte |= 0x80 >> bit;
            pbm.push_back(byte);
        }
    return pbm;
}

class TIFFRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolInstalled("convert") || !ToolInstalled("tiffcp") || !ToolInstalled("tifftopnm"))
            GTEST_SKIP() << "ImageMagick and libtiff-tools are needed";
        folder_ = ScratchFolder() / "tiff-round-trip";
        fs::create_directories(folder_);
        WriteFile(folder_ / "known.ppm", MakePpm(KnownPicture()));
        WriteFile(folder_ / "known.pbm", KnownBilevel(61, 17));
    }

    // Runs a shell command in the scratch folder; the produced file's path.
    fs::path Make(const std::string& name, const std::string& command) {
        const auto result = RunTool("cd " + Quote(folder_.string()) + " && " + command + " >/dev/null 2>&1 && echo ok");
        EXPECT_TRUE(result.has_value() && !result->empty()) << command;
        return folder_ / name;
    }

    TBgrImage Load(const fs::path& path, TTIFFGraphic& graphic) { return LoadWithReader(path, graphic); }

    fs::path folder_;
};

}  // namespace

TEST_F(TIFFRoundTrip, ImageMagickCompressionsAndByteOrders) {
    const TBgrImage known = KnownPicture();
    for (const char* compression : {"None", "LZW", "Zip", "RLE"})
        for (const char* endian : {"lsb", "msb"})
            for (const char* depth : {"8", "16"}) {
                const std::string name = std::string("im-") + compression + endian + depth + ".tif";
                const fs::path path = Make(name, "convert known.ppm -depth " + std::string(depth) + " -compress " +
                                                     compression + " -define tiff:endian=" + endian + " " + name);
                TTIFFGraphic graphic;
                EXPECT_TRUE(SamePicture(Load(path, graphic), known)) << name;
                EXPECT_EQ((graphic.ImageProperties.Options & BigEndian) != 0, std::string(endian) == "msb") << name;
            }
}

TEST_F(TIFFRoundTrip, TiffcpCompressionsStripsAndPlanes) {
    const TBgrImage known = KnownPicture();
    Make("base.tif", "convert known.ppm -depth 8 -compress None base.tif");
    for (const char* compression : {"none", "lzw", "lzw:2", "zip", "zip:2", "packbits"})
        for (const char* rows : {"1", "4", "23"})
            for (const char* planes : {"contig", "separate"})
                for (const char* order : {"-L", "-B"}) {
                    const std::string name = std::string("cp-") + compression + "-" + rows + planes + order + ".tif";
                    const fs::path path = Make(name, std::string("tiffcp ") + order + " -c " + compression + " -r " +
                                                         rows + " -p " + planes + " base.tif '" + name + "'");
                    TTIFFGraphic graphic;
                    EXPECT_TRUE(SamePicture(Load(path, graphic), known)) << name;
                }
}

TEST_F(TIFFRoundTrip, GrayPaletteAndBilevel) {
    for (const char* type : {"Grayscale", "Palette", "Bilevel"})
        for (const char* compression : {"None", "LZW"}) {
            const std::string name = std::string("type-") + type + compression + ".tif";
            const fs::path path = Make(name, "convert known.ppm -type " + std::string(type) + " -depth 8 -compress " +
                                                 compression + " " + name);
            TTIFFGraphic graphic;
            const TBgrImage image = Load(path, graphic);
            EXPECT_TRUE(SamePicture(image, *Reference(path))) << name;
        }
    // Fax compressions of a bilevel picture: Group 3 one-dimensional, modified Huffman; Group 4
    // is not decoded.
    Make("bilevel.tif", "convert known.pbm -compress None bilevel.tif");
    const std::optional<TBgrImage> bilevel = Reference(folder_ / "bilevel.tif");
    ASSERT_TRUE(bilevel.has_value());
    for (const char* compression : {"g3:1d", "g3:1d:fill", "none"})
        for (const char* rows : {"1", "5", "17"})
            for (const char* order : {"-L", "-B"}) {
                const std::string name = std::string("fax-") + compression + rows + order + ".tif";
                const fs::path path = Make(name, std::string("tiffcp ") + order + " -c " + compression + " -r " + rows +
                                                     " bilevel.tif '" + name + "'");
                TTIFFGraphic graphic;
                EXPECT_TRUE(SamePicture(Load(path, graphic), *bilevel)) << name;
            }
    const fs::path mh = Make("fax-mh.tif", "convert known.pbm -compress Fax fax-mh.tif");
    TTIFFGraphic mhGraphic;
    EXPECT_TRUE(SamePicture(Load(mh, mhGraphic), *bilevel));
    const fs::path g4 = Make("fax-g4.tif", "tiffcp -c g4 bilevel.tif fax-g4.tif");
    TTIFFGraphic g4Graphic;
    try {
        Load(g4, g4Graphic);
        ADD_FAILURE() << "Group 4 decoded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), UnsupportedCompression);
    }
}

TEST_F(TIFFRoundTrip, JPEGStrips) {
    Make("base.tif", "convert known.ppm -depth 8 -compress None base.tif");
    for (const char* photometric : {"jpeg:95", "jpeg:r:95"})
        for (const char* rows : {"16", "32", "48"}) {
            const std::string name = std::string("jpeg-") + photometric + rows + ".tif";
            const fs::path path =
                Make(name, std::string("tiffcp -c ") + photometric + " -r " + rows + " base.tif '" + name + "'");
            TTIFFGraphic graphic;
            TBgrImage image;
            ASSERT_NO_THROW(image = Load(path, graphic)) << name;
            EXPECT_TRUE(SamePicture(image, *Reference(path), 0)) << name;
        }
}
