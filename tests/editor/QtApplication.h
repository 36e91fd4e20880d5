// One QApplication for the whole test run (the offscreen platform during ctest), and the
// settings file pointed into a fresh folder so that nothing touches a real one.
#pragma once

#include "settings/BaseForm.h"

#include <gtest/gtest.h>
#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

class TEditorTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "editor_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        std::string folder = (std::filesystem::temp_directory_path() / "pixamo-editor-XXXXXX").string();
        if (!mkdtemp(folder.data())) FAIL() << "mkdtemp failed";
        folder_ = folder;
        SetFormSettingsFileName((folder_ / "pixamo.xdb").string());
    }
    void TearDown() override {
        SetFormSettingsFileName({});
        std::error_code error;
        std::filesystem::remove_all(folder_, error);
        app_.reset();
    }
    static std::filesystem::path SettingsFile() { return folder_ / "pixamo.xdb"; }

private:
    std::unique_ptr<QApplication> app_;
    static inline std::filesystem::path folder_;
};

inline ::testing::Environment* const EditorTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new TEditorTestEnvironment);
