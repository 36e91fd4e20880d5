// Inputs the fuzzers of the Targa, PCX, Photoshop and SGI readers found troublesome, kept in
// data/fuzz-<reader>-*, and the size checks they led to: a header may not make the reader
// allocate far more than its data can fill.
#include "TestSupport.h"

#include "formats/PCXGraphic.h"
#include "formats/PSDGraphic.h"
#include "formats/SGIGraphic.h"
#include "formats/TargaGraphic.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

TBytes DataFile(const std::string& name) { return ReadFile(fs::path(PIXAMO_TEST_DATA_DIR) / name); }

void Put16LE(TBytes& b, std::size_t at, unsigned v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}
void Put16BE(TBytes& b, std::size_t at, unsigned v) {
    b[at] = (v >> 8) & 0xFF;
    b[at + 1] = v & 0xFF;
}

TBytes TargaFile(unsigned imageType, unsigned width, unsigned height, const TBytes& data) {
    TBytes b(18 + data.size(), 0);
    b[2] = static_cast<std::uint8_t>(imageType);
    Put16LE(b, 12, width);
    Put16LE(b, 14, height);
    b[16] = 24;
    b[17] = 0x20;  // top row first
    std::copy(data.begin(), data.end(), b.begin() + 18);
    return b;
}

constexpr const char* NoException = "(no exception)";

// Loads with the given reader; the exception's message, or NoException.
template <class T> std::string LoadWith(const TBytes& bytes, T& reader) {
    return MessageOf([&] {
        TMemoryStream stream(bytes);
        reader.LoadFromStream(stream);
    });
}

TEST(ReaderFuzzFindings, EveryKeptInputLoadsOrIsRefusedCleanly) {
    struct TReader {
        bool (*CanLoad)(TStream&);
        std::function<std::unique_ptr<TReaderGraphic>()> Create;
    };
    const std::map<std::string, TReader> readers = {
        {"targa", {TTargaGraphic::CanLoadStream, [] { return std::make_unique<TTargaGraphic>(); }}},
        {"pcx", {TPCXGraphic::CanLoadStream, [] { return std::make_unique<TPCXGraphic>(); }}},
        {"psd", {TPSDGraphic::CanLoadStream, [] { return std::make_unique<TPSDGraphic>(); }}},
        {"sgi", {TSGIGraphic::CanLoadStream, [] { return std::make_unique<TSGIGraphic>(); }}},
    };
    int replayed = 0;
    for (const auto& entry : fs::directory_iterator(PIXAMO_TEST_DATA_DIR)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("fuzz-", 0) != 0) continue;
        auto found = readers.find(name.substr(5, name.find('-', 5) - 5));
        if (found == readers.end()) continue;
        SCOPED_TRACE(name);
        const TBytes bytes = ReadFile(entry.path());
        TMemoryStream stream(bytes);
        found->second.CanLoad(stream);
        EXPECT_EQ(stream.Position(), 0);
        // Loaded the way a file chosen by its extension is, whatever the content test said.
        std::unique_ptr<TReaderGraphic> reader = found->second.Create();
        try {
            reader->ReadProperties(stream, 0);
            stream.SetPosition(0);
            reader->LoadFromStream(stream);
            if (!reader->Empty()) reader->Pixel(reader->Width() - 1, reader->Height() - 1);
        } catch (const Exception&) {
        }
        ++replayed;
    }
    EXPECT_GE(replayed, 2);
}

TEST(TargaSizeChecks, StoredRowsBeyondTheDataFailBeforeTheBitmapIsMade) {
    // 62464 x 2048 pixels of 32 bits claimed by a file of 133 bytes.
    TTargaGraphic reader;
    EXPECT_EQ(LoadWith(DataFile("fuzz-targa-oversized-stored-rows"), reader),
              "Cannot load image. The Targa image of 62464 x 2048 pixels is too large.");
    EXPECT_TRUE(reader.Empty());

    // Exactly the bytes of the rows still load.
    TBytes exact = TargaFile(2, 2, 1, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(ToBgr(*LoadReader<TTargaGraphic>(exact)).At(1, 0), RGBColor(6, 5, 4));
    exact.pop_back();
    EXPECT_THROW(LoadReader<TTargaGraphic>(exact), EReadError);
}

TEST(TargaSizeChecks, RunLengthDataFarTooShortIsRefusedButCutShortStillLoads) {
    // One packet of 128 pixels cannot paint 4000 x 4000 of them.
    TTargaGraphic reader;
    const std::string message = LoadWith(TargaFile(10, 4000, 4000, {0xFF, 1, 2, 3}), reader);
    EXPECT_NE(message.find("too large"), std::string::npos) << message;
    EXPECT_TRUE(reader.Empty());

    // Two rows of four, data for the first only: the second stays black.
    TBgrImage half = ToBgr(*LoadReader<TTargaGraphic>(TargaFile(10, 4, 2, {0x83, 10, 20, 30})));
    EXPECT_EQ(half.At(3, 0), RGBColor(30, 20, 10));
    EXPECT_EQ(half.At(0, 1), RGBColor(0, 0, 0));
}

TEST(PCXSizeChecks, StoredRowsPastTheDataAreRefusedOrBlack) {
    // One pixel wide, 65529 rows of 12288 bytes claimed (805 MB), 86 bytes of data.
    EXPECT_EQ(ReaderMessage<TPCXGraphic>(DataFile("fuzz-pcx-short-stored-rows")),
              "Cannot load image. The PCX or SCR image of 1 x 65529 pixels is too large.");

    // A last row cut in the middle keeps its bytes and is completed with zeroes.
    TBytes file(128, 0);
    file[0] = 10;
    file[1] = 5;
    file[3] = 8;
    Put16LE(file, 8, 2);   // 3 pixels wide
    Put16LE(file, 10, 2);  // 3 rows
    file[65] = 1;
    Put16LE(file, 66, 4);
    Put16LE(file, 68, 2);  // grey levels
    for (unsigned v : {10, 20, 30, 0, 40, 50, 60, 0, 70, 80}) file.push_back(static_cast<std::uint8_t>(v));
    TBgrImage image = ToBgr(*LoadReader<TPCXGraphic>(file));
    EXPECT_EQ(image.At(2, 1), RGBColor(60, 60, 60));
    EXPECT_EQ(image.At(1, 2), RGBColor(80, 80, 80));
    EXPECT_EQ(image.At(2, 2), RGBColor(0, 0, 0));
}

TEST(PSDDepthChecks, DepthsWithoutABitmapLayoutAreRefused) {
    // Indexed, 100 x 100, 5 bits per channel: no bitmap takes such rows.
    EXPECT_EQ(ReaderMessage<TPSDGraphic>(DataFile("fuzz-psd-five-bit-indexed")),
              "Invalid color format in PSD or PDD file.");

    auto grayFile = [](unsigned depth, unsigned mode, unsigned channels) {
        const unsigned rowBytes = (4 * depth + 7) / 8;
        TBytes b(26 + 14 + channels * 2 * rowBytes, 0);
        std::copy_n("8BPS", 4, b.begin());
        Put16BE(b, 4, 1);
        Put16BE(b, 12, channels);
        Put16BE(b, 16, 2);  // height
        Put16BE(b, 20, 4);  // width
        Put16BE(b, 22, depth);
        Put16BE(b, 24, mode);
        std::fill(b.begin() + 40, b.end(), 0x7F);
        return b;
    };
    // Twelve bits would have overrun the 8-bit rows, five and one-bit colour had no layout at all.
    for (unsigned depth : {2u, 5u, 12u, 32u})
        EXPECT_NE(ReaderMessage<TPSDGraphic>(grayFile(depth, 1, 1)), NoException) << depth;
    EXPECT_NE(ReaderMessage<TPSDGraphic>(grayFile(1, 3, 3)), NoException);
    EXPECT_EQ(ToBgr(*LoadReader<TPSDGraphic>(grayFile(8, 1, 1))).At(3, 1), RGBColor(0x7F, 0x7F, 0x7F));
    EXPECT_EQ(ToBgr(*LoadReader<TPSDGraphic>(grayFile(16, 1, 1))).At(3, 1), RGBColor(0x7F, 0x7F, 0x7F));
    EXPECT_EQ(ToBgr(*LoadReader<TPSDGraphic>(grayFile(1, 0, 1))).At(3, 1), RGBColor(0, 0, 0));  // bits set: black
}

TEST(SGISizeChecks, VerbatimChannelsBeyondTheDataFailBeforeTheBitmapIsMade) {
    TBytes file(512, 0);
    Put16BE(file, 0, 474);
    file[3] = 1;
    Put16BE(file, 4, 3);
    Put16BE(file, 6, 40000);
    Put16BE(file, 8, 6000);
    Put16BE(file, 10, 3);
    file.resize(file.size() + 64, 7);
    TSGIGraphic reader;
    EXPECT_EQ(LoadWith(file, reader),
              "Cannot load image. The sgi, bw or rgb(a) image of 40000 x 6000 pixels is too large.");
    EXPECT_TRUE(reader.Empty());

    // Grey and alpha need only the grey channel's rows.
    TBytes grey(512, 0);
    Put16BE(grey, 0, 474);
    grey[3] = 1;
    Put16BE(grey, 4, 3);
    Put16BE(grey, 6, 2);
    Put16BE(grey, 8, 1);
    Put16BE(grey, 10, 2);
    grey.push_back(90);
    grey.push_back(180);
    EXPECT_EQ(ToBgr(*LoadReader<TSGIGraphic>(grey)).At(1, 0), RGBColor(180, 180, 180));
}

}  // namespace
