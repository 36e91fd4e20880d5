#include "TestPictures.h"

#include "core/SavePicture.h"
#include "platform/Exception.h"
#include "platform/PictureFiles.h"
#include "platform/Stream.h"
#include "platform/Warnings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The tools the written files are checked with: Pillow, ImageMagick and exiftool.
const char* const Python = "/usr/bin/python3";
const char* const Magick = "/usr/bin/convert";

bool HaveTools() {
    return std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0 &&
           std::system("/usr/bin/convert -version >/dev/null 2>&1") == 0 &&
           std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

// Standard output of a shell command.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Soft gradients, as photographs have: lossy formats keep them close.
std::unique_ptr<TPixelBuffer> SmoothPicture(int width, int height) {
    auto picture = TPixelBuffer::Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture->SetPixel(x, y,
                              {static_cast<std::uint8_t>(4 * x), static_cast<std::uint8_t>(5 * y),
                               static_cast<std::uint8_t>(200 - 2 * x - y)});
    return picture;
}

// R, G, B bytes of every pixel, as the tools write them.
std::vector<std::uint8_t> RgbBytes(const TPixelBuffer& picture) {
    std::vector<std::uint8_t> bytes = PixelBytes(picture);
    for (std::size_t i = 0; i < bytes.size(); i += 3) std::swap(bytes[i], bytes[i + 2]);
    return bytes;
}

double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(int{a[i]} - int{b[i]});
    return sum / static_cast<double>(a.size());
}

bool HasMarker(const std::vector<std::uint8_t>& jpeg, std::uint8_t marker) {
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return true;
    return false;
}

class SavePictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pixamo-save-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        previous_ = SetWarningHandler([this](const std::string& message) { warnings_.push_back(message); });
    }
    void TearDown() override {
        SetWarningHandler(previous_);
        fs::remove_all(folder_);
    }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    // Pillow's and ImageMagick's reading of a file: "FORMAT WIDTHxHEIGHT" and the RGB bytes.
    std::string PillowFormat(const std::string& file) const {
        return Output(std::string(Python) +
                      " -c 'import sys; from PIL import Image; i = Image.open(sys.argv[1]); "
                      "open(sys.argv[1] + \".pil\", \"wb\").write(i.convert(\"RGB\").tobytes()); "
                      "print(i.format, \"%dx%d\" % i.size)' " +
                      Quoted(file));
    }
    std::vector<std::uint8_t> PillowPixels(const std::string& file) const { return ReadWholeFile(file + ".pil"); }
    std::vector<std::uint8_t> MagickPixels(const std::string& file) const {
        if (std::system(
                (std::string(Magick) + " " + Quoted(file) + " -depth 8 " + Quoted("rgb:" + file + ".im")).c_str()) != 0)
            return {};
        return ReadWholeFile(file + ".im");
    }

    // Tags as exiftool reads them, one value a line, "-" for a missing one.
    std::string Tags(const std::string& file, const std::string& tags) const {
        return Output("exiftool -f -s3 -n " + tags + " " + Quoted(file));
    }

    // What exiftool's validation finds wrong in a file's structure. Left aside: Exif IFD tags the
    // sources lack, minor remarks, and Deflate, which baseline TIFF does not list.
    std::string Problems(const std::string& file) const {
        std::istringstream lines(Output("exiftool -validate -warning -a -s3 " + Quoted(file)));
        std::string line, problems;
        std::getline(lines, line);  // "OK" or "N Warnings"
        while (std::getline(lines, line))
            if (line.rfind("[minor]", 0) != 0 && line.find("Missing required") == std::string::npos &&
                line != "Invalid value for IFD0 tag 0x0103 Compression")
                problems += line + "\n";
        return problems;
    }

    fs::path folder_;
    std::vector<std::string> warnings_;
    TWarningHandler previous_;
};

TEST(SaveFormatOf, TheExtensionNamesTheFormatInAnyLetterCase) {
    const std::pair<const char*, TSaveFormat> cases[] = {
        {"a.jpg", TSaveFormat::Jpeg},           {"A.JPEG", TSaveFormat::Jpeg},
        {"/x/y.JpE", TSaveFormat::Jpeg},        {"b.jfif", TSaveFormat::Jpeg},
        {"archive.bmp.jpg", TSaveFormat::Jpeg}, {"c.PNG", TSaveFormat::Png},
        {"d.webp", TSaveFormat::Webp},          {"e.tif", TSaveFormat::Tiff},
        {"f.TIFF", TSaveFormat::Tiff},          {"g.bmp", TSaveFormat::Bitmap},
        {"plain", TSaveFormat::Bitmap},         {"folder.jpg/name", TSaveFormat::Bitmap},
        {"name.", TSaveFormat::Bitmap},         {"a.jpg.bmp", TSaveFormat::Bitmap},
        {"h.gif", TSaveFormat::Bitmap},         {"i.jpgx", TSaveFormat::Bitmap},
    };
    for (const auto& [name, format] : cases) EXPECT_EQ(SaveFormatOf(name), format) << name;
}

TEST_F(SavePictureTest, EveryFormatOpensInPillowAndImageMagickAndLosslessOnesKeepThePixels) {
    if (!HaveTools()) GTEST_SKIP() << "Pillow, ImageMagick or exiftool is not installed";
    const auto picture = SmoothPicture(37, 23);
    const std::vector<std::uint8_t> expected = RgbBytes(*picture);
    struct TCase {
        const char* Name;
        const char* Format;  // as Pillow names it
        bool Exact;
        TSaveOptions Options;
    };
    const TCase cases[] = {
        {"p.jpg", "JPEG", false, {}},
        {"p.JPEG", "JPEG", false, {}},
        {"p.jpe", "JPEG", false, {}},
        {"p.jfif", "JPEG", false, {}},
        {"p.png", "PNG", true, {}},
        {"p.webp", "WEBP", false, {}},
        {"l.webp", "WEBP", true, {DefaultSaveQuality, true, true}},
        {"p.tif", "TIFF", true, {}},
        {"p.TIFF", "TIFF", true, {}},
        {"p.bmp", "BMP", true, {}},
        {"p.other", "BMP", true, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = Path(c.Name);
        SavePicture(*picture, file, c.Options);
        EXPECT_EQ(PillowFormat(file), std::string(c.Format) + " 37x23\n");
        const std::vector<std::uint8_t> pillow = PillowPixels(file), magick = MagickPixels(file);
        if (c.Exact) {
            EXPECT_EQ(pillow, expected);
            EXPECT_EQ(magick, expected);
        } else {
            EXPECT_LT(MeanDifference(pillow, expected), 2.0);
            EXPECT_LT(MeanDifference(magick, expected), 2.0);
        }
    }
    // Deflate with the horizontal predictor.
    EXPECT_EQ(Tags(Path("p.tif"), "-Compression -Predictor -Orientation"), "8\n2\n1\n");

    // JPEG: progressive unless asked otherwise; the quality counts.
    const auto noise = NoisePicture(64, 48, 3);
    SavePicture(*noise, Path("q95.jpg"));
    SavePicture(*noise, Path("q20.jpg"), {20, false, false});
    const std::vector<std::uint8_t> best = ReadWholeFile(Path("q95.jpg")), small = ReadWholeFile(Path("q20.jpg"));
    EXPECT_TRUE(HasMarker(best, 0xC2));
    EXPECT_FALSE(HasMarker(small, 0xC2));
    EXPECT_TRUE(HasMarker(small, 0xC0));
    EXPECT_LT(small.size() * 2, best.size());
    EXPECT_EQ(EncodePicture(*noise, TSaveFormat::Jpeg), best);
    EXPECT_GT(EncodePicture(*noise, TSaveFormat::Webp).size(),
              2 * EncodePicture(*noise, TSaveFormat::Webp, {20}).size());
    EXPECT_TRUE(warnings_.empty());
}

TEST_F(SavePictureTest, ExifAndXmpAreCarriedWithOrientation1AndTheSavedSize) {
    if (!HaveTools()) GTEST_SKIP() << "Pillow, ImageMagick or exiftool is not installed";
    // Sources tagged by exiftool: a camera's tags and thumbnail in either byte order, and one
    // without an Exif IFD (so without pixel-size tags) and without XMP.
    const auto source = SmoothPicture(30, 20);
    SavePicture(*source, Path("big.jpg"));
    SavePicture(*SmoothPicture(6, 4), Path("thumb.jpg"));
    fs::copy_file(Path("big.jpg"), Path("little.jpg"));
    fs::copy_file(Path("big.jpg"), Path("bare.jpg"));
    const std::string camera =
        "-Orientation#=6 -ExifIFD:ExifImageWidth=30 -ExifIFD:ExifImageHeight=20 -Make=Pixacam -Model='P 1' "
        "-ExifIFD:DateTimeOriginal='2024:05:06 07:08:09' -InteropIndex=R98 -XMP-tiff:Orientation#=6 "
        "-XMP-exif:ExifImageWidth=30 -XMP-exif:ExifImageHeight=20 -XMP-dc:Title=Harbour '-ThumbnailImage<=" +
        Path("thumb.jpg") + "'";
    ASSERT_EQ(std::system(("exiftool -q -overwrite_original -ExifByteOrder=Big-endian " + camera + " " +
                           Quoted(Path("big.jpg")))
                              .c_str()),
              0);
    ASSERT_EQ(std::system(("exiftool -q -overwrite_original -ExifByteOrder=Little-endian " + camera + " " +
                           Quoted(Path("little.jpg")))
                              .c_str()),
              0);
    ASSERT_EQ(
        std::system(("exiftool -q -overwrite_original -Orientation#=3 -Make=Bare " + Quoted(Path("bare.jpg"))).c_str()),
        0);

    // The saved picture: upright now, and of another size.
    const auto picture = SmoothPicture(24, 36);
    const std::vector<std::uint8_t> pixels = RgbBytes(*picture);
    const std::string tags =
        "-EXIF:Orientation -ExifIFD:ExifImageWidth -ExifIFD:ExifImageHeight -Make -Model -DateTimeOriginal "
        "-InteropIndex -XMP-tiff:Orientation -XMP-exif:ExifImageWidth -XMP-exif:ExifImageHeight -XMP-dc:Title "
        "-ThumbnailLength";
    for (const char* stem : {"big", "little", "bare"}) {
        const std::string from = Path(std::string(stem) + ".jpg");
        TPictureMetadata metadata;
        std::system(("exiftool -b -exif " + Quoted(from) + " > " + Quoted(from + ".exif")).c_str());
        std::system(("exiftool -b -xmp " + Quoted(from) + " > " + Quoted(from + ".xmp")).c_str());
        metadata.Exif = ReadWholeFile(from + ".exif");
        const std::vector<std::uint8_t> xmp = ReadWholeFile(from + ".xmp");
        metadata.Xmp.assign(xmp.begin(), xmp.end());
        ASSERT_FALSE(metadata.Exif.empty()) << stem;

        // The thumbnail shows the source as it was: it is not carried.
        const std::string expected = std::string(stem) == "bare"
                                         ? "1\n24\n36\nBare\n-\n-\n-\n-\n-\n-\n-\n-\n"
                                         : "1\n24\n36\nPixacam\nP 1\n2024:05:06 07:08:09\nR98\n1\n24\n36\nHarbour\n-\n";
        if (std::string(stem) != "bare") {
            ASSERT_NE(Tags(from, "-ThumbnailLength"), "-\n") << stem;
        }
        for (const char* extension : {"jpg", "png", "webp", "tif"}) {
            const std::string file = Path(std::string(stem) + "-out." + extension);
            SCOPED_TRACE(file);
            SavePicture(*picture, file, {DefaultSaveQuality, true, true}, &metadata);
            EXPECT_EQ(Tags(file, tags), expected);
            EXPECT_EQ(Problems(file), "");
            // Pillow finds the orientation 1 and the pixels unchanged where the format keeps them.
            EXPECT_EQ(
                Output(std::string(Python) +
                       " -c 'import sys; from PIL import Image; print(Image.open(sys.argv[1]).getexif().get(274))' " +
                       Quoted(file)),
                "1\n");
            PillowFormat(file);
            if (std::string(extension) != "jpg") {
                EXPECT_EQ(PillowPixels(file), pixels);
            }
        }
    }
    // The colour profile is not carried.
    EXPECT_EQ(Tags(Path("big-out.jpg"), "-ICC_Profile:ProfileDescription"), "-\n");
    EXPECT_TRUE(warnings_.empty()) << warnings_[0];
}

TEST_F(SavePictureTest, MetadataThatCannotBeWrittenIsLeftOutWithAWarning) {
    if (!HaveTools()) GTEST_SKIP() << "Pillow, ImageMagick or exiftool is not installed";
    const auto picture = SmoothPicture(8, 8);
    TPictureMetadata damaged;
    damaged.Exif = {'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0x7F};  // IFD0 far beyond the end
    damaged.Xmp =
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/' tiff:Orientation = \"8\"/>"
        "</rdf:RDF></x:xmpmeta>";
    SavePicture(*picture, Path("damaged.jpg"), {}, &damaged);
    EXPECT_EQ(warnings_, std::vector<std::string>{"The EXIF block is damaged. It is not written."});
    EXPECT_EQ(Tags(Path("damaged.jpg"), "-EXIF:all -XMP-tiff:Orientation"), "1\n");

    // A block larger than a JPEG segment: left out of JPEG files only.
    TPictureMetadata large;
    large.Exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 1, 15, 0, 2, 0, 0, 0, 4, 'B', 'i', 'g', 0, 0, 0, 0, 0};
    large.Exif.resize(70000, 0);
    warnings_.clear();
    SavePicture(*picture, Path("large.jpg"), {}, &large);
    EXPECT_EQ(warnings_, std::vector<std::string>{"The EXIF block is too large for a JPEG file. It is not written."});
    EXPECT_EQ(Tags(Path("large.jpg"), "-Make"), "-\n");
    SavePicture(*picture, Path("large.png"), {}, &large);
    EXPECT_EQ(Tags(Path("large.png"), "-Make -ExifIFD:ExifImageWidth"), "Big\n8\n");
    EXPECT_EQ(warnings_.size(), 1u);

    EXPECT_THROW(SavePicture(*picture, Path("q.jpg"), {0}), EInvalidGraphic);
    EXPECT_THROW(SavePicture(*picture, Path("q.webp"), {101}), EInvalidGraphic);
    EXPECT_FALSE(fs::exists(Path("q.jpg")));
}

TEST_F(SavePictureTest, AFailureLeavesTheOldFileWhole) {
    const auto picture = NoisePicture(13, 7, 5);
    const TPixelBuffer empty(0, 0);
    for (const char* name : {"noise.bmp", "noise.JPG", "noise.png", "noise.webp", "noise.tif"}) {
        SavePicture(*picture, Path(name));
        const std::vector<std::uint8_t> before = ReadWholeFile(Path(name));
        EXPECT_THROW(SavePicture(empty, Path(name)), Exception) << name;
        EXPECT_EQ(ReadWholeFile(Path(name)), before) << name;
    }
    // WebP has a size limit of its own.
    const auto wide = TPixelBuffer::Create(16384, 1);
    EXPECT_THROW(SavePicture(*wide, Path("noise.webp")), EInvalidGraphic);
    TBitmap bitmap;
    bitmap.LoadFromFile(Path("noise.bmp"));
    EXPECT_EQ(PixelBytes(*TPixelBuffer::CreateFromBitmap(bitmap)), PixelBytes(*picture));
}

}  // namespace
