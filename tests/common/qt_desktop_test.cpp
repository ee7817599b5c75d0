#include "common/qt_desktop.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "acquisition/shell/qt_application.h"

QT_APPLICATION_FOR_TESTS;

namespace {

TEST(QtDesktop, QtsOwnTextsAreInChinese) {
    ASSERT_TRUE(InstallInterfaceLanguage(*QCoreApplication::instance(), InterfaceLanguage::Chinese, "vostrel"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "取消");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"), "另存为");
}

TEST(QtDesktop, WindowsArePlacedFromEitherEdge) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const int right = area.right() + 1;
    const int bottom = area.bottom() + 1;
    const std::pair<const char*, QRect> cases[] = {
        {"+10+20", {area.left() + 10, area.top() + 20, 200, 100}},
        {"300x150+0+0", {area.left(), area.top(), 300, 150}},
        {"-0+0", {right - 200, area.top(), 200, 100}},
        {"100x50-5-7", {right - 105, bottom - 57, 100, 50}},
    };
    for (const auto& [geometry, expected] : cases) {
        QWidget window;
        window.resize(200, 100);
        WindowPlace place;
        ASSERT_TRUE(ReadWindowPlace(geometry, place));
        PlaceWindow(window, place);
        EXPECT_EQ(window.geometry(), expected) << geometry;
    }
}

}  // namespace
