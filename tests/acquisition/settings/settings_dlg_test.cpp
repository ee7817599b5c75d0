#include "acquisition/settings/settings_dlg.h"

#include <gtest/gtest.h>

#include <QDir>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "acquisition/recording/eol_file.h"
#include "support/scripted_amplifier.h"
#include "common/dialog_units.h"
#include "acquisition/settings/settings_values.h"
#include "acquisition/shell/qt_application.h"
#include "support/temp_dir.h"

QT_APPLICATION_FOR_TESTS;

namespace {

using Id = CSettingsDlg::ControlId;

class SettingsDialog : public ::testing::Test {
protected:
    SettingsDialog()
        : dialog(nullptr, [this](QWidget*, const QString& filter) { filters.push_back(filter); return chosen; },
                 [this](QWidget*, const QString& text) { warnings.push_back(text); }) {}

    QLineEdit* Field(int id) { return qobject_cast<QLineEdit*>(dialog.Control(id)); }
    QComboBox* List() { return qobject_cast<QComboBox*>(dialog.Control(Id::kAmplifierTypeId)); }
    QPushButton* Button(int id) { return qobject_cast<QPushButton*>(dialog.Control(id)); }

    // Presses "确定" with the fields as given; true when the dialog closed.
    bool Confirm() {
        dialog.open();
        Button(1)->click();
        return dialog.result() == QDialog::Accepted && !dialog.isVisible();
    }

    QString chosen;
    std::vector<QString> filters;
    std::vector<QString> warnings;
    CSettingsDlg dialog;
};

TEST_F(SettingsDialog, OpensWithWhatStartUsesByDefault) {
    EXPECT_EQ(dialog.windowTitle(), "设置");
    EXPECT_EQ(Field(Id::kChannelCountId)->text(), "17");
    EXPECT_EQ(Field(Id::kPacketSizeId)->text(), "40");
    EXPECT_EQ(Field(Id::kSampleRateId)->text(), "1000");
    EXPECT_EQ(Field(Id::kElectrodeFileId)->text(), "");
    EXPECT_EQ(Field(Id::kSimulatedDataId)->text(), "");
    ASSERT_EQ(List()->count(), 2);
    EXPECT_EQ(List()->itemText(0), "仿真信号");
    EXPECT_EQ(List()->itemText(1), "放大器");
    EXPECT_EQ(List()->currentIndex(), 1);
    EXPECT_FALSE(Field(Id::kSimulatedDataId)->isEnabled());
    EXPECT_FALSE(Button(Id::kSimulatedBrowseId)->isEnabled());
    EXPECT_TRUE(Button(1)->isDefault());
    EXPECT_EQ(Button(1)->text(), "确定");
    EXPECT_EQ(Button(2)->text(), "取消");
}

TEST_F(SettingsDialog, IsLaidOutInDialogUnitsOfItsFont) {
    const DialogUnits du = DialogUnits::OfLetters(dialog.font());
    EXPECT_EQ(dialog.size(), du.Size(232, 134));
    EXPECT_EQ(Field(Id::kPacketSizeId)->geometry(), du.Rect(71, 58, 40, 14));
    EXPECT_EQ(Field(Id::kChannelCountId)->geometry(), du.Rect(159, 57, 40, 14));
    EXPECT_EQ(Button(Id::kElectrodeBrowseId)->geometry(), du.Rect(183, 79, 15, 13));
    EXPECT_EQ(Button(2)->geometry(), du.Rect(139, 104, 50, 14));
}

TEST_F(SettingsDialog, SimulatedDataControlsAreUsableExactlyWhileTheSimulatedSignalIsSelected) {
    List()->setCurrentIndex(1);
    EXPECT_FALSE(Field(Id::kSimulatedDataId)->isEnabled());
    EXPECT_FALSE(Button(Id::kSimulatedBrowseId)->isEnabled());
    List()->setCurrentIndex(0);
    EXPECT_TRUE(Field(Id::kSimulatedDataId)->isEnabled());
    EXPECT_TRUE(Button(Id::kSimulatedBrowseId)->isEnabled());
}

TEST_F(SettingsDialog, ImportsTheHeaderOfADefaultRecording) {
    List()->setCurrentIndex(0);
    TempDir dir;
    const auto path = dir.File("default.EOL");
    {
        EolFile file;
        ASSERT_TRUE(file.Create(path));
        ASSERT_TRUE(file.WriteHeader(1000, 40, 0.00073536));
    }
    Field(Id::kChannelCountId)->setText("5");
    Field(Id::kElectrodeFileId)->setText("typed.loc");
    chosen = QString::fromStdString(path);
    Button(Id::kSimulatedBrowseId)->click();

    ASSERT_EQ(filters.size(), 1u);
    EXPECT_TRUE(filters[0].startsWith("eol(*.eol)) ("));
    // EOL first, as before; other programs' recordings as a second choice.
    const QStringList choices = filters[0].split(";;");
    ASSERT_EQ(choices.size(), 2);
    const QStringList patterns = choices[0].section('(', -1).chopped(1).split(' ');
    EXPECT_TRUE(QDir::match(patterns, "take1.EOL")) << "what the recorder saves must be offered";
    EXPECT_TRUE(QDir::match(patterns, "old.eol"));
    const QStringList foreign = choices[1].section('(', -1).chopped(1).split(' ');
    for (const char* name : {"a.bdf", "b.EDF", "c.gdf"}) EXPECT_TRUE(QDir::match(foreign, name)) << name;
    EXPECT_EQ(Field(Id::kChannelCountId)->text(), "21");
    EXPECT_EQ(Field(Id::kSampleRateId)->text(), "1000");
    EXPECT_EQ(Field(Id::kPacketSizeId)->text(), "40");
    EXPECT_EQ(Field(Id::kSimulatedDataId)->text(), chosen);
    EXPECT_EQ(Field(Id::kElectrodeFileId)->text(), "typed.loc");
    EXPECT_EQ(dialog.amplifierType, 0);
    EXPECT_EQ(dialog.scale, 0.00073536);
}

TEST_F(SettingsDialog, AFileThatCannotBeReadKeepsTheValuesButShowsThePath) {
    List()->setCurrentIndex(0);
    Field(Id::kSampleRateId)->setText("500");
    chosen = "/no/such/file.EOL";
    Button(Id::kSimulatedBrowseId)->click();
    EXPECT_EQ(Field(Id::kSimulatedDataId)->text(), chosen);
    EXPECT_EQ(Field(Id::kSampleRateId)->text(), "500");
    EXPECT_EQ(Field(Id::kChannelCountId)->text(), "17");
    EXPECT_FALSE(dialog.scale);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(SettingsDialog, ACancelledChooserChangesNothing) {
    List()->setCurrentIndex(0);
    chosen.clear();
    Button(Id::kSimulatedBrowseId)->click();
    Button(Id::kElectrodeBrowseId)->click();
    EXPECT_EQ(Field(Id::kSimulatedDataId)->text(), "");
    EXPECT_EQ(Field(Id::kElectrodeFileId)->text(), "");
    EXPECT_EQ(filters.size(), 2u);
}

TEST_F(SettingsDialog, ChoosesTheElectrodeFile) {
    chosen = "/data/montage.loc";
    Button(Id::kElectrodeBrowseId)->click();
    EXPECT_EQ(filters, std::vector<QString>{"loc(*.loc)) (*.loc *.LOC)"});
    EXPECT_EQ(Field(Id::kElectrodeFileId)->text(), chosen);
    EXPECT_EQ(dialog.electrodeFile, chosen);
}

TEST_F(SettingsDialog, RefusesValuesThatCannotBeAcquiredAndKeepsFocusOnTheField) {
    const struct {
        int id;
        QString text;
    } bad[] = {
        {Id::kSampleRateId, "fast"}, {Id::kSampleRateId, "4"},   {Id::kSampleRateId, "2000000000"},
        {Id::kPacketSizeId, "42"},
        {Id::kPacketSizeId, "0"},    {Id::kPacketSizeId, "-4"},  {Id::kPacketSizeId, "1004"},
        {Id::kChannelCountId, "1"},  {Id::kChannelCountId, "257"}, {Id::kChannelCountId, "2.5"},
        {Id::kPacketSizeId, ""},
    };
    for (const auto& [id, text] : bad) {
        CSettingsDlg fresh(nullptr, {}, [this](QWidget*, const QString& t) { warnings.push_back(t); });
        warnings.clear();
        qobject_cast<QLineEdit*>(fresh.Control(id))->setText(text);
        fresh.open();
        qobject_cast<QPushButton*>(fresh.Control(1))->click();
        EXPECT_TRUE(fresh.isVisible()) << id << " " << text.toStdString();
        EXPECT_EQ(warnings, std::vector<QString>{"设置参数无效"}) << id << " " << text.toStdString();
        EXPECT_EQ(fresh.focusWidget(), fresh.Control(id)) << id << " " << text.toStdString();
        fresh.reject();
    }
}

TEST_F(SettingsDialog, AcceptsTheLimits) {
    Field(Id::kSampleRateId)->setText(" 8 ");
    Field(Id::kPacketSizeId)->setText("8");
    Field(Id::kChannelCountId)->setText("256");
    EXPECT_TRUE(Confirm());
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(dialog.sampleRate, 8);
    EXPECT_EQ(dialog.packetSize, 8);
    EXPECT_EQ(dialog.channelCount, 256);
}

TEST_F(SettingsDialog, AcceptsTheHighestSampleRate) {
    Field(Id::kSampleRateId)->setText("20000");
    Field(Id::kPacketSizeId)->setText("20000");
    EXPECT_TRUE(Confirm());
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(dialog.sampleRate, 20000);
}

TEST_F(SettingsDialog, WithoutAnImportTheListAndTheCurrentScaleDecide) {
    List()->setCurrentIndex(1);
    ASSERT_TRUE(Confirm());
    const AcquisitionSettings settings = dialog.Settings(0.25);
    EXPECT_EQ(settings.source, SignalSource::Amplifier);
    EXPECT_EQ(settings.scale, 0.25);
}

TEST_F(SettingsDialog, AfterAnImportTheListAsLeftStillDecidesTheDevice) {
    List()->setCurrentIndex(0);
    TempDir dir;
    const auto path = dir.File("imported.EOL");
    {
        EolFile file;
        ASSERT_TRUE(file.Create(path));
        ASSERT_TRUE(file.WriteHeader(500, 20, 0.5));
    }
    chosen = QString::fromStdString(path);
    Button(Id::kSimulatedBrowseId)->click();
    List()->setCurrentIndex(1);
    ASSERT_TRUE(Confirm());
    const AcquisitionSettings settings = dialog.Settings(0.25);
    EXPECT_EQ(settings.source, SignalSource::Amplifier);
    EXPECT_EQ(settings.scale, 0.5);
    EXPECT_EQ(settings.sampleRate, 500);
}

// The confirmation's effect on the engine.

class SettingsConfirmation : public ::testing::Test {
protected:
    SettingsConfirmation() : engine(playback, amplifier) {}
    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    AcquisitionEngine engine;
};

// The dialog as the settings command opens it, for each state of the engine:
// confirming it unchanged must leave a Start that works as before.
TEST_F(SettingsConfirmation, TheDialogShowsWhatTheNextStartUses) {
    struct Case {
        const char* state;
        std::function<void(AcquisitionEngine&)> prepare;
        int type, channels, packet, rate;
        QString simulated;
    };
    AcquisitionSettings played;
    played.source = SignalSource::Playback;
    played.channelCount = 21;
    played.sampleRate = 500;
    played.packetSize = 20;
    played.simulatedDataPath = "/data/take1.EOL";
    const Case cases[] = {
        {"before the first start", [](AcquisitionEngine&) {}, 1, 17, 40, 1000, ""},
        {"after a start", [](AcquisitionEngine& e) { e.StartWaveform(); e.StopAcquisition(); }, 1, 17, 40, 1000, ""},
        {"with a played file", [&](AcquisitionEngine& e) { e.ApplySettings(played); }, 0, 21, 20, 500,
         "/data/take1.EOL"},
    };
    for (const Case& c : cases) {
        FilePlaybackSource source;
        AcquisitionEngine fresh(source, amplifier);
        c.prepare(fresh);
        CSettingsDlg dialog;
        dialog.ShowSettings(fresh.SettingsForNextStart());
        auto field = [&](int id) { return qobject_cast<QLineEdit*>(dialog.Control(id))->text(); };
        EXPECT_EQ(qobject_cast<QComboBox*>(dialog.Control(Id::kAmplifierTypeId))->currentIndex(), c.type) << c.state;
        EXPECT_EQ(field(Id::kChannelCountId), QString::number(c.channels)) << c.state;
        EXPECT_EQ(field(Id::kPacketSizeId), QString::number(c.packet)) << c.state;
        EXPECT_EQ(field(Id::kSampleRateId), QString::number(c.rate)) << c.state;
        EXPECT_EQ(field(Id::kSimulatedDataId), c.simulated) << c.state;
        EXPECT_EQ(dialog.Control(Id::kSimulatedDataId)->isEnabled(), c.type == 0) << c.state;
        EXPECT_EQ(field(Id::kElectrodeFileId).toStdString(), fresh.SettingsForNextStart().electrodeFilePath) << c.state;
    }
}

TEST_F(SettingsConfirmation, ConfirmingAtOnceBeforeTheFirstStartKeepsTheAmplifierStarting) {
    CSettingsDlg dialog;
    dialog.ShowSettings(engine.SettingsForNextStart());
    dialog.open();
    qobject_cast<QPushButton*>(dialog.Control(1))->click();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(engine.Settings().scale, 0.0);  // never initialised
    engine.ApplySettings(dialog.Settings(CurrentScale(engine)));

    const AcquisitionSettings& applied = engine.Settings();
    EXPECT_EQ(applied.channelCount, 17);
    EXPECT_EQ(applied.packetSize, 40);
    EXPECT_EQ(applied.sampleRate, 1000);
    EXPECT_EQ(applied.source, SignalSource::Amplifier);
    EXPECT_EQ(applied.scale, eol::kDefaultScale);
    EXPECT_EQ(applied.simulatedDataPath, "");
    EXPECT_EQ(applied.electrodeFilePath, engine.DefaultElectrodeFile());
    ASSERT_EQ(engine.ChannelRecords().size(), 17u);
    EXPECT_STREQ(engine.ChannelRecords()[0].label, "Fp1");
    const PowerLineCanceller& canceller = engine.IdlePipeline()->Canceller();
    EXPECT_EQ(canceller.PacketSize(), 40);
    EXPECT_EQ(canceller.ChannelCount(), 17);
    for (double w : canceller.Weights()) EXPECT_EQ(w, 0.0);

    engine.StartWaveform();
    EXPECT_TRUE(engine.Running());
    EXPECT_EQ(amplifier.ChannelCount(), 17);
    engine.StopAcquisition();
}

TEST_F(SettingsConfirmation, TheCommandIsRefusedWhileAcquisitionRuns) {
    engine.StartWaveform();
    ASSERT_TRUE(engine.Running());
    bool chooserAsked = false;
    EXPECT_FALSE(RunSettingsCommand(nullptr, engine, [&](QWidget*, const QString&) {
        chooserAsked = true;
        return QString();
    }));
    EXPECT_FALSE(chooserAsked);
    engine.StopAcquisition();
}

TEST_F(SettingsConfirmation, CancellingTheCommandChangesNothing) {
    QTimer::singleShot(0, [] {
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) open->reject();
    });
    EXPECT_FALSE(RunSettingsCommand(nullptr, engine));
    EXPECT_EQ(engine.Settings().channelCount, 0) << "nothing applied";
    EXPECT_TRUE(engine.ChannelRecords().empty());
}

TEST(PlaybackSettings, ImportAsTheDialogWouldWithTheSimulatedSignal) {
    TempDir dir;
    const auto path = dir.File("p.EOL");
    {
        EolFile file;
        ASSERT_TRUE(file.Create(path));
        ASSERT_TRUE(file.WriteHeader(250, 20, 0.5));
    }
    AcquisitionSettings settings;
    std::string error;
    ASSERT_TRUE(PlaybackSettings(path, settings, error));
    const AcquisitionSettings header{.source = SignalSource::Playback, .packetSize = 20, .channelCount = 21,
                                     .sampleRate = 250, .scale = 0.5, .simulatedDataPath = path};
    EXPECT_EQ(settings, header);

    EXPECT_FALSE(PlaybackSettings(dir.File("none.EOL"), settings, error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
