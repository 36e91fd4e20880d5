// A small element tree with its own reader and writer for the settings file's XML dialect: no
// declaration, comments or character references, several top-level elements allowed, element
// text on a line of its own between double quotes, two blanks of indent per level and CR LF
// after every line. The reader takes that and a little more and never fails on bad text.
#pragma once

#include "platform/Variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TXmlAttribute {
public:
    TXmlAttribute(std::string name, TVariant value) : Name(std::move(name)), Value(std::move(value)) {}

    std::string Name;
    // Kept as given; written through its text form without escaping.
    TVariant Value;
};

class TXmlNode {
public:
    TXmlNode(std::string name, TXmlNode* parent, const TVariant& value);
    virtual ~TXmlNode();
    TXmlNode(const TXmlNode&) = delete;
    TXmlNode& operator=(const TXmlNode&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    // Always a text: null and unassigned become "", Booleans "True" / "False".
    TVariant Value() const { return TVariant(text_); }
    void SetValue(const TVariant& value) { text_ = value.AsString(); }
    const std::string& Text() const { return text_; }

    const std::vector<std::unique_ptr<TXmlNode>>& Nodes() const { return nodes_; }
    const std::vector<std::unique_ptr<TXmlAttribute>>& Attributes() const { return attributes_; }
    TXmlNode* ParentNode() const { return parent_; }

    // 0: the text is written as a quoted line, 1: as a CDATA section, anything else: not at all.
    std::uint8_t CDATA() const { return cdata_; }
    void SetCDATA(std::uint8_t cdata) { cdata_ = cdata; }

    TXmlAttribute* AddAttribute(const std::string& name, const TVariant& value);
    TXmlNode* AddChild(const std::string& name, const TVariant& value);
    // Name and attributes come from the inner text of a tag: name="value" pairs after the
    // first blank, only double quotes delimiting values.
    TXmlNode* AddChildFromTag(const std::string& tag, const TVariant& value);
    void ClearAttributes();
    void ClearNodes();
    // The first direct child with exactly that name, or none.
    TXmlNode* FindChild(const std::string& name) const;
    // Destroys node when it is a direct child and returns this element; otherwise none.
    TXmlNode* DeleteNode(TXmlNode* node);

    // The element and its subtree as text, indented by two blanks per level.
    std::string WriteXML(int level) const;

private:
    std::string name_;
    std::string text_;
    std::vector<std::unique_ptr<TXmlNode>> nodes_;
    std::vector<std::unique_ptr<TXmlAttribute>> attributes_;
    TXmlNode* parent_;
    std::uint8_t cdata_ = 0;
};

// The invisible document root: its children are the document's top-level elements; its own
// name, text and attributes are never written.
class TXmlTree : public TXmlNode {
public:
    TXmlTree(std::string name, TXmlNode* parent, const TVariant& value);

    // The tokens of the last read (see TokenizeXML).
    const std::vector<std::string>& Tokens() const { return tokens_; }

    std::string GetXML() const;
    void SetXML(const std::string& text);
    // Clears the tree and reads the file. A file that cannot be read raises EFOpenError
    // naming it and leaves the tree empty.
    void LoadFromFile(const std::string& fileName);
    // Writes GetXML to the file, replacing it whole (see SaveStringToFile).
    void SaveToFile(const std::string& fileName) const;

    // Elements nested deeper than this below the tree are read into the element at this depth,
    // so a hostile file cannot make the writer's indentation grow without bound.
    static constexpr int MaxDepth = 100;

private:
    std::vector<std::string> tokens_;

    void ReadLines(std::vector<std::string> lines);
    void BuildFromTokens();
};

// The text between an opening double quote and the first quote that is not doubled, with each
// doubled quote taken as one; a text not beginning with a quote, or giving an empty result,
// comes back unchanged.
std::string Dequote(const std::string& text);
