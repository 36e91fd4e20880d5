#include "formats/LoadPipeline.h"

#include "core/PixelBuffer.h"
#include "core/Transforms.h"
#include "formats/ExifOrientation.h"
#include "formats/FileFormatList.h"
#include "formats/ReaderGraphic.h"
#include "platform/ColorProfile.h"
#include "platform/Exception.h"
#include "platform/PictureFiles.h"
#include "platform/Stream.h"
#include "platform/Warnings.h"

#include <iterator>

namespace {

// An empty picture is never a loaded one: a reader that left its picture empty raises its
// invalid-format message.
void RequirePicture(const TBitmap& picture) {
    if (auto* reader = dynamic_cast<const TReaderGraphic*>(&picture)) reader->RequirePicture();
}

// The orientation by the order of trust: the EXIF block, the reader's own finding (the TIFF
// tag), the XMP packet.
int StatedOrientation(const TPictureMetadata& metadata) {
    if (!metadata.Exif.empty())
        if (std::optional<int> exif = ExifOrientation(metadata.Exif)) return *exif;
    if (metadata.Orientation != 0) return metadata.Orientation;
    if (!metadata.Xmp.empty())
        if (std::optional<int> xmp = XmpOrientation(metadata.Xmp)) return *xmp;
    return 0;
}

// Colour management for RGB and grey profiles; CMYK profiles are the loaders' (they need the
// ink samples, which never reach the bitmap).
void ApplyProfile(TBitmap& bitmap, TPictureMetadata& metadata) {
    if (metadata.Icc.empty() || metadata.ProfileApplied) return;
    try {
        const TProfileSpace space = ProfileSpaceOf(metadata.Icc);
        if (space != TProfileSpace::Rgb && space != TProfileSpace::Gray) return;
        const TPixelFormat format = bitmap.PixelFormat();
        if (format == TPixelFormat::pf15bit || format == TPixelFormat::pfDevice || format == TPixelFormat::pfCustom)
            return;
        ConvertToSrgb(bitmap, metadata.Icc);
        metadata.ProfileApplied = true;
    } catch (const EColorProfileError& error) {
        ShowWarning(std::string(error.what()) + " The colours are shown as stored.");
    }
}

TLoadedPicture Finish(std::unique_ptr<TBitmap> picture, const TGraphicClass* graphicClass,
                      const TLoadOptions& options) {
    RequirePicture(*picture);
    TLoadedPicture loaded;
    // The description of the reader that claimed the file; a file loaded by its extension has none.
    if (graphicClass != nullptr)
        if (auto* reader = dynamic_cast<TReaderGraphic*>(picture.get())) loaded.Properties = reader->ImageProperties;
    loaded.Metadata = std::move(picture->Metadata());
    if (!loaded.Metadata.OrientationApplied) loaded.Metadata.Orientation = StatedOrientation(loaded.Metadata);
    if (options.ColorManagement) ApplyProfile(*picture, loaded.Metadata);
    loaded.Bitmap = std::move(picture);
    loaded.Class = graphicClass;
    return loaded;
}

// The reader that claimed the file, else the platform's loader for the extension.
std::unique_ptr<TBitmap> CreatePicture(const TGraphicClass* reader, const std::string& extension,
                                       const TLoadOptions& options) {
    const TGraphicClass* graphicClass = reader;
    if (graphicClass == nullptr) {
        graphicClass = TPictureFormatTable::Instance().Find(extension);
        if (graphicClass == nullptr || extension.empty())
            throw EInvalidGraphic(FormatText("Unknown picture file extension (.%s)", extension.c_str()));
    }
    std::unique_ptr<TBitmap> picture = graphicClass->Create();
    picture->SetUseEmbeddedProfile(options.ColorManagement);
    if (options.JpegScale)
        if (auto* jpeg = dynamic_cast<TJPEGImage*>(picture.get())) jpeg->SetScaleDenominatorHint(options.JpegScale);
    return picture;
}

}  // namespace

TLoadedPicture LoadPictureFile(const std::string& fileName, const TLoadOptions& options) {
    const TGraphicClass* graphicClass = FormatList().ClassFromContent(fileName);
    std::unique_ptr<TBitmap> picture = CreatePicture(graphicClass, ExtensionOf(fileName), options);
    picture->LoadFromFile(fileName);
    return Finish(std::move(picture), graphicClass, options);
}

TLoadedPicture LoadPictureStream(TStream& stream, const std::string& extension, const TLoadOptions& options) {
    const TGraphicClass* graphicClass = FormatList().ClassFromContent(stream);
    std::unique_ptr<TBitmap> picture = CreatePicture(graphicClass, extension, options);
    picture->LoadFromStream(stream);
    return Finish(std::move(picture), graphicClass, options);
}

std::unique_ptr<TPixelBuffer> TakeUprightBuffer(TBitmap& bitmap, TPictureMetadata& metadata,
                                                const TLoadOptions& options) {
    std::unique_ptr<TPixelBuffer> buffer = TPixelBuffer::CreateFromBitmap(std::move(bitmap));
    if (options.AutoOrient && !metadata.OrientationApplied && metadata.Orientation != 0) {
        ApplyOrientation(*buffer, metadata.Orientation);
        metadata.OrientationApplied = true;
    }
    return buffer;
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
