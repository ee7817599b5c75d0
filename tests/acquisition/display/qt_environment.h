#pragma once
// One QApplication for every test of the binary, made before the first test
// (fonts, images with text and widgets need it) and kept to the end.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

class QtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "display_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

inline testing::Environment* const kQtEnvironment = testing::AddGlobalTestEnvironment(new QtEnvironment);
