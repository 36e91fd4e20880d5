// Every PngSuite picture loaded through the pipeline and compared with an independent decode, or
// refused with its message (the corrupted x* files).
#include "TestSupport.h"

#include "formats/FileFormatList.h"
#include "formats/PNGGraphic.h"
#include "platform/Exception.h"

#include <cmath>
#include <map>

namespace fs = std::filesystem;

namespace {

bool IsPng(const fs::path& path) { return path.extension() == ".png"; }

std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    for (const fs::path& file : CorpusFiles("png/pngsuite", &IsPng)) names.push_back(file.filename().string());
    return names;
}

// What the reader shows of a file with a gAMA chunk: each component through the display gamma
// table, value = round((v / 255)^(1 / (file gamma × 2.2)) × 255).
TBgrImage WithDisplayGamma(TBgrImage image, float fileGamma) {
    long double exponent = 1.0L / (static_cast<long double>(fileGamma) * static_cast<long double>(2.2f));
    for (std::uint8_t& v : image.Bgr)
        v = static_cast<std::uint8_t>(std::nearbyint(std::pow(v / 255.0L, exponent) * 255));
    return image;
}

const std::map<std::string, std::string> RefusedFiles = {
    {"xc1n0g08.png", "Invalid color format in PNG file."},
    {"xc9n2c08.png", "Invalid color format in PNG file."},
    {"xcrn0g04.png", "Cannot load image. Invalid or unexpected PNG image format."},
    {"xcsn0g01.png", "Cannot load image. CRC error found in PNG file."},
    {"xd0n2c08.png", "Invalid color format in PNG file."},
    {"xd3n2c08.png", "Invalid color format in PNG file."},
    {"xd9n2c08.png", "Invalid color format in PNG file."},
    {"xdtn0g01.png", "Cannot load image. No image data found in PNG file."},
    {"xhdn0g08.png", "Cannot load image. CRC error found in PNG file."},
    {"xlfn0g04.png", "Cannot load image. Invalid or unexpected PNG image format."},
    {"xs1n0g01.png", "Cannot load image. Invalid or unexpected PNG image format."},
    {"xs2n0g01.png", "Cannot load image. Invalid or unexpected PNG image format."},
    {"xs4n0g01.png", "Cannot load image. Invalid or unexpected PNG image format."},
    {"xs7n0g01.png", "Cannot load image. Invalid or unexpected PNG image format."},
};

class PngSuite : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(PngSuite, MatchesAnIndependentDecodeOrIsRefused) {
    PIXAMO_REQUIRE_CORPUS();
    const std::string name = GetParam();
    const std::string path = (fs::path(CorpusDir()) / "png/pngsuite" / name).string();
    if (name[0] == 'x') {
        auto expected = RefusedFiles.find(name);
        ASSERT_NE(expected, RefusedFiles.end()) << "no expected message for " << name;
        // The signature errors are not claimed by the PNG content test at all; they reach the
        // reader when it is asked directly.
        try {
            TPNGGraphic reader;
            reader.LoadFromFile(path);
            FAIL() << name << " loaded";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), expected->second);
        }
        EXPECT_THROW(LoadPictureFile(path), Exception);
        return;
    }
    TLoadedPicture loaded;
    TBgrImage actual = LoadBgr(path, &loaded);
    ASSERT_EQ(loaded.Class, &TPNGGraphicClass);
    std::optional<TBgrImage> reference = ReferenceDecode(path);
    if (!reference) GTEST_SKIP() << "no independent PNG decoder installed";
    if (loaded.Properties->Options & UseGamma)
        EXPECT_TRUE(SamePicture(actual, WithDisplayGamma(*reference, loaded.Properties->FileGamma)));
    else
        EXPECT_TRUE(SamePicture(actual, *reference));
}

INSTANTIATE_TEST_SUITE_P(Files, PngSuite, ::testing::ValuesIn(SuiteFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return fs::path(info.param).stem().string();
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(PngSuite);
