// Photos as phones and cameras make them: turned upright as Pillow's ImageOps.exif_transpose
// turns them (ImageMagick's -auto-orient for TIFF, which Pillow 9.4 turns twice), converted to sRGB as Little CMS's
// tificc converts them, and loaded whatever state their EXIF block or colour profile is in.
#include "TestSupport.h"

#include "core/PixelBuffer.h"
#include "formats/ExifOrientation.h"
#include "platform/ColorProfile.h"
#include "platform/PictureFiles.h"
#include "platform/Warnings.h"

#include <lcms2.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace fs = std::filesystem;

namespace {

const std::string Python = "/usr/bin/python3";
const std::string ReferenceScript = PIXAMO_TEST_DATA_DIR "/../tools/photo_reference.py";

bool PillowInstalled() { return RunTool(Python + " -c 'import PIL' >/dev/null 2>&1").has_value(); }

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

TBgrImage ToImage(const TPixelBuffer& buffer) {
    TBgrImage image{buffer.Width(), buffer.Height(), {}};
    image.Bgr.resize(3 * std::size_t(buffer.Width()) * buffer.Height());
    for (int y = 0; y < buffer.Height(); ++y) buffer.GetRow(y, &image.Bgr[3 * std::size_t(y) * buffer.Width()]);
    return image;
}

// The picture the editor shows for the file, and what was learnt of it.
TBgrImage Shown(const std::string& fileName, const TLoadOptions& options, TPictureMetadata* metadata = nullptr) {
    TLoadedPicture loaded = LoadPictureFile(fileName, options);
    std::unique_ptr<TPixelBuffer> buffer = TakeUprightBuffer(*loaded.Bitmap, loaded.Metadata, options);
    if (metadata) *metadata = loaded.Metadata;
    return ToImage(*buffer);
}

TBgrImage ReadPpm(const fs::path& path) {
    std::optional<TBgrImage> image = ParsePnm(ReadFile(path));
    return image ? *image : TBgrImage{};
}

// Warnings raised while the object lives.
class TWarningRecorder {
public:
    TWarningRecorder()
        : previous_(SetWarningHandler([this](const std::string& message) { Messages.push_back(message); })) {}
    ~TWarningRecorder() { SetWarningHandler(previous_); }
    TWarningRecorder(const TWarningRecorder&) = delete;
    TWarningRecorder& operator=(const TWarningRecorder&) = delete;
    std::vector<std::string> Messages;

private:
    TWarningHandler previous_;
};

// A Display P3 profile (DCI-P3 primaries, D65 white, the sRGB curve), as phones tag their photos.
TBytes DisplayP3Profile() {
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, parameters);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    TBytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

// A small JPEG of our own writer with extra markers put right after its SOI.
TBytes JpegWithMarkers(const std::vector<TBytes>& markers) {
    auto pixels = std::vector<std::uint8_t>(3 * 16 * 8);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 13);
    TMemoryStream stream;
    WriteJpegStream({pixels.data(), 16, 8, 3 * 16}, stream, 95, false);
    TBytes bytes = stream.Data();
    TBytes inserted;
    for (const TBytes& marker : markers) inserted.insert(inserted.end(), marker.begin(), marker.end());
    bytes.insert(bytes.begin() + 2, inserted.begin(), inserted.end());
    return bytes;
}

// An APPn marker segment: FF En, big-endian length (with itself), name, payload.
TBytes Segment(int n, const std::string& name, const TBytes& payload) {
    TBytes body(name.begin(), name.end());
    body.insert(body.end(), payload.begin(), payload.end());
    const std::size_t length = body.size() + 2;
    TBytes segment = {0xFF, static_cast<std::uint8_t>(0xE0 + n), static_cast<std::uint8_t>(length >> 8),
                      static_cast<std::uint8_t>(length)};
    segment.insert(segment.end(), body.begin(), body.end());
    return segment;
}

// A little-endian EXIF block whose first directory has the entries given as (tag, type, count, value).
TBytes ExifBlock(const std::vector<std::array<std::uint32_t, 4>>& entries, std::uint32_t directory = 8,
                 std::uint16_t statedCount = 0xFFFF) {
    TBytes block = {'I', 'I', 42, 0, static_cast<std::uint8_t>(directory), 0, 0, 0};
    const std::uint16_t count = statedCount == 0xFFFF ? static_cast<std::uint16_t>(entries.size()) : statedCount;
    block.push_back(static_cast<std::uint8_t>(count));
    block.push_back(static_cast<std::uint8_t>(count >> 8));
    for (const auto& e : entries)
        for (int i = 0; i < 12; ++i) {
            const std::uint32_t field = i < 2 ? e[0] : i < 4 ? e[1] : i < 8 ? e[2] : e[3];
            const int shift = 8 * (i < 2 ? i : i < 4 ? i - 2 : i < 8 ? i - 4 : i - 8);
            block.push_back(static_cast<std::uint8_t>(field >> shift));
        }
    return block;
}

const std::string ExifName("Exif\0\0", 6);

const TLoadOptions Upright{true, false};  // orientation only: Pillow applies no profile

}  // namespace

TEST(PhotoOrientation, EveryOrientationMatchesPillowsExifTranspose) {
    PIXAMO_REQUIRE_CORPUS();
    if (!PillowInstalled() || !ToolInstalled("exiftool")) GTEST_SKIP() << "needs python3-pil and exiftool";
    const fs::path folder = ScratchFolder() / "oriented";
    fs::create_directories(folder);
    ASSERT_TRUE(RunTool(Python + " " + Quoted(ReferenceScript) + " oriented " + Quoted(folder.string())));
    std::vector<fs::path> files;
    for (const char* name : {"hopper_orientation_2.jpg", "hopper_orientation_3.jpg", "hopper_orientation_4.jpg",
                             "hopper_orientation_5.jpg", "hopper_orientation_6.jpg", "hopper_orientation_7.jpg",
                             "hopper_orientation_8.jpg", "orientation_rectangle.jpg",
                             "exif_imagemagick_orientation.png", "xmp_tags_orientation.png"})
        files.push_back(fs::path(CorpusDir()) / "modern" / name);
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    std::string names;
    for (const fs::path& file : files) names += " " + Quoted(file.string());
    ASSERT_TRUE(RunTool(Python + " " + Quoted(ReferenceScript) + " transpose " + Quoted(folder.string()) + names));

    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        TPictureMetadata metadata;
        const TBgrImage shown = Shown(file.string(), Upright, &metadata);
        EXPECT_TRUE(SamePicture(shown, ReadPpm(folder / (file.filename().string() + ".ppm"))));
        const std::string stem = file.stem().string();
        if (std::isdigit(static_cast<unsigned char>(stem.back()))) {
            const int stated = stem.back() - '0';
            EXPECT_EQ(metadata.Orientation, stated);
            EXPECT_TRUE(metadata.OrientationApplied);
            // Kept as stored on request: the quarter turns keep their stored size.
            const TBgrImage stored = Shown(file.string(), {false, false});
            EXPECT_EQ(stored.Width, stated >= 5 ? shown.Height : shown.Width);
        }
    }
}

TEST(PhotoOrientation, CodecFormatsTurnByExifOnlyWithoutATurnOfTheirOwn) {
    for (const char* tool : {"convert", "cwebp", "avifenc", "exiftool"})
        if (!ToolInstalled(tool)) GTEST_SKIP() << "needs " << tool;
    const fs::path folder = ScratchFolder() / "codec-oriented";
    fs::create_directories(folder);
    const std::string png = Quoted((folder / "a.png").string());
    ASSERT_TRUE(RunTool("convert -size 40x20 gradient:red-blue " + png));
    // Each file states Exif orientation 6; r.avif also turns itself a quarter (irot), which the
    // format says wins, as phones write both for the same turn.
    const struct {
        const char* Name;
        const char* Make;
        int Width, Height;
    } cases[] = {{"a.webp", "cwebp -quiet -lossless %s -o %s", 20, 40},
                 {"a.avif", "avifenc -l %s %s >/dev/null", 20, 40},
                 {"r.avif", "avifenc -l --irot 1 %s %s >/dev/null", 20, 40}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = (folder / c.Name).string();
        char command[512];
        std::snprintf(command, sizeof command, c.Make, png.c_str(), Quoted(file).c_str());
        ASSERT_TRUE(RunTool(command));
        ASSERT_TRUE(RunTool("exiftool -q -overwrite_original -Orientation#=6 " + Quoted(file)));
        const TBgrImage shown = Shown(file, Upright);
        EXPECT_EQ(shown.Width, c.Width);
        EXPECT_EQ(shown.Height, c.Height);
    }
}

TEST(PhotoColour, ProfilesConvertToSrgbAsTificcDoes) {
    if (!PillowInstalled() || !ToolInstalled("tificc")) GTEST_SKIP() << "needs python3-pil and liblcms2-utils";
    const fs::path folder = ScratchFolder() / "profiled";
    fs::create_directories(folder);
    WriteFile(folder / "p3.icc", DisplayP3Profile());
    struct TCase {
        std::string Name, Profile, Mode;
        std::vector<std::string> Extensions;
    };
    std::vector<TCase> cases = {
        {"p3", (folder / "p3.icc").string(), "RGB", {"jpg", "png", "tif"}},
        {"adobe", "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc", "RGB", {"jpg", "png", "tif"}},
        {"cmyk", "/usr/share/color/icc/ghostscript/default_cmyk.icc", "CMYK", {"jpg", "tif"}}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        if (!fs::exists(c.Profile)) {
            ADD_FAILURE() << c.Profile << " is missing (icc-profiles-free, libgs-common)";
            continue;
        }
        ASSERT_TRUE(RunTool(Python + " " + Quoted(ReferenceScript) + " profiled " + Quoted(folder.string()) + " " +
                            Quoted(c.Profile) + " " + c.Name + " " + c.Mode + " >/dev/null 2>&1"));
        for (const std::string& extension : c.Extensions) {
            SCOPED_TRACE(extension);
            const std::string file = (folder / (c.Name + "." + extension)).string();
            const TBgrImage reference = ReadPpm(file + ".ppm");
            TWarningRecorder warnings;
            TPictureMetadata metadata;
            EXPECT_TRUE(SamePicture(Shown(file, {}, &metadata), reference, 2));
            EXPECT_TRUE(metadata.ProfileApplied);
            EXPECT_TRUE(warnings.Messages.empty());
            // The profile matters: the stored colours are further off than the tolerance.
            EXPECT_FALSE(SamePicture(Shown(file, {true, false}), reference, 2));
        }
    }
}

TEST(PhotoMetadata, DamagedExifAndProfilesNeverFailALoad) {
    // Pillow's odd EXIF blocks and a JPEG with two first pieces of a profile.
    if (!CorpusDir().empty())
        for (const char* name : {"hopper_bad_exif.jpg", "invalid-exif.jpg", "invalid-exif-without-x-resolution.jpg",
                                 "exif-ifd-offset.jpg", "exif-dpi-zerodivision.jpg", "icc-after-SOF.jpg"}) {
            SCOPED_TRACE(name);
            TWarningRecorder warnings;
            EXPECT_NO_THROW(Shown((fs::path(CorpusDir()) / "modern" / name).string(), {}));
        }

    // A profile whose matrix is far beyond any real one (found by the fuzzer: the fixed-point
    // sums overflowed); Little CMS converts it instead.
    {
        TWarningRecorder warnings;
        EXPECT_NO_THROW(
            LoadBytes(ReadFile(fs::path(PIXAMO_TEST_DATA_DIR) / "fuzz-pipeline-profile-huge-matrix.jpg"), "jpg"));
    }

    const TBytes plain = JpegWithMarkers({});
    const TBgrImage stored = ToBgr(*LoadBytes(plain, "jpg").Bitmap);
    const TBytes profile = ReadFile("/usr/share/color/icc/compatibleWithAdobeRGB1998.icc");
    ASSERT_GT(profile.size(), 200u);
    auto piece = [](int number, int count, const TBytes& bytes) {
        TBytes payload = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(count)};
        payload.insert(payload.end(), bytes.begin(), bytes.end());
        return Segment(2, std::string("ICC_PROFILE", 12), payload);
    };
    const TBytes firstHalf(profile.begin(), profile.begin() + profile.size() / 2);
    const TBytes secondHalf(profile.begin() + profile.size() / 2, profile.end());
    const struct {
        const char* What;
        TBytes File;
        std::string Warning;  // a part of the warning, empty for none
        int Orientation;
    } cases[] = {
        {"whole profile in two pieces", JpegWithMarkers({piece(2, 2, secondHalf), piece(1, 2, firstHalf)}), "", 0},
        {"truncated profile", JpegWithMarkers({piece(1, 1, firstHalf)}), "truncated", 0},
        {"pieces with a gap", JpegWithMarkers({piece(1, 3, firstHalf), piece(3, 3, secondHalf)}), "incomplete", 0},
        {"no ICC profile at all", JpegWithMarkers({piece(1, 1, TBytes(300, 7))}), "no ICC profile", 0},
        {"orientation 6", JpegWithMarkers({Segment(1, ExifName, ExifBlock({{274, 3, 1, 6}}))}), "", 6},
        {"directory beyond the block", JpegWithMarkers({Segment(1, ExifName, ExifBlock({{274, 3, 1, 6}}, 4000))}), "",
         0},
        {"more entries stated than stored",
         JpegWithMarkers({Segment(1, ExifName, ExifBlock({{274, 3, 1, 8}}, 8, 900))}), "", 8},
        {"orientation of a wrong type", JpegWithMarkers({Segment(1, ExifName, ExifBlock({{274, 2, 1, 6}}))}), "", 0},
        {"orientation 9", JpegWithMarkers({Segment(1, ExifName, ExifBlock({{274, 3, 1, 9}}))}), "", 0},
        {"EXIF cut short", JpegWithMarkers({Segment(1, ExifName, {'I', 'I', 42, 0, 8})}), "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TWarningRecorder warnings;
        TLoadedPicture loaded = LoadBytes(c.File, "jpg");
        EXPECT_EQ(loaded.Metadata.Orientation, c.Orientation);
        if (c.Warning.empty()) {
            EXPECT_TRUE(warnings.Messages.empty()) << warnings.Messages[0];
        } else {
            ASSERT_EQ(warnings.Messages.size(), 1u);
            EXPECT_NE(warnings.Messages[0].find(c.Warning), std::string::npos) << warnings.Messages[0];
            // An unusable profile leaves the colours as stored.
            EXPECT_TRUE(SamePicture(ToBgr(*loaded.Bitmap), stored));
            EXPECT_FALSE(loaded.Metadata.ProfileApplied);
        }
    }
}

TEST(PhotoMetadata, OrientationIsFoundInEveryPlaceItIsWritten) {
    // Big-endian EXIF, a long instead of a short, the "Exif" prefix left in.
    const TBytes big = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 1, 18, 0, 3, 0, 0, 0, 1, 0, 5, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ExifOrientation(big), 5);
    EXPECT_EQ(ExifOrientation(ExifBlock({{256, 4, 1, 640}, {274, 4, 1, 7}})), 7);
    TBytes prefixed = {'E', 'x', 'i', 'f', 0, 0};
    const TBytes block = ExifBlock({{274, 3, 1, 3}});
    prefixed.insert(prefixed.end(), block.begin(), block.end());
    EXPECT_EQ(ExifOrientation(prefixed), 3);
    EXPECT_EQ(ExifOrientation(ExifBlock({{274, 3, 0, 3}})), std::nullopt);
    EXPECT_EQ(ExifOrientation(TBytes(big.begin(), big.begin() + 20)), std::nullopt);

    // ImageMagick's raw profile text: the hex digits of "Exif\0\0" and the block.
    std::string text = "\nexif\n      " + std::to_string(prefixed.size()) + "\n";
    for (std::size_t i = 0; i < prefixed.size(); ++i) {
        text += "0123456789abcdef"[prefixed[i] >> 4];
        text += "0123456789abcdef"[prefixed[i] & 15];
        if (i % 36 == 35) text += "\n";
    }
    EXPECT_EQ(ExifFromRawProfile(text), block);
    EXPECT_TRUE(ExifFromRawProfile(text.substr(0, text.size() - 4)).empty());
    EXPECT_TRUE(ExifFromRawProfile("\nexif\n 99999999\n00").empty());

    EXPECT_EQ(XmpOrientation("<rdf:Description tiff:Orientation=\"6\"/>"), 6);
    EXPECT_EQ(XmpOrientation("<tiff:Orientation>8</tiff:Orientation>"), 8);
    EXPECT_EQ(XmpOrientation("<tiff:Orientation>12</tiff:Orientation>"), std::nullopt);
    EXPECT_EQ(XmpOrientation("<tiff:OrientationX>6</tiff:OrientationX>"), std::nullopt);
    EXPECT_EQ(XmpOrientation("tiff:Orientation=\""), std::nullopt);
}
