#include "core/PixelBuffer.h"
#include "core/TestPictures.h"
#include "editor/FolderBrowser.h"
#include "formats/FileFormatList.h"
#include "platform/PictureFiles.h"
#include "platform/Warnings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

class FolderBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        FormatList();  // the readers' extensions join the table
        std::string folder = (fs::temp_directory_path() / "pixamo-folder-XXXXXX").string();
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
        Dir = folder;
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(Dir, error);
    }
    std::string Path(const std::string& name) const { return (Dir / name).string(); }
    void Touch(const std::string& name, const std::string& bytes = "x") const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::string WriteBmp(const std::string& name, int width, int height, unsigned seed) const {
        const auto picture = NoisePicture(width, height, seed);
        SaveBmpFile({picture->Bits(), width, height, picture->Stride()}, Path(name));
        return Path(name);
    }
    std::vector<std::string> Names(const std::vector<std::string>& files) const {
        std::vector<std::string> names;
        for (const std::string& f : files) names.push_back(fs::path(f).filename().string());
        return names;
    }

    fs::path Dir;
};

TEST_F(FolderBrowserTest, NaturalOrderComparesNumbersByValueAndIgnoresCase) {
    std::vector<std::string> names = {"img10.jpg", "IMG2.jpg", "img1.png",  "Img02b.jpg", "b.png",   "A.png",
                                      "a.png",     "img.jpg",  "img 3.jpg", "x100y2",     "x100y10", "x0100y3"};
    std::sort(names.begin(), names.end(), NaturalLess);
    const std::vector<std::string> expected = {"a.png",     "A.png",    "b.png",    "img 3.jpg",
                                               "img.jpg",   "img1.png", "IMG2.jpg", "Img02b.jpg",
                                               "img10.jpg", "x100y2",   "x0100y3",  "x100y10"};
    // "a.png" and "A.png" are equal but for case; their bytes order them ('A' before 'a').
    std::vector<std::string> expectedBytes = expected;
    std::swap(expectedBytes[0], expectedBytes[1]);
    EXPECT_EQ(names, expectedBytes);
    EXPECT_FALSE(NaturalLess("img2", "img2"));
    EXPECT_TRUE(NaturalLess("img2", "img10"));
    EXPECT_FALSE(NaturalLess("img10", "img2"));
    // Digit runs longer than any integer still compare by value.
    EXPECT_TRUE(NaturalLess("p99999999999999999999999", "p100000000000000000000000"));
}

TEST_F(FolderBrowserTest, FolderPicturesAreTheReadableFilesInNaturalOrder) {
    for (const char* name : {"img10.JPG", "img2.jpg", "Img1.png", "notes.txt", "README", "img3.Tif", "archive.zip",
                             "photo.jpeg", "icon.ico", "clip.webp", "z.bmp"})
        Touch(name);
    fs::create_directory(Dir / "folder.png");  // a folder, however named
    EXPECT_EQ(Names(FolderPictures(Dir.string())),
              (std::vector<std::string>{"clip.webp", "icon.ico", "Img1.png", "img2.jpg", "img3.Tif", "img10.JPG",
                                        "photo.jpeg", "z.bmp"}));
    EXPECT_TRUE(FolderPictures((Dir / "missing").string()).empty());

    // Steps from a picture, at the ends, and from a file that has gone since.
    EXPECT_EQ(NeighbourPicture(Path("img2.jpg"), 1), Path("img3.Tif"));
    EXPECT_EQ(NeighbourPicture(Path("img2.jpg"), -1), Path("Img1.png"));
    EXPECT_EQ(NeighbourPicture(Path("clip.webp"), -1), "");
    EXPECT_EQ(NeighbourPicture(Path("z.bmp"), 1), "");
    EXPECT_EQ(NeighbourPicture(Path("img5.jpg"), 1), Path("img10.JPG"));
    EXPECT_EQ(NeighbourPicture(Path("img5.jpg"), -1), Path("img3.Tif"));
    // A file that is not a picture itself still has its place among them.
    EXPECT_EQ(NeighbourPicture(Path("notes.txt"), 1), Path("photo.jpeg"));
    EXPECT_EQ(NeighbourPicture(Path("notes.txt"), -1), Path("img10.JPG"));
}

TEST_F(FolderBrowserTest, PrefetcherHandsOverWhatItReadAheadAndOnlyThat) {
    const std::string first = WriteBmp("1.bmp", 40, 30, 1);
    const std::string second = WriteBmp("2.bmp", 20, 10, 2);
    Touch("3.png", "\x89PNG\r\n\x1a\n but no more");
    TPicturePrefetcher prefetcher;
    EXPECT_FALSE(prefetcher.Take(first));  // never asked for

    prefetcher.Request(first);
    std::optional<TReadPicture> read = prefetcher.Take(first);
    ASSERT_TRUE(read);
    ASSERT_TRUE(read->Picture);
    EXPECT_TRUE(SamePixels(*read->Picture, *ReadPictureFile(first)));
    EXPECT_FALSE(prefetcher.Take(first));  // taken once

    // A later request drops the earlier picture.
    prefetcher.Request(first);
    prefetcher.Request(second);
    EXPECT_FALSE(prefetcher.Take(first));
    read = prefetcher.Take(second);
    ASSERT_TRUE(read && read->Picture);
    EXPECT_EQ(read->Picture->Width(), 20);

    // A failure is handed over as the window's own reading would raise it.
    prefetcher.Request(Path("3.png"));
    read = prefetcher.Take(Path("3.png"));
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->Picture);
    ASSERT_TRUE(read->Error);
    try {
        std::rethrow_exception(read->Error);
    } catch (const std::exception& error) {
        const std::string expected = "Cannot open \"" + Path("3.png") + "\":\n";
        EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected);
    }

    // A file rewritten after it was read ahead is never handed over as it was.
    prefetcher.Request(second);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the read is done by now
    WriteBmp("2.bmp", 21, 10, 3);
    read = prefetcher.Take(second);
    EXPECT_TRUE(!read || (read->Picture && read->Picture->Width() == 21));
}

TEST_F(FolderBrowserTest, WarningsOfAPictureReadAheadStayWithIt) {
    const auto picture = NoisePicture(64, 64, 4);
    SaveJpegFile({picture->Bits(), 64, 64, picture->Stride()}, Path("cut.jpg"), 90, false);
    fs::resize_file(Path("cut.jpg"), fs::file_size(Path("cut.jpg")) * 2 / 3);
    std::vector<std::string> shown;
    const TWarningHandler previous = SetWarningHandler([&shown](const std::string& m) { shown.push_back(m); });
    TPicturePrefetcher prefetcher;
    prefetcher.Request(Path("cut.jpg"));
    const std::optional<TReadPicture> read = prefetcher.Take(Path("cut.jpg"));
    SetWarningHandler(previous);
    ASSERT_TRUE(read && read->Picture);
    EXPECT_EQ(read->Warnings.size(), 1u);
    EXPECT_TRUE(shown.empty());
}

}  // namespace
