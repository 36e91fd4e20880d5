#include "PictureLoader.h"

#include "platform/PictureFiles.h"
#include "platform/PictureFormats.h"

namespace {

std::string DescriptionOf(const std::string& extension) {
    for (const TPictureFormat& format : TPictureFormatTable::Instance().Formats())
        if (format.Extension == extension) return format.Description;
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
    }
}

}  // namespace

TCliPicture LoadCliPicture(const std::string& fileName) {
    // Loading by extension for now. The format readers plug in here: ask the format registry for
    // a reader by content first, and add the reader's image properties to Details.
    TCliPicture picture;
    picture.Bitmap = LoadPictureByExtension(fileName);
    std::string extension = ExtensionOf(fileName);
    const TGraphicClass* graphicClass = TPictureFormatTable::Instance().Find(extension);
    picture.Format = DescriptionOf(extension) + " (" + (graphicClass ? graphicClass->Name : "?") + ")";
    AddPlatformDetails(*picture.Bitmap, picture.Details);
    return picture;
}
