#pragma once
// What both programs do the same way with Qt at start-up: Qt's own texts
// (file dialogs, standard buttons) in Chinese, to match the programs' own,
// and the window placed where the command line asks.

#include "common/command_line.h"

#include <vector>

class QCoreApplication;
class QWidget;

// Qt's own command-line options, which QApplication reads after ours are taken.
inline const std::vector<ToolkitOption> kQtCommandLineOptions = {
    {"-platform", true}, {"-platformpluginpath", true}, {"-platformtheme", true}, {"-plugin", true},
    {"-qwindowgeometry", true}, {"-qwindowicon", true}, {"-qwindowtitle", true}, {"-style", true},
    {"-stylesheet", true}, {"-display", true}, {"-session", true}, {"-reverse", false},
    {"-widgetcount", false}, {"-nograb", false}, {"-dograb", false}, {"-sync", false},
};

// Installs Qt's zh_CN translation (Debian: qt6-translations-l10n) into app;
// false when it is not installed, and then Qt's texts stay in English.
bool LoadQtChineseTranslation(QCoreApplication& app);

// Gives window the place's size, if it has one, and moves it there on its
// screen's available area (offsets from the right or bottom count inwards).
void PlaceWindow(QWidget& window, const WindowPlace& place);
