#pragma once
// What both programs do the same way with Qt at start-up: the interface
// language (the program's texts and Qt's own file dialogs and standard
// buttons in the same one), and the window placed where the command line asks.

#include "common/command_line.h"

#include <vector>

class QCoreApplication;
class QString;
class QWidget;

// Qt's own command-line options, which QApplication reads after ours are taken.
inline const std::vector<ToolkitOption> kQtCommandLineOptions = {
    {"-platform", true}, {"-platformpluginpath", true}, {"-platformtheme", true}, {"-plugin", true},
    {"-qwindowgeometry", true}, {"-qwindowicon", true}, {"-qwindowtitle", true}, {"-style", true},
    {"-stylesheet", true}, {"-display", true}, {"-session", true}, {"-reverse", false},
    {"-widgetcount", false}, {"-nograb", false}, {"-dograb", false}, {"-sync", false},
};

// The texts in the source are Chinese; English is a translation of them. The
// system locale does not choose: only --lang does.
enum class InterfaceLanguage { Chinese, English };

// --lang en|zh, default zh.
CommandLineOption LanguageOption(InterfaceLanguage& language);

// Chinese: Qt's zh_CN translation (Debian: qt6-translations-l10n), so its
// dialogs match the program's texts, which stay as written. English: the
// program's translation, embedded as the resource ":/i18n/PROGRAM_en.qm",
// and Qt's own texts as they come. False when the translation is missing.
bool InstallInterfaceLanguage(QCoreApplication& app, InterfaceLanguage language, const QString& program);

// Gives window the place's size, if it has one, and moves it there on its
// screen's available area (offsets from the right or bottom count inwards).
void PlaceWindow(QWidget& window, const WindowPlace& place);
