#include "common/qt_desktop.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <QWidget>
#include <memory>

namespace {

bool InstallTranslation(QCoreApplication& app, const QString& name, const QString& folder) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(name, folder)) return false;
    // The application owns it from here on.
    translator->setParent(&app);
    return QCoreApplication::installTranslator(translator.release());
}

}  // namespace

CommandLineOption LanguageOption(InterfaceLanguage& language) {
    return {"--lang", "en|zh", "the language of the windows, menus and messages (the system locale does not choose)",
            "en (English) or zh (Chinese)", "zh", [&language](const std::string& value, std::string&) {
                if (value == "zh") {
                    language = InterfaceLanguage::Chinese;
                } else if (value == "en") {
                    language = InterfaceLanguage::English;
                } else {
                    return false;
                }
                return true;
            }};
}

bool InstallInterfaceLanguage(QCoreApplication& app, InterfaceLanguage language, const QString& program) {
    if (language == InterfaceLanguage::English)
        return InstallTranslation(app, program + QStringLiteral("_en"), QStringLiteral(":/i18n"));
    return InstallTranslation(app, QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

void PlaceWindow(QWidget& window, const WindowPlace& place) {
    if (place.HasSize()) window.resize(place.width, place.height);
    const QRect area = window.screen()->availableGeometry();
    const int x = place.fromRight ? area.right() + 1 - window.width() - place.x : area.left() + place.x;
    const int y = place.fromBottom ? area.bottom() + 1 - window.height() - place.y : area.top() + place.y;
    window.move(x, y);
}
