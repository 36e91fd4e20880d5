#include "PictureFormats.h"

#include "Bitmap.h"
#include "Exception.h"
#include "PictureFiles.h"

#include <algorithm>
#include <cctype>

namespace {
template <typename T> std::unique_ptr<TBitmap> CreateOf() { return std::make_unique<T>(); }

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string WithoutDot(const std::string& extension) {
    return LowerCase(!extension.empty() && extension[0] == '.' ? extension.substr(1) : extension);
}
}  // namespace

const TGraphicClass BitmapGraphicClass{"TBitmap", &CreateOf<TBitmap>};
const TGraphicClass IconGraphicClass{"TIcon", &CreateOf<TIcon>};
const TGraphicClass JPEGGraphicClass{"TJPEGImage", &CreateOf<TJPEGImage>};

TPictureFormatTable::TPictureFormatTable() {
    // Metafiles (wmf, emf) come with the format registry, whose metafile player lives above
    // the platform.
    Register("bmp", "Windows bitmaps", &BitmapGraphicClass);
    Register("ico", "Windows icons", &IconGraphicClass);
    Register("jfif", "JFIF images", &JPEGGraphicClass);
    Register("jpg", "JPG images", &JPEGGraphicClass);
    Register("jpe", "JPE images", &JPEGGraphicClass);
    Register("jpeg", "JPEG images", &JPEGGraphicClass);
    Register("rle", "Run length encoded Windows bitmaps", &BitmapGraphicClass);
    Register("dib", "Device independant Windows bitmaps", &BitmapGraphicClass);
}

TPictureFormatTable& TPictureFormatTable::Instance() {
    static TPictureFormatTable table;
    return table;
}

void TPictureFormatTable::Register(const std::string& extension, const std::string& description,
                                   const TGraphicClass* graphicClass) {
    std::string key = WithoutDot(extension);
    if (key.empty() || !graphicClass) return;
    for (TPictureFormat& format : formats_) {
        if (format.Extension == key) {
            format.Description = description;
            format.Class = graphicClass;
            return;
        }
    }
    formats_.push_back(TPictureFormat{key, description, graphicClass});
}

void TPictureFormatTable::UnregisterClass(const TGraphicClass* graphicClass) {
    std::erase_if(formats_, [graphicClass](const TPictureFormat& f) { return f.Class == graphicClass; });
}

const TGraphicClass* TPictureFormatTable::Find(const std::string& extension) const {
    std::string key = WithoutDot(extension);
    for (const TPictureFormat& format : formats_)
        if (format.Extension == key) return format.Class;
    return nullptr;
}

std::string ExtensionOf(const std::string& fileName) {
    std::size_t dot = fileName.find_last_of('.');
    std::size_t slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return LowerCase(fileName.substr(dot + 1));
}

std::unique_ptr<TBitmap> LoadPictureByExtension(const std::string& fileName) {
    std::string extension = ExtensionOf(fileName);
    const TGraphicClass* graphicClass = TPictureFormatTable::Instance().Find(extension);
    if (!graphicClass || extension.empty())
        throw EInvalidGraphic(FormatText("Unknown picture file extension (.%s)", extension.c_str()));
    std::unique_ptr<TBitmap> picture = graphicClass->Create();
    picture->LoadFromFile(fileName);
    return picture;
}
