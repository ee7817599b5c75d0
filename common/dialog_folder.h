#pragma once
// Where file dialogs open: in the folder the user last chose a file in,
// remembered per user, else in the home folder (never the current
// directory, which is the source tree when a program runs from a clone).
// And the name the record dialog proposes.

#include <QDateTime>
#include <QString>

// The per-user settings that keep the folder: Vostrel's own (D2).
inline constexpr const char* kDialogFolderOrganization = "Local AppWizard-Generated Applications";
inline constexpr const char* kDialogFolderApplication = "Vostrel";

// The folder to open a file dialog in.
QString DialogFolder();
// Remembers the folder of a file the user chose; an empty path is ignored.
void RememberDialogFolder(const QString& chosenFile);

// "YYYYMMDD-HHMMSS.EOL" of the local time.
QString ProposedRecordingName(const QDateTime& now);
