// GoogleTest entry for tests that need a QApplication (widgets, sockets).

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    // Test discovery runs without the offscreen setting of the test runs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
