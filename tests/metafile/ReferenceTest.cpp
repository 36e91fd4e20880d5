// The corpus metafiles against their renderings made on Windows.
#include "formats/LoadPipeline.h"
#include "metafile/Metafile.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

fs::path Corpus(const std::string& name) { return fs::path(PIXAMO_CORPUS_DIR) / "modern" / name; }

// The share of pixels whose three samples all lie within 24 levels of the reference's.
double MatchingShare(const TBitmap& a, const TBitmap& b) {
    std::size_t close = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            TColor p = a.Pixel(x, y), q = b.Pixel(x, y);
            if (std::abs(RedOf(p) - RedOf(q)) <= 24 && std::abs(GreenOf(p) - GreenOf(q)) <= 24 &&
                std::abs(BlueOf(p) - BlueOf(q)) <= 24)
                ++close;
        }
    return double(close) / (double(a.Width()) * a.Height());
}

// Plays the bytes at the reference's size and compares.
double MatchReference(const std::vector<std::uint8_t>& bytes, const std::string& reference) {
    TLoadedPicture ref = LoadPictureFile(Corpus(reference).string());
    TBitmap played;
    PlayMetafile(bytes.data(), bytes.size(), ref.Bitmap->Width(), ref.Bitmap->Height(), played);
    EXPECT_EQ(played.Width(), ref.Bitmap->Width());
    EXPECT_EQ(played.Height(), ref.Bitmap->Height());
    return MatchingShare(played, *ref.Bitmap);
}

}  // namespace

// The references were made by Pillow on Windows, which sizes an EMF by its bounds in device
// pixels (1625 × 1625 here) and a placeable WMF at 72 dots per inch (82 × 82), and lets GDI
// stretch the picture to that size; we open both at 96 dots per inch.
TEST(MetafileReference, EmfMatchesTheWindowsRendering) {
    if (!fs::exists(Corpus("drawing.emf"))) GTEST_SKIP() << "no test picture corpus";
    std::vector<std::uint8_t> bytes = ReadWholeFile(Corpus("drawing.emf").string());
    TMetafileHeader header = ReadMetafileHeader(bytes.data(), bytes.size());
    EXPECT_EQ(header.Width, 110);  // a frame of 28.99 mm
    EXPECT_EQ(header.Height, 110);
    double share = MatchReference(bytes, "drawing_emf_ref.png");
    RecordProperty("matching", std::to_string(share));
    EXPECT_GE(share, 0.98);
}

// Windows made this reference through SetWinMetaFileBits without a picture size, which frames
// the drawing's own bounds instead of the placeable header's box. The file's circle lies 256
// units right of and below its window (0..1369), so played within its box, as the header asks,
// it shows cut at the right and bottom; framed as Windows framed it, it matches.
TEST(MetafileReference, WmfMatchesTheWindowsRenderingOfItsDrawing) {
    if (!fs::exists(Corpus("drawing.wmf"))) GTEST_SKIP() << "no test picture corpus";
    std::vector<std::uint8_t> bytes = ReadWholeFile(Corpus("drawing.wmf").string());
    TMetafileHeader header = ReadMetafileHeader(bytes.data(), bytes.size());
    EXPECT_EQ(header.Width, 110);  // 1369 units at 1200 units per inch
    EXPECT_EQ(header.Height, 110);
    double asRecorded = MatchReference(bytes, "drawing_wmf_ref.png");
    RecordProperty("matching as recorded", std::to_string(asRecorded));
    EXPECT_GT(asRecorded, 0.6);
    EXPECT_LT(asRecorded, 0.8);

    // The same records framed by the drawing's bounds: the circle (263..1587) and half the
    // 13-unit pen, as box and window.
    auto put16 = [&bytes](std::size_t at, int v) {
        bytes[at] = static_cast<std::uint8_t>(v & 0xFF);
        bytes[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    };
    const int low = 256, high = 1594;
    for (std::size_t at : {std::size_t{6}, std::size_t{8}}) put16(at, low);
    for (std::size_t at : {std::size_t{10}, std::size_t{12}}) put16(at, high);
    // The first records: SetWindowExt (y, x) at 40, SetWindowOrg (y, x) at 50.
    ASSERT_EQ(bytes[44], 0x0C);
    ASSERT_EQ(bytes[54], 0x0B);
    put16(46, high - low);
    put16(48, high - low);
    put16(56, low);
    put16(58, low);
    double framed = MatchReference(bytes, "drawing_wmf_ref.png");
    RecordProperty("matching framed", std::to_string(framed));
    EXPECT_GE(framed, 0.98);
}
