// Both programs' windows in each interface language: under --lang en no
// Chinese character is left in any text a user sees; under zh (the default)
// the texts are the Chinese ones, as written.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTranslator>

#include <array>
#include <ostream>
#include <functional>
#include <memory>

#include "acquisition/display/impedance_range_dialog.h"
#include "acquisition/display/lead_selection_dialog.h"
#include "acquisition/settings/settings_dlg.h"
#include "acquisition/shell/about_box.h"
#include "acquisition/shell/core_texts.h"
#include "acquisition/shell/export_dialog.h"
#include "acquisition/shell/main_frame.h"
#include "common/qt_desktop.h"
#include "pallock_dlg.h"
#include "support/scripted_amplifier.h"

namespace {

// Installs a program's language for one scope, and takes it out again, so
// the next case starts from the sources' texts.
class LanguageScope {
public:
    LanguageScope(InterfaceLanguage language, const QString& program) {
        before_ = Translators();
        EXPECT_TRUE(InstallInterfaceLanguage(*QCoreApplication::instance(), language, program));
    }
    ~LanguageScope() {
        for (QTranslator* translator : Translators()) {
            if (!before_.contains(translator)) {
                QCoreApplication::removeTranslator(translator);
                delete translator;
            }
        }
    }

private:
    static QList<QTranslator*> Translators() { return QCoreApplication::instance()->findChildren<QTranslator*>(); }
    QList<QTranslator*> before_;
};

// Every text the window shows or offers: titles, labels, buttons, fields'
// hints, list entries, tooltips, menus and their actions.
QStringList ShownTexts(QWidget& window) {
    QStringList texts{window.windowTitle()};
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.push_back(&window);
    for (QWidget* widget : widgets) {
        texts << widget->toolTip() << widget->windowTitle();
        if (auto* label = qobject_cast<QLabel*>(widget)) texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) texts << button->text();
        if (auto* group = qobject_cast<QGroupBox*>(widget)) texts << group->title();
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) texts << edit->placeholderText();
        if (auto* menu = qobject_cast<QMenu*>(widget)) texts << menu->title();
        if (auto* box = qobject_cast<QComboBox*>(widget))
            for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
        for (const QAction* action : widget->actions()) texts << action->text() << action->toolTip();
    }
    return texts;
}

QStringList Chinese(const QStringList& texts) {
    static const QRegularExpression han(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    return texts.filter(han);
}

struct Window {
    const char* name;
    const char* program;
    std::function<std::unique_ptr<QWidget>()> make;
    QString chineseText;  // one text the window shows in Chinese
};

void PrintTo(const Window& window, std::ostream* out) { *out << window.name; }

// What the windows need around them.
FilePlaybackSource playback;
ScriptedAmplifier amplifier;
std::array<int, 32> leadFlags{};
std::array<ChannelRecord, 17> records{};
std::atomic<int> impedanceLow{0}, impedanceHigh{100};

const Window kWindows[] = {
    {"MainFrame", "vostrel", [] { return std::make_unique<CMainFrame>(playback, amplifier); }, "开始(&B)"},
    {"Settings", "vostrel", [] { return std::make_unique<CSettingsDlg>(); }, "放大器类型"},
    {"About", "vostrel", [] { return std::make_unique<CAboutBox>(); }, "版权所有 (C) 2026"},
    {"ImpedanceRange", "vostrel",
     [] { return std::make_unique<CImpedanceRangeDialog>(impedanceLow, impedanceHigh); }, "最小值"},
    {"LeadSelection", "vostrel", [] { return std::make_unique<CLeadSelectionDialog>(leadFlags, records, 17); },
     "全部取消"},
    {"Export", "vostrel", [] { return std::make_unique<ExportDialog>(ExportRequest{}); }, "微伏/计数:"},
    {"Pallock", "pallock", [] { return std::make_unique<CPallockDlg>(); }, "SSVEP BCI参数设定"},
};

class InterfaceLanguageTest : public ::testing::TestWithParam<Window> {};

TEST_P(InterfaceLanguageTest, EnglishLeavesNoChineseAndChineseStaysAsWritten) {
    const Window& window = GetParam();
    {
        const LanguageScope english(InterfaceLanguage::English, window.program);
        const std::unique_ptr<QWidget> shown = window.make();
        const QStringList texts = ShownTexts(*shown);
        EXPECT_FALSE(texts.contains(window.chineseText));
        EXPECT_EQ(Chinese(texts).join(" | ").toStdString(), "");
        // Qt's own dialogs too.
        EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"), "Save As");
    }
    const LanguageScope chinese(InterfaceLanguage::Chinese, window.program);
    const std::unique_ptr<QWidget> shown = window.make();
    EXPECT_TRUE(ShownTexts(*shown).contains(window.chineseText));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"), "另存为");
}

INSTANTIATE_TEST_SUITE_P(Windows, InterfaceLanguageTest, ::testing::ValuesIn(kWindows),
                         [](const auto& info) { return std::string(info.param.name); });

// The core's messages: pieces translated with their numbers, the rest kept.
TEST(CoreTexts, TranslatedPieceByPieceInEnglishOnly) {
    struct Case {
        QString message, english;
    };
    const Case cases[] = {
        {"放大器打开失败: USB 串口 (未找到 USB 串口)",
         "Cannot open the amplifier: USB serial port (no USB serial port found)"},
        {"放大器打开失败: fake (无法设置波特率 921600)", "Cannot open the amplifier: fake (cannot set baud rate 921600)"},
        {"导联数 20 超出放大器的数据帧：数据包大小 40 时最多 12 导联",
         "20 channels exceed the amplifier's frame: at packet size 40 at most 12 channels"},
        {"电极位置文件打开失败: /tmp/a 12/kestrom.dll (No such file or directory)",
         "Cannot open the electrode file: /tmp/a 12/kestrom.dll (No such file or directory)"},
        {"数据写入失败", "Cannot write the data"},
        {"something else: 12", "something else: 12"},
    };
    {
        const LanguageScope english(InterfaceLanguage::English, "vostrel");
        for (const Case& c : cases) EXPECT_EQ(TranslatedCoreText(c.message), c.english) << c.message.toStdString();
    }
    const LanguageScope chinese(InterfaceLanguage::Chinese, "vostrel");
    for (const Case& c : cases) EXPECT_EQ(TranslatedCoreText(c.message), c.message) << c.message.toStdString();
}

}  // namespace
