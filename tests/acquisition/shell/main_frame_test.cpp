#include "acquisition/shell/main_frame.h"

#include <gtest/gtest.h>

#include <QTcpSocket>
#include <QTest>

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QEventLoop>
#include <QTimer>
#include <QTest>

#include "support/scripted_amplifier.h"
#include "acquisition/shell/command_texts.h"
#include "acquisition/shell/main_tool_bar.h"
#include "acquisition/shell/qt_application.h"
#include "acquisition/shell/toolbar_images.h"
#include "acquisition/shell/vostrel_view.h"
#include "support/temp_dir.h"

QT_APPLICATION_FOR_TESTS;

namespace {

using namespace command;

// One entry per menu item: its id (0 for a separator) and label; a sub-menu
// is its title with id -1.
struct Item {
    int id;
    QString label;
    bool operator==(const Item&) const = default;
};

std::vector<Item> Items(const QMenu* menu) {
    std::vector<Item> items;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            items.push_back({0, {}});
        } else if (action->menu()) {
            items.push_back({-1, action->menu()->title()});
        } else {
            items.push_back({CommandId(action), action->text()});
        }
    }
    return items;
}

QMenu* SubMenu(const QMenu* menu, const QString& title) {
    for (const QAction* action : menu->actions()) {
        if (action->menu() && action->menu()->title() == title) return action->menu();
    }
    return nullptr;
}

class MainFrame : public ::testing::Test {
protected:
    MainFrame() : frame(playback, amplifier) {}

    CommandTable& Commands() { return frame.View()->Commands(); }
    AcquisitionEngine& Engine() { return frame.View()->Engine(); }

    std::vector<int> EnabledOf(std::initializer_list<int> ids) {
        Commands().UpdateEnabled();
        std::vector<int> enabled;
        for (int id : ids) {
            if (Commands().Action(id)->isEnabled()) enabled.push_back(id);
        }
        return enabled;
    }

    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    CMainFrame frame;
};

TEST_F(MainFrame, MenusAreInTheirOrderWithLabelsAndIds) {
    const QList<QAction*> bar = frame.menuBar()->actions();
    ASSERT_EQ(bar.size(), 3);
    EXPECT_EQ(bar[0]->text(), "&File");
    EXPECT_EQ(bar[1]->text(), "&Tools");
    EXPECT_EQ(bar[2]->text(), "&Help");

    const std::vector<Item> file{{kSettings, "设置(&S)..."}, {0, {}},           {kStart, "开始(&B)"},
                                 {kPause, "暂停(&P)"},      {kStop, "停止(&H)"}, {kSaveData, "存储数据(&R)"},
                                 {kMarker1, "插入标记(&M)"},
                                 {kExportRecording, "导出 BDF+/EDF+/GDF(&E)..."},  {0, {}},
                                 {kExit, "退出(&X)"}};
    EXPECT_EQ(Items(bar[0]->menu()), file);

    const QMenu* tools = bar[1]->menu();
    const std::vector<Item> toolItems{{-1, "增益(&G)"},
                                      {-1, "时间(&T)"},
                                      {kLeadSettings, "导联设置"},
                                      {kImpedance, "阻抗/波形"},
                                      {kImpedanceRange, "阻抗范围"}};
    EXPECT_EQ(Items(tools), toolItems);
    const std::vector<Item> gain{{kDoubleGain, "放大(&O)"}, {kHalveGain, "减小(&I)"}, {kAutoGain, "自动增益(&A)"}};
    EXPECT_EQ(Items(SubMenu(tools, "增益(&G)")), gain);
    const std::vector<Item> time{{kFewerSeconds, "增加(&P)"}, {kMoreSeconds, "减少(&D)"}};
    EXPECT_EQ(Items(SubMenu(tools, "时间(&T)")), time);

    const std::vector<Item> help{{kAbout, "关于 Vostrel(&A)..."}};
    EXPECT_EQ(Items(bar[2]->menu()), help);
}

TEST_F(MainFrame, ToolbarHasElevenButtonsWithSeparatorsAndTooltips) {
    struct Button {
        int id;
        QString toolTip;
        bool operator==(const Button&) const = default;
    };
    std::vector<Button> buttons;
    for (QAction* action : frame.ToolBar()->actions()) {
        buttons.push_back(action->isSeparator() ? Button{0, {}} : Button{CommandId(action), action->toolTip()});
    }
    const std::vector<Button> expected{
        {kStart, "开始 (F5)"},   {kSaveData, "存储数据 (Ctrl+R)"}, {kStop, "停止 (Shift+F5)"}, {0, {}},
        {kDoubleGain, "放大"},   {kHalveGain, "缩小"},        {kAutoGain, "自动"},      {0, {}},
        {kMoreSeconds, "时间增少"}, {kFewerSeconds, "时间增加"}, {kImpedance, "阻抗/波形"}, {0, {}},
        {kServer, ""},           {0, {}},                {kMarker1, "插入标记 (1)"},
    };
    EXPECT_EQ(buttons, expected);
    EXPECT_EQ(frame.ToolBar()->iconSize(), QSize(32, 32));
}

TEST_F(MainFrame, StartStopRecordAndSettingsHaveShortcutsShownInTheirTooltips) {
    const std::pair<int, const char*> shortcuts[] = {
        {kSettings, "Ctrl+,"}, {kStart, "F5"}, {kStop, "Shift+F5"}, {kSaveData, "Ctrl+R"}, {kMarker1, "1"}, {kMarker9, "9"}};
    for (const auto& [id, keys] : shortcuts) {
        EXPECT_EQ(Commands().Action(id)->shortcut(), QKeySequence(keys)) << id;
        EXPECT_TRUE(Commands().Action(id)->toolTip().endsWith(QStringLiteral(" (%1)").arg(keys))) << id;
    }
    EXPECT_EQ(Commands().Action(kSettings)->toolTip(), "设置 (Ctrl+,)");
}

TEST_F(MainFrame, TheRecordingPaneShowsTheFileAndTimeOnlyWhileRecording) {
    TempDir dir;
    frame.show();
    EXPECT_EQ(frame.RecordingPane()->objectName(), "32851");
    EXPECT_FALSE(frame.RecordingPane()->isVisible());
    ASSERT_TRUE(Commands().Trigger(kStart));
    const auto path = dir.File("take1.EOL");
    ASSERT_TRUE(frame.View()->SaveData().RecordTo(path));
    frame.UpdateRecordingPane();
    EXPECT_TRUE(frame.RecordingPane()->isVisible());
    EXPECT_TRUE(frame.RecordingPane()->text().startsWith("存储数据: take1.EOL 00:00:0"))
        << frame.RecordingPane()->text().toStdString();
    EXPECT_EQ(frame.RecordingPane()->toolTip().toStdString(), path);
    ASSERT_TRUE(Commands().Trigger(kStop));
    frame.UpdateRecordingPane();
    EXPECT_FALSE(frame.RecordingPane()->isVisible());
}

TEST(RecordingPaneText, ShowsTheFileNameAndHoursMinutesSeconds) {
    using std::chrono::seconds;
    const std::pair<seconds, QString> cases[] = {{seconds(0), "00:00:00"},
                                                 {seconds(65), "00:01:05"},
                                                 {seconds(3725), "01:02:05"},
                                                 {seconds(360000), "100:00:00"}};
    for (const auto& [elapsed, clock] : cases)
        EXPECT_EQ(RecordingPaneText("/data/s1/take1.EOL", elapsed), "存储数据: take1.EOL " + clock);
}

TEST_F(MainFrame, EnableRulesFollowAcquisitionAndRecording) {
    TempDir dir;
    const std::initializer_list<int> mine{kSettings, kStart, kPause, kStop, kSaveData, kExit, kImpedance};

    const std::vector<int> idle{kSettings, kStart, kExit, kImpedance};
    EXPECT_EQ(EnabledOf(mine), idle);

    ASSERT_TRUE(Commands().Trigger(kStart));
    ASSERT_TRUE(Engine().Running());
    const std::vector<int> acquiring{kStop, kSaveData, kExit, kImpedance};
    EXPECT_EQ(EnabledOf(mine), acquiring);

    ASSERT_TRUE(frame.View()->SaveData().RecordTo(dir.File("r.EOL")));
    const std::vector<int> recording{kStop, kSaveData, kExit, kImpedance};  // Ctrl+R ends it
    EXPECT_EQ(EnabledOf(mine), recording);

    ASSERT_TRUE(Commands().Trigger(kStop));
    EXPECT_EQ(EnabledOf(mine), idle);
    EXPECT_FALSE(Engine().Recording());
}

TEST_F(MainFrame, PauseHasNoHandlerAndStaysDisabled) {
    ASSERT_TRUE(Commands().Trigger(kStart));
    EXPECT_FALSE(Commands().Trigger(kPause));
    EXPECT_FALSE(Commands().Action(kPause)->isEnabled());
    Commands().Trigger(kStop);
}

TEST_F(MainFrame, DisplayAndServerCommandsAreWiredToTheView) {
    const std::initializer_list<int> wired{kDoubleGain, kHalveGain, kAutoGain, kFewerSeconds,
                                           kMoreSeconds, kLeadSettings, kImpedanceRange, kServer};
    EXPECT_EQ(EnabledOf(wired), (std::vector<int>{kImpedanceRange, kServer}));
    ASSERT_TRUE(Commands().Trigger(kStart));
    EXPECT_EQ(EnabledOf(wired), std::vector<int>(wired));

    ASSERT_TRUE(Commands().Trigger(kDoubleGain));
    EXPECT_EQ(frame.View()->WaveWindow()->Gain(), 2.0);
    ASSERT_TRUE(Commands().Trigger(kFewerSeconds));
    EXPECT_EQ(frame.View()->WaveWindow()->SecondsPerScreen(), 3);
    Commands().Trigger(kStop);

    frame.View()->Server().SetListenAddress(QStringLiteral("127.0.0.1"), 0);
    ASSERT_TRUE(Commands().Trigger(kServer));
    EXPECT_EQ(frame.Pane(CMainFrame::kServerPane)->text(), QStringLiteral("正在监听"));
    const QString first = QString::number(frame.View()->Server().ListeningPort());
    EXPECT_NE(first, "0");
    EXPECT_EQ(frame.Pane(CMainFrame::kServerPane)->toolTip(), "正在监听端口 " + first);
    ASSERT_TRUE(Commands().Trigger(kServer));  // a second socket, on another free port
    const QString second = QString::number(frame.View()->Server().ListeningPort());
    EXPECT_EQ(frame.Pane(CMainFrame::kServerPane)->toolTip(), "正在监听端口 " + first + ", " + second);

    // Whoever holds the stream's one slot is named, until it leaves.
    auto client = std::make_unique<QTcpSocket>();
    client->connectToHost(QStringLiteral("127.0.0.1"), frame.View()->Server().ListeningPort());
    ASSERT_TRUE(client->waitForConnected(5000));
    const QString named = QStringLiteral("\n客户端 127.0.0.1:%1").arg(client->localPort());
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame.Pane(CMainFrame::kServerPane)->toolTip().endsWith(named); }, 5000))
        << frame.Pane(CMainFrame::kServerPane)->toolTip().toStdString();
    client.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame.Pane(CMainFrame::kServerPane)->toolTip().contains("客户端"); }, 5000));
}

TEST_F(MainFrame, CommandsRegisteredLaterFollowTheirRule) {
    int doubled = 0;
    Commands().Register(kDoubleGain, [&] { ++doubled; }, [this] { return Engine().Running(); });
    EXPECT_FALSE(Commands().Trigger(kDoubleGain));
    ASSERT_TRUE(Commands().Trigger(kStart));
    EXPECT_TRUE(Commands().Action(kDoubleGain)->isEnabled());
    Commands().Action(kDoubleGain)->trigger();
    EXPECT_EQ(doubled, 1);
    Commands().Trigger(kStop);
    EXPECT_FALSE(Commands().Action(kDoubleGain)->isEnabled());
}

TEST_F(MainFrame, OpeningAMenuRefreshesItsItems) {
    QMenu* file = frame.menuBar()->actions()[0]->menu();
    Engine().StartWaveform();  // behind the table's back
    EXPECT_TRUE(Commands().Action(kStart)->isEnabled());
    Q_EMIT file->aboutToShow();
    EXPECT_FALSE(Commands().Action(kStart)->isEnabled());
    EXPECT_TRUE(Commands().Action(kStop)->isEnabled());
    Engine().StopAcquisition();
}

// Runs a real event loop, which goes idle between its events, until done()
// holds; false if it never does.
bool RunEventLoopUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(30000, &loop, [&] { loop.exit(1); });
    poll.start(10);
    return loop.exec() == 0;
}

TEST_F(MainFrame, AnIdleEventLoopRefreshesTheCommands) {
    Engine().StartWaveform();  // behind the table's back
    EXPECT_TRUE(Commands().Action(kStart)->isEnabled());
    EXPECT_TRUE(RunEventLoopUntil([this] { return !Commands().Action(kStart)->isEnabled(); }));
    EXPECT_TRUE(Commands().Action(kStop)->isEnabled());
    Engine().StopAcquisition();
    EXPECT_TRUE(RunEventLoopUntil([this] { return Commands().Action(kStart)->isEnabled(); }));
}

TEST_F(MainFrame, WhileImpedancesAreMeasuredTheMessagePaneNamesTheHighest) {
    ASSERT_TRUE(Commands().Trigger(kImpedance));
    amplifier.Release(2);
    ASSERT_TRUE(amplifier.WaitForRead(3));
    // The panes follow a poll a few times a second.
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Pane(0)->text() != "就绪"; }, 5000));
    const QString text = frame.Pane(0)->text();
    EXPECT_TRUE(text.startsWith("最高阻抗 ") && text.contains("(11) ") && text.endsWith(" kΩ")) << text.toStdString();
    ASSERT_TRUE(Commands().Trigger(kImpedance));  // back to the waveforms
    EXPECT_EQ(frame.Pane(0)->text(), "就绪");
    Commands().Trigger(kStop);
}

TEST_F(MainFrame, AnIdleWindowRunsNoTimer) {
    // Neither the displays nor the lock-key panes poll while nothing happens.
    QCoreApplication::processEvents();
    for (const QTimer* timer : frame.findChildren<QTimer*>())
        EXPECT_FALSE(timer->isActive()) << timer->objectName().toStdString() << " every " << timer->interval() << " ms";
}

TEST_F(MainFrame, StatusBarHasFourPanesAndTheServerPaneCanBeSet) {
    EXPECT_EQ(frame.Pane(0)->text(), "就绪");
    EXPECT_EQ(frame.Pane(2)->text(), QString(35, ' '));
    const QFontMetrics metrics(frame.Pane(2)->font());
    EXPECT_GE(frame.Pane(2)->minimumWidth(), metrics.horizontalAdvance(QString(35, ' ')));
    EXPECT_EQ(frame.Pane(1)->objectName(), "59137");
    EXPECT_EQ(frame.Pane(2)->objectName(), "32792");
    EXPECT_EQ(frame.Pane(3)->objectName(), "59139");
    EXPECT_EQ(frame.Pane(4), nullptr);

    frame.View()->SetServerStatus("正在监听");
    EXPECT_EQ(frame.Pane(2)->text(), "正在监听");
}

TEST(AmplifierPane, SaysTheLinkStateAndTheFramesLost) {
    struct Row {
        EngineHealth health;
        bool running;
        bool playback;
        const char* text;
    };
    const Row rows[] = {
        {{LinkState::NoDevice, false, 0}, false, false, "无放大器  丢帧 0"},
        {{LinkState::Connecting, false, 0}, true, false, "正在连接  丢帧 0"},
        {{LinkState::Acquiring, false, 12}, true, false, "正在采集  丢帧 12"},
        {{LinkState::Acquiring, false, 0}, true, true, "正在回放  丢帧 0"},
        {{LinkState::Acquiring, true, 3}, true, false, "无数据  丢帧 3"},
        {{LinkState::Disconnected, false, 40}, true, false, "连接断开  丢帧 40"},
        {{LinkState::Idle, false, 40}, false, false, "已停止  丢帧 40"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CVostrelView::LinkText(row.health, row.running, row.playback), QString::fromUtf8(row.text));
    }
}

TEST_F(MainFrame, TheAmplifierPaneFollowsStartAndStop) {
    EXPECT_EQ(frame.AmplifierPane()->objectName(), "32850");
    EXPECT_EQ(frame.AmplifierPane()->text(), "");
    Commands().Trigger(kStart);
    EXPECT_TRUE(frame.AmplifierPane()->text().endsWith("丢帧 0")) << frame.AmplifierPane()->text().toStdString();
    Commands().Trigger(kStop);
    EXPECT_EQ(frame.AmplifierPane()->text(), "已停止  丢帧 0");
}

TEST_F(MainFrame, ViewFillsTheWindowBetweenToolbarAndStatusBar) {
    frame.resize(800, 600);
    frame.show();
    const QRect view = frame.View()->geometry();
    EXPECT_GE(view.top(), frame.ToolBar()->geometry().bottom());
    EXPECT_LE(view.bottom(), frame.statusBar()->geometry().top());
    EXPECT_EQ(frame.View()->WaveWindow()->geometry(), QRect(QPoint(0, 0), view.size()));
}

// Toolbar images.

TEST(ToolbarStrips, AreTenImagesOnTheirGreyAndHotEqualsNormal) {
    const QImage normal = LoadBitmapResource(bitmap::kToolbarNormal);
    const QImage hot = LoadBitmapResource(bitmap::kToolbarHot);
    const QImage disabled = LoadBitmapResource(bitmap::kToolbarDisabled);
    ASSERT_EQ(normal.size(), QSize(320, 32));
    EXPECT_EQ(normal.depth(), 24);
    EXPECT_EQ(normal, hot);
    EXPECT_EQ(disabled.size(), QSize(320, 32));
    EXPECT_EQ(normal.pixelColor(0, 0), QColor(212, 208, 200));
    EXPECT_EQ(disabled.pixelColor(0, 0), QColor(199, 199, 199));
    // The disabled strip is grey throughout.
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 320; ++x) {
            const QColor c = disabled.pixelColor(x, y);
            ASSERT_TRUE(c.red() == c.green() && c.green() == c.blue()) << x << "," << y;
        }
    }
    // Start is green, save data red, stop black, at their centres.
    EXPECT_GT(normal.pixelColor(14, 16).green(), 150);
    EXPECT_EQ(normal.pixelColor(14, 16).red(), 0);
    EXPECT_GT(normal.pixelColor(32 + 16, 16).red(), 200);
    EXPECT_EQ(normal.pixelColor(64 + 16, 16), QColor(0, 0, 0));
}

TEST(ToolbarStrips, AreCutFromTheLeftWithTheFirstPixelTransparent) {
    QImage strip(70, 20, QImage::Format_RGB888);
    strip.fill(QColor(1, 2, 3));
    strip.setPixelColor(30, 10, Qt::red);
    const auto images = MainToolBar::BuildImageList(strip, 32);
    ASSERT_EQ(images.size(), 2u);  // 70 / 32: the rest is dropped
    EXPECT_EQ(images[0].size(), QSize(32, 20));
    const QImage mask = images[0].mask().toImage();
    EXPECT_EQ(mask.pixelIndex(0, 0), mask.pixelIndex(5, 5));
    EXPECT_NE(mask.pixelIndex(30, 10), mask.pixelIndex(0, 0));
    EXPECT_TRUE(MainToolBar::BuildImageList(QImage(), 32).empty());
}

TEST(ToolbarImages, ListsInstalledBeforeAFailureStay) {
    MainToolBar bar;
    for (int i = 0; i < 10; ++i) bar.addAction(QString::number(i));
    bar.UsePlaceholderImages();
    bar.SetBitmapLoader([](int id) { return id == bitmap::kToolbarDisabled ? QImage() : LoadBitmapResource(id); });
    EXPECT_FALSE(bar.SetTrueColorImages(32, bitmap::kToolbarNormal, bitmap::kToolbarHot, bitmap::kToolbarDisabled));
    EXPECT_EQ(bar.Images(QIcon::Normal).size(), 10u);
    EXPECT_EQ(bar.Images(QIcon::Active).size(), 10u);
    EXPECT_TRUE(bar.Images(QIcon::Disabled).empty());
    EXPECT_EQ(bar.actions()[0]->icon().pixmap(32, 32).toImage(), bar.Images(QIcon::Normal)[0].toImage());
}

TEST(ToolbarImages, WithoutTheNormalStripButtonsKeepTheirPlaceholders) {
    MainToolBar bar;
    for (int i = 0; i < 10; ++i) bar.addAction(QString::number(i));
    bar.UsePlaceholderImages();
    bar.SetBitmapLoader([](int) { return QImage(); });
    EXPECT_FALSE(bar.SetTrueColorImages(32, bitmap::kToolbarNormal, bitmap::kToolbarHot, bitmap::kToolbarDisabled));
    EXPECT_TRUE(bar.Images(QIcon::Normal).empty());
    EXPECT_EQ(bar.actions()[0]->icon().availableSizes().front(), QSize(5, 27));

    // No disabled strip asked for: the other two are enough.
    bar.SetBitmapLoader(LoadBitmapResource);
    EXPECT_TRUE(bar.SetTrueColorImages(32, bitmap::kToolbarNormal, bitmap::kToolbarHot, 0));
    EXPECT_EQ(bar.Images(QIcon::Active).size(), 10u);
    EXPECT_TRUE(bar.Images(QIcon::Disabled).empty());
}

}  // namespace
