#pragma once
// The ids of the main window's commands and status panes, in one table: the
// display commands' own and the shell's.

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
