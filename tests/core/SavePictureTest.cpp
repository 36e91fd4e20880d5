#include "TestPictures.h"

#include "core/SavePicture.h"
#include "platform/Exception.h"
#include "platform/PictureFiles.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class SavePictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pixamo-save-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    fs::path folder_;
};

TEST(SaveFormatOf, OnlyDotJpgInAnyLetterCaseIsJpeg) {
    for (const char* name : {"a.jpg", "A.JPG", "/some/where/x.JpG", "archive.bmp.jpg"})
        EXPECT_EQ(SaveFormatOf(name), TSaveFormat::Jpeg) << name;
    for (const char* name : {"a.jpeg", "a.bmp", "a.png", "plain", "folder.jpg/name", "name.", "a.jpg.bmp"})
        EXPECT_EQ(SaveFormatOf(name), TSaveFormat::Bitmap) << name;
}

TEST_F(SavePictureTest, WritesTheFormatTheNameSaysAndKeepsAnOldFileOnFailure) {
    const auto picture = NoisePicture(13, 7, 5);
    SavePicture(*picture, Path("noise.bmp"));
    TBitmap bitmap;
    bitmap.LoadFromFile(Path("noise.bmp"));
    EXPECT_EQ(PixelBytes(*TPixelBuffer::CreateFromBitmap(bitmap)), PixelBytes(*picture));

    SavePicture(*picture, Path("noise.JPG"));
    const std::vector<std::uint8_t> jpeg = ReadWholeFile(Path("noise.JPG"));
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    bool progressive = false;
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        progressive = progressive || (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC2);
    EXPECT_TRUE(progressive);
    TJPEGImage decoded;
    decoded.LoadFromFile(Path("noise.JPG"));
    EXPECT_EQ(decoded.Width(), 13);

    // ".jpeg" is no JPEG name: a bitmap is written under it.
    SavePicture(*picture, Path("noise.jpeg"));
    EXPECT_EQ(ReadWholeFile(Path("noise.jpeg"))[0], 'B');

    // A picture that cannot be written leaves the file that was there.
    const TPixelBuffer empty(0, 0);
    for (const char* name : {"noise.bmp", "noise.JPG"}) {
        const std::vector<std::uint8_t> before = ReadWholeFile(Path(name));
        EXPECT_THROW(SavePicture(empty, Path(name)), Exception) << name;
        EXPECT_EQ(ReadWholeFile(Path(name)), before) << name;
    }
}

// A scaled picture saved as it is made gives the file of scaling first and saving then, for
// bitmaps of every row padding and of many bands, and for JPEG; bands handed to the bitmap
// writer out of order or short of the height leave the old file.
TEST_F(SavePictureTest, ScaledPictureSavedAsItIsMadeEqualsScaleThenSave) {
    const auto picture = NoisePicture(97, 61, 8);
    struct Size {
        int Width, Height;
    };
    for (Size size : {Size{41, 27}, Size{302, 1500}, Size{1, 1}, Size{3, 700}}) {
        for (const TResampleFilter* filter : {&ResampleFilters[rfTriangle], &ResampleFilters[rfLanczos3]}) {
            TPixelBuffer scaled(size.Width, size.Height);
            picture->Resample(scaled, filter->Filter, filter->Support);
            for (const char* name : {"a.bmp", "a.jpg"}) {
                SavePicture(scaled, Path(std::string("whole-") + name));
                std::chrono::steady_clock::duration writing{};
                SaveScaledPicture(*picture, size.Width, size.Height, filter->Filter, filter->Support, Path(name),
                                  &writing);
                EXPECT_EQ(ReadWholeFile(Path(name)), ReadWholeFile(Path(std::string("whole-") + name)))
                    << name << " " << size.Width << "x" << size.Height << " " << filter->Name;
                EXPECT_GT(writing.count(), 0);
            }
        }
    }

    const std::vector<std::uint8_t> before = ReadWholeFile(Path("a.bmp"));
    const std::uint8_t row[12] = {};
    const TBgrView band{row, 4, 1, 12};
    auto writeRows = [&](std::initializer_list<int> firsts) {
        SaveBmpFileInBands(4, 2, Path("a.bmp"), [&](const TBmpBandWriter& write) {
            for (int first : firsts) write(first, band);
        });
    };
    EXPECT_THROW(writeRows({1, 0}), EInvalidGraphic);
    EXPECT_THROW(writeRows({0}), EInvalidGraphic);
    EXPECT_THROW(writeRows({0, 1, 2}), EInvalidGraphic);
    EXPECT_EQ(ReadWholeFile(Path("a.bmp")), before);
    writeRows({0, 1});
    EXPECT_EQ(ReadWholeFile(Path("a.bmp")).size(), 54u + 2 * 12);
}

}  // namespace
