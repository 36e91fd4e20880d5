// One QApplication for the whole test run (the offscreen platform during ctest).
#pragma once

#include <QApplication>
#include <gtest/gtest.h>

#include <memory>

class TQtTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "pixamo_tests";
        static char* argv[] = {name, nullptr};
        App_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { App_.reset(); }

private:
    std::unique_ptr<QApplication> App_;
};

inline ::testing::Environment* const QtTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtTestEnvironment);
