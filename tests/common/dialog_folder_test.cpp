#include "common/dialog_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <filesystem>

#include "support/temp_dir.h"

namespace {

TEST(DialogFolder, OpensWhereTheLastFileWasChosenElseAtHome) {
    TempDir dir;
    // The user's own settings stay untouched.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir.File("config")));
    std::filesystem::create_directories(dir.File("takes"));
    const QString takes = QString::fromStdString(dir.File("takes"));
    const struct {
        QString chosen;  // empty: nothing chosen this time
        bool removeTakes;
        QString expected;
    } steps[] = {
        {"", false, QDir::homePath()},                  // never chosen
        {takes + "/s1.EOL", false, takes},              // a file chosen there
        {"", false, takes},                             // remembered
        {"", true, QDir::homePath()},                   // the folder went away
    };
    int row = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(row++);
        RememberDialogFolder(step.chosen);
        if (step.removeTakes) std::filesystem::remove_all(dir.File("takes"));
        EXPECT_EQ(DialogFolder(), step.expected);
    }
}

TEST(DialogFolder, TheRecordDialogProposesTheDateAndTime) {
    const std::pair<QDateTime, QString> cases[] = {
        {QDateTime(QDate(2026, 12, 7), QTime(18, 5, 9)), "20261207-180509.EOL"},
        {QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0)), "20270101-000000.EOL"},
    };
    for (const auto& [when, name] : cases) EXPECT_EQ(ProposedRecordingName(when), name);
}

}  // namespace
