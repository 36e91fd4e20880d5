#include "TestSupport.h"

#include "formats/FileFormatList.h"
#include "formats/GIFGraphic.h"
#include "formats/PNGGraphic.h"
#include "formats/ReaderGraphic.h"
#include "formats/ReaderStrings.h"
#include "platform/Exception.h"
#include "platform/PictureFiles.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace fs = std::filesystem;

namespace {

// Graphic classes of the tests' own: a reader that claims streams starting with "AB" and a plain
// bitmap class.
bool ClaimsAB(TStream& stream) {
    std::int64_t position = stream.Position();
    char bytes[2] = {};
    bool result = stream.Read(bytes, 2) == 2 && bytes[0] == 'A' && bytes[1] == 'B';
    stream.SetPosition(position);
    return result;
}
std::unique_ptr<TBitmap> MakeBitmap() { return std::make_unique<TBitmap>(); }
const TGraphicClass ReaderAB{"TReaderAB", &MakeBitmap, &ClaimsAB, true};
const TGraphicClass OtherAB{"TOtherAB", &MakeBitmap, &ClaimsAB, false};
const TGraphicClass Plain{"TPlain", &MakeBitmap};

const TGraphicClass* PlatformClassOf(const std::string& extension) {
    return TPictureFormatTable::Instance().Find(extension);
}

struct TListState {
    std::vector<std::string> Extensions;
    std::vector<std::string> Classes;
    bool operator==(const TListState&) const = default;
};

TListState StateOf(const TFileFormatList& list) {
    TListState state;
    for (const auto& e : list.Extensions())
        state.Extensions.push_back(e->Extension + "|" + e->Description + "|" + e->Class->GraphicClass->Name);
    for (const auto& c : list.Classes())
        state.Classes.push_back(std::string(c->GraphicClass->Name) + "|" + c->Description + "|" +
                                std::to_string(c->Count));
    return state;
}

const std::uint8_t PngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

}  // namespace

TEST(FormatRegistry, ProgramTableKnowsEveryExtensionInOrder) {
    TFileFormatList& list = FormatList();
    EXPECT_EQ(list.FindExtension("PNG"), list.FindExtension("png"));
    ASSERT_GE(list.FindExtension("png"), 0);
    EXPECT_EQ(list.Extensions()[list.FindExtension("Png")]->Class->GraphicClass, &TPNGGraphicClass);
    EXPECT_EQ(list.FindExtension(""), -1);
    EXPECT_EQ(list.FindExtension("xyz"), -1);

    // The class list follows first registration; reader classes are asked in this order.
    std::vector<std::string> expected = {"TBitmap",       "TIcon",        "TMetafile",    "TJPEGImage",
                                         "TTargaGraphic", "TTIFFGraphic", "TEPSGraphic",  "TPCXGraphic",
                                         "TSGIGraphic",   "TPSDGraphic",  "TGIFGraphic",  "TPNGGraphic",
                                         "TWebPGraphic",  "TAVIFGraphic", "THEIFGraphic", "TJXLGraphic"};
    std::vector<std::string> actual;
    for (const auto& entry : list.Classes()) actual.push_back(entry->GraphicClass->Name);
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(list.Extensions().size(), 36u);

    // Descriptions: the common one names the class, the individual one stays with its extension.
    const ExtensionEntry& emf = *list.Extensions()[list.FindExtension("emf")];
    EXPECT_EQ(emf.Description, "Windows enhanced meta files");
    EXPECT_EQ(emf.Class->Description, "Windows metafiles");
    EXPECT_EQ(emf.Class->Count, 2);
    EXPECT_EQ(list.Classes()[list.FindClass(&JPEGGraphicClass)]->Description, "JPG images");
    EXPECT_EQ(list.Classes()[list.FindClass(&BitmapGraphicClass)]->Count, 3);

    // Every extension reaches the platform table, so loading by extension finds it.
    for (const auto& entry : list.Extensions())
        EXPECT_EQ(PlatformClassOf(entry->Extension), entry->Class->GraphicClass) << entry->Extension;
    auto gifFormat =
        std::find_if(TPictureFormatTable::Instance().Formats().begin(), TPictureFormatTable::Instance().Formats().end(),
                     [](const TPictureFormat& f) { return f.Extension == "gif"; });
    ASSERT_NE(gifFormat, TPictureFormatTable::Instance().Formats().end());
    EXPECT_EQ(gifFormat->Description, "CompuServe images");
}

TEST(FormatRegistry, RegisteringAnExtensionTwiceRaisesAndChangesNothing) {
    TFileFormatList& list = FormatList();
    TListState before = StateOf(list);
    EXPECT_EQ(MessageOf([&] { list.RegisterFormat("png", "", "", false, &TPNGGraphicClass); }),
              "Attempt to register png twice.");
    EXPECT_EQ(MessageOf([&] { list.RegisterFormat("GIF", "x", "y", false, &Plain); }),
              "Attempt to register GIF twice.");
    EXPECT_EQ(StateOf(list), before);
    EXPECT_EQ(PlatformClassOf("gif"), &TGIFGraphicClass);
}

TEST(FormatRegistry, RegisterReplaceAndUnregisterKeepCountsAndPlatformTable) {
    TFileFormatList list;
    list.RegisterFormat("", "ignored", "", false, &Plain);
    EXPECT_TRUE(list.Classes().empty());
    list.RegisterFormat("zqa", "AB pictures", "", false, &ReaderAB);
    list.RegisterFormat("zqb", "", "Second AB", false, &ReaderAB);
    list.RegisterFormat("zqc", "Plain pictures", "", false, &Plain);
    ASSERT_EQ(list.Classes().size(), 2u);
    EXPECT_EQ(list.Classes()[0]->Count, 2);
    EXPECT_EQ(list.Classes()[0]->Description, "AB pictures");
    EXPECT_EQ(PlatformClassOf("zqb"), &ReaderAB);
    EXPECT_EQ(TPictureFormatTable::Instance().Formats().back().Description, "Plain pictures");

    // Replacing moves the extension and keeps its individual description; the class left with no
    // extension leaves the list.
    list.RegisterFormat("zqc", "", "", true, &ReaderAB);
    ASSERT_EQ(list.Classes().size(), 1u);
    EXPECT_EQ(list.Classes()[0]->Count, 3);
    EXPECT_EQ(PlatformClassOf("zqc"), &ReaderAB);
    list.RegisterFormat("ZQB", "", "", true, &Plain);
    EXPECT_EQ(list.Extensions()[list.FindExtension("zqb")]->Description, "Second AB");
    EXPECT_EQ(list.FindClass(&Plain), 1);

    list.UnregisterFormat("nothing", &Plain);
    list.UnregisterFormat("zqb", nullptr);
    EXPECT_EQ(list.FindClass(&Plain), -1);
    EXPECT_EQ(PlatformClassOf("zqb"), nullptr);

    list.RegisterFormat("zqd", "", "", false, &Plain);
    list.UnregisterFormat("", &ReaderAB);
    EXPECT_EQ(list.FindClass(&ReaderAB), -1);
    EXPECT_EQ(list.FindExtension("zqa"), -1);
    EXPECT_EQ(list.FindExtension("zqc"), -1);
    EXPECT_EQ(PlatformClassOf("zqa"), nullptr);
    ASSERT_EQ(list.Extensions().size(), 1u);

    list.Clear();
    EXPECT_TRUE(list.Extensions().empty());
    EXPECT_TRUE(list.Classes().empty());
    EXPECT_EQ(PlatformClassOf("zqd"), nullptr);
}

TEST(FormatRegistry, ClassFromContentAsksReadersOnlyAndRestoresThePosition) {
    TFileFormatList list;
    list.RegisterFormat("zqe", "", "", false, &OtherAB);  // not a reader: never asked
    list.RegisterFormat("zqf", "", "", false, &ReaderAB);
    TMemoryStream stream(TBytes{'x', 'A', 'B', 'C'});
    EXPECT_EQ(list.ClassFromContent(stream), nullptr);
    stream.SetPosition(1);
    EXPECT_EQ(list.ClassFromContent(stream), &ReaderAB);
    EXPECT_EQ(stream.Position(), 1);

    // The program's table by file: PNG and GIF content whatever the extension.
    TBytes png(PngSignature, PngSignature + 8);
    png.resize(40, 0);
    fs::path file = ScratchFolder() / "content.gif";
    WriteFile(file, png);
    EXPECT_EQ(FormatList().ClassFromContent(file.string()), &TPNGGraphicClass);
    EXPECT_TRUE(TReaderGraphic::CanLoadFile(TPNGGraphicClass, file.string()));
    EXPECT_FALSE(TReaderGraphic::CanLoadFile(TGIFGraphicClass, file.string()));
    EXPECT_FALSE(TReaderGraphic::CanLoadFile(BitmapGraphicClass, file.string()));
    WriteFile(file, TBytes(40, 0xEE));
    EXPECT_EQ(FormatList().ClassFromContent(file.string()), nullptr);
    EXPECT_THROW(FormatList().ClassFromContent((ScratchFolder() / "missing.png").string()), EStreamError);
}

TEST(FormatRegistry, ContentTestsNeedMoreThanTheirHeaderAndRestoreThePosition) {
    // PNG: more than 8 bytes left; GIF: more than 22, signature in any letter case.
    TBytes bytes = {1, 2, 3};
    bytes.insert(bytes.end(), PngSignature, PngSignature + 8);
    TMemoryStream exact(bytes);
    exact.SetPosition(3);
    EXPECT_FALSE(TPNGGraphic::CanLoadStream(exact));
    EXPECT_EQ(exact.Position(), 3);
    bytes.push_back(0);
    TMemoryStream more(bytes);
    more.SetPosition(3);
    EXPECT_TRUE(TPNGGraphic::CanLoadStream(more));
    EXPECT_EQ(more.Position(), 3);
    EXPECT_FALSE(TGIFGraphic::CanLoadStream(more));
    EXPECT_EQ(more.Position(), 3);

    TBytes gif = {'g', 'I', 'f', '8', '9', 'a'};
    gif.resize(22, 0);
    TMemoryStream shortGif(gif);
    EXPECT_FALSE(TGIFGraphic::CanLoadStream(shortGif));
    gif.push_back(0);
    TMemoryStream longGif(gif);
    EXPECT_TRUE(TGIFGraphic::CanLoadStream(longGif));
    EXPECT_EQ(longGif.Position(), 0);
    EXPECT_FALSE(TReaderGraphic::CanLoadStream(longGif));
}

TEST(ReaderBase, ReadPropertiesStartsFromAnEmptyRecord) {
    for (auto reader : std::initializer_list<std::shared_ptr<TReaderGraphic>>{std::make_shared<TPNGGraphic>(),
                                                                              std::make_shared<TGIFGraphic>()}) {
        TImageProperties& p = reader->ImageProperties;
        p.Width = 7;
        p.Version = 3;
        p.FileGamma = 0.5f;
        p.RowsPerStrip = {1, 2};
        p.JPEGTables = {9};
        p.Options = Tiled;
        TMemoryStream stream(TBytes(64, 'x'));
        EXPECT_FALSE(reader->ReadProperties(stream, 0));
        TImageProperties fresh;
        EXPECT_EQ(p.Width, 0u);
        EXPECT_EQ(p.Version, 0u);
        EXPECT_EQ(p.Options, 0);
        EXPECT_EQ(p.FileGamma, 1.0f);
        EXPECT_TRUE(p.RowsPerStrip.empty());
        EXPECT_TRUE(p.JPEGTables.empty());
        EXPECT_EQ(std::memcmp(&p.Version, &fresh.Version, sizeof p.Version), 0);
    }
}

TEST(ReaderBase, AssignCopiesPropertiesAndPixels) {
    TPNGGraphic source;
    source.ImageProperties.Width = 5;
    source.ImageProperties.RowsPerStrip = {4, 4};
    source.SetPixelFormat(TPixelFormat::pf24bit);
    source.SetSize(5, 1);
    source.ScanLine(0)[0] = 77;
    TGIFGraphic target;
    target.Assign(source);
    EXPECT_EQ(target.ImageProperties.Width, 5u);
    EXPECT_EQ(target.ImageProperties.RowsPerStrip, (TCardinalArray{4, 4}));
    EXPECT_EQ(target.Width(), 5);
    EXPECT_EQ(target.ScanLine(0)[0], 77);
    TBitmap plain;
    target.Assign(plain);
    EXPECT_EQ(target.ImageProperties.Width, 5u);  // a plain bitmap carries no properties
    EXPECT_EQ(target.Width(), 0);
}

namespace {
struct TSizeProbe : TPNGGraphic {
    using TReaderGraphic::CheckImageSize;
};
}  // namespace

TEST(ReaderBase, SizeCheckRefusesPicturesThatCannotBeHeldOrDecoded) {
    TSizeProbe probe;
    EXPECT_NO_THROW(probe.CheckImageSize(16384, 16384));
    EXPECT_EQ(MessageOf([&] { probe.CheckImageSize(16384, 16385); }),
              "Cannot load image. The PNG image of 16384 x 16385 pixels is too large.");
    EXPECT_THROW(probe.CheckImageSize(0x80000000u, 0), EInvalidGraphic);
    EXPECT_NO_THROW(probe.CheckImageSize(5000, 5000, 25000000, 25000000));
    EXPECT_THROW(probe.CheckImageSize(5000, 5000, 25000001, 25000000), EInvalidGraphic);
    // Small pictures are refused for short data too.
    EXPECT_THROW(probe.CheckImageSize(100, 100, 30001, 30000), EInvalidGraphic);
}

TEST(LoadPipeline, FallsBackOnTheExtensionWhenNoReaderClaimsTheFile) {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(3, 2);
    bitmap.ScanLine(1)[3] = 200;  // blue of pixel (1, 1)
    fs::path file = ScratchFolder() / "fallback.bmp";
    bitmap.SaveToFile(file.string());
    TLoadedPicture loaded;
    TBgrImage image = LoadBgr(file.string(), &loaded);
    EXPECT_EQ(loaded.Class, nullptr);
    EXPECT_FALSE(loaded.Properties.has_value());
    ASSERT_EQ(image.Width, 3);
    EXPECT_EQ(image.At(1, 1), RGBColor(0, 0, 200));

    fs::path unknown = ScratchFolder() / "unknown.xyz";
    WriteFile(unknown, TBytes(64, 0xEE));
    EXPECT_EQ(MessageOf([&] { LoadPictureFile(unknown.string()); }), "Unknown picture file extension (.xyz)");
    fs::path metafile = ScratchFolder() / "drawing.wmf";
    WriteFile(metafile, TBytes(64, 0xEE));
    EXPECT_EQ(MessageOf([&] { LoadPictureFile(metafile.string()); }),
              "Cannot load image. Invalid or unexpected Windows metafile image format.");
    EXPECT_EQ(MessageOf([] { LoadBytes(TBytes(64, 0xEE), "abc"); }), "Unknown picture file extension (.abc)");
}

TEST(LoadPipeline, DescribesTheReaderProperties) {
    TImageProperties p;
    p.Width = 3;
    p.Height = 4;
    p.ColorScheme = ColorScheme::RGBA;
    p.Compression = CompressionKind::Deflate;
    p.Options = BigEndian | UseGamma;
    p.FileGamma = 0.45455f;
    p.Version = 89;
    std::vector<std::string> lines = DescribeProperties(p);
    auto has = [&lines](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("Width: 3"));
    EXPECT_TRUE(has("ColorScheme: RGBA"));
    EXPECT_TRUE(has("Compression: Deflate"));
    EXPECT_TRUE(has("Options: BigEndian, UseGamma"));
    EXPECT_TRUE(has("FileGamma: 0.45455"));
    EXPECT_TRUE(has("Version: 89"));
    EXPECT_FALSE(has("FirstIFD: 0"));
    EXPECT_STREQ(CompressionName(CompressionKind::JBIG), "JBIG");
    EXPECT_STREQ(ColorSchemeName(ColorScheme::PhotoYCC), "PhotoYCC");
}
