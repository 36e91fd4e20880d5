#include "formats/FileFormatList.h"

#include "formats/ReaderStrings.h"
#include "metafile/Metafile.h"
#include "platform/Bitmap.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cctype>

namespace {

bool SameExtension(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

const TGraphicClass MetafileGraphicClass{
    "TMetafile", []() -> std::unique_ptr<TBitmap> { return std::make_unique<TMetafile>(); }, nullptr, false};

TFileFormatList::~TFileFormatList() { Clear(); }

int TFileFormatList::FindExtension(const std::string& extension) const {
    if (extension.empty()) return -1;
    for (std::size_t i = 0; i < extensions_.size(); ++i)
        if (SameExtension(extensions_[i]->Extension, extension)) return static_cast<int>(i);
    return -1;
}

int TFileFormatList::FindClass(const TGraphicClass* graphicClass) const {
    for (std::size_t i = 0; i < classes_.size(); ++i)
        if (classes_[i]->GraphicClass == graphicClass) return static_cast<int>(i);
    return -1;
}

ClassEntry* TFileFormatList::AttachClass(const TGraphicClass* graphicClass, const std::string& commonDescription) {
    int index = FindClass(graphicClass);
    ClassEntry* entry;
    if (index < 0) {
        classes_.push_back(std::make_unique<ClassEntry>(ClassEntry{graphicClass, {}, 0}));
        entry = classes_.back().get();
    } else {
        entry = classes_[static_cast<std::size_t>(index)].get();
    }
    if (!commonDescription.empty()) entry->Description = commonDescription;
    ++entry->Count;
    return entry;
}

void TFileFormatList::ReleaseClass(ClassEntry* entry, bool unregisterFromPlatform) {
    if (unregisterFromPlatform) TPictureFormatTable::Instance().UnregisterClass(entry->GraphicClass);
    std::erase_if(classes_, [entry](const std::unique_ptr<ClassEntry>& c) { return c.get() == entry; });
}

void TFileFormatList::RegisterFormat(const std::string& extension, const std::string& commonDescription,
                                     const std::string& individualDescription, bool replace,
                                     const TGraphicClass* graphicClass) {
    if (extension.empty() || graphicClass == nullptr) return;
    ExtensionEntry* entry;
    int index = FindExtension(extension);
    if (index < 0) {
        auto added = std::make_unique<ExtensionEntry>(ExtensionEntry{extension, individualDescription, nullptr});
        // Room first: once the class entry counts the extension, adding it must not fail.
        extensions_.reserve(extensions_.size() + 1);
        added->Class = AttachClass(graphicClass, commonDescription);
        extensions_.push_back(std::move(added));
        entry = extensions_.back().get();
    } else {
        if (!replace) throw EInvalidGraphic(FormatText(gesRegistration, extension.c_str()));
        entry = extensions_[static_cast<std::size_t>(index)].get();
        if (entry->Class->GraphicClass != graphicClass) {
            ClassEntry* previous = entry->Class;
            entry->Class = AttachClass(graphicClass, commonDescription);
            // The extension is handed to the new class below, so the platform table needs no
            // unregistration of the old one.
            if (--previous->Count == 0) ReleaseClass(previous, false);
        }
    }
    const std::string& description = individualDescription.empty() ? entry->Class->Description : individualDescription;
    TPictureFormatTable::Instance().Register(extension, description, graphicClass);
}

void TFileFormatList::UnregisterFormat(const std::string& extension, const TGraphicClass* graphicClass) {
    if (!extension.empty()) {
        int index = FindExtension(extension);
        if (index < 0) return;
        auto position = extensions_.begin() + index;
        ClassEntry* owner = (*position)->Class;
        extensions_.erase(position);
        if (--owner->Count == 0) ReleaseClass(owner, true);
        return;
    }
    int classIndex = FindClass(graphicClass);
    if (classIndex < 0) return;
    ClassEntry* owner = classes_[static_cast<std::size_t>(classIndex)].get();
    for (std::size_t i = extensions_.size(); i-- > 0 && owner->Count > 0;) {
        if (extensions_[i]->Class != owner) continue;
        extensions_.erase(extensions_.begin() + static_cast<std::ptrdiff_t>(i));
        --owner->Count;
    }
    ReleaseClass(owner, true);
}

void TFileFormatList::Clear() {
    for (const auto& entry : classes_) TPictureFormatTable::Instance().UnregisterClass(entry->GraphicClass);
    extensions_.clear();
    classes_.clear();
}

const TGraphicClass* TFileFormatList::ClassFromContent(TStream& stream) const {
    for (const auto& entry : classes_) {
        const TGraphicClass* graphicClass = entry->GraphicClass;
        if (!graphicClass->IsReader || graphicClass->CanLoadStream == nullptr) continue;
        if (graphicClass->CanLoadStream(stream)) return graphicClass;
    }
    return nullptr;
}

const TGraphicClass* TFileFormatList::ClassFromContent(const std::string& fileName) const {
    TFileStream stream(fileName, TFileMode::OpenRead);
    return ClassFromContent(stream);
}
