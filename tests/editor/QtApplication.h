// The editor tests' set-up: the one QApplication of the Qt tests, and the settings file pointed
// into a fresh folder so that nothing touches a real one.
#pragma once

#include "settings/BaseForm.h"
#include "widgets/QtTestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TEditorTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::string folder = (std::filesystem::temp_directory_path() / "pixamo-editor-XXXXXX").string();
        if (!mkdtemp(folder.data())) FAIL() << "mkdtemp failed";
        folder_ = folder;
        SetFormSettingsFileName((folder_ / "pixamo.xdb").string());
    }
    void TearDown() override {
        SetFormSettingsFileName({});
        std::error_code error;
        std::filesystem::remove_all(folder_, error);
    }
    static std::filesystem::path SettingsFile() { return folder_ / "pixamo.xdb"; }

private:
    static inline std::filesystem::path folder_;
};

inline ::testing::Environment* const EditorTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new TEditorTestEnvironment);
