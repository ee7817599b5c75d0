// The export command as the user reaches it: the File menu's item, its
// dialog's proposal and checks, the conversion and the message at the end.

#include "acquisition/shell/export_command.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>

#include "acquisition/shell/command_texts.h"
#include "acquisition/shell/export_dialog.h"
#include "acquisition/shell/vostrel_view.h"
#include "support/scripted_amplifier.h"
#include "support/temp_dir.h"

namespace {

std::string WriteRecording(const TempDir& dir) {
    const std::string path = dir.File("session.EOL");
    EolFile file;
    EXPECT_TRUE(file.Create(path));
    EXPECT_TRUE(file.WriteHeader(1000, 40, 0.00073536));
    std::vector<SampleRecord> records(4000);
    for (std::size_t s = 0; s < records.size(); ++s) records[s].slots[10] = static_cast<std::int32_t>(s % 300);
    records[1000].slots[20] = 5;
    EXPECT_TRUE(file.Append(records));
    return path;
}

TEST(ExportCommand, TheFileMenuExportsThePlayedRecordingWithTheDialogsValues) {
    TempDir dir;
    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    CVostrelView view(playback, amplifier);
    std::vector<QString> messages;
    view.SetMessagePresenter([&](QWidget*, const QString& text) { messages.push_back(text); });
    AcquisitionSettings settings;
    settings.source = SignalSource::Playback;
    settings.channelCount = 21;
    settings.simulatedDataPath = WriteRecording(dir);
    view.Engine().ApplySettings(settings);

    ExportRequest proposed;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<ExportDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        proposed = *dialog->Request();
        dialog->Factor()->setText(QStringLiteral("0.0224"));
        dialog->accept();
    });
    ASSERT_TRUE(view.Commands().Trigger(command::kExportRecording));

    EXPECT_EQ(proposed.input, settings.simulatedDataPath);
    EXPECT_EQ(proposed.output, dir.File("session.bdf"));
    EXPECT_EQ(proposed.electrodeFile, view.Engine().DefaultElectrodeFile());
    ASSERT_EQ(messages.size(), 1u);
    // A recording without a sidecar: its start time is guessed, and said so.
    EXPECT_EQ(messages[0].toStdString(), "已导出 " + dir.File("session.bdf") +
                                             "\n16 通道, 4000 样本, 4.000 秒, 1 个标注\n无记录信息文件: 开始时间为文件时间减去时长");
    EXPECT_TRUE(std::filesystem::exists(dir.File("session.bdf")));

    // The next export offers the microvolts per count given last.
    QString offered;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<ExportDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        offered = dialog->Factor()->text();
        dialog->reject();
    });
    view.Commands().Trigger(command::kExportRecording);
    EXPECT_EQ(offered, QStringLiteral("0.0224"));
}

struct DialogCase {
    const char* name;
    QString input, output, factor, electrodes;
    int wrongField;  // -1: accepted; else 0 input, 1 output, 2 factor, 3 electrodes
    std::optional<double> factorValue;
};

class ExportDialogChecks : public ::testing::TestWithParam<DialogCase> {};

TEST_P(ExportDialogChecks, RefusesWhatCannotBeUsedAndPointsAtIt) {
    const DialogCase& c = GetParam();
    ExportDialog dialog(ExportRequest{});
    dialog.Input()->setText(c.input);
    dialog.Output()->setText(c.output);
    dialog.Factor()->setText(c.factor);
    dialog.Electrodes()->setText(c.electrodes);
    QLineEdit* wrong = nullptr;
    const auto request = dialog.Request(&wrong);
    const std::vector<QLineEdit*> fields{dialog.Input(), dialog.Output(), dialog.Factor(), dialog.Electrodes()};
    EXPECT_EQ(request.has_value(), c.wrongField < 0);
    if (c.wrongField >= 0) {
        EXPECT_EQ(wrong, fields[static_cast<std::size_t>(c.wrongField)]);
    } else {
        EXPECT_EQ(request->microvoltsPerCount, c.factorValue);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ExportDialogChecks,
    ::testing::Values(DialogCase{"counts", "a.EOL", "a.edf", "", "k.loc", -1, std::nullopt},
                      DialogCase{"decimal_comma", "a.EOL", "a.GDF", " 0,5 ", "k.loc", -1, 0.5},
                      DialogCase{"no_recording", "", "a.bdf", "", "k.loc", 0, std::nullopt},
                      DialogCase{"no_format", "a.EOL", "a.csv", "", "k.loc", 1, std::nullopt},
                      DialogCase{"not_a_number", "a.EOL", "a.bdf", "abc", "k.loc", 2, std::nullopt},
                      DialogCase{"negative", "a.EOL", "a.bdf", "-1", "k.loc", 2, std::nullopt},
                      DialogCase{"no_electrodes", "a.EOL", "a.bdf", "", "", 3, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExportCommand, ProposedOutputReplacesTheRecordingsExtension) {
    EXPECT_EQ(ProposedOutput("/data/s1.EOL"), "/data/s1.bdf");
    EXPECT_EQ(ProposedOutput("/data.v2/s1"), "/data.v2/s1.bdf");
    EXPECT_EQ(ProposedOutput(""), "");
}

}  // namespace
