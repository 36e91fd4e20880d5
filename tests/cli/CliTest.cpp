#include "cli/Cli.h"

#include "core/Resample.h"
#include "platform/Bitmap.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pixamo-cli-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    // A 4x2 picture: row 0 red, green, blue, black; row 1 white, grey 128, black, black.
    std::string MakeInput(const std::string& name = "in.bmp") const {
        TBitmap b;
        b.SetPixelFormat(TPixelFormat::pf24bit);
        b.SetSize(4, 2);
        const TColor colors[8] = {RGBColor(255, 0, 0),
                                  RGBColor(0, 255, 0),
                                  RGBColor(0, 0, 255),
                                  0,
                                  RGBColor(255, 255, 255),
                                  RGBColor(128, 128, 128),
                                  0,
                                  0};
        for (int i = 0; i < 8; ++i) b.FillRect({i % 4, i / 4, i % 4 + 1, i / 4 + 1}, colors[i]);
        b.SaveToFile(Path(name));
        return Path(name);
    }

    int Run(std::vector<std::string> args, bool terminal = false) {
        out_.str("");
        err_.str("");
        TCliStreams streams{out_, err_, terminal};
        return RunCli(args, streams);
    }

    TBitmap LoadBmp(const std::string& fileName) const {
        TBitmap b;
        b.LoadFromFile(fileName);
        return b;
    }

    std::string Out() const { return out_.str(); }
    std::string Err() const { return err_.str(); }

    fs::path folder_;
    std::ostringstream out_, err_;
};

std::vector<std::uint8_t> Head(const std::string& fileName, std::size_t count) {
    std::vector<std::uint8_t> bytes = ReadWholeFile(fileName);
    bytes.resize(std::min(bytes.size(), count));
    return bytes;
}

bool IsProgressiveJpeg(const std::string& fileName) {
    std::vector<std::uint8_t> bytes = ReadWholeFile(fileName);
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC2) return true;
    return false;
}

}  // namespace

TEST_F(CliTest, HelpDocumentsEveryOperation) {
    EXPECT_EQ(Run({"--help"}), 0);
    for (const char* word : {"convert",      "info",           "--filter",       "--scale WxH",
                             "--scale N%",   "--rotate-left",  "--rotate-right", "--flip",
                             "--flop",       "--crop X,Y,W,H", "--enlighten",    "--endarken",
                             "--mix RRGGBB", "--gamma G",      "-o DIR",         "--format jpg|png|webp|tif|bmp",
                             "--quality N",  "--lossless",     "--strip",        "--verbose",
                             "\".jpg\"",     "\".jpeg\"",      "\".png\"",       "\".webp\"",
                             "\".tiff\"",    "drawn on white", "exit status 2"})
        EXPECT_NE(Out().find(word), std::string::npos) << word;
    // Readers recognise files by their first bytes; the extension decides only without one.
    EXPECT_EQ(Out().find("by their file extension"), std::string::npos);
    EXPECT_NE(Out().find("read by their content"), std::string::npos);
    EXPECT_NE(Out().find("bell, spline, lanczos3 (the default) or mitchell\n"), std::string::npos);
    EXPECT_EQ(Run({"convert", "--help"}), 0);
}

TEST_F(CliTest, EveryFilterOfTheScaleDialogHasItsName) {
    std::string in = MakeInput();
    for (const TResampleFilter& filter : ResampleFilters) {
        ASSERT_EQ(Run({"convert", in, Path("f.bmp"), "--verbose", "--filter", filter.CliName, "--scale", "8x4"}), 0)
            << Err();
        EXPECT_NE(Err().find(std::string("scale 8x4 ") + filter.CliName + ":"), std::string::npos) << Err();
    }
    EXPECT_EQ(Run({"convert", in, Path("f.bmp"), "--filter", "Box"}), 2);
    EXPECT_NE(Err().find("give box, triangle, hermite, bell, spline, lanczos3 or mitchell."), std::string::npos);
}

TEST_F(CliTest, WrongArgumentsGiveUsageAndStatus2) {
    std::string in = MakeInput();
    std::string out = Path("out.bmp");
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"explode"},
        {"convert", in},
        {"convert", in, out, "extra"},
        {"convert", in, out, "--bogus"},
        {"convert", in, out, "--scale"},
        {"convert", in, out, "--scale", "0x5"},
        {"convert", in, out, "--scale", "10x"},
        {"convert", in, out, "--scale", "-3x4"},
        {"convert", in, out, "--scale", "100000x100000"},
        {"convert", in, out, "--scale", "0%"},
        {"convert", in, out, "--scale", "abc%"},
        {"convert", in, out, "--crop", "1,2,3"},
        {"convert", in, out, "--crop", "-1,0,2,2"},
        {"convert", in, out, "--crop", "0,0,0,2"},
        {"convert", in, out, "--mix", "GG0000"},
        {"convert", in, out, "--mix", "FFF"},
        {"convert", in, out, "--gamma", "0"},
        {"convert", in, out, "--gamma", "3"},
        {"convert", in, out, "--gamma", "1.5x"},
        {"convert", in, out, "--filter", "cubic"},
        {"convert", in, out, "--format", "jpg"},
        {"convert", "-o", Path("dir"), in},
        {"convert", "-o", Path("dir"), "--format", "gif", in},
        {"convert", "-o", Path("dir"), "--format", "jpeg", in},
        {"convert", in, out, "--quality"},
        {"convert", in, out, "--quality", "0"},
        {"convert", in, out, "--quality", "101"},
        {"convert", in, out, "--quality", "9x"},
        {"convert", "-o", Path("dir"), "--format", "bmp"},
        {"info"},
    };
    for (const auto& args : wrong) {
        std::string line;
        for (const auto& a : args) line += a + " ";
        SCOPED_TRACE(line);
        EXPECT_EQ(Run(args), 2);
        EXPECT_NE(Err().find("Usage: pixamo-cli"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(CliTest, SavesTheFormatTheNameAsksFor) {
    std::string in = MakeInput();
    EXPECT_EQ(Run({"convert", in, Path("a.JpG")}), 0) << Err();
    EXPECT_TRUE(IsProgressiveJpeg(Path("a.JpG")));
    // ".jpeg" gave a bitmap under a JPEG name once; it is a JPEG now, as are ".jpe" and ".jfif".
    for (const char* name : {"b.jpeg", "b.JPE", "b.jfif"}) {
        EXPECT_EQ(Run({"convert", in, Path(name)}), 0) << Err();
        EXPECT_TRUE(IsProgressiveJpeg(Path(name))) << name;
    }
    EXPECT_EQ(Run({"convert", in, Path("c.png")}), 0) << Err();
    EXPECT_EQ(Head(Path("c.png"), 4), (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G'}));
    EXPECT_EQ(Run({"convert", in, Path("d.TIF")}), 0) << Err();
    EXPECT_EQ(Head(Path("d.TIF"), 4), (std::vector<std::uint8_t>{'I', 'I', 42, 0}));
    EXPECT_EQ(Run({"convert", in, Path("e.gif")}), 0) << Err();
    EXPECT_EQ(Head(Path("e.gif"), 2), (std::vector<std::uint8_t>{'B', 'M'}));
    // PNG and TIFF read back exactly; the JPEG close to the source.
    for (const char* name : {"c.png", "d.TIF"}) {
        EXPECT_EQ(Run({"convert", Path(name), Path("back.bmp")}), 0) << Err();
        EXPECT_EQ(ReadWholeFile(Path("back.bmp")), ReadWholeFile(in)) << name;
    }
    EXPECT_EQ(Run({"convert", Path("a.JpG"), Path("back.bmp")}), 0);
    TBitmap back = LoadBmp(Path("back.bmp"));
    EXPECT_EQ(back.Width(), 4);
    EXPECT_GT(GreenOf(back.Pixel(0, 1)), 200);
}

TEST_F(CliTest, QualityLosslessAndStrip) {
    std::string in = MakeInput();
    ASSERT_EQ(Run({"convert", in, Path("big.bmp"), "--scale", "64x32"}), 0) << Err();
    const std::string big = Path("big.bmp");
    ASSERT_EQ(Run({"convert", big, Path("q95.jpg")}), 0) << Err();
    ASSERT_EQ(Run({"convert", big, Path("q10.jpg"), "--quality", "10"}), 0) << Err();
    EXPECT_LT(ReadWholeFile(Path("q10.jpg")).size(), ReadWholeFile(Path("q95.jpg")).size());
    ASSERT_EQ(Run({"convert", big, Path("q95.webp")}), 0) << Err();
    ASSERT_EQ(Run({"convert", big, Path("q10.webp"), "--quality", "10"}), 0) << Err();
    EXPECT_LT(ReadWholeFile(Path("q10.webp")).size(), ReadWholeFile(Path("q95.webp")).size());
    auto chunk = [this](const std::string& name) {
        std::vector<std::uint8_t> head = Head(Path(name), 16);
        return std::string(head.begin() + 12, head.end());
    };
    EXPECT_EQ(chunk("q95.webp"), "VP8 ");
    ASSERT_EQ(Run({"convert", big, Path("l.webp"), "--lossless", "--strip"}), 0) << Err();
    EXPECT_EQ(chunk("l.webp"), "VP8L");
    // Batches take the options too.
    ASSERT_EQ(Run({"convert", "-o", Path("out"), "--format", "webp", "--lossless", "--quality", "50", big}), 0)
        << Err();
    EXPECT_EQ(chunk("out/big.webp"), "VP8L");
    ASSERT_EQ(Run({"convert", "-o", Path("out"), "--format", "tif", "--strip", big}), 0) << Err();
    EXPECT_EQ(Run({"convert", Path("out/big.tif"), Path("back.bmp")}), 0) << Err();
    EXPECT_EQ(ReadWholeFile(Path("back.bmp")), ReadWholeFile(big));
}

TEST_F(CliTest, OperationsRunInTheOrderGiven) {
    std::string in = MakeInput();
    ASSERT_EQ(Run({"convert", in, Path("r.bmp"), "--rotate-right", "--crop", "0,0,2,1"}), 0) << Err();
    TBitmap r = LoadBmp(Path("r.bmp"));
    ASSERT_EQ(r.Width(), 2);
    ASSERT_EQ(r.Height(), 1);
    EXPECT_EQ(r.Pixel(0, 0), RGBColor(255, 255, 255));  // bottom-left comes to the top-left
    EXPECT_EQ(r.Pixel(1, 0), RGBColor(255, 0, 0));

    ASSERT_EQ(Run({"convert", in, Path("c.bmp"), "--crop", "1,0,2,2", "--flip", "--flop", "--rotate-left"}), 0)
        << Err();
    TBitmap c = LoadBmp(Path("c.bmp"));
    ASSERT_EQ(c.Width(), 2);
    ASSERT_EQ(c.Height(), 2);
    // After crop: [green blue / grey black]; flip: [blue green / black grey]; flop: [black grey /
    // blue green]; rotate left: [grey green / black blue].
    EXPECT_EQ(c.Pixel(0, 0), RGBColor(128, 128, 128));
    EXPECT_EQ(c.Pixel(1, 0), RGBColor(0, 255, 0));
    EXPECT_EQ(c.Pixel(0, 1), 0u);
    EXPECT_EQ(c.Pixel(1, 1), RGBColor(0, 0, 255));
}

TEST_F(CliTest, ScalingAndColourEffects) {
    std::string in = MakeInput();
    ASSERT_EQ(Run({"convert", in, Path("s.bmp"), "--scale", "250%"}), 0) << Err();
    TBitmap s = LoadBmp(Path("s.bmp"));
    EXPECT_EQ(s.Width(), 10);
    EXPECT_EQ(s.Height(), 5);
    ASSERT_EQ(Run({"convert", in, Path("t.bmp"), "--filter", "box", "--scale", "8x4"}), 0) << Err();
    TBitmap t = LoadBmp(Path("t.bmp"));
    EXPECT_EQ(t.Width(), 8);
    EXPECT_EQ(t.Pixel(0, 0), RGBColor(255, 0, 0));  // box keeps pure colours when doubling

    ASSERT_EQ(Run({"convert", in, Path("e.bmp"), "--enlighten"}), 0);
    EXPECT_EQ(LoadBmp(Path("e.bmp")).Pixel(3, 0), RGBColor(26, 26, 26));
    ASSERT_EQ(Run({"convert", in, Path("d.bmp"), "--endarken"}), 0);
    EXPECT_EQ(LoadBmp(Path("d.bmp")).Pixel(0, 1), RGBColor(229, 229, 229));
    ASSERT_EQ(Run({"convert", in, Path("m.bmp"), "--mix", "FF0000"}), 0);
    EXPECT_EQ(LoadBmp(Path("m.bmp")).Pixel(3, 0), RGBColor(76, 0, 0));
    ASSERT_EQ(Run({"convert", in, Path("g.bmp"), "--gamma", "2.5"}), 0);
    EXPECT_EQ(LoadBmp(Path("g.bmp")).Pixel(1, 1), RGBColor(194, 194, 194));
}

TEST_F(CliTest, PictureDependentFailuresGiveStatus1WithTheMessage) {
    std::string in = MakeInput();
    EXPECT_EQ(Run({"convert", in, Path("o.bmp"), "--crop", "2,0,3,1"}), 1);
    EXPECT_EQ(Err(), in + ": The crop rectangle 2,0,3,1 does not lie inside the 4x2 picture.\n");
    EXPECT_EQ(Run({"convert", in, Path("o.bmp"), "--scale", "10%"}), 1);
    EXPECT_NE(Err().find(in + ": Scaling the 4x2 picture by 10% gives 0x0 pixels"), std::string::npos) << Err();
    EXPECT_FALSE(fs::exists(Path("o.bmp")));

    const std::string missing = Path("missing.bmp");
    EXPECT_EQ(Run({"convert", missing, Path("o.bmp")}), 1);
    EXPECT_EQ(Err(), missing + ": Cannot open file \"" + missing + "\". No such file or directory\n");
    fs::copy_file(in, Path("p.xyz"));
    EXPECT_EQ(Run({"convert", Path("p.xyz"), Path("o.bmp")}), 1);
    EXPECT_EQ(Err(), Path("p.xyz") + ": Unknown picture file extension (.xyz)\n");
    EXPECT_EQ(Run({"convert", in, Path("no/such/folder/o.bmp")}), 1);
    EXPECT_NE(Err().find("Cannot create file"), std::string::npos) << Err();
}

TEST_F(CliTest, WarningsNameTheFileAndDoNotStopIt) {
    std::string in = MakeInput();
    ASSERT_EQ(Run({"convert", in, Path("whole.jpg"), "--scale", "64x32"}), 0);
    std::vector<std::uint8_t> bytes = ReadWholeFile(Path("whole.jpg"));
    bytes.resize(bytes.size() / 2);
    std::ofstream(Path("cut.jpg"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(Run({"convert", Path("cut.jpg"), Path("cut.bmp")}), 0);
    EXPECT_EQ(Err(), Path("cut.jpg") + ": Warning: Premature end of JPEG file\n");
    EXPECT_EQ(LoadBmp(Path("cut.bmp")).Width(), 64);
}

TEST_F(CliTest, VerboseTimesEveryStep) {
    std::string in = MakeInput();
    ASSERT_EQ(Run({"convert", in, Path("v.jpg"), "--verbose", "--scale", "200%", "--flip", "--mix", "00ff80", "--gamma",
                   "0.5"}),
              0);
    std::regex expected(
        "load: \\d+ ms\nscale 8x4 lanczos3: \\d+ ms\nflip: \\d+ ms\nmix 00ff80: \\d+ ms\n"
        "gamma 0.5: \\d+ ms\nsave: \\d+ ms\n");
    EXPECT_TRUE(std::regex_match(Err(), expected)) << Err();
}

TEST_F(CliTest, BatchGoesOnAfterAFailure) {
    std::string a = MakeInput("a.bmp"), b = MakeInput("b.dib");
    std::string broken = Path("broken.bmp");
    std::ofstream(broken) << "not a bitmap";
    std::string outDir = Path("out/nested");
    EXPECT_EQ(Run({"convert", "--flip", "-o", outDir, "--format", "jpg", a, broken, b}), 1);
    EXPECT_TRUE(IsProgressiveJpeg(outDir + "/a.jpg"));
    EXPECT_TRUE(IsProgressiveJpeg(outDir + "/b.jpg"));
    EXPECT_FALSE(fs::exists(outDir + "/broken.jpg"));
    EXPECT_EQ(Err(), broken + ": Cannot load image. Invalid or unexpected Windows bitmap image format.\n");

    std::string sameName = MakeInput("a.dib");
    EXPECT_EQ(Run({"convert", "-o", outDir, "--format", "jpg", a, sameName}), 1);
    EXPECT_EQ(Err(), sameName + ": " + outDir + "/a.jpg was already written for another input of the same name.\n");

    EXPECT_EQ(Run({"convert", "-o", outDir, "--format", "bmp", a, b}, true), 0);
    EXPECT_NE(Err().find("[2/2]"), std::string::npos);
    EXPECT_EQ(LoadBmp(outDir + "/b.bmp").Pixel(3, 1), 0u);
}

TEST_F(CliTest, InfoDescribesEachFile) {
    std::string in = MakeInput();
    EXPECT_EQ(Run({"info", in}), 0) << Err();
    EXPECT_EQ(Out(), in + "\n  format: Windows bitmaps (TBitmap)\n  size: 4x2\n  pixel format: 24 bits per pixel\n");
    ASSERT_EQ(Run({"convert", in, Path("i.jpg")}), 0);
    EXPECT_EQ(Run({"info", Path("i.jpg"), Path("none.bmp")}), 1);
    EXPECT_NE(Out().find("  format: JPG images (TJPEGImage)\n  size: 4x2\n"), std::string::npos) << Out();
    EXPECT_NE(Out().find("progressive: yes"), std::string::npos);
    EXPECT_NE(Err().find(Path("none.bmp") + ": Cannot open file"), std::string::npos);
}

TEST_F(CliTest, ReadersClaimFilesByContent) {
    const fs::path png = fs::path(PIXAMO_CORPUS_DIR) / "png" / "pngsuite" / "basn2c08.png";
    if (!fs::exists(png)) GTEST_SKIP() << "no corpus";
    // Under a bitmap's name the PNG reader still recognises the file.
    fs::copy_file(png, Path("disguised.bmp"));
    EXPECT_EQ(Run({"info", Path("disguised.bmp")}), 0) << Err();
    EXPECT_NE(Out().find("  format: Portable network graphic images (TPNGGraphic)\n  size: 32x32\n"), std::string::npos)
        << Out();
    EXPECT_NE(Out().find("  ColorScheme: RGB\n"), std::string::npos) << Out();
    EXPECT_EQ(Run({"convert", Path("disguised.bmp"), Path("png.bmp"), "--rotate-right"}), 0) << Err();
    EXPECT_EQ(LoadBmp(Path("png.bmp")).Width(), 32);
}

TEST_F(CliTest, CodecLibraryFormatsShowWhatTheyKeep) {
    const fs::path modern = fs::path(PIXAMO_CORPUS_DIR) / "modern";
    if (!fs::exists(modern / "flower.webp")) GTEST_SKIP() << "no corpus";
    EXPECT_EQ(Run({"info", (modern / "flower.webp").string(), (modern / "icc_profile.avif").string(),
                   (modern / "hopper.heif").string()}),
              0)
        << Err();
    EXPECT_NE(Out().find("  format: WebP images (TWebPGraphic)\n  size: 480x360\n"), std::string::npos) << Out();
    EXPECT_NE(Out().find("  Compression: VP8\n"), std::string::npos) << Out();
    EXPECT_NE(Out().find("  Exif: 7670 bytes\n"), std::string::npos) << Out();
    EXPECT_NE(Out().find("  format: AVIF images (TAVIFGraphic)\n  size: 57x57\n"), std::string::npos) << Out();
    EXPECT_NE(Out().find("  colour profile: RGB, 3144 bytes, converted to sRGB\n"), std::string::npos) << Out();
    EXPECT_NE(Out().find("  format: HEIF images (THEIFGraphic)\n  size: 128x128\n"), std::string::npos) << Out();
    EXPECT_EQ(Run({"convert", (modern / "hopper.heif").string(), Path("heif.bmp"), "--rotate-left"}), 0) << Err();
    EXPECT_EQ(LoadBmp(Path("heif.bmp")).Width(), 128);
}

TEST_F(CliTest, IconImagesStoredAsPngGoToThePngReader) {
    if (std::system("/usr/bin/convert -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick is not installed";
    std::string in = MakeInput();
    ASSERT_EQ(std::system(("/usr/bin/convert '" + in + "' -scale 64x32 'PNG32:" + Path("image.png") + "'").c_str()), 0);
    // An icon whose one image is that PNG file.
    std::vector<std::uint8_t> png = ReadWholeFile(Path("image.png"));
    std::vector<std::uint8_t> icon = {0, 0, 1, 0, 1, 0, 64, 32, 0, 0, 1, 0, 32, 0};
    for (std::uint32_t v : {static_cast<std::uint32_t>(png.size()), 22u})
        for (int i = 0; i < 4; ++i) icon.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    icon.insert(icon.end(), png.begin(), png.end());
    std::ofstream(Path("png.ico"), std::ios::binary)
        .write(reinterpret_cast<const char*>(icon.data()), static_cast<std::streamsize>(icon.size()));
    EXPECT_EQ(Run({"info", Path("png.ico")}), 0) << Err();
    EXPECT_NE(Out().find("  size: 64x32\n"), std::string::npos) << Out();
    EXPECT_NE(Out().find("image taken: 32 bits per pixel, PNG"), std::string::npos) << Out();
    ASSERT_EQ(Run({"convert", Path("png.ico"), Path("icon.bmp")}), 0) << Err();
    EXPECT_EQ(LoadBmp(Path("icon.bmp")).Pixel(0, 0), RGBColor(255, 0, 0));
}

TEST_F(CliTest, MetafilesOpenByExtensionAndDescribeTheirHeader) {
    const fs::path emf = fs::path(PIXAMO_CORPUS_DIR) / "modern" / "drawing.emf";
    const fs::path wmf = fs::path(PIXAMO_CORPUS_DIR) / "modern" / "drawing.wmf";
    if (!fs::exists(emf) || !fs::exists(wmf)) GTEST_SKIP() << "no corpus";
    EXPECT_EQ(Run({"info", emf.string(), wmf.string()}), 0) << Err();
    EXPECT_NE(Out().find("  format: Windows enhanced meta files (TMetafile)\n  size: 110x110\n"), std::string::npos)
        << Out();
    EXPECT_NE(Out().find("  metafile: EMF\n  frame: 28.99 x 28.99 mm\n"), std::string::npos) << Out();
    EXPECT_NE(Out().find("  description: Inkscape 0.91 r13725 (Jan 30 2015) / drawing.emf\n"), std::string::npos);
    EXPECT_NE(Out().find("  format: Windows metafiles (TMetafile)\n  size: 110x110\n"), std::string::npos) << Out();
    EXPECT_NE(Out().find("  bounding box: 0,0 to 1369,1369 at 1200 units per inch\n  records: 29 played\n"),
              std::string::npos)
        << Out();
    ASSERT_EQ(Run({"convert", emf.string(), Path("emf.bmp")}), 0) << Err();
    TBitmap bitmap = LoadBmp(Path("emf.bmp"));
    EXPECT_EQ(bitmap.Pixel(55, 55), RGBColor(255, 0, 0));  // the red circle's middle
    EXPECT_EQ(bitmap.Pixel(108, 108), RGBColor(255, 255, 255));
}

TEST_F(CliTest, TheExecutableKeepsTheContract) {
    std::string in = MakeInput();
    auto status = [](const std::string& command) {
        int raw = std::system((command + " >/dev/null 2>&1").c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    const std::string exe = PIXAMO_CLI_EXECUTABLE;
    EXPECT_EQ(status(exe + " convert '" + in + "' '" + Path("x.JPG") + "' --rotate-left"), 0);
    EXPECT_TRUE(IsProgressiveJpeg(Path("x.JPG")));
    EXPECT_EQ(status(exe + " convert '" + in + "' '" + Path("x.bmp") + "' --crop 9,9,1,1"), 1);
    EXPECT_EQ(status(exe + " convert --bogus"), 2);
    EXPECT_EQ(status(exe + " --help"), 0);
}

TEST_F(CliTest, PhotosComeUpUprightAndInSrgbUnlessAskedNotTo) {
    const fs::path modern = fs::path(PIXAMO_CORPUS_DIR) / "modern";
    const std::string rotated = (modern / "orientation_rectangle.jpg").string();
    const std::string profiled = (modern / "icc_profile_big.jpg").string();
    if (!fs::exists(rotated) || !fs::exists(profiled)) GTEST_SKIP() << "no corpus";
    // Stored 2 wide and 1 high with orientation 8: shown a quarter turn counter-clockwise.
    ASSERT_EQ(Run({"info", rotated}), 0) << Err();
    EXPECT_NE(Out().find("  size: 2x1\n"), std::string::npos) << Out();
    EXPECT_NE(Out().find("  orientation: 8 (rotate 90 degrees counter-clockwise to stand upright), applied\n"),
              std::string::npos)
        << Out();
    ASSERT_EQ(Run({"convert", rotated, Path("upright.bmp")}), 0) << Err();
    const TBitmap upright = LoadBmp(Path("upright.bmp"));
    EXPECT_EQ(upright.Width(), 1);
    EXPECT_EQ(upright.Height(), 2);
    // The option stands before or after the command.
    ASSERT_EQ(Run({"--keep-orientation", "convert", rotated, Path("stored.bmp")}), 0) << Err();
    const TBitmap stored = LoadBmp(Path("stored.bmp"));
    EXPECT_EQ(stored.Width(), 2);
    ASSERT_EQ(Run({"info", rotated, "--keep-orientation"}), 0) << Err();
    EXPECT_NE(Out().find("to stand upright), kept as stored\n"), std::string::npos) << Out();
    // The upright picture is the stored one turned counter-clockwise: its top-left pixel is the
    // stored top-right one.
    EXPECT_EQ(upright.Pixel(0, 0), stored.Pixel(1, 0));
    // The EXIF block goes along into the saved JPEG: orientation 1 once applied, the stated one
    // while the pixels stay as stored; --strip leaves it out.
    if (std::system("exiftool -ver > /dev/null 2>&1") == 0) {
        auto orientationOf = [](const std::string& file) {
            std::string text;
            if (FILE* pipe = popen(("exiftool -s3 -n -EXIF:Orientation '" + file + "'").c_str(), "r")) {
                for (int c; (c = std::fgetc(pipe)) != EOF;) text += static_cast<char>(c);
                pclose(pipe);
            }
            return text;
        };
        ASSERT_EQ(Run({"convert", rotated, Path("upright.jpg")}), 0) << Err();
        EXPECT_EQ(orientationOf(Path("upright.jpg")), "1\n");
        ASSERT_EQ(Run({"convert", "--keep-orientation", rotated, Path("stored.jpg")}), 0) << Err();
        EXPECT_EQ(orientationOf(Path("stored.jpg")), "8\n");
        ASSERT_EQ(Run({"convert", "--strip", rotated, Path("stripped.jpg")}), 0) << Err();
        EXPECT_EQ(orientationOf(Path("stripped.jpg")), "");
    }

    ASSERT_EQ(Run({"info", profiled}), 0) << Err();
    EXPECT_NE(Out().find("  colour profile: RGB, 399788 bytes, converted to sRGB\n"), std::string::npos) << Out();
    ASSERT_EQ(Run({"convert", profiled, Path("srgb.bmp")}), 0) << Err();
    ASSERT_EQ(Run({"convert", "--no-color-management", profiled, Path("asstored.bmp")}), 0) << Err();
    EXPECT_NE(ReadWholeFile(Path("srgb.bmp")), ReadWholeFile(Path("asstored.bmp")));
    ASSERT_EQ(Run({"info", "--no-color-management", profiled}), 0) << Err();
    EXPECT_NE(Out().find("  colour profile: RGB, 399788 bytes, not applied\n"), std::string::npos) << Out();
}
