#include "acquisition/shell/save_data_command.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <cstdio>

#include "common/dialog_folder.h"

const QString SaveDataCommand::kNameFilter = QStringLiteral("EOL(*.EOL)) (*.EOL)");
const QString SaveDataCommand::kDefaultSuffix = QStringLiteral("EOL");

SaveDataCommand::SaveDataCommand(AcquisitionEngine& engine, PathChooser choosePath)
    : engine_(engine), choosePath_(std::move(choosePath)) {}

void SaveDataCommand::SetUpRecordingDialog(QFileDialog& dialog) {
    // The filter's description is shown as it stands, without Qt's copy of
    // the pattern after it.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(kNameFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(kDefaultSuffix);
}

std::optional<std::string> SaveDataCommand::ChooseRecordingPath(QWidget* parent) {
    QFileDialog dialog(parent);
    SetUpRecordingDialog(dialog);
    dialog.setDirectory(DialogFolder());
    dialog.selectFile(ProposedRecordingName(QDateTime::currentDateTime()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    RememberDialogFolder(dialog.selectedFiles().front());
    return dialog.selectedFiles().front().toStdString();
}

bool SaveDataCommand::Run(QWidget* parent) {
    if (!IsEnabled()) return false;
    const auto path = choosePath_(parent);
    if (!path) return false;
    return RecordTo(*path);
}

bool SaveDataCommand::RecordTo(const std::string& path, ExistingFile existing) {
    // Acquisition may have stopped while the dialog was open.
    if (!IsEnabled()) return false;
    if (!engine_.OpenRecording(path, existing)) return false;
    lastRecording_ = path;
    started_ = std::chrono::steady_clock::now();
    return true;
}

std::optional<SaveDataCommand::Progress> SaveDataCommand::Recording() const {
    // A failed write or Stop ends the recording without telling this command.
    if (!engine_.Recording() || lastRecording_.empty()) return std::nullopt;
    return Progress{lastRecording_, std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_)};
}

namespace {
// "take1.EOL 00:01:05"
QString FileAndTime(const std::string& path, std::chrono::seconds elapsed) {
    const long long total = elapsed.count();
    return QStringLiteral("%1 %2:%3:%4")
        .arg(QFileInfo(QString::fromStdString(path)).fileName())
        .arg(total / 3600, 2, 10, QLatin1Char('0'))
        .arg(total / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(total % 60, 2, 10, QLatin1Char('0'));
}
}  // namespace

QString RecordingPaneText(const std::string& path, std::chrono::seconds elapsed) {
    return QCoreApplication::translate("SaveDataCommand", "存储数据: %1").arg(FileAndTime(path, elapsed));
}

std::string RecordingSummaryLine(const RecordingSummary& summary) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", summary.seconds);
    return "recording ended: " + summary.path + ", " + seconds + " s, " + std::to_string(summary.records) +
           " records, " + std::to_string(summary.framesLost) + " frames lost";
}

QString RecordingSummaryText(const RecordingSummary& summary) {
    const auto elapsed = std::chrono::seconds(static_cast<long long>(summary.seconds));
    return QCoreApplication::translate("SaveDataCommand", "存储结束: %1, %2 个记录, 丢帧 %3")
        .arg(FileAndTime(summary.path, elapsed))
        .arg(summary.records)
        .arg(summary.framesLost);
}
