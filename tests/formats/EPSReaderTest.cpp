// The EPS reader: the binary EPS header and the TIFF preview it points to.
#include "formats/EPSGraphic.h"

#include "TestSupport.h"
#include "TiffBuilder.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const std::string InvalidEPS = "Cannot load image. Invalid or unexpected EPS image format.";
const std::string InvalidTIFF = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";

TBytes PreviewTiff() {
    TTiffBuilder b;
    b.Basic(3, 2, 8, 3, 2).AddStrip({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18});
    return b.Build();
}

void Put32(TBytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// An EPS file with a PostScript section and a TIFF preview at the given offset.
TBytes EpsFile(std::uint32_t tiffOffset, const TBytes& tiff) {
    TBytes file(30, 0);
    file[0] = 197, file[1] = 208, file[2] = 211, file[3] = 198;
    const std::string postscript = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 3 2\n";
    Put32(file, 4, 30);
    Put32(file, 8, static_cast<std::uint32_t>(postscript.size()));
    Put32(file, 20, tiffOffset);
    Put32(file, 24, static_cast<std::uint32_t>(tiff.size()));
    file[28] = file[29] = 0xFF;
    file.insert(file.end(), postscript.begin(), postscript.end());
    file.resize(std::max<std::size_t>(file.size(), tiffOffset), ' ');
    file.insert(file.end(), tiff.begin(), tiff.end());
    return file;
}

std::string LoadError(TEPSGraphic& graphic, const TBytes& bytes) {
    TMemoryStream stream(bytes);
    try {
        graphic.LoadFromStream(stream);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

TBgrImage LoadTiffAlone(const TBytes& bytes) {
    TTIFFGraphic graphic;
    TMemoryStream stream(bytes);
    graphic.LoadFromStream(stream);
    return ToBgr(graphic);
}

}  // namespace

TEST(EPSReader, PreviewLoadsAsTheTiffBytesAlone) {
    const TBytes eps = EpsFile(1000, PreviewTiff());
    TEPSGraphic graphic;
    EXPECT_EQ(LoadError(graphic, eps), "");
    EXPECT_TRUE(SamePicture(ToBgr(graphic), LoadTiffAlone(TBytes(eps.begin() + 1000, eps.end()))));
    EXPECT_EQ(ToBgr(graphic).At(2, 1), RGBColor(16, 17, 18));
    // The reader keeps the preview's description.
    EXPECT_EQ(graphic.ImageProperties.Width, 3u);
    EXPECT_EQ(graphic.ImageProperties.Version, 42u);
}

TEST(EPSReader, ContentTest) {
    const TBytes eps = EpsFile(1000, PreviewTiff());
    TMemoryStream stream(eps);
    EXPECT_TRUE(TEPSGraphic::CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0);
    // The same file embedded at position 7 of a larger stream.
    TBytes embedded(7, 0);
    embedded.insert(embedded.end(), eps.begin(), eps.end());
    TMemoryStream inner(embedded);
    inner.SetPosition(7);
    EXPECT_TRUE(TEPSGraphic::CanLoadStream(inner));
    EXPECT_EQ(inner.Position(), 7);
    TEPSGraphic graphic;
    graphic.LoadFromStream(inner);
    EXPECT_EQ(ToBgr(graphic).At(0, 0), RGBColor(1, 2, 3));

    // No TIFF preview, a preview inside the header, exactly 30 bytes, another magic.
    TBytes noPreview = eps;
    Put32(noPreview, 24, 0);
    TMemoryStream a(noPreview);
    EXPECT_FALSE(TEPSGraphic::CanLoadStream(a));
    TBytes inHeader = eps;
    Put32(inHeader, 20, 30);
    TMemoryStream b(inHeader);
    EXPECT_FALSE(TEPSGraphic::CanLoadStream(b));
    TMemoryStream c(TBytes(eps.begin(), eps.begin() + 30));
    EXPECT_FALSE(TEPSGraphic::CanLoadStream(c));
    TBytes magic = eps;
    magic[3] = 199;
    TMemoryStream d(magic);
    EXPECT_FALSE(TEPSGraphic::CanLoadStream(d));
    EXPECT_FALSE(TTIFFGraphic::CanLoadStream(d));
}

TEST(EPSReader, FilesWithoutAUsablePreview) {
    TEPSGraphic graphic;
    // Only a metafile preview: the TIFF offset 0 leads back to the EPS header.
    TBytes metafileOnly = EpsFile(1000, PreviewTiff());
    Put32(metafileOnly, 12, 1000);
    Put32(metafileOnly, 20, 0);
    Put32(metafileOnly, 24, 0);
    EXPECT_EQ(LoadError(graphic, metafileOnly), InvalidTIFF);
    // A preview offset beyond the end of the file.
    TBytes beyond = EpsFile(1000, PreviewTiff());
    Put32(beyond, 20, 0xFFFFFFF0u);
    EXPECT_EQ(LoadError(graphic, beyond), InvalidTIFF);
    // A plain PostScript file, and one shorter than the header.
    const std::string text = "%!PS-Adobe-3.1 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n";
    EXPECT_EQ(LoadError(graphic, TBytes(text.begin(), text.end())), InvalidEPS);
    EXPECT_EQ(LoadError(graphic, {197, 208, 211, 198, 0, 0}), InvalidEPS);
}

TEST(EPSReader, ReadPropertiesDescribesThePreview) {
    TTiffBuilder second;
    second.Basic(5, 1, 8, 1, 1).AddStrip(TBytes(5, 0));
    TTiffBuilder first;
    first.Basic(3, 2, 8, 3, 2).AddStrip(TBytes(18, 0)).Next(second);
    const TBytes eps = EpsFile(200, first.Build());
    TEPSGraphic graphic;
    TMemoryStream stream(eps);
    ASSERT_TRUE(graphic.ReadProperties(stream, 1));
    EXPECT_EQ(graphic.ImageProperties.Width, 5u);
    ASSERT_TRUE(graphic.ReadProperties(stream, 0));
    EXPECT_EQ(graphic.ImageProperties.Width, 3u);
    EXPECT_FALSE(graphic.ReadProperties(stream, 2));
    TMemoryStream text(TBytes(40, 'x'));
    EXPECT_FALSE(graphic.ReadProperties(text, 0));
}

TEST(EPSReader, CorpusFiles) {
    PIXAMO_REQUIRE_CORPUS();
    const fs::path folder = fs::path(CorpusDir()) / "pillow/eps";
    const fs::path withPreview = folder / "illu10_preview.eps";
    const fs::path withoutPreview = folder / "illu10_no_preview.eps";
    PIXAMO_REQUIRE_CORPUS_FILE(withPreview);
    PIXAMO_REQUIRE_CORPUS_FILE(withoutPreview);

    TLoadedPicture loaded;
    const TBgrImage image = LoadBgr(withPreview.string(), &loaded);
    EXPECT_EQ(loaded.Class, &TEPSGraphicClass);
    EXPECT_EQ(image.Width, 403);
    EXPECT_EQ(image.Height, 2448);
    if (ToolInstalled("tifftopnm")) {
        // netpbm's decode of the preview cut out of the file.
        const TBytes eps = ReadFile(withPreview);
        const std::uint32_t offset = eps[20] | eps[21] << 8 | eps[22] << 16 | std::uint32_t(eps[23]) << 24;
        const std::uint32_t length = eps[24] | eps[25] << 8 | eps[26] << 16 | std::uint32_t(eps[27]) << 24;
        const fs::path preview = ScratchFolder() / "illu10_preview.tif";
        WriteFile(preview, TBytes(eps.begin() + offset, eps.begin() + offset + length));
        const auto reference = RunTool("tifftopnm '" + preview.string() + "' 2>/dev/null");
        ASSERT_TRUE(reference.has_value());
        EXPECT_TRUE(SamePicture(image, *ParsePnm(*reference)));
    }

    TEPSGraphic graphic;
    EXPECT_EQ(LoadError(graphic, ReadFile(withoutPreview)), InvalidEPS);
    TMemoryStream stream(ReadFile(withoutPreview));
    EXPECT_FALSE(TEPSGraphic::CanLoadStream(stream));
}
