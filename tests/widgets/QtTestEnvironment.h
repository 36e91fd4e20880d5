// One QApplication for the whole test run (the offscreen platform during ctest).
#pragma once

#include <gtest/gtest.h>
#include <QApplication>

#include <memory>

class TQtTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "pixamo_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const QtTestEnvironment = ::testing::AddGlobalTestEnvironment(new TQtTestEnvironment);
