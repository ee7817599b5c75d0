#include "common/qt_desktop.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <QWidget>
#include <memory>

bool LoadQtChineseTranslation(QCoreApplication& app) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    // The application owns it from here on.
    translator->setParent(&app);
    return QCoreApplication::installTranslator(translator.release());
}

void PlaceWindow(QWidget& window, const WindowPlace& place) {
    if (place.HasSize()) window.resize(place.width, place.height);
    const QRect area = window.screen()->availableGeometry();
    const int x = place.fromRight ? area.right() + 1 - window.width() - place.x : area.left() + place.x;
    const int y = place.fromBottom ? area.bottom() + 1 - window.height() - place.y : area.top() + place.y;
    window.move(x, y);
}
