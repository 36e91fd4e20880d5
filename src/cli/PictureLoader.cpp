#include "PictureLoader.h"

#include "formats/ExifOrientation.h"
#include "formats/LoadPipeline.h"
#include "metafile/Metafile.h"
#include "platform/ColorProfile.h"
#include "platform/PictureFiles.h"
#include "platform/PictureFormats.h"

namespace {

std::string DescriptionOf(const std::string& extension) {
    for (const TPictureFormat& format : TPictureFormatTable::Instance().Formats())
        if (format.Extension == extension) return format.Description;
    return "";
}

// The description of a class's first extension.
std::string DescriptionOf(const TGraphicClass* graphicClass) {
    for (const TPictureFormat& format : TPictureFormatTable::Instance().Formats())
        if (format.Class == graphicClass) return format.Description;
    return "";
}

// What the platform's own loaders know of a file.
void AddPlatformDetails(const TBitmap& bitmap, std::vector<std::string>& details) {
    if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&bitmap)) {
        details.push_back("colour space: " + jpeg->ColorSpaceName());
        details.push_back(std::string("progressive: ") + (jpeg->Progressive() ? "yes" : "no"));
    } else if (const auto* icon = dynamic_cast<const TIcon*>(&bitmap)) {
        details.push_back("images in the file: " + std::to_string(icon->ImageCount()));
        details.push_back("image taken: " + std::to_string(icon->ImageBitCount()) + " bits per pixel" +
                          (icon->ImageIsPng() ? ", PNG" : ""));
    } else if (const auto* metafile = dynamic_cast<const TMetafile*>(&bitmap)) {
        for (const std::string& line : metafile->Details()) details.push_back(line);
    }
}

const char* ProfileSpaceText(const std::vector<std::uint8_t>& profile) {
    try {
        switch (ProfileSpaceOf(profile)) {
            case TProfileSpace::Rgb:
                return "RGB";
            case TProfileSpace::Gray:
                return "grey";
            case TProfileSpace::Cmyk:
                return "CMYK";
            case TProfileSpace::Other:
                return "other";
        }
    } catch (const EColorProfileError&) {
    }
    return "damaged";
}

// Orientation and colour profile, where the file states them (orientation 1, upright as stored,
// says nothing worth a line).
void AddMetadataDetails(const TPictureMetadata& metadata, const TLoadOptions& options,
                        std::vector<std::string>& details) {
    if (metadata.Orientation > 1)
        details.push_back("orientation: " + std::to_string(metadata.Orientation) + " (" +
                          OrientationText(metadata.Orientation) + " to stand upright), " +
                          (options.AutoOrient ? "applied" : "kept as stored"));
    if (!metadata.Icc.empty())
        details.push_back(std::string("colour profile: ") + ProfileSpaceText(metadata.Icc) + ", " +
                          std::to_string(metadata.Icc.size()) + " bytes" +
                          (metadata.ProfileApplied ? ", converted to sRGB" : ", not applied"));
    if (!metadata.Exif.empty()) details.push_back("Exif: " + std::to_string(metadata.Exif.size()) + " bytes");
}

}  // namespace

TCliPicture LoadCliPicture(const std::string& fileName, const TLoadOptions& options) {
    // The editor's road: a reader that claims the file by its first bytes, else the platform's
    // loader for the extension.
    TLoadedPicture loaded = LoadPictureFile(fileName, options);
    TCliPicture picture;
    picture.Bitmap = std::move(loaded.Bitmap);
    const TGraphicClass* graphicClass = loaded.Class;
    std::string description;
    if (graphicClass) {
        description = DescriptionOf(graphicClass);
    } else {
        graphicClass = TPictureFormatTable::Instance().Find(ExtensionOf(fileName));
        description = DescriptionOf(ExtensionOf(fileName));
    }
    picture.Format = description + " (" + (graphicClass ? graphicClass->Name : "?") + ")";
    if (loaded.Properties) picture.Details = DescribeProperties(*loaded.Properties);
    AddPlatformDetails(*picture.Bitmap, picture.Details);
    AddMetadataDetails(loaded.Metadata, options, picture.Details);
    picture.Metadata = std::move(loaded.Metadata);
    return picture;
}
