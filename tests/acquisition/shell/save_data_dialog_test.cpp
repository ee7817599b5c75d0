// The save-data command's file dialog, as the user sees it.

#include "acquisition/shell/save_data_command.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <gtest/gtest.h>

#include "tests/acquisition/shell/qt_application.h"

QT_APPLICATION_FOR_TESTS;

// Under the thread sanitizer: the dialog's file model reads the directory on a
// thread of Qt's own, which Qt ends and waits for in code the sanitizer cannot
// see. No code of this program runs on another thread here.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n";
}

namespace {

TEST(SaveDataDialog, OffersOneEolFilterUnderItsOwnDescription) {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    SaveDataCommand::SetUpRecordingDialog(dialog);

    const auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->count(), 1);
    EXPECT_EQ(types->itemText(0).toStdString(), "EOL(*.EOL))");
    const auto* files = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->nameFilters(), QStringList{QStringLiteral("*.EOL")}) << "the files shown";

    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.defaultSuffix().toStdString(), "EOL");
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_FALSE(dialog.testOption(QFileDialog::ReadOnly));
    EXPECT_TRUE(dialog.selectedFiles().value(0).isEmpty() || QFileInfo(dialog.selectedFiles().value(0)).isDir())
        << "no initial file name";
}

}  // namespace
