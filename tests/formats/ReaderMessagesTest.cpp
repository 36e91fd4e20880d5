// What every reader says when it refuses a file: its own format label in the size refusal, and
// the invalid-format message, never an empty picture, for a file it cannot make a picture of.
#include "GifBuilder.h"
#include "PngBuilder.h"
#include "TestSupport.h"
#include "TiffBuilder.h"

#include "formats/EPSGraphic.h"
#include "formats/FileFormatList.h"
#include "formats/GIFGraphic.h"
#include "formats/PCXGraphic.h"
#include "formats/PNGGraphic.h"
#include "formats/PSDGraphic.h"
#include "formats/ReaderStrings.h"
#include "formats/SGIGraphic.h"
#include "formats/TIFFGraphic.h"
#include "formats/TargaGraphic.h"
#include "platform/Exception.h"

namespace {

void PutLE(TBytes& b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutBE(TBytes& b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * (bytes - 1 - i)));
}

TBytes Tiff(std::uint32_t width, std::uint32_t height) {
    TTiffBuilder b;
    b.Basic(width, height, 8, 1, 1).AddStrip(TBytes(16, 0));
    return b.Build();
}

// A binary EPS header with the TIFF preview after it.
TBytes Eps(const TBytes& tiff) {
    TBytes file(32, 0);
    file[0] = 197, file[1] = 208, file[2] = 211, file[3] = 198;
    PutLE(file, 20, 32, 4);
    PutLE(file, 24, static_cast<std::uint32_t>(tiff.size()), 4);
    file.insert(file.end(), tiff.begin(), tiff.end());
    return file;
}

TBytes Targa(unsigned width, unsigned height) {
    TBytes b(18 + 16, 0);
    b[2] = 2;  // true colour
    PutLE(b, 12, width, 2);
    PutLE(b, 14, height, 2);
    b[16] = 24;
    return b;
}

TBytes Pcx(unsigned manufacturer, unsigned width, unsigned height) {
    TBytes b(128 + 16, 0);
    b[0] = static_cast<std::uint8_t>(manufacturer);
    b[1] = 5;
    b[3] = 8;
    PutLE(b, 8, width - 1, 2);
    PutLE(b, 10, height - 1, 2);
    b[65] = 1;
    PutLE(b, 66, width, 2);
    return b;
}

TBytes Psd(std::uint32_t width, std::uint32_t height) {
    TBytes b(26 + 14 + 16, 0);
    std::copy_n("8BPS", 4, b.begin());
    PutBE(b, 4, 1, 2);
    PutBE(b, 12, 3, 2);
    PutBE(b, 14, height, 4);
    PutBE(b, 18, width, 4);
    PutBE(b, 22, 8, 2);
    PutBE(b, 24, 3, 2);  // RGB
    return b;
}

TBytes Sgi(unsigned width, unsigned height) {
    TBytes b(512 + 16, 0);
    PutBE(b, 0, 474, 2);
    b[3] = 1;
    PutBE(b, 4, 3, 2);
    PutBE(b, 6, width, 2);
    PutBE(b, 8, height, 2);
    PutBE(b, 10, 3, 2);
    return b;
}

std::string TooLarge(const char* label, unsigned long long width, unsigned long long height) {
    return FormatText(gesImageTooLarge, label, width, height);
}

}  // namespace

TEST(ReaderMessages, EverySizeRefusalNamesTheReadersFormat) {
    using namespace png_builder;
    const TBytes png = Png({Ihdr(70000, 70000, 8, 0), Chunk("IDAT", Zlib({0, 0})), Iend()});
    EXPECT_EQ(ReaderMessage<TPNGGraphic>(png), TooLarge("PNG", 70000, 70000));
    EXPECT_EQ(ReaderMessage<TTIFFGraphic>(Tiff(70000, 70000)), TooLarge("TIF/TIFF", 70000, 70000));
    // The EPS reader speaks of its preview in the TIFF reader's words, as in its other messages.
    EXPECT_EQ(ReaderMessage<TEPSGraphic>(Eps(Tiff(70000, 70000))), TooLarge("TIF/TIFF", 70000, 70000));
    const TBytes gif = gif_builder::Gif(
        {gif_builder::Header("GIF89a", 65535, 65535, 1), gif_builder::Image(65535, 65535, {1, 2, 3}, 2)});
    EXPECT_EQ(ReaderMessage<TGIFGraphic>(gif), TooLarge("GIF", 65535, 65535));
    EXPECT_EQ(ReaderMessage<TTargaGraphic>(Targa(65535, 65535)), TooLarge("Targa", 65535, 65535));
    EXPECT_EQ(ReaderMessage<TPCXGraphic>(Pcx(10, 65535, 65535)), TooLarge("PCX or SCR", 65535, 65535));
    EXPECT_EQ(ReaderMessage<TPSDGraphic>(Psd(100000, 100000)), TooLarge("PSD or PDD", 100000, 100000));
    EXPECT_EQ(ReaderMessage<TSGIGraphic>(Sgi(65535, 65535)), TooLarge("sgi, bw or rgb(a)", 65535, 65535));

    // Every registered reader has a label to put there.
    int readers = 0;
    for (const auto& entry : FormatList().Classes()) {
        if (!entry->GraphicClass->IsReader) continue;
        auto reader = entry->GraphicClass->Create();
        SCOPED_TRACE(entry->GraphicClass->Name);
        EXPECT_STRNE(dynamic_cast<TReaderGraphic&>(*reader).FormatLabel(), "");
        ++readers;
    }
    EXPECT_GE(readers, 8);
}

TEST(ReaderMessages, AFileClaimedButNotReadableRaisesTheInvalidFormatMessage) {
    // Manufacturer 12 passes the PCX content test, not its header check.
    const TBytes pcx12 = Pcx(12, 2, 1);
    TMemoryStream stream(pcx12);
    ASSERT_TRUE(TPCXGraphic::CanLoadStream(stream));
    EXPECT_EQ(MessageOf([&] { LoadBytes(pcx12, "pcx"); }), FormatText(gesInvalidImage, "PCX or SCR"));
    EXPECT_EQ(ReaderMessage<TPCXGraphic>(pcx12), FormatText(gesInvalidImage, "PCX or SCR"));

    // Readers that leave their picture empty: the load is refused with the reader's message.
    const TBytes noImage = gif_builder::Gif({gif_builder::Header("GIF89a", 10, 10, 1)});
    EXPECT_EQ(MessageOf([&] { LoadBytes(noImage, "gif"); }), FormatText(gesInvalidImage, "GIF"));
    TTiffBuilder tiled;
    tiled.Basic(16, 16, 8, 1, 1).Set(322, TTiffBuilder::Short, {16}).Set(323, TTiffBuilder::Short, {16});
    tiled.AddStrip(TBytes(256, 9));
    EXPECT_EQ(MessageOf([&] { LoadBytes(tiled.Build(), "tif"); }), FormatText(gesInvalidImage, "TIF/TIFF"));
    EXPECT_EQ(MessageOf([&] { LoadBytes(Eps(tiled.Build()), "eps"); }), FormatText(gesInvalidImage, "TIF/TIFF"));
    // A Targa header of width 0 (found by its extension: its map entry size 0 is not claimed).
    EXPECT_EQ(MessageOf([&] { LoadBytes(Targa(0, 4), "tga"); }), FormatText(gesInvalidImage, "Targa"));

    // A picture that has pixels still loads.
    EXPECT_EQ(LoadBytes(Pcx(10, 2, 1), "pcx").Bitmap->Width(), 2);
}
