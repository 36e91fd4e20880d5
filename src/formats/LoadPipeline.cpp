#include "formats/LoadPipeline.h"

#include "formats/FileFormatList.h"
#include "formats/ReaderGraphic.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <iterator>

namespace {

// An empty picture is never a loaded one: a reader that left its picture empty raises its
// invalid-format message.
void RequirePicture(const TBitmap& picture) {
    if (auto* reader = dynamic_cast<const TReaderGraphic*>(&picture)) reader->RequirePicture();
}

TLoadedPicture FromReader(std::unique_ptr<TBitmap> picture, const TGraphicClass* graphicClass) {
    RequirePicture(*picture);
    TLoadedPicture loaded;
    if (auto* reader = dynamic_cast<TReaderGraphic*>(picture.get())) loaded.Properties = reader->ImageProperties;
    loaded.Bitmap = std::move(picture);
    loaded.Class = graphicClass;
    return loaded;
}

}  // namespace

TLoadedPicture LoadPictureFile(const std::string& fileName) {
    const TGraphicClass* graphicClass = FormatList().ClassFromContent(fileName);
    if (graphicClass == nullptr) {
        TLoadedPicture loaded;
        loaded.Bitmap = LoadPictureByExtension(fileName);
        RequirePicture(*loaded.Bitmap);
        return loaded;
    }
    std::unique_ptr<TBitmap> picture = graphicClass->Create();
    picture->LoadFromFile(fileName);
    return FromReader(std::move(picture), graphicClass);
}

TLoadedPicture LoadPictureStream(TStream& stream, const std::string& extension) {
    const TGraphicClass* graphicClass = FormatList().ClassFromContent(stream);
    if (graphicClass == nullptr) {
        const TGraphicClass* byExtension = TPictureFormatTable::Instance().Find(extension);
        if (byExtension == nullptr || extension.empty())
            throw EInvalidGraphic(FormatText("Unknown picture file extension (.%s)", extension.c_str()));
        TLoadedPicture loaded;
        loaded.Bitmap = byExtension->Create();
        loaded.Bitmap->LoadFromStream(stream);
        RequirePicture(*loaded.Bitmap);
        return loaded;
    }
    std::unique_ptr<TBitmap> picture = graphicClass->Create();
    picture->LoadFromStream(stream);
    return FromReader(std::move(picture), graphicClass);
}

const char* ColorSchemeName(ColorScheme scheme) {
    static const char* const names[] = {"Unknown", "Indexed", "Gray", "GrayAlpha", "RGB",   "RGBA",    "BGR",
                                        "BGRA",    "CMY",     "CMYK", "CIELab",    "YCbCr", "PhotoYCC"};
    auto index = static_cast<std::size_t>(scheme);
    return index < std::size(names) ? names[index] : "Unknown";
}

const char* CompressionName(CompressionKind kind) {
    static const char* const names[] = {"Unknown",
                                        "None",
                                        "RLE",
                                        "PackBits",
                                        "LZW",
                                        "CCITTFax3",
                                        "CCITTModifiedHuffman",
                                        "CCITTFax4",
                                        "CCITTModifiedHuffmanWord",
                                        "Deflate",
                                        "JPEG",
                                        "OldJPEG",
                                        "ThunderScan",
                                        "NeXT",
                                        "IT8CTPAD",
                                        "IT8LW",
                                        "IT8MP",
                                        "IT8BL",
                                        "PixarFilm",
                                        "PixarLog",
                                        "DCS",
                                        "JBIG",
                                        "VP8",
                                        "VP8L",
                                        "AV1",
                                        "HEVC",
                                        "JPEGXL"};
    auto index = static_cast<std::size_t>(kind);
    return index < std::size(names) ? names[index] : "Unknown";
}

std::vector<std::string> DescribeProperties(const TImageProperties& p) {
    std::vector<std::string> lines;
    auto yesNo = [](bool value) { return value ? "yes" : "no"; };
    lines.push_back(FormatText("Width: %u", p.Width));
    lines.push_back(FormatText("Height: %u", p.Height));
    lines.push_back(FormatText("ColorScheme: %s", ColorSchemeName(p.ColorScheme)));
    lines.push_back(FormatText("BitsPerSample: %u", unsigned(p.BitsPerSample)));
    lines.push_back(FormatText("SamplesPerPixel: %u", unsigned(p.SamplesPerPixel)));
    lines.push_back(FormatText("BitsPerPixel: %u", unsigned(p.BitsPerPixel)));
    lines.push_back(FormatText("Compression: %s", CompressionName(p.Compression)));
    lines.push_back(FormatText("FileGamma: %g", double(p.FileGamma)));
    lines.push_back(FormatText("XResolution: %g", double(p.XResolution)));
    lines.push_back(FormatText("YResolution: %g", double(p.YResolution)));
    lines.push_back(FormatText("Interlaced: %s", yesNo(p.Interlaced)));
    lines.push_back(FormatText("HasAlpha: %s", yesNo(p.HasAlpha)));
    static const struct {
        TImageOption Flag;
        const char* Name;
    } options[] = {{Tiled, "Tiled"},
                   {BigEndian, "BigEndian"},
                   {MinIsWhite, "MinIsWhite"},
                   {ReversedBits, "ReversedBits"},
                   {UseGamma, "UseGamma"}};
    std::string optionText;
    for (const auto& option : options)
        if (p.Options & option.Flag) optionText += (optionText.empty() ? "" : ", ") + std::string(option.Name);
    lines.push_back("Options: " + (optionText.empty() ? std::string("none") : optionText));
    // Format-specific fields only where the file stated them.
    auto optional = [&lines](const char* name, std::uint64_t value) {
        if (value != 0) lines.push_back(FormatText("%s: %llu", name, static_cast<unsigned long long>(value)));
    };
    optional("Version", p.Version);
    optional("FirstIFD", p.FirstIFD);
    optional("PlanarConfig", p.PlanarConfig);
    optional("TileWidth", p.TileWidth);
    optional("TileLength", p.TileLength);
    optional("StripCount", p.StripCount);
    optional("Predictor", p.Predictor);
    optional("ChannelCount", p.ChannelCount);
    optional("FilterMethod", p.FilterMethod);
    if (p.LocalColorTable) lines.push_back("LocalColorTable: yes");
    return lines;
}
