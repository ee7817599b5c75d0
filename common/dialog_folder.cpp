#include "common/dialog_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
constexpr const char* kKey = "Dialogs/LastFolder";

QSettings Profile() {
    return QSettings(QString::fromUtf8(kDialogFolderOrganization), QString::fromUtf8(kDialogFolderApplication));
}
}  // namespace

QString DialogFolder() {
    const QString folder = Profile().value(QString::fromLatin1(kKey)).toString();
    // A folder since removed, or an unmounted disk, falls back to home.
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
    return QDir::homePath();
}

void RememberDialogFolder(const QString& chosenFile) {
    if (chosenFile.isEmpty()) return;
    Profile().setValue(QString::fromLatin1(kKey), QFileInfo(chosenFile).absolutePath());
}

QString ProposedRecordingName(const QDateTime& now) {
    return now.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".EOL");
}
