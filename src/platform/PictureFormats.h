// The picture-format table: which graphic class loads which file extension. It starts with the
// platform's own formats (Windows bitmaps, icons, JPEG); the format registry adds the readers.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TBitmap;
class TStream;

// A graphic class as a value: its name, a factory for instances, and (for readers) the
// class-level content test. Classes are compared by address; each is a static object.
struct TGraphicClass {
    const char* Name;
    std::unique_ptr<TBitmap> (*Create)();
    // Looks at the bytes from the stream's position and puts the position back; null when the
    // class has no content test (the platform's own classes).
    bool (*CanLoadStream)(TStream& stream) = nullptr;
    // Set for classes derived from the reader base.
    bool IsReader = false;
};

// The platform's own graphic classes.
extern const TGraphicClass BitmapGraphicClass;  // Windows bitmaps: bmp, rle, dib
extern const TGraphicClass IconGraphicClass;    // Windows icons: ico (the largest image)
extern const TGraphicClass JPEGGraphicClass;    // JPEG through libjpeg: jpg, jpe, jpeg, jfif

struct TPictureFormat {
    std::string Extension;  // without the dot, lower case
    std::string Description;
    const TGraphicClass* Class;
};

class TPictureFormatTable {
public:
    // The one table of the program, filled with the platform's own formats on first use.
    static TPictureFormatTable& Instance();

    // Adds or replaces the entry of an extension (letter case ignored).
    void Register(const std::string& extension, const std::string& description, const TGraphicClass* graphicClass);
    // Removes every extension of a class.
    void UnregisterClass(const TGraphicClass* graphicClass);
    // The class for an extension (with or without the dot, any letter case), or null.
    const TGraphicClass* Find(const std::string& extension) const;
    const std::vector<TPictureFormat>& Formats() const { return formats_; }

private:
    TPictureFormatTable();
    std::vector<TPictureFormat> formats_;
};

// The lower-case extension of a file name without the dot ("" when it has none).
std::string ExtensionOf(const std::string& fileName);

// Loads a picture by its file extension from the table. An unknown extension raises
// EInvalidGraphic "Unknown picture file extension (.%s)".
std::unique_ptr<TBitmap> LoadPictureByExtension(const std::string& fileName);
