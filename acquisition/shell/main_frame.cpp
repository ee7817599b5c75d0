#include "acquisition/shell/main_frame.h"

#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QKeyEvent>

#include "acquisition/shell/command_texts.h"
#include "acquisition/shell/main_tool_bar.h"
#include "acquisition/shell/toolbar_images.h"
#include "acquisition/shell/vostrel_view.h"
#include "acquisition/shell/lock_keys.h"

CMainFrame::CMainFrame(FilePlaybackSource& playback, ModalAmplifier& amplifier, QWidget* parent)
    : QMainWindow(parent) {
    view_ = new CVostrelView(playback, amplifier, this);
    setCentralWidget(view_);
    setWindowIcon(ProgramIcon());
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();

    CommandTable& commands = view_->Commands();
    commands.Register(command::kExit, [this] { close(); });
    commands.UpdateWhenIdle();
}

QMenu* CMainFrame::AddMenu(QMenu* parent, const QString& title) {
    QMenu* menu = parent ? parent->addMenu(title) : menuBar()->addMenu(title);
    // Enable rules are looked at whenever a menu opens.
    connect(menu, &QMenu::aboutToShow, &view_->Commands(), &CommandTable::UpdateEnabled);
    return menu;
}

void CMainFrame::AddCommand(QMenu* menu, int id) { menu->addAction(view_->Commands().Action(id)); }

void CMainFrame::CreateMenus() {
    using namespace command;
    QMenu* file = AddMenu(nullptr, QStringLiteral("&File"));
    AddCommand(file, kSettings);
    file->addSeparator();
    AddCommand(file, kStart);
    AddCommand(file, kPause);
    AddCommand(file, kStop);
    AddCommand(file, kSaveData);
    AddCommand(file, kMarker1);
    AddCommand(file, kExportRecording);
    file->addSeparator();
    AddCommand(file, kExit);

    QMenu* tools = AddMenu(nullptr, QStringLiteral("&Tools"));
    QMenu* gain = AddMenu(tools, tr("增益(&G)"));
    AddCommand(gain, kDoubleGain);
    AddCommand(gain, kHalveGain);
    AddCommand(gain, kAutoGain);
    QMenu* time = AddMenu(tools, tr("时间(&T)"));
    AddCommand(time, kFewerSeconds);
    AddCommand(time, kMoreSeconds);
    AddCommand(tools, kLeadSettings);
    AddCommand(tools, kImpedance);
    AddCommand(tools, kImpedanceRange);

    QMenu* help = AddMenu(nullptr, QStringLiteral("&Help"));
    AddCommand(help, kAbout);
}

void CMainFrame::CreateToolBar() {
    toolBar_ = new MainToolBar(this);
    toolBar_->setObjectName(QStringLiteral("128"));
    toolBar_->setMovable(true);  // shows the gripper
    toolBar_->setFloatable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (int id : kToolbarLayout) {
        if (id == 0) {
            toolBar_->addSeparator();
        } else {
            toolBar_->addAction(view_->Commands().Action(id));
        }
    }
    toolBar_->UsePlaceholderImages();
    // Without the strips the buttons keep their placeholders; the window still opens.
    toolBar_->SetTrueColorImages(bitmap::kImageSize, bitmap::kToolbarNormal, bitmap::kToolbarHot,
                                 bitmap::kToolbarDisabled);
    addToolBar(Qt::TopToolBarArea, toolBar_);
    AddMarkerCommands();
}

// The marker button after the strip's buttons, with an image of its own; the
// keys 1 to 9 work anywhere in the window.
void CMainFrame::AddMarkerCommands() {
    QAction* button = view_->Commands().Action(command::kMarker1);
    button->setIcon(MarkerCommands::Icon());
    button->setIconVisibleInMenu(false);
    toolBar_->addSeparator();
    toolBar_->addAction(button);
    for (int id = command::kMarker1; id <= command::kMarker9; ++id) addAction(view_->Commands().Action(id));
}

void CMainFrame::CreateStatusBar() {
    statusBar_ = new QStatusBar(this);
    setStatusBar(statusBar_);
    const QFontMetrics metrics(statusBar_->font());
    auto pane = [&](const QString& text, const QString& sizingText, int id) {
        auto* label = new QLabel(text, statusBar_);
        label->setObjectName(QString::number(id));
        label->setMinimumWidth(metrics.horizontalAdvance(sizingText) + 8);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        if (id != 0) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return label;
    };
    panes_[0] = pane(tr("就绪"), QString(), 0);
    panes_[1] = pane(QString(), tr("大写"), 59137);
    panes_[2] = pane(QString(35, QLatin1Char(' ')), QString(35, QLatin1Char(' ')), command::kServerPane);
    panes_[3] = pane(QString(), tr("滚动"), 59139);
    amplifierPane_ = pane(QString(), tr("连接断开  丢帧 000000"), command::kAmplifierPane);
    recordingPane_ = pane(QString(), QString(), command::kRecordingPane);
    statusBar_->addWidget(panes_[0], 1);
    statusBar_->addPermanentWidget(recordingPane_);
    statusBar_->addPermanentWidget(amplifierPane_);
    for (int i = 1; i < kPaneCount; ++i) statusBar_->addPermanentWidget(panes_[i]);
    UpdateRecordingPane();
    UpdateLockPanes();

    connect(view_, &CVostrelView::messagePaneChanged, panes_[0], &QLabel::setText);
    connect(view_, &CVostrelView::amplifierPaneChanged, this, &CMainFrame::SetAmplifierPane);
    connect(view_, &CVostrelView::serverPaneChanged, this, [this](const QString& text, const QString& toolTip) {
        SetServerPaneText(text);
        panes_[kServerPane]->setToolTip(toolTip);
    });
    connect(view_, &CVostrelView::serverToolTipChanged, panes_[kServerPane], &QLabel::setToolTip);
    connect(view_, &CVostrelView::recordingPaneDue, this, &CMainFrame::UpdateRecordingPane);
}

QLabel* CMainFrame::Pane(int index) const {
    return index >= 0 && index < kPaneCount ? panes_[index] : nullptr;
}

void CMainFrame::SetServerPaneText(const QString& text) {
    panes_[kServerPane]->setText(text);
    panes_[kServerPane]->repaint();
}

void CMainFrame::SetAmplifierPane(const QString& text, const QString& toolTip) {
    amplifierPane_->setText(text);
    amplifierPane_->setToolTip(toolTip);
}

void CMainFrame::UpdateRecordingPane() {
    const auto recording = view_->SaveData().Recording();
    recordingPane_->setVisible(recording.has_value());
    if (!recording) return;
    recordingPane_->setText(RecordingPaneText(recording->path, recording->elapsed));
    recordingPane_->setToolTip(QString::fromStdString(recording->path));
}

// The lock keys are read when they can have changed: when one of them is
// pressed in this window, and when the window becomes active again after the
// user may have pressed them elsewhere. Nothing polls the display meanwhile.
void CMainFrame::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_CapsLock || event->key() == Qt::Key_ScrollLock) UpdateLockPanes();
    QMainWindow::keyReleaseEvent(event);
}

void CMainFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) UpdateLockPanes();
    QMainWindow::changeEvent(event);
}

void CMainFrame::UpdateLockPanes() {
    const LockKeys keys = ReadLockKeys();
    panes_[1]->setText(keys.capsLock ? tr("大写") : QString());
    panes_[3]->setText(keys.scrollLock ? tr("滚动") : QString());
}
