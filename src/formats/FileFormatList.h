// The registry of readable picture formats: which extensions the program reads, which graphic
// class reads each, how each is described, and which reader claims a file by its first bytes.
// Every registration is passed on to the platform's picture-format table, so loading by
// extension and the open dialog's file-type list know every format too.
#pragma once

#include "platform/PictureFormats.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

struct ClassEntry {
    const TGraphicClass* GraphicClass = nullptr;
    std::string Description;  // common description, may be empty
    std::int32_t Count = 0;   // extension entries referring to this class
};

struct ExtensionEntry {
    std::string Extension;    // without the dot; compared ignoring letter case
    std::string Description;  // individual description, may be empty
    ClassEntry* Class = nullptr;
};

class TFileFormatList {
public:
    TFileFormatList() = default;
    // Unregisters every class from the platform table too.
    ~TFileFormatList();
    TFileFormatList(const TFileFormatList&) = delete;
    TFileFormatList& operator=(const TFileFormatList&) = delete;

    // Registers one extension (an empty one is ignored). A known extension raises EInvalidGraphic
    // "Attempt to register %s twice." unless replace is set, in which case it moves to the new
    // class and keeps its individual description.
    void RegisterFormat(const std::string& extension, const std::string& commonDescription,
                        const std::string& individualDescription, bool replace, const TGraphicClass* graphicClass);
    // Removes one extension, or with an empty extension every extension of the class and the
    // class itself.
    void UnregisterFormat(const std::string& extension, const TGraphicClass* graphicClass);
    // Index into Extensions(), or -1; letter case ignored; "" gives -1.
    int FindExtension(const std::string& extension) const;
    // Index into Classes(), or -1.
    int FindClass(const TGraphicClass* graphicClass) const;
    // The first reader class, in registration order, whose content test claims the file or the
    // bytes from the stream's position (which is restored); null when none does.
    const TGraphicClass* ClassFromContent(const std::string& fileName) const;
    const TGraphicClass* ClassFromContent(TStream& stream) const;
    void Clear();

    const std::vector<std::unique_ptr<ClassEntry>>& Classes() const { return classes_; }
    const std::vector<std::unique_ptr<ExtensionEntry>>& Extensions() const { return extensions_; }

private:
    ClassEntry* AttachClass(const TGraphicClass* graphicClass, const std::string& commonDescription);
    void ReleaseClass(ClassEntry* entry, bool unregisterFromPlatform);

    std::vector<std::unique_ptr<ClassEntry>> classes_;
    std::vector<std::unique_ptr<ExtensionEntry>> extensions_;
};

// The program's one registry, filled from the registration table on first use.
TFileFormatList& FormatList();
// Fills a registry with the program's formats in their fixed order: the platform's bitmaps,
// icons, metafiles and JPEG, then Targa, TIFF, EPS, PCX, SGI, Photoshop, GIF and PNG, then WebP,
// AVIF, HEIF and JPEG XL.
void RegisterStandardFormats(TFileFormatList& list);

// The reader classes. Each lives in <name>Graphic.h/.cpp (TargaGraphic, TIFFGraphic, ...), which
// defines the object with ReaderClass<T>(...) (ReaderGraphic.h).
extern const TGraphicClass TTargaGraphicClass;
extern const TGraphicClass TTIFFGraphicClass;
extern const TGraphicClass TEPSGraphicClass;
extern const TGraphicClass TPCXGraphicClass;
extern const TGraphicClass TSGIGraphicClass;
extern const TGraphicClass TPSDGraphicClass;
extern const TGraphicClass TGIFGraphicClass;
extern const TGraphicClass TPNGGraphicClass;
extern const TGraphicClass TWebPGraphicClass;
extern const TGraphicClass TAVIFGraphicClass;
extern const TGraphicClass THEIFGraphicClass;
extern const TGraphicClass TJXLGraphicClass;
// Registered for wmf and emf: the metafile player (TMetafile, src/metafile).
extern const TGraphicClass MetafileGraphicClass;
