// The settings file: named values kept as text in an XML tree under three top-level elements,
// "dataroot" (per-window data), "lists" (unused) and "settings" (program-wide values). The file
// is read once when the store opens and written whole by Save.
#pragma once

#include "XmlTree.h"

#include <cstddef>
#include <memory>
#include <string>

// What a store starts from when its file does not exist yet: three empty top-level elements.
inline constexpr const char* InitialSettingsText = "<dataroot />\n\r<lists />\n\r<settings />";

class TXMLDataBase {
public:
    // Reads fileName when it exists (a file that cannot be read raises EFOpenError naming it);
    // otherwise reads initialText and, unless fileName is empty, writes the file at once
    // (EFCreateError naming it when that fails). The three top-level elements are found or
    // appended, in the order "dataroot", "lists", "settings".
    TXMLDataBase(const std::string& fileName, const std::string& initialText);
    TXMLDataBase(const TXMLDataBase&) = delete;
    TXMLDataBase& operator=(const TXMLDataBase&) = delete;

    const std::string& FileName() const { return fileName_; }
    TXmlTree& Tree() { return *tree_; }
    TXmlNode* DataRoot() const { return dataRoot_; }
    TXmlNode* Lists() const { return lists_; }
    TXmlNode* Settings() const { return settings_; }

    // Program-wide values: direct children of "settings".
    // Copies the value out and returns true when the entry exists; value is untouched otherwise.
    bool GetSetting(const std::string& name, TVariant& value) const;
    // An existing entry with empty text yields "", not the default.
    TVariant ReadSetting(const std::string& name, const TVariant& defaultValue) const;
    // A Null value removes the entry; any other value replaces or appends it.
    void WriteSetting(const std::string& name, const TVariant& value);

    // Values in the "settings" group under element, which these create when missing.
    bool GetNodeSetting(TXmlNode* element, const std::string& name, TVariant& value);
    TVariant ReadNodeSetting(TXmlNode* element, const std::string& name, const TVariant& defaultValue);
    // A Null value is stored as the empty text; it does not remove the entry.
    void WriteNodeSetting(TXmlNode* element, const std::string& name, const TVariant& value);

    // Writes the whole tree. A non-empty fileName becomes FileName. With backup, the file as it
    // was is kept under the extension ".bak" (an older one is replaced; failures are ignored).
    // Without any file name: Exception "Can't Save no file assigned!".
    void Save(const std::string& fileName = std::string(), bool backup = false);

    // Walks a backslash-separated path of element names below element, appending what is
    // missing; returns the last element, or none for an empty path.
    static TXmlNode* ForcePath(TXmlNode* element, const std::string& path);
    // The text from start (1-based) up to the next separator; returns the position after that
    // separator, one beyond the end when none follows, and 0 (with an empty token) when start
    // is 0 or beyond the end of the text.
    static std::size_t NextToken(const std::string& text, std::string& token, char separator, std::size_t start);

private:
    std::string fileName_;
    std::unique_ptr<TXmlTree> tree_;
    TXmlNode* dataRoot_ = nullptr;
    TXmlNode* lists_ = nullptr;
    TXmlNode* settings_ = nullptr;
};
