#pragma once
// The command ids of the main window, and the texts their menu items and
// toolbar buttons carry (translated where the actions are made, in the
// context "Command").

#include <QtGlobal>

namespace command {
inline constexpr int kSettings = 32771;
inline constexpr int kStart = 32772;
inline constexpr int kStop = 32773;
inline constexpr int kPause = 32774;
inline constexpr int kSaveData = 32775;
inline constexpr int kFewerSeconds = 32778;  // "增加(&P)": one second less per sweep
inline constexpr int kMoreSeconds = 32779;   // "减少(&D)": one second more per sweep
inline constexpr int kDoubleGain = 32780;
inline constexpr int kHalveGain = 32781;
inline constexpr int kLeadSettings = 32782;
inline constexpr int kAutoGain = 32785;
inline constexpr int kImpedance = 32788;
inline constexpr int kImpedanceRange = 32790;
inline constexpr int kServer = 32791;
inline constexpr int kExportRecording = 32800;
// Markers 1 to 9 (keys 1 to 9); the first is also the toolbar's and the
// menu's "插入标记".
inline constexpr int kMarker1 = 32801;
inline constexpr int kMarker9 = 32809;
inline constexpr int kAbout = 57664;
inline constexpr int kExit = 57665;

// The server-status pane of the status bar.
inline constexpr int kServerPane = 32792;
// The amplifier's link: its state and the frames lost.
inline constexpr int kAmplifierPane = 32850;
// The pane that shows the recording's file and time while one runs.
inline constexpr int kRecordingPane = 32851;
}  // namespace command

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
