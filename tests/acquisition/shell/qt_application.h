#pragma once
// One QApplication for the whole test program, made before the first test runs.

#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

// Include once per test program, in one file.
#define QT_APPLICATION_FOR_TESTS                                                     \
    [[maybe_unused]] static ::testing::Environment* const qtApplicationEnvironment = \
        ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment)
