// The registration table: every extension the program reads, in the order that fixes the order
// of the content tests (Targa first and weakest, PNG last).
#include "formats/FileFormatList.h"

#include "formats/ReaderStrings.h"

namespace {

struct TFormatRow {
    const char* Extension;
    const TGraphicClass* GraphicClass;
    const char* CommonDescription;
    const char* IndividualDescription;
};

// A reader class object, or null while its reader is not part of the build.
#if __has_include("formats/TargaGraphic.h")
const TGraphicClass* const Targa = &TTargaGraphicClass;
#else
const TGraphicClass* const Targa = nullptr;
#endif
#if __has_include("formats/TIFFGraphic.h")
const TGraphicClass* const TIFF = &TTIFFGraphicClass;
#else
const TGraphicClass* const TIFF = nullptr;
#endif
#if __has_include("formats/EPSGraphic.h")
const TGraphicClass* const EPS = &TEPSGraphicClass;
#else
const TGraphicClass* const EPS = nullptr;
#endif
#if __has_include("formats/PCXGraphic.h")
const TGraphicClass* const PCX = &TPCXGraphicClass;
#else
const TGraphicClass* const PCX = nullptr;
#endif
#if __has_include("formats/SGIGraphic.h")
const TGraphicClass* const SGI = &TSGIGraphicClass;
#else
const TGraphicClass* const SGI = nullptr;
#endif
#if __has_include("formats/PSDGraphic.h")
const TGraphicClass* const PSD = &TPSDGraphicClass;
#else
const TGraphicClass* const PSD = nullptr;
#endif

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
        {"win", Targa, "Truevision images", ""},
        {"vst", Targa, "", ""},
        {"vda", Targa, "", ""},
        {"tga", Targa, "", ""},
        {"icb", Targa, "", ""},
        {"tiff", TIFF, "Tagged image file format images", "Macintosh TIFF images"},
        {"tif", TIFF, "", "PC TIF images"},
        {"fax", TIFF, "", "GFI fax images"},
        {"eps", EPS, "Encapsulated Postscript images", ""},
        {"pcx", PCX, "ZSoft Paintbrush images", ""},
        {"pcc", PCX, "", ""},
        {"scr", PCX, "", "Word 5.x screen capture images"},
        {"sgi", SGI, "SGI images", "SGI true color images"},
        {"rgba", SGI, "", "SGI true color images with alpha"},
        {"rgb", SGI, "", "SGI true color images"},
        {"bw", SGI, "", "SGI black/white images"},
        {"psd", PSD, "Photoshop images", ""},
        {"pdd", PSD, "", ""},
        {"gif", &TGIFGraphicClass, "CompuServe images", ""},
        {"png", &TPNGGraphicClass, "Portable network graphic images", ""},
    };
    for (const TFormatRow& row : rows)
        if (row.GraphicClass != nullptr)
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
