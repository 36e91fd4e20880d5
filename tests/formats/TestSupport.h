// Helpers shared by the reader tests: loading a file through the load pipeline into 24-bit
// B, G, R pixels, an independent decode of the same file by ImageMagick, netpbm or Pillow when one
// of them is installed, and the public test pictures of PIXAMO_CORPUS_DIR.
#pragma once

#include "formats/LoadPipeline.h"
#include "platform/Bitmap.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using TBytes = std::vector<std::uint8_t>;

// A picture as rows of 3-byte pixels in the order blue, green, red, without padding.
struct TBgrImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Bgr;

    TColor At(int x, int y) const {
        const std::uint8_t* p = &Bgr[(static_cast<std::size_t>(y) * Width + x) * 3];
        return RGBColor(p[2], p[1], p[0]);
    }
};

// Every pixel of a bitmap as the 24-bit picture the editor makes of it (palette looked up,
// alpha dropped).
TBgrImage ToBgr(const TBitmap& bitmap);
// Loads a file through LoadPictureFile and converts it with ToBgr.
TBgrImage LoadBgr(const std::string& fileName, TLoadedPicture* loaded = nullptr);
// Loads bytes through LoadPictureStream.
TLoadedPicture LoadBytes(const TBytes& bytes, const std::string& extension = "");

// The message of the Exception an action raises, or "(no exception)".
std::string MessageOf(const std::function<void()>& action);
// A reader of class T that has loaded the bytes.
template <class T> std::unique_ptr<T> LoadReader(const TBytes& bytes) {
    auto reader = std::make_unique<T>();
    TMemoryStream stream(bytes);
    reader->LoadFromStream(stream);
    return reader;
}
// The message with which a reader of class T refuses the bytes, or "(no exception)".
template <class T> std::string ReaderMessage(const TBytes& bytes) {
    return MessageOf([&bytes] { LoadReader<T>(bytes); });
}

// An independent decode of the first image of a file, alpha ignored, every sample reduced to
// 8 bits by truncation (v × 255 / maxval, rounded down), PNG samples as stored (no gamma). Tries ImageMagick's convert,
// then the netpbm converter of the extension, then Pillow. Empty when no tool is installed or every tool refused the
// file.
std::optional<TBgrImage> ReferenceDecode(const std::string& fileName);
// Parses a PNM file (P1 to P6, any maxval) as above; empty when it is not one.
std::optional<TBgrImage> ParsePnm(const TBytes& bytes);
// A binary PPM (P6, maxval 255) of the picture.
TBytes MakePpm(const TBgrImage& image);

// Runs a shell command and returns its standard output; empty on a nonzero exit status.
std::optional<TBytes> RunTool(const std::string& command);
bool ToolInstalled(const std::string& name);

// Compares two pictures; each sample may differ by up to tolerance. Reports the size mismatch
// or the first differing pixel and the number of differing pixels.
::testing::AssertionResult SamePicture(const TBgrImage& actual, const TBgrImage& expected, int tolerance = 0);

// A fresh scratch folder for this test process, removed at exit.
std::filesystem::path ScratchFolder();
void WriteFile(const std::filesystem::path& path, const TBytes& bytes);
TBytes ReadFile(const std::filesystem::path& path);

// The folder of public test pictures, or "" when it is absent.
std::string CorpusDir();
// All files of a corpus folder whose names match the predicate, sorted by name.
std::vector<std::filesystem::path> CorpusFiles(const std::string& folder,
                                               bool (*accept)(const std::filesystem::path&) = nullptr);

// Skips the current test when the corpus (or one of its files) is absent.
#define PIXAMO_REQUIRE_CORPUS()                                            \
    do {                                                                   \
        if (CorpusDir().empty()) GTEST_SKIP() << "no test picture corpus"; \
    } while (0)
#define PIXAMO_REQUIRE_CORPUS_FILE(path)                                                       \
    do {                                                                                       \
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus file missing: " << (path); \
    } while (0)
// Skips the current test when no independent decoder is installed.
#define PIXAMO_REQUIRE_TOOL(name)                                                \
    do {                                                                         \
        if (!ToolInstalled(name)) GTEST_SKIP() << (name) << " is not installed"; \
    } while (0)
