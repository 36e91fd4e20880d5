#include "SettingsFile.h"

#include "TextHelpers.h"
#include "platform/Exception.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

TXMLDataBase::TXMLDataBase(const std::string& fileName, const std::string& initialText)
    : fileName_(fileName), tree_(std::make_unique<TXmlTree>("XMLDataBase", nullptr, TVariant())) {
    std::error_code error;
    // Anything in the file's place (a folder too) is read, so that it fails naming the file
    // rather than being overwritten.
    bool exists = !fileName.empty() && fs::symlink_status(fileName, error).type() != fs::file_type::not_found && !error;
    if (exists)
        tree_->LoadFromFile(fileName);
    else
        tree_->SetXML(initialText);
    // Found or appended in one order whatever the text held, so none of the three is ever missing.
    dataRoot_ = ForcePath(tree_.get(), "dataroot");
    lists_ = ForcePath(tree_.get(), "lists");
    settings_ = ForcePath(tree_.get(), "settings");
    if (!exists && !fileName.empty()) tree_->SaveToFile(fileName);
}

bool TXMLDataBase::GetSetting(const std::string& name, TVariant& value) const {
    TXmlNode* node = settings_->FindChild(name);
    if (!node) return false;
    value = node->Value();
    return true;
}

TVariant TXMLDataBase::ReadSetting(const std::string& name, const TVariant& defaultValue) const {
    TVariant value = defaultValue;
    GetSetting(name, value);
    return value;
}

void TXMLDataBase::WriteSetting(const std::string& name, const TVariant& value) {
    TXmlNode* node = settings_->FindChild(name);
    if (node) {
        if (value.IsNull())
            settings_->DeleteNode(node);
        else
            node->SetValue(value);
    } else if (!value.IsNull()) {
        settings_->AddChild(name, value);
    }
}

bool TXMLDataBase::GetNodeSetting(TXmlNode* element, const std::string& name, TVariant& value) {
    TXmlNode* node = ForcePath(element, "settings")->FindChild(name);
    if (!node) return false;
    value = node->Value();
    return true;
}

TVariant TXMLDataBase::ReadNodeSetting(TXmlNode* element, const std::string& name, const TVariant& defaultValue) {
    TVariant value = defaultValue;
    GetNodeSetting(element, name, value);
    return value;
}

void TXMLDataBase::WriteNodeSetting(TXmlNode* element, const std::string& name, const TVariant& value) {
    TXmlNode* group = ForcePath(element, "settings");
    if (TXmlNode* node = group->FindChild(name))
        node->SetValue(value);
    else
        group->AddChild(name, value);
}

void TXMLDataBase::Save(const std::string& fileName, bool backup) {
    if (!fileName.empty()) fileName_ = fileName;
    if (backup && !fileName_.empty()) {
        std::error_code error;
        if (fs::is_regular_file(fileName_, error)) {
            // A copy rather than a move, so the settings file exists at every moment.
            std::string backupName = ChangeFileExt(fileName_, ".bak");
            fs::remove(backupName, error);
            fs::copy_file(fileName_, backupName, fs::copy_options::overwrite_existing, error);
        }
    }
    if (fileName_.empty()) throw Exception("Can't Save no file assigned!");
    tree_->SaveToFile(fileName_);
}

TXmlNode* TXMLDataBase::ForcePath(TXmlNode* element, const std::string& path) {
    TXmlNode* result = nullptr;
    TXmlNode* current = element;
    std::string segment;
    std::size_t next = NextToken(path, segment, '\\', 1);
    while (next != 0) {
        TXmlNode* child = current->FindChild(segment);
        if (!child) child = current->AddChild(segment, TVariant());
        current = child;
        result = child;
        next = NextToken(path, segment, '\\', next);
    }
    return result;
}

std::size_t TXMLDataBase::NextToken(const std::string& text, std::string& token, char separator, std::size_t start) {
    token.clear();
    if (start < 1 || start > text.size()) return 0;
    std::size_t found = text.find(separator, start - 1);
    if (found == std::string::npos) {
        token = text.substr(start - 1);
        return text.size() + 1;
    }
    token = text.substr(start - 1, found - (start - 1));
    return found + 2;
}
