#include "PictureLoader.h"

#include "formats/FileFormatList.h"
#include "formats/LibraryDecoding.h"
#include "formats/LoadPipeline.h"
#include "metafile/Metafile.h"
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

// What the platform's own loaders know of a file, and what the codec library readers kept of it.
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
    } else if (const TEmbeddedMetadata* metadata = EmbeddedMetadataOf(bitmap)) {
        if (!metadata->IccProfile.empty())
            details.push_back("colour profile: " + std::to_string(metadata->IccProfile.size()) + " bytes");
        if (!metadata->Exif.empty()) details.push_back("Exif: " + std::to_string(metadata->Exif.size()) + " bytes");
    }
}

}  // namespace

TCliPicture LoadCliPicture(const std::string& fileName, const TJPEGImage::TScaleDenominatorHint& jpegScale) {
    // The editor's road: a reader that claims the file by its first bytes, else the platform's
    // loader for the extension.
    TLoadedPicture loaded;
    const TPictureFormatTable& table = TPictureFormatTable::Instance();
    if (jpegScale && table.Find(ExtensionOf(fileName)) == table.Find("jpg") &&
        FormatList().ClassFromContent(fileName) == nullptr) {
        auto jpeg = std::make_unique<TJPEGImage>();
        jpeg->SetScaleDenominatorHint(jpegScale);
        jpeg->LoadFromFile(fileName);
        loaded.Bitmap = std::move(jpeg);
    } else {
        loaded = LoadPictureFile(fileName);
    }
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
    return picture;
}
