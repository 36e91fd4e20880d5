// Damaged and hostile files: refused with a message, or played as far as their records hold,
// never read outside their data, looping or allocating without bound.
#include "MetafileBuilders.h"

#include "formats/FileFormatList.h"
#include "formats/LoadPipeline.h"
#include "metafile/Metafile.h"
#include "platform/Exception.h"
#include "platform/Stream.h"
#include "platform/Warnings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string HeaderMessage(const TBytes& bytes) {
    try {
        ReadMetafileHeader(bytes.data(), bytes.size());
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no exception)";
}

TPlayStatistics PlayInto(const TBytes& bytes, TBitmap& bitmap) {
    TMetafileHeader header = ReadMetafileHeader(bytes.data(), bytes.size());
    return PlayMetafile(bytes.data(), bytes.size(), header.Width, header.Height, bitmap);
}

// A red rectangle over the left half of a 96 × 96 EMF, after the given records.
TBytes RedAfter(const std::function<void(TEmfBuilder&)>& records) {
    TEmfBuilder emf;
    records(emf);
    emf.Brush(1, 0x0000FF).Select(1).NoPen().Rectangle(0, 0, 48, 96);
    return emf.Build(96, 96);
}

}  // namespace

TEST(MetafileBadInput, RefusesHeadersWithAClearMessage) {
    EXPECT_EQ(HeaderMessage(TBytes(100, 0x11)),
              "Cannot load image. Invalid or unexpected Windows metafile image format.");
    // A placeable header with an empty box, and one whose picture would be far too large.
    EXPECT_EQ(HeaderMessage(TWmfBuilder().Placeable(0, 0, 0, 500, 1000)),
              "Cannot load image. The Windows metafile's picture is empty (0 x 48 pixels).");
    EXPECT_EQ(HeaderMessage(TWmfBuilder().Placeable(0, 0, 30000, 30000, 10)),
              "Cannot load image. The picture is too large (288000 x 288000 pixels).");
    // A few records claiming a big canvas: beyond 16 megapixels the file must hold 16384 pixels a
    // byte (a 40-byte file asked 16000 x 16000 and took 4 s and 820 MB to draw nothing).
    const TBytes small = TWmfBuilder().Placeable(0, 0, 16000, 16000, 96);
    EXPECT_EQ(HeaderMessage(small), "Cannot load image. The picture is too large (16000 x 16000 pixels).");
    EXPECT_EQ(HeaderMessage(TWmfBuilder().Placeable(0, 0, 4096, 4096, 96)), "(no exception)");
    TWmfBuilder busy;
    for (int i = 0; i < 2000; ++i) busy.Rectangle(i, i, i + 10, i + 10);
    EXPECT_EQ(HeaderMessage(busy.Placeable(0, 0, 6000, 6000, 96)), "(no exception)");
    EXPECT_EQ(HeaderMessage(TWmfBuilder().Placeable(0, 0, 32000, 100, 80)),
              "Cannot load image. The Windows metafile's picture of 38400 x 120 pixels is wider or higher than 32767 "
              "pixels.");
    // A plain WMF that never sets a window has no size.
    EXPECT_EQ(HeaderMessage(TWmfBuilder().Rectangle(0, 0, 10, 10).Plain()),
              "Cannot load image. The Windows metafile states no picture size.");
    // An EMF whose header record claims more bytes than the file has.
    TBytes emf = TEmfBuilder().Build(96, 96);
    Set32(emf, 4, 5000);
    EXPECT_EQ(HeaderMessage(emf), "Cannot load image. Invalid or unexpected Windows metafile image format.");
    // An EMF with neither frame nor bounds.
    TBytes flat = TEmfBuilder().Build(96, 96);
    for (std::size_t at = 8; at < 40; at += 4) Set32(flat, at, 0);
    EXPECT_EQ(HeaderMessage(flat), "Cannot load image. The Windows metafile's picture is empty (0 x 0 pixels).");
}

TEST(MetafileBadInput, SkipsRecordsThatClaimMoreThanTheyHold) {
    TBitmap bitmap;
    // A polygon claiming a million points, a polypolygon whose counts exceed its total, an
    // object index far past any table, a DIB claiming 30000 × 30000 pixels in a few bytes,
    // a region claiming more rectangles than it holds, and a record of a kind nobody knows.
    TBytes dib;
    for (std::uint32_t v : {40u, 30000u, 30000u}) Put32(dib, v);
    Put16(dib, 1);
    Put16(dib, 24);
    for (int i = 0; i < 6; ++i) Put32(dib, 0);
    TBytes region;
    for (std::uint32_t v : {32u, 1u, 1000u, 16000u, 0u, 0u, 10u, 10u}) Put32(region, v);
    TBytes bytes = RedAfter([&](TEmfBuilder& emf) {
        emf.Record(3, {0, 0, 0, 0, 1000000, 1, 2, 3, 4});
        emf.Record(8, {0, 0, 0, 0, 2, 3, 5, 3, 1, 1, 2, 2, 3, 3});
        emf.Record(39, {0x7FFFFFFF, 0, 0, 0});
        emf.Select(0x7FFFFFF0);
        emf.Record(81, {0, 0, 10, 10, 0, 0, 0, 0, 10, 10, 80, 40, 120, 0, 0, 0x00CC0020, 10, 10}, dib);
        emf.Record(75, {std::int32_t(region.size()), 5}, region);
        emf.Record(0x7777, {1, 2, 3});
    });
    TPlayStatistics statistics = PlayInto(bytes, bitmap);
    EXPECT_EQ(statistics.Malformed, 5u);
    EXPECT_EQ(statistics.Unknown, 1u);
    EXPECT_FALSE(statistics.Truncated);
    EXPECT_EQ(bitmap.Pixel(20, 50), RGBColor(255, 0, 0));  // what follows still draws
    EXPECT_EQ(bitmap.Pixel(70, 50), RGBColor(255, 255, 255));

    // The same kinds of lies in WMF records.
    TWmfBuilder wmf;
    wmf.Window(0, 0, 96, 96);
    wmf.Record(0x0324, {30000, 1, 2});                                   // Polygon of 30000 points
    wmf.Record(0x0538, {3, 10, 10, 10});                                 // PolyPolygon without points
    wmf.Record(0x0521, {500}, TBytes{'a', 'b'});                         // TextOut of 500 characters
    wmf.Record(0x0F43, {0x20, 0xCC, 0, 1, 1, 0, 0, 96, 96, 0, 0}, dib);  // StretchDIB
    wmf.Brush(0x0000FF).Select(0).Rectangle(0, 0, 48, 96);
    TBitmap wmfBitmap;
    TPlayStatistics wmfStatistics = PlayInto(wmf.Placeable(0, 0, 96, 96, 96), wmfBitmap);
    EXPECT_EQ(wmfStatistics.Malformed, 4u);
    EXPECT_EQ(wmfBitmap.Pixel(20, 50), RGBColor(255, 0, 0));
}

TEST(MetafileBadInput, StopsAtARecordThatLeavesTheFile) {
    // Records after the broken one are not reached; what came before stays, and loading the
    // file warns that the picture may be incomplete.
    TBytes bytes = RedAfter([](TEmfBuilder&) {});
    TBytes cut(bytes.begin(), bytes.end() - 20);  // without the end record
    cut.resize(cut.size() - 4);                   // and the rectangle cut short
    TBitmap bitmap;
    TPlayStatistics statistics = PlayInto(cut, bitmap);
    EXPECT_TRUE(statistics.Truncated);
    EXPECT_EQ(bitmap.Pixel(20, 50), RGBColor(255, 255, 255));

    TBytes zero = bytes;
    Set32(zero, 88 + 4, 0);  // a record of size 0 would never advance
    EXPECT_TRUE(PlayInto(zero, bitmap).Truncated);

    std::vector<std::string> warnings;
    TWarningHandler previous = SetWarningHandler([&warnings](const std::string& m) { warnings.push_back(m); });
    TMetafile metafile;
    TMemoryStream stream(cut);
    metafile.LoadFromStream(stream);
    SetWarningHandler(previous);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "The Windows metafile ends early or has a damaged record: the picture may be incomplete.");
    EXPECT_EQ(metafile.Width(), 96);

    TWmfBuilder wmf;
    wmf.Window(0, 0, 96, 96);
    TBytes words = wmf.Placeable(0, 0, 96, 96, 96);
    words.resize(words.size() - 6);  // no end record
    Put32(words, 2);                 // a record shorter than its own header
    Put16(words, 0x0418);
    EXPECT_TRUE(PlayInto(words, bitmap).Truncated);
}

TEST(MetafileBadInput, BoundsSavedStatesAndObjectTables) {
    // 200000 SaveDC records, RestoreDC far past them, and every 16-bit object slot filled:
    // the player keeps its bounds and plays on.
    TBytes bytes = RedAfter([](TEmfBuilder& emf) {
        for (int i = 0; i < 200000; ++i) emf.Record(33, {});
        emf.Record(34, {-1000000});
        emf.Record(34, {1000000});
        emf.Record(34, {0});
    });
    TBitmap bitmap;
    TPlayStatistics statistics = PlayInto(bytes, bitmap);
    EXPECT_EQ(statistics.Malformed, 0u);
    EXPECT_EQ(bitmap.Pixel(20, 50), RGBColor(255, 0, 0));

    TWmfBuilder wmf;
    wmf.Window(0, 0, 96, 96);
    for (int i = 0; i < 70000; ++i) wmf.Pen(0);  // more pens than 16-bit indices reach
    wmf.Brush(0x0000FF).Select(65534).Select(65535).Rectangle(0, 0, 48, 96);
    TBitmap wmfBitmap;
    PlayInto(wmf.Placeable(0, 0, 96, 96, 96, 4), wmfBitmap);
    // The brush found no free slot: the default white brush fills.
    EXPECT_EQ(wmfBitmap.Pixel(20, 50), RGBColor(255, 255, 255));
}

TEST(MetafileBadInput, OpensThroughThePictureFormatTableByExtension) {
    // Metafiles have no content test: the extension leads to the player, which tells the kinds
    // apart by their headers (an EMF named .wmf opens too).
    fs::path folder = fs::temp_directory_path() / "pixamo-metafile-test";
    fs::create_directories(folder);
    TBytes emf = RedAfter([](TEmfBuilder&) {});
    for (const char* name : {"red.emf", "red.wmf", "RED.EMF"}) {
        fs::path file = folder / name;
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(emf.data()), std::streamsize(emf.size()));
        TLoadedPicture loaded = LoadPictureFile(file.string());
        EXPECT_EQ(loaded.Class, nullptr);
        ASSERT_NE(dynamic_cast<TMetafile*>(loaded.Bitmap.get()), nullptr);
        EXPECT_EQ(loaded.Bitmap->Width(), 96);
        EXPECT_EQ(loaded.Bitmap->PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(loaded.Bitmap->Pixel(20, 50), RGBColor(255, 0, 0));
    }
    fs::remove_all(folder);
    // No reader claims a metafile by its first bytes.
    TMemoryStream stream(emf);
    EXPECT_EQ(FormatList().ClassFromContent(stream), nullptr);
    TBytes wmf = TWmfBuilder().Window(0, 0, 96, 96).Placeable(0, 0, 96, 96, 96);
    TMemoryStream wmfStream(wmf);
    EXPECT_EQ(FormatList().ClassFromContent(wmfStream), nullptr);
}

TEST(MetafileBadInput, FuzzFindingsPlayCleanly) {
    // A clip rectangle some 10^10 pixels away (its rows overflowed an int), a font 5000 times
    // wider than its height and one whose matrix cairo cannot invert (cairo leaked their
    // scaled fonts). Under the sanitizers these showed; here they must simply play.
    for (const char* name :
         {"fuzz-emf-clip-rect-far-away.emf", "fuzz-emf-font-very-wide.emf", "fuzz-emf-font-matrix-flat.emf"}) {
        std::vector<std::uint8_t> bytes = ReadWholeFile((fs::path(PIXAMO_TEST_DATA_DIR) / name).string());
        TBitmap bitmap;
        TPlayStatistics statistics = PlayInto(bytes, bitmap);
        EXPECT_EQ(bitmap.Width(), 96) << name;
        EXPECT_GT(statistics.Records, 10u) << name;
    }
}
