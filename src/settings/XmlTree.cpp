#include "XmlTree.h"

#include "TextHelpers.h"
#include "XmlTokenizer.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char* const CRLF = "\r\n";

}  // namespace

// ---- TXmlNode ----

TXmlNode::TXmlNode(std::string name, TXmlNode* parent, const TVariant& value)
    : name_(std::move(name)), text_(value.AsString()), parent_(parent) {}

TXmlNode::~TXmlNode() {
    ClearNodes();
    ClearAttributes();
}

TXmlAttribute* TXmlNode::AddAttribute(const std::string& name, const TVariant& value) {
    attributes_.push_back(std::make_unique<TXmlAttribute>(name, value));
    return attributes_.back().get();
}

TXmlNode* TXmlNode::AddChild(const std::string& name, const TVariant& value) {
    nodes_.push_back(std::make_unique<TXmlNode>(name, this, value));
    return nodes_.back().get();
}

TXmlNode* TXmlNode::AddChildFromTag(const std::string& tag, const TVariant& value) {
    TXmlNode* child = AddChild(tag, value);
    std::size_t b = PosFrom(" ", tag, 1);
    if (b == 0) return child;
    child->SetName(tag.substr(0, b - 1));
    std::size_t a = b;
    while (a <= tag.size()) {
        std::size_t eq = PosFrom("=", tag, a);
        if (eq == 0) break;
        std::string name = Trim(tag.substr(a - 1, eq - a));
        std::size_t q1 = PosFrom("\"", tag, eq);
        std::size_t q2 = q1 == 0 ? 0 : PosFrom("\"", tag, q1 + 1);
        if (q2 == 0) break;
        child->AddAttribute(name, tag.substr(q1, q2 - q1 - 1));
        a = q2 + 1;
    }
    return child;
}

void TXmlNode::ClearAttributes() { attributes_.clear(); }

void TXmlNode::ClearNodes() {
    // Children first, without recursion, so that no depth of tree can exhaust the stack.
    std::vector<std::unique_ptr<TXmlNode>> pending = std::move(nodes_);
    nodes_.clear();
    while (!pending.empty()) {
        std::unique_ptr<TXmlNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->nodes_) pending.push_back(std::move(child));
        node->nodes_.clear();
    }
}

TXmlNode* TXmlNode::FindChild(const std::string& name) const {
    for (const auto& node : nodes_)
        if (node->name_ == name) return node.get();
    return nullptr;
}

TXmlNode* TXmlNode::DeleteNode(TXmlNode* node) {
    auto found = std::find_if(nodes_.begin(), nodes_.end(), [node](const auto& n) { return n.get() == node; });
    if (found == nodes_.end()) return nullptr;
    std::unique_ptr<TXmlNode> doomed = std::move(*found);
    nodes_.erase(found);
    return this;
}

std::string TXmlNode::WriteXML(int level) const {
    std::string indent(2 * static_cast<std::size_t>(std::max(level, 0)), ' ');
    std::string out = indent + "<" + name_;
    for (const auto& attribute : attributes_) out += " " + attribute->Name + "=\"" + attribute->Value.AsString() + "\"";
    if (nodes_.empty() && text_.empty()) return out + " />" + CRLF;
    out += ">";
    out += CRLF;
    if (!text_.empty()) {
        if (cdata_ == 0)
            out += indent + "  \"" + ReplaceAll(EscapeText(text_), "\"", "\"\"") + "\"" + CRLF;
        else if (cdata_ == 1)
            out += indent + "  <![CDATA[" + text_ + "]]>" + CRLF;
    }
    for (const auto& node : nodes_) out += node->WriteXML(level + 1);
    return out + indent + "</" + name_ + ">" + CRLF;
}

// ---- TXmlTree ----

TXmlTree::TXmlTree(std::string name, TXmlNode* parent, const TVariant& value)
    : TXmlNode(std::move(name), parent, value) {}

std::string TXmlTree::GetXML() const {
    std::string out;
    for (const auto& node : Nodes()) out += node->WriteXML(0);
    return out;
}

void TXmlTree::SetXML(const std::string& text) {
    ClearNodes();
    ClearAttributes();
    ReadLines(SplitLines(text));
}

void TXmlTree::LoadFromFile(const std::string& fileName) {
    ClearNodes();
    ClearAttributes();
    // A folder opens like a file for reading but has no bytes to give.
    struct stat info {};
    if (stat(fileName.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw EFOpenError(FormatText("Cannot open file \"%s\". %s", fileName.c_str(), std::strerror(EISDIR)));
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ReadWholeFile(fileName);
    } catch (const EFOpenError&) {
        throw;
    } catch (const EStreamError& e) {
        throw EFOpenError(FormatText("Cannot open file \"%s\". %s", fileName.c_str(), e.what()));
    }
    ReadLines(SplitLines(std::string(bytes.begin(), bytes.end())));
}

void TXmlTree::SaveToFile(const std::string& fileName) const { SaveStringToFile(fileName, GetXML()); }

void TXmlTree::ReadLines(std::vector<std::string> lines) {
    TokenizeXML(lines);
    tokens_ = std::move(lines);
    BuildFromTokens();
}

void TXmlTree::BuildFromTokens() {
    ClearNodes();
    ClearAttributes();
    SetName("root");
    TXmlNode* current = this;
    int depth = 0;
    int flattened = 0;  // opening tags beyond MaxDepth whose closing tags are still to come
    for (const std::string& token : tokens_) {
        std::string kind = token.substr(0, 3);
        std::string text = token.substr(3);
        if (kind == "OT:") {
            TXmlNode* child = current->AddChildFromTag(text, TVariant());
            if (depth < MaxDepth) {
                current = child;
                ++depth;
            } else {
                ++flattened;
            }
        } else if (kind == "CT:") {
            // More closing than opening tags: the surplus ones are ignored at the top.
            if (flattened > 0) {
                --flattened;
            } else if (current != this) {
                current = current->ParentNode();
                --depth;
            }
        } else if (kind == "ET:") {
            current->AddChildFromTag(text, TVariant());
        } else if (kind == "TX:") {
            current->SetValue(Dequote(UnescapeText(text)));
            current->SetCDATA(0);
        } else if (kind == "CD:") {
            current->SetValue(text);
            current->SetCDATA(1);
        }
    }
}

std::string Dequote(const std::string& text) {
    if (text.empty() || text.front() != '"') return text;
    std::string result;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
                result += '"';
                ++i;
                continue;
            }
            break;
        }
        result += text[i];
    }
    return result.empty() ? text : result;
}
