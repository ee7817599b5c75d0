#pragma once
// The texts the main window's menu items and toolbar buttons carry
// (translated where the actions are made, in the context "Command"), their
// keyboard shortcuts and the toolbar's order.

#include <QtGlobal>

#include "acquisition/display/command_ids.h"


struct CommandText {
    int id;
    const char* label;    // menu item, with its mnemonic; empty for toolbar-only commands
    const char* toolTip;  // empty: none
};

inline constexpr CommandText kCommandTexts[] = {
    {command::kSettings, QT_TRANSLATE_NOOP("Command", "设置(&S)..."), ""},
    {command::kStart, QT_TRANSLATE_NOOP("Command", "开始(&B)"), QT_TRANSLATE_NOOP("Command", "开始")},
    {command::kPause, QT_TRANSLATE_NOOP("Command", "暂停(&P)"), QT_TRANSLATE_NOOP("Command", "暂停")},
    {command::kStop, QT_TRANSLATE_NOOP("Command", "停止(&H)"), QT_TRANSLATE_NOOP("Command", "停止")},
    {command::kSaveData, QT_TRANSLATE_NOOP("Command", "存储数据(&R)"), QT_TRANSLATE_NOOP("Command", "存储数据")},
    {command::kExportRecording, QT_TRANSLATE_NOOP("Command", "导出 BDF+/EDF+/GDF(&E)..."), ""},
    {command::kExit, QT_TRANSLATE_NOOP("Command", "退出(&X)"), ""},
    {command::kDoubleGain, QT_TRANSLATE_NOOP("Command", "放大(&O)"), QT_TRANSLATE_NOOP("Command", "放大")},
    {command::kHalveGain, QT_TRANSLATE_NOOP("Command", "减小(&I)"), QT_TRANSLATE_NOOP("Command", "缩小")},
    {command::kAutoGain, QT_TRANSLATE_NOOP("Command", "自动增益(&A)"), QT_TRANSLATE_NOOP("Command", "自动")},
    {command::kFewerSeconds, QT_TRANSLATE_NOOP("Command", "增加(&P)"), QT_TRANSLATE_NOOP("Command", "时间增加")},
    {command::kMoreSeconds, QT_TRANSLATE_NOOP("Command", "减少(&D)"), QT_TRANSLATE_NOOP("Command", "时间增少")},
    {command::kLeadSettings, QT_TRANSLATE_NOOP("Command", "导联设置"), ""},
    {command::kImpedance, QT_TRANSLATE_NOOP("Command", "阻抗/波形"), QT_TRANSLATE_NOOP("Command", "阻抗/波形")},
    {command::kImpedanceRange, QT_TRANSLATE_NOOP("Command", "阻抗范围"), ""},
    {command::kAbout, QT_TRANSLATE_NOOP("Command", "关于 Vostrel(&A)..."), ""},
    {command::kServer, "", ""},
    {command::kMarker1, QT_TRANSLATE_NOOP("Command", "插入标记(&M)"), QT_TRANSLATE_NOOP("Command", "插入标记")},
    {command::kMarker1 + 1, "", ""},
    {command::kMarker1 + 2, "", ""},
    {command::kMarker1 + 3, "", ""},
    {command::kMarker1 + 4, "", ""},
    {command::kMarker1 + 5, "", ""},
    {command::kMarker1 + 6, "", ""},
    {command::kMarker1 + 7, "", ""},
    {command::kMarker9, "", ""},
};

// Keyboard shortcuts, shown in the menus and after the tooltips.
struct CommandShortcut {
    int id;
    const char* keys;  // QKeySequence's portable text
};

inline constexpr CommandShortcut kCommandShortcuts[] = {
    {command::kSettings, "Ctrl+,"},
    {command::kStart, "F5"},
    {command::kStop, "Shift+F5"},
    {command::kSaveData, "Ctrl+R"},
    {command::kMarker1, "1"},
    {command::kMarker1 + 1, "2"},
    {command::kMarker1 + 2, "3"},
    {command::kMarker1 + 3, "4"},
    {command::kMarker1 + 4, "5"},
    {command::kMarker1 + 5, "6"},
    {command::kMarker1 + 6, "7"},
    {command::kMarker1 + 7, "8"},
    {command::kMarker9, "9"},
};

// Toolbar buttons left to right; 0 is a separator. Button n shows image n of
// the strips.
inline constexpr int kToolbarLayout[] = {
    command::kStart,      command::kSaveData,  command::kStop,         0,
    command::kDoubleGain, command::kHalveGain, command::kAutoGain,     0,
    command::kMoreSeconds, command::kFewerSeconds, command::kImpedance, 0,
    command::kServer,
};
