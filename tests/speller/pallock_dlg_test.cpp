#include "pallock_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class PallockDlgTest : public testing::Test {
protected:
    PallockDlgTest() {
        dialog.SetMessageSink([this](const QString& text) { messages << text; });
    }
    QString Text(int id) const { return qobject_cast<QLineEdit*>(dialog.Control(id))->text(); }
    void Type(int id, const QString& text) { qobject_cast<QLineEdit*>(dialog.Control(id))->setText(text); }

    CPallockDlg dialog;
    QStringList messages;
};

TEST_F(PallockDlgTest, StartsWithTheDefaultsAndEmptyLogs) {
    const std::vector<std::pair<int, QString>> expected = {
        {1002, "127.0.0.1"}, {1003, "1234"}, {1005, "ID01CH001"}, {1008, "127.0.0.1"}, {1009, "4000"},
        {1007, "10"},        {1010, "12"},   {1011, "11"},        {1012, "12.5"},      {1013, "11.5"},
        {1014, "10.5"},      {1015, "0"},    {1018, "1(Fp1)"}};
    for (const auto& [id, text] : expected) EXPECT_EQ(Text(id), text) << "field " << id;
    EXPECT_TRUE(dialog.StatusLog().isEmpty());
    EXPECT_TRUE(dialog.ResultLog().isEmpty());
    EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(dialog.Control(1001))->toPlainText().isEmpty());
    EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(dialog.Control(1017))->toPlainText().isEmpty());
    EXPECT_FALSE(dialog.AmplifierConnected());
    EXPECT_FALSE(dialog.ScoringConnected());
}

TEST_F(PallockDlgTest, WindowHasItsFixedSizeCaptionAndControls) {
    EXPECT_EQ(dialog.windowTitle(), "Pallock");
    EXPECT_FALSE(dialog.windowIcon().isNull());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);

    QStringList groups;
    for (auto* box : dialog.findChildren<QGroupBox*>()) groups << box->title();
    EXPECT_EQ(groups, (QStringList{"连接放大器", "评分系统", "SSVEP BCI参数设定", "连接状态", "判断结果", "检测方法",
                                   "判决方式"}));
    QStringList labels;
    for (auto* label : dialog.findChildren<QLabel*>()) labels << label->text();
    EXPECT_EQ(labels, (QStringList{"IP地址", "端口号", "IP地址", "端口号", "发送命令", "刺激频率", "导联", "判断阈值",
                                   "提示码", "延迟", "动态窗", "判决裕度", "自适应", "判断 0 次，弃权 0 次，平均 0.00 秒",
                                   "方法", "多导联"}));

    const std::vector<std::pair<int, QString>> buttons = {
        {1000, "连接放大器"}, {1006, "连接评分系统"}, {1004, "发送命令"}, {1016, "设置"}};
    for (const auto& [id, text] : buttons) {
        auto* button = qobject_cast<QPushButton*>(dialog.Control(id));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->text(), text);
    }
    for (int id : {1001, 1017}) {
        auto* box = qobject_cast<QPlainTextEdit*>(dialog.Control(id));
        ASSERT_NE(box, nullptr) << id;
        EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_FALSE(box->isReadOnly());
    }

    // The six frequency edits: one row, left to right, narrower than an address.
    const int addressWidth = dialog.Control(1002)->width();
    int previousRight = 0;
    for (int id : CPallockDlg::frequencyFieldIds) {
        const QRect r = dialog.Control(id)->geometry();
        EXPECT_EQ(r.y(), dialog.Control(1007)->y()) << id;
        EXPECT_GT(r.x(), previousRight) << id;
        EXPECT_LT(r.width(), addressWidth / 2) << id;
        previousRight = r.right();
    }
    // Everything lies inside the window.
    for (auto* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(dialog.rect().contains(child->geometry())) << child->metaObject()->className();

    ASSERT_NE(dialog.AboutAction(), nullptr);
    EXPECT_EQ(dialog.AboutAction()->text(), "关于 Pallock(&A)...");
    EXPECT_FALSE(dialog.RunCommand(4242));
}

TEST_F(PallockDlgTest, LeadOutOfRangeIsRefusedAndTheLeadKept) {
    dialog.show();
    Type(1018, "25");
    dialog.RunCommand(CPallockDlg::IDC_SETTINGS);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("1") && messages[0].contains("21")) << messages[0].toStdString();
    EXPECT_EQ(dialog.focusWidget(), dialog.Control(1018));
    EXPECT_EQ(dialog.Detector().Lead(), 1);
    EXPECT_EQ(dialog.Fields().lead, 1);
    EXPECT_EQ(Text(1018), "1(Fp1)");

    messages.clear();
    Type(1018, "21");
    dialog.RunCommand(CPallockDlg::IDC_SETTINGS);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(dialog.Detector().Lead(), 21);
}

TEST_F(PallockDlgTest, RefusedEntryKeepsLaterMembers) {
    dialog.show();
    Type(1003, "5678");    // before the bad field: taken
    Type(1011, "eleven");  // refused
    Type(1012, "13");      // after it: kept as it was
    Type(1015, "2.5");
    Type(1018, "4");
    dialog.RunCommand(CPallockDlg::IDC_SETTINGS);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(dialog.focusWidget(), dialog.Control(1011));
    EXPECT_EQ(dialog.Fields().amplifierPort, 5678);
    EXPECT_EQ(dialog.Fields().stimulusFrequencies[3], 12.5);
    EXPECT_EQ(dialog.Fields().threshold, 0.0);
    EXPECT_EQ(dialog.Detector().Threshold(), 0.0);
    EXPECT_EQ(dialog.Detector().Lead(), 1);
    // The operation goes on with the members as they stand, and shows them.
    EXPECT_EQ(Text(1011), "11");
    EXPECT_EQ(Text(1012), "12.5");
}

TEST_F(PallockDlgTest, PortsMustBeWholeNumbersOfAPort) {
    for (const QString bad : {"70000", "0", "12ab", ""}) {
        messages.clear();
        Type(1009, bad);
        EXPECT_FALSE(dialog.TakeFields()) << bad.toStdString();
        EXPECT_EQ(messages.size(), 1);
        EXPECT_EQ(dialog.Fields().scoringPort, 4000);
    }
}

TEST_F(PallockDlgTest, SettingsShowTheSnappedFrequencies) {
    Type(1007, "10.2");
    Type(1010, "12.3");
    Type(1011, "10.74");
    Type(1012, "10.25");
    Type(1013, "12.2");
    dialog.RunCommand(CPallockDlg::IDC_SETTINGS);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Text(1007), "10");
    EXPECT_EQ(Text(1010), "12.5");
    EXPECT_EQ(Text(1011), "10.5");
    EXPECT_EQ(Text(1012), "10.5");
    EXPECT_EQ(Text(1013), "12");
    EXPECT_EQ(dialog.Detector().TargetBins(), (std::array<int, 6>{20, 25, 21, 21, 24, 21}));
}

TEST_F(PallockDlgTest, FrequencyOutOfRangeIsRefusedAndTheBinsKept) {
    const auto bins = dialog.Detector().TargetBins();
    Type(1013, "1000");
    dialog.RunCommand(CPallockDlg::IDC_SETTINGS);
    EXPECT_EQ(messages, QStringList{"刺激频率无效"});
    EXPECT_EQ(dialog.Detector().TargetBins(), bins);
    EXPECT_EQ(Text(1013), "11.5");  // the frequency still analysed
}

TEST_F(PallockDlgTest, LogLinesEndWithCarriageReturnLineFeed) {
    dialog.appendStatus("连接放大器成功!");
    dialog.appendStatus("ID01CH001");
    EXPECT_EQ(dialog.StatusLog(), "连接放大器成功!\r\nID01CH001\r\n");
    dialog.appendResult("No.2 Value:6.383");
    EXPECT_EQ(dialog.ResultLog(), "No.2 Value:6.383\r\n");
    EXPECT_EQ(qobject_cast<QPlainTextEdit*>(dialog.Control(1001))->toPlainText(), "连接放大器成功!\nID01CH001\n");
}

TEST_F(PallockDlgTest, NewestLineStaysInView) {
    dialog.show();
    auto* box = qobject_cast<QPlainTextEdit*>(dialog.Control(1017));
    for (int i = 1; i <= 60; ++i) dialog.appendResult(QString("No.%1 Value:0.000").arg(i % 6 + 1));
    EXPECT_GT(box->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(box->verticalScrollBar()->value(), box->verticalScrollBar()->maximum());
    EXPECT_EQ(dialog.ResultLog().count("\r\n"), 60);
}

// Enter in a field applies the fields as "设置" does; Escape does nothing.
// The window stays open either way.
TEST_F(PallockDlgTest, EnterAppliesTheFieldsAndEscapeDoesNothing) {
    struct Case {
        int field;
        QString typed;
        Qt::Key key;
        QString shownAfter;
        int lead;
        int messages;
    };
    const Case cases[] = {
        {1018, "0", Qt::Key_Return, "1(Fp1)", 1, 1},  {1018, "3", Qt::Key_Return, "3(F3)", 3, 0},
        {1010, "12.3", Qt::Key_Enter, "12.5", 1, 0},  {1015, "0.5", Qt::Key_Escape, "0.5", 1, 0},
        {1018, "4", Qt::Key_Escape, "4", 1, 0},
    };
    for (const Case& c : cases) {
        CPallockDlg fresh;
        QStringList shown;
        fresh.SetMessageSink([&shown](const QString& text) { shown << text; });
        fresh.show();
        qobject_cast<QLineEdit*>(fresh.Control(c.field))->setText(c.typed);
        QTest::keyClick(fresh.Control(c.field), c.key);
        const std::string what = std::to_string(c.field) + " " + c.typed.toStdString();
        EXPECT_TRUE(fresh.isVisible()) << what;
        EXPECT_EQ(qobject_cast<QLineEdit*>(fresh.Control(c.field))->text(), c.shownAfter) << what;
        EXPECT_EQ(fresh.Detector().Lead(), c.lead) << what;
        EXPECT_EQ(shown.size(), c.messages) << what;
    }
}

TEST_F(PallockDlgTest, MethodAndLeadsTakeEffectWhenTheFieldsAreTaken) {
    auto* method = qobject_cast<QComboBox*>(dialog.Control(CPallockDlg::IDC_METHOD));
    ASSERT_NE(method, nullptr);
    QStringList items;
    for (int i = 0; i < method->count(); ++i) items << method->itemText(i);
    EXPECT_EQ(items, (QStringList{"fft", "cca", "fbcca"}));
    EXPECT_EQ(method->currentText(), "fft");
    EXPECT_EQ(Text(CPallockDlg::IDC_LEADS), "11(O1),12(O2)") << "the multi-lead methods start on O1 and O2";
    EXPECT_EQ(qobject_cast<QLabel*>(dialog.Control(CPallockDlg::IDC_METHOD_LABEL))->text(), "方法");
    EXPECT_EQ(qobject_cast<QLabel*>(dialog.Control(CPallockDlg::IDC_LEADS_LABEL))->text(), "多导联");

    Type(CPallockDlg::IDC_LEAD, "4");
    Type(CPallockDlg::IDC_LEADS, "11, 12,13");
    method->setCurrentIndex(2);
    dialog.RunCommand(CPallockDlg::IDC_SETTINGS);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(dialog.Detector().Method(), SsvepMethod::Fbcca);
    EXPECT_EQ(dialog.Detector().Leads(), (std::vector<int>{11, 12, 13}));
    EXPECT_EQ(Text(CPallockDlg::IDC_LEADS), "11(O1),12(O2),13(F7)");
    // Back to fft, which reads the lead field.
    method->setCurrentIndex(0);
    dialog.RunCommand(CPallockDlg::IDC_CONNECT_SCORING);
    EXPECT_EQ(dialog.Detector().Method(), SsvepMethod::Fft);
    EXPECT_EQ(dialog.Detector().Leads(), (std::vector<int>{4}));
}

TEST_F(PallockDlgTest, LeadFieldsTakeElectrodeLabelsAndShowThemBesideTheNumbers) {
    const struct {
        const char* lead;
        const char* leads;
        int fftLead;
        std::vector<int> multiLeads;
        const char* leadShown;
        const char* leadsShown;
    } cases[] = {
        {"O1", "O1,O2", 11, {11, 12}, "11(O1)", "11(O1),12(O2)"},
        {"12", "p3, p4 ,o1", 12, {7, 8, 11}, "12(O2)", "7(P3),8(P4),11(O1)"},
        {"11(O1)", "21(Event),9", 11, {21, 9}, "11(O1)", "21(Event),9"},
    };
    for (const auto& c : cases) {
        Type(CPallockDlg::IDC_LEAD, c.lead);
        Type(CPallockDlg::IDC_LEADS, c.leads);
        dialog.RunCommand(CPallockDlg::IDC_SETTINGS);
        EXPECT_TRUE(messages.isEmpty()) << c.lead;
        EXPECT_EQ(dialog.Fields().lead, c.fftLead);
        EXPECT_EQ(dialog.Fields().leads, c.multiLeads);
        EXPECT_EQ(Text(CPallockDlg::IDC_LEAD), c.leadShown);
        EXPECT_EQ(Text(CPallockDlg::IDC_LEADS), c.leadsShown);
    }
    Type(CPallockDlg::IDC_LEAD, "Oz");
    EXPECT_FALSE(dialog.TakeFields());
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(dialog.Fields().lead, 11) << "the lead kept";
}

TEST_F(PallockDlgTest, BadLeadsAreRefusedAndTheLeadsKept) {
    dialog.show();
    for (const QString bad : {"0", "22", "3,3", "", "1,,2", "a"}) {
        messages.clear();
        Type(CPallockDlg::IDC_LEADS, bad);
        EXPECT_FALSE(dialog.TakeFields()) << bad.toStdString();
        EXPECT_EQ(messages.size(), 1);
        EXPECT_EQ(dialog.focusWidget(), dialog.Control(CPallockDlg::IDC_LEADS));
        EXPECT_EQ(dialog.Fields().leads, (std::vector<int>{11, 12}));
    }
}

TEST_F(PallockDlgTest, CorrelationMethodsAnalyseTheFrequenciesAsTyped) {
    qobject_cast<QComboBox*>(dialog.Control(CPallockDlg::IDC_METHOD))->setCurrentIndex(1);
    Type(1010, "12.3");
    dialog.RunCommand(CPallockDlg::IDC_SETTINGS);
    EXPECT_EQ(Text(1010), "12.3");
    EXPECT_EQ(dialog.Detector().AnalysedFrequencies()[1], 12.3);
}

TEST_F(PallockDlgTest, StartUpValuesPutRateMethodAndLeadsInForce) {
    PallockFields values;
    values.method = SsvepMethod::Cca;
    values.lead = 11;
    values.leads = {11, 12};
    values.sampleRate = 256;
    dialog.ApplyFields(values);
    EXPECT_EQ(dialog.Detector().SampleRate(), 256);
    EXPECT_EQ(dialog.Detector().Method(), SsvepMethod::Cca);
    EXPECT_EQ(dialog.Detector().Leads(), (std::vector<int>{11, 12}));
    EXPECT_EQ(qobject_cast<QComboBox*>(dialog.Control(CPallockDlg::IDC_METHOD))->currentText(), "cca");
    EXPECT_EQ(Text(CPallockDlg::IDC_LEADS), "11(O1),12(O2)");
}

TEST_F(PallockDlgTest, SendCommandUnconnectedShowsMessageOnly) {
    dialog.RunCommand(CPallockDlg::IDC_SEND_COMMAND);
    EXPECT_EQ(messages, QStringList{"尚未连接评分系统"});
    EXPECT_TRUE(dialog.StatusLog().isEmpty());
}

TEST(DecisionTexts, ReadOrRefusedField) {
    struct Case {
        DecisionTexts texts;
        std::optional<DecisionField> refused;
    };
    const Case cases[] = {
        {{"", "1", "", "", "", false}, std::nullopt},
        {{"0x800B", "0.5", "1:0.25:3", "0.3", "20", true}, std::nullopt},
        {{" 32779 ", "1", " ", "", "0", false}, std::nullopt},
        {{"0x", "1", "", "", "", false}, DecisionField::Cue},
        {{"-5", "1", "", "", "", false}, DecisionField::Cue},
        {{"", "", "", "", "", false}, DecisionField::Offset},
        {{"", "-1", "", "", "", false}, DecisionField::Offset},
        {{"", "61", "", "", "", false}, DecisionField::Offset},
        {{"", "1", "3:1:1", "", "", false}, DecisionField::Dynamic},
        {{"", "1", "", "-0.1", "", false}, DecisionField::Margin},
        {{"", "1", "", "x", "", false}, DecisionField::Margin},
        {{"", "1", "", "", "1001", false}, DecisionField::Adapt},
        {{"", "1", "", "", "2.5", false}, DecisionField::Adapt},
    };
    for (const Case& c : cases) {
        const DecisionReading reading = ReadDecisionTexts(c.texts);
        EXPECT_EQ(reading.rules.has_value(), !c.refused) << c.texts.cue << "|" << c.texts.offset << "|"
                                                         << c.texts.dynamic << "|" << c.texts.margin << "|"
                                                         << c.texts.adapt;
        if (c.refused) {
            EXPECT_EQ(reading.refused, *c.refused) << c.texts.offset;
        } else {
            // What is shown reads back as the same rules.
            EXPECT_EQ(ReadDecisionTexts(DecisionTextsOf(*reading.rules)).rules, reading.rules);
        }
    }
    const DecisionReading full = ReadDecisionTexts({"0x800B", "0.5", "1:0.25:3", "0.3", "20", true});
    ASSERT_TRUE(full.rules);
    EXPECT_EQ(full.rules->cue, 0x800B);
    EXPECT_EQ(full.rules->offsetSeconds, 0.5);
    EXPECT_EQ(full.rules->dynamic, (DynamicRange{1.0, 0.25, 3.0}));
    EXPECT_EQ(full.rules->margin, 0.3);
    EXPECT_EQ(full.rules->adaptResults, 20);
    EXPECT_TRUE(full.rules->abstainAtEnd);
    EXPECT_TRUE(ReadDecisionTexts({"", "1", "", "", "", false}).rules->Plain());
}

TEST_F(PallockDlgTest, DecisionFieldsTakeEffectOnSettingsAndARefusalKeepsTheRules) {
    EXPECT_EQ(Text(DecisionPanel::IDC_OFFSET), "1");
    EXPECT_EQ(Text(DecisionPanel::IDC_CUE), "");
    Type(DecisionPanel::IDC_CUE, "0x800b");
    Type(DecisionPanel::IDC_DYNAMIC, "1:0.25:3");
    Type(DecisionPanel::IDC_MARGIN, "0.3");
    Type(DecisionPanel::IDC_ADAPT, "20");
    qobject_cast<QCheckBox*>(dialog.Control(DecisionPanel::IDC_ABSTAIN))->setChecked(true);
    dialog.RunCommand(CPallockDlg::IDC_SETTINGS);
    EXPECT_TRUE(messages.isEmpty());
    const DecisionRules& rules = dialog.Detector().Rules();
    EXPECT_EQ(rules.cue, 0x800B);
    EXPECT_EQ(rules.dynamic, (DynamicRange{1.0, 0.25, 3.0}));
    EXPECT_EQ(rules.margin, 0.3);
    EXPECT_EQ(rules.adaptResults, 20);
    EXPECT_TRUE(rules.abstainAtEnd);
    EXPECT_EQ(Text(DecisionPanel::IDC_CUE), "0x800B");

    dialog.show();
    Type(DecisionPanel::IDC_DYNAMIC, "3:0.25:1");
    dialog.RunCommand(CPallockDlg::IDC_SETTINGS);
    EXPECT_EQ(messages, QStringList{"判决参数无效"});
    EXPECT_EQ(dialog.focusWidget(), dialog.Control(DecisionPanel::IDC_DYNAMIC));
    EXPECT_EQ(dialog.Detector().Rules().dynamic, (DynamicRange{1.0, 0.25, 3.0}));

    PallockFields values;
    values.rules.margin = 0.17;
    dialog.ApplyFields(values);
    EXPECT_EQ(Text(DecisionPanel::IDC_MARGIN), "0.17");
    EXPECT_EQ(Text(DecisionPanel::IDC_DYNAMIC), "");
    EXPECT_EQ(dialog.Detector().Rules(), values.rules);
    EXPECT_EQ(qobject_cast<QLabel*>(dialog.Control(DecisionPanel::IDC_RUN_FIGURES))->text(),
              "判断 0 次，弃权 0 次，平均 0.00 秒");
}

}  // namespace
