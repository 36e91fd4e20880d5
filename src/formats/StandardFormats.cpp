// The registration table: every extension the program reads, in the order that fixes the order
// of the content tests (Targa first and weakest, then the classic formats up to PNG, then the
// formats read through their codec libraries).
#include "formats/FileFormatList.h"

namespace {

struct TFormatRow {
    const char* Extension;
    const TGraphicClass* GraphicClass;
    const char* CommonDescription;
    const char* IndividualDescription;
};

}  // namespace

void RegisterStandardFormats(TFileFormatList& list) {
    const TFormatRow rows[] = {
        {"bmp", &BitmapGraphicClass, "Windows bitmaps", ""},
        {"ico", &IconGraphicClass, "Windows icons", ""},
        {"wmf", &MetafileGraphicClass, "Windows metafiles", ""},
        {"emf", &MetafileGraphicClass, "Windows metafiles", "Windows enhanced meta files"},
        {"jfif", &JPEGGraphicClass, "JPG images", "JFIF images"},
        {"jpg", &JPEGGraphicClass, "", "JPG images"},
        {"jpe", &JPEGGraphicClass, "", "JPE images"},
        {"jpeg", &JPEGGraphicClass, "", "JPEG images"},
        {"rle", &BitmapGraphicClass, "Windows bitmaps", "Run length encoded Windows bitmaps"},
        {"dib", &BitmapGraphicClass, "", "Device independant Windows bitmaps"},
        {"win", &TTargaGraphicClass, "Truevision images", ""},
        {"vst", &TTargaGraphicClass, "", ""},
        {"vda", &TTargaGraphicClass, "", ""},
        {"tga", &TTargaGraphicClass, "", ""},
        {"icb", &TTargaGraphicClass, "", ""},
        {"tiff", &TTIFFGraphicClass, "Tagged image file format images", "Macintosh TIFF images"},
        {"tif", &TTIFFGraphicClass, "", "PC TIF images"},
        {"fax", &TTIFFGraphicClass, "", "GFI fax images"},
        {"eps", &TEPSGraphicClass, "Encapsulated Postscript images", ""},
        {"pcx", &TPCXGraphicClass, "ZSoft Paintbrush images", ""},
        {"pcc", &TPCXGraphicClass, "", ""},
        {"scr", &TPCXGraphicClass, "", "Word 5.x screen capture images"},
        {"sgi", &TSGIGraphicClass, "SGI images", "SGI true color images"},
        {"rgba", &TSGIGraphicClass, "", "SGI true color images with alpha"},
        {"rgb", &TSGIGraphicClass, "", "SGI true color images"},
        {"bw", &TSGIGraphicClass, "", "SGI black/white images"},
        {"psd", &TPSDGraphicClass, "Photoshop images", ""},
        {"pdd", &TPSDGraphicClass, "", ""},
        {"gif", &TGIFGraphicClass, "CompuServe images", ""},
        {"png", &TPNGGraphicClass, "Portable network graphic images", ""},
        {"webp", &TWebPGraphicClass, "WebP images", ""},
        {"avif", &TAVIFGraphicClass, "AVIF images", ""},
        {"heic", &THEIFGraphicClass, "HEIF images", ""},
        {"heif", &THEIFGraphicClass, "", ""},
        {"hif", &THEIFGraphicClass, "", ""},
        {"jxl", &TJXLGraphicClass, "JPEG XL images", ""},
    };
    for (const TFormatRow& row : rows)
        list.RegisterFormat(row.Extension, row.CommonDescription, row.IndividualDescription, false, row.GraphicClass);
}

TFileFormatList& FormatList() {
    static TFileFormatList* const list = [] {
        // Made after the platform table, so it is torn down before it.
        TPictureFormatTable::Instance();
        static TFileFormatList instance;
        RegisterStandardFormats(instance);
        return &instance;
    }();
    return *list;
}
