#include "acquisition/display/display_commands.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <functional>
#include <set>

#include "acquisition/display/impedance_range_dialog.h"
#include "acquisition/display/lead_selection_dialog.h"
#include "engine_fixture.h"
#include "image_probe.h"
#include "qt_environment.h"

namespace {

namespace Id = command;

// Runs act on the dialog of type D as soon as the command opens it.
template <typename D>
void WhenOpened(QWidget& parent, std::function<void(D&)> act) {
    QTimer::singleShot(0, &parent, [&parent, act] {
        D* dialog = parent.findChild<D*>();
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

struct Commands : EngineFixture {
    DisplayCommands commands{engine, *wave, *impedance, &view};
};

TEST(DisplayCommands, EnabledWhileRunningOnlyExceptTheRange) {
    Commands f;
    const std::set<int> whileRunning{Id::kDoubleGain, Id::kHalveGain, Id::kAutoGain, Id::kFewerSeconds,
                                     Id::kMoreSeconds, Id::kLeadSettings};
    for (int id : whileRunning) EXPECT_FALSE(f.commands.Enabled(id)) << "before Start: " << id;
    EXPECT_TRUE(f.commands.Enabled(Id::kImpedanceRange));
    EXPECT_FALSE(f.commands.Run(Id::kDoubleGain));

    f.StartWaveform();
    ASSERT_TRUE(f.engine.Running());
    for (int id : whileRunning) EXPECT_TRUE(f.commands.Enabled(id)) << "running: " << id;

    f.engine.StopAcquisition();
    for (int id : whileRunning) EXPECT_FALSE(f.commands.Enabled(id)) << "after Stop: " << id;
    EXPECT_TRUE(f.commands.Enabled(Id::kImpedanceRange));

    std::set<int> listed;
    for (const DisplayCommands::Command& c : f.commands.Commands()) listed.insert(c.id);
    EXPECT_EQ(listed.size(), 7u);
}

TEST(DisplayCommands, TimeCommandsStopAtOneAndTenSeconds) {
    Commands f;
    f.StartWaveform();
    for (int press = 0; press < 3; ++press) EXPECT_TRUE(f.commands.Run(Id::kFewerSeconds));
    EXPECT_EQ(f.wave->SecondsPerScreen(), 1);
    EXPECT_FALSE(f.commands.Enabled(Id::kFewerSeconds));
    EXPECT_FALSE(f.commands.Run(Id::kFewerSeconds));

    for (int press = 0; press < 9; ++press) f.commands.Run(Id::kMoreSeconds);
    EXPECT_EQ(f.wave->SecondsPerScreen(), 10);
    EXPECT_FALSE(f.commands.Enabled(Id::kMoreSeconds));
}

TEST(DisplayCommands, SixPressesFromFourReachTen) {
    Commands f;
    f.StartWaveform();
    for (int press = 0; press < 6; ++press) EXPECT_TRUE(f.commands.Run(Id::kMoreSeconds)) << press;
    EXPECT_EQ(f.wave->SecondsPerScreen(), 10);
    EXPECT_FALSE(f.commands.Enabled(Id::kMoreSeconds));
    EXPECT_TRUE(f.commands.Enabled(Id::kFewerSeconds));
}

TEST(DisplayCommands, ResetGainRestoresOne) {
    Commands f;
    f.StartWaveform();
    for (int id : {Id::kDoubleGain, Id::kDoubleGain, Id::kHalveGain, Id::kDoubleGain, Id::kHalveGain,
                   Id::kHalveGain, Id::kHalveGain})
        f.commands.Run(id);
    EXPECT_DOUBLE_EQ(f.wave->Gain(), 0.5);
    f.commands.Run(Id::kAutoGain);
    EXPECT_EQ(f.wave->Gain(), 1.0);
}

TEST(LeadSelectionDialog, SixteenBoxesInTwoColumnsOfEight) {
    std::vector<ChannelRecord> records(17);
    ASSERT_EQ(ReadElectrodeLocations(records, KESTROM_LOC), 17);
    std::vector<int> flags(17, 1);
    flags[3] = 0;
    CLeadSelectionDialog dialog(flags, records, 16);
    ASSERT_EQ(dialog.Boxes().size(), 16u);
    std::set<int> columns;
    for (QCheckBox* box : dialog.Boxes()) {
        columns.insert(box->x());
        EXPECT_EQ(box->size(), QSize(70, 20));
    }
    EXPECT_EQ(columns.size(), 2u);
    const int columnWidth = (dialog.width() - 40) / 2;
    EXPECT_EQ(dialog.Boxes()[8]->pos(), QPoint(columnWidth + 10, 10));
    EXPECT_EQ(dialog.Boxes()[15]->y(), dialog.height() / 8 * 7 + 10);
    EXPECT_EQ(dialog.Boxes()[0]->text(), "Fp1");
    EXPECT_EQ(dialog.Boxes()[15]->text(), "T6");
    EXPECT_FALSE(dialog.Boxes()[3]->isChecked());
    EXPECT_TRUE(dialog.Boxes()[4]->isChecked());
    EXPECT_EQ(dialog.windowTitle(), "导联选择 ");
    EXPECT_EQ(dialog.Button(CLeadSelectionDialog::kIdUncheckAll)->text(), "全部取消");
}

TEST(LeadSelectionDialog, TwentyLeadsFillAThirdColumn) {
    std::vector<ChannelRecord> records(21);
    std::vector<int> flags(21, 1);
    CLeadSelectionDialog dialog(flags, records, 20);
    const int columnWidth = (dialog.width() - 40) / 3;
    EXPECT_EQ(dialog.Boxes()[16]->pos(), QPoint(2 * columnWidth + 10, 10));
    EXPECT_EQ(dialog.Boxes()[19]->pos(), QPoint(2 * columnWidth + 10, 3 * (dialog.height() / 8) + 10));

    std::vector<int> nine(10, 1);
    CLeadSelectionDialog small(nine, std::vector<ChannelRecord>(10), 9);
    EXPECT_LE(small.Boxes()[8]->geometry().right(), small.width()) << "the ninth lead's column fits";
}

TEST(LeadSelectionDialog, CheckAllThenCancelChangesNothing) {
    std::vector<ChannelRecord> records(17);
    std::vector<int> flags(17, 0);
    CLeadSelectionDialog dialog(flags, records, 16);
    dialog.Button(CLeadSelectionDialog::kIdCheckAll)->click();
    for (QCheckBox* box : dialog.Boxes()) EXPECT_TRUE(box->isChecked());
    dialog.Button(CLeadSelectionDialog::kIdCancel)->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(flags, std::vector<int>(17, 0));
}

TEST(DisplayCommands, UncheckAllThenOkHidesEveryTrace) {
    Commands f;
    QSignalSpy frames(f.wave, &WaveDisplay::FrameReady);
    f.StartWaveform();
    WhenOpened<CLeadSelectionDialog>(f.view, [](CLeadSelectionDialog& dialog) {
        EXPECT_EQ(dialog.Boxes().size(), 16u);
        dialog.Button(CLeadSelectionDialog::kIdUncheckAll)->click();
        dialog.Button(CLeadSelectionDialog::kIdOk)->click();
    });
    EXPECT_TRUE(f.commands.Run(Id::kLeadSettings));
    std::vector<int> expected(17, 0);
    expected[16] = 1;  // the event channel is not offered
    EXPECT_EQ(f.wave->ChannelFlags(), expected);
    // A packet drawn with the old leads may still be on its way, and frames
    // close together are shown as one, so wait for the traces to go, then
    // see that later packets do not bring them back.
    const auto traces = [&f] {
        const QImage image = f.wave->Snapshot();
        return CountInRect(image, image.rect(), [](QColor c) { return c.rgb() == WaveRenderer::kTraceColour.rgb(); });
    };
    QTRY_COMPARE_WITH_TIMEOUT(traces(), 0, 5000);
    const int seen = frames.count();
    QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= seen + 2, 5000);
    EXPECT_EQ(traces(), 0);
}

TEST(ImpedanceRangeDialog, StoresWholeNumbersAndRefusesEqualBounds) {
    std::atomic<int> low{0}, high{100};
    {
        CImpedanceRangeDialog dialog(low, high);
        const QFontMetrics metrics(dialog.font());
        EXPECT_EQ(dialog.size(), QSize(153 * metrics.averageCharWidth() / 4, 85 * metrics.height() / 8))
            << "laid out in dialog units of its font's average character";
        EXPECT_EQ(dialog.MinimumEdit()->text(), "0");
        EXPECT_EQ(dialog.MaximumEdit()->text(), "100");
        dialog.MinimumEdit()->setText(" 20 ");
        dialog.MaximumEdit()->setText("+5");
        dialog.OkButton()->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(low, 20);
        EXPECT_EQ(high, 5);
    }
    {
        CImpedanceRangeDialog dialog(low, high);
        dialog.show();
        dialog.MaximumEdit()->setText("20");
        dialog.OkButton()->click();
        EXPECT_TRUE(dialog.isVisible()) << "equal bounds are refused, the dialog stays open";
        auto* box = dialog.findChild<QMessageBox*>();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "最大值不能等于最小值");
        EXPECT_EQ(high, 5);
        box->close();
    }
    {
        CImpedanceRangeDialog dialog(low, high);
        dialog.show();
        dialog.MinimumEdit()->setText("-3");
        dialog.MaximumEdit()->setText("1 0");
        dialog.OkButton()->click();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.findChild<QMessageBox*>()->text(), "请输入一个整数。");
        EXPECT_EQ(low, 20) << "nothing is stored while an edit is refused";
        dialog.MaximumEdit()->setText("abc");
        dialog.CancelButton()->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(low, 20);
        EXPECT_EQ(high, 5);
    }
}

TEST(ImpedanceRangeDialog, WholeNumbers) {
    using D = CImpedanceRangeDialog;
    EXPECT_EQ(D::ParseWholeNumber("42"), 42);
    EXPECT_EQ(D::ParseWholeNumber("  -7\t"), -7);
    EXPECT_EQ(D::ParseWholeNumber("+0"), 0);
    EXPECT_EQ(D::ParseWholeNumber("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "-", "1.5", "1e3", "2147483648", "12a", "--1", "99999999999999999999"})
        EXPECT_FALSE(D::ParseWholeNumber(bad)) << bad;
}

TEST(DisplayCommands, RangeCommandSetsTheMapsScale) {
    Commands f;
    WhenOpened<CImpedanceRangeDialog>(f.view, [](CImpedanceRangeDialog& dialog) {
        dialog.MinimumEdit()->setText("20");
        dialog.MaximumEdit()->setText("5");
        dialog.OkButton()->click();
    });
    EXPECT_TRUE(f.commands.Run(Id::kImpedanceRange));
    EXPECT_EQ(f.impedance->RangeMinimum(), 20);
    EXPECT_EQ(f.impedance->RangeMaximum(), 5);
}

}  // namespace
