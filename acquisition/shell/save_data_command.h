#pragma once
// "存储数据": asks for a file and starts recording the running acquisition
// into it. The recording ends with Stop, or with the same command (Ctrl+R)
// while it runs.

#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "acquisition/engine/acquisition_engine.h"

class QFileDialog;
class QWidget;

class SaveDataCommand {
public:
    static constexpr int kId = 32775;
    static const QString kNameFilter;
    static const QString kDefaultSuffix;

    // Asks for the recording's path; nothing when the user cancels.
    using PathChooser = std::function<std::optional<std::string>(QWidget* parent)>;

    explicit SaveDataCommand(AcquisitionEngine& engine, PathChooser choosePath = ChooseRecordingPath);

    // The recording this command started, while it runs.
    struct Progress {
        std::string path;
        std::chrono::seconds elapsed;
    };

    bool IsEnabled() const { return engine_.CanRecord(); }
    std::optional<Progress> Recording() const;
    // The command: dialog, then the recording. True when recording started.
    bool Run(QWidget* parent);
    // The command's steps after the dialog, for a path chosen another way.
    // The dialog has asked before a file is replaced; a path from elsewhere
    // says what to do with an existing file.
    bool RecordTo(const std::string& path, ExistingFile existing = ExistingFile::Replace);
    // The file of the last recording started; empty before the first.
    const std::string& LastRecording() const { return lastRecording_; }

    // The save dialog: ".EOL" added to a name typed without one, confirmation
    // before an existing file is replaced.
    static std::optional<std::string> ChooseRecordingPath(QWidget* parent);
    // Gives a save dialog the filter, suffix and options of the one above.
    static void SetUpRecordingDialog(QFileDialog& dialog);

private:
    AcquisitionEngine& engine_;
    PathChooser choosePath_;
    std::string lastRecording_;
    std::chrono::steady_clock::time_point started_;
};

// The recording pane's text: "存储数据: take1.EOL 00:01:05".
QString RecordingPaneText(const std::string& path, std::chrono::seconds elapsed);

// How a recording ended, on standard output:
// "recording ended: /tmp/take1.EOL, 65.000 s, 65000 records, 0 frames lost".
std::string RecordingSummaryLine(const RecordingSummary& summary);
// The same in the status bar: "存储结束: take1.EOL 00:01:05, 65000 个记录, 丢帧 0".
QString RecordingSummaryText(const RecordingSummary& summary);
