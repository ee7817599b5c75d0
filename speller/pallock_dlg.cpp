#include "pallock_dlg.h"

#include <cstdio>

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "common/version.h"

namespace {

constexpr int dialogWidth = 289;
// Below the logs: one group for the detection method and its leads, one for
// when it decides.
constexpr int dialogHeight = 294;

// Sockets here need no start-up of a socket layer, so these have no occasion
// to be shown; they are kept with the links' other texts.
[[maybe_unused]] constexpr const char* initFailedTexts[] = {QT_TRANSLATE_NOOP("CPallockDlg", "放大器客户端初始化失败!"),
                                                            QT_TRANSLATE_NOOP("CPallockDlg", "评分系统客户端初始化失败!")};

// The program's icon: drawn, so that the window needs no image files.
QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x1f, 0x4e, 0x8c));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(size * 3 / 4);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("P"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}


}  // namespace

CPallockDlg::CPallockDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Pallock"));
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    QFont dialogFont;
    dialogFont.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC")});
    dialogFont.setPointSize(9);
    setFont(dialogFont);
    const QFontMetrics metrics(dialogFont);
    // The average width of the Latin letters, as dialog units have always measured it.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    charWidth = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    charHeight = metrics.height();
    setFixedSize(ToPixels(QRect(0, 0, dialogWidth, dialogHeight)).size());

    BuildControls();
    BindCommands();
    ShowFields();

    connect(&session, &SpellerSession::linkEvent, this, &CPallockDlg::SayLinkEvent);
    connect(&session, &SpellerSession::decisionSent, this, &CPallockDlg::appendStatus);
    connect(&session, &SpellerSession::resultReady, this, &CPallockDlg::appendResult);
    connect(&session, &SpellerSession::figuresChanged, this, [this] { decisionPanel->ShowFigures(session.Figures()); });
}

// The logs go before the session does, so it is told first to report no more.
CPallockDlg::~CPallockDlg() { QObject::disconnect(&session, nullptr, this, nullptr); }

QRect CPallockDlg::ToPixels(QRect du) const {
    return QRect(du.x() * charWidth / 4, du.y() * charHeight / 8, du.width() * charWidth / 4,
                 du.height() * charHeight / 8);
}

QLineEdit* CPallockDlg::AddEdit(int id, QRect du) {
    auto* edit = new QLineEdit(this);
    edit->setGeometry(ToPixels(du));
    edit->setObjectName(QString::number(id));
    controls[id] = edit;
    return edit;
}

void CPallockDlg::BuildControls() {
    auto group = [this](const QString& title, QRect du) {
        auto* box = new QGroupBox(title, this);
        box->setGeometry(ToPixels(du));
    };
    auto label = [this](const QString& text, QRect du) {
        auto* l = new QLabel(text, this);
        l->setGeometry(ToPixels(du));
        return l;
    };
    auto button = [this](int id, const QString& text, QRect du) {
        auto* b = new QPushButton(text, this);
        b->setGeometry(ToPixels(du));
        b->setObjectName(QString::number(id));
        controls[id] = b;
        connect(b, &QPushButton::clicked, this, [this, id] { RunCommand(id); });
    };
    auto log = [this](int id, QRect du) {
        auto* box = new QPlainTextEdit(this);
        box->setGeometry(ToPixels(du));
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setObjectName(QString::number(id));
        controls[id] = box;
        return box;
    };

    // Group boxes first, so that the controls inside lie above them.
    group(tr("连接放大器", "group"), {7, 5, 124, 72});
    group(tr("评分系统"), {137, 5, 145, 72});
    group(tr("SSVEP BCI参数设定"), {7, 81, 275, 50});
    group(tr("连接状态"), {7, 135, 135, 68});
    group(tr("判断结果"), {147, 135, 135, 68});
    group(tr("检测方法"), {7, 207, 275, 33});

    label(tr("IP地址"), {14, 21, 30, 10});
    AddEdit(IDC_AMPLIFIER_ADDRESS, {46, 19, 78, 12});
    label(tr("端口号"), {14, 38, 30, 10});
    AddEdit(IDC_AMPLIFIER_PORT, {46, 36, 40, 12});
    button(IDC_CONNECT_AMPLIFIER, tr("连接放大器"), {46, 55, 60, 15});

    label(tr("IP地址"), {144, 21, 30, 10});
    AddEdit(IDC_SCORING_ADDRESS, {178, 19, 97, 12});
    label(tr("端口号"), {144, 38, 30, 10});
    AddEdit(IDC_SCORING_PORT, {178, 36, 36, 12});
    button(IDC_CONNECT_SCORING, tr("连接评分系统"), {218, 35, 57, 15});
    label(tr("发送命令"), {144, 56, 34, 10});
    AddEdit(IDC_COMMAND_TEXT, {178, 54, 46, 12});
    button(IDC_SEND_COMMAND, tr("发送命令"), {228, 53, 47, 15});

    label(tr("刺激频率"), {14, 96, 34, 10});
    for (int i = 0; i < SsvepDetector::stimulusCount; ++i) AddEdit(frequencyFieldIds[i], {50 + i * 27, 94, 24, 12});
    label(tr("导联"), {14, 113, 20, 10});
    AddEdit(IDC_LEAD, {50, 111, 34, 12})
        ->setToolTip(tr("fft 分析的导联：记录槽号 1-21 或电极名，如 11 或 O1（与 Vostrel 的 O1(9) 同一电极）"));
    label(tr("判断阈值"), {88, 113, 34, 10});
    AddEdit(IDC_THRESHOLD, {122, 111, 40, 12});
    button(IDC_SETTINGS, tr("设置"), {222, 102, 50, 15});

    statusBox = log(IDC_STATUS_LOG, {13, 147, 123, 51});
    // The run's figures sit under the result log, inside its group.
    resultBox = log(IDC_RESULT_LOG, {153, 147, 123, 42});
    decisionPanel = std::make_unique<DecisionPanel>(this, QRect(7, 244, 275, 46), QRect(153, 190, 123, 10),
                                                    [this](QRect du) { return ToPixels(du); }, controls);

    // Aligned with the lead and threshold row above.
    auto* methodLabel = label(tr("方法"), {14, 222, 30, 10});
    methodLabel->setObjectName(QString::number(IDC_METHOD_LABEL));
    controls[IDC_METHOD_LABEL] = methodLabel;
    methodBox = new QComboBox(this);
    for (SsvepMethod method : allSsvepMethods) methodBox->addItem(QString::fromLatin1(MethodName(method)));
    methodBox->setGeometry(ToPixels({50, 220, 40, 12}));
    methodBox->setObjectName(QString::number(IDC_METHOD));
    methodBox->setToolTip(tr("fft：单导联频谱；cca、fbcca：多导联典型相关"));
    controls[IDC_METHOD] = methodBox;
    auto* leadsLabel = label(tr("多导联"), {94, 222, 26, 10});
    leadsLabel->setObjectName(QString::number(IDC_LEADS_LABEL));
    controls[IDC_LEADS_LABEL] = leadsLabel;
    AddEdit(IDC_LEADS, {122, 220, 150, 12})
        ->setToolTip(tr("cca、fbcca 分析的导联：记录槽号或电极名，以逗号分隔，如 O1,O2 或 11,12"));

    // The title bar's menu belongs to the window manager here, so the About
    // item lives in the window's own context menu.
    aboutAction = new QAction(tr("关于 Pallock(&A)..."), this);
    aboutAction->setData(static_cast<int>(IDM_ABOUTBOX));
    connect(aboutAction, &QAction::triggered, this, [this] { RunCommand(IDM_ABOUTBOX); });
    disconnectAmplifierAction = new QAction(tr("断开放大器"), this);
    disconnectAmplifierAction->setData(static_cast<int>(IDM_DISCONNECT_AMPLIFIER));
    connect(disconnectAmplifierAction, &QAction::triggered, this, [this] { RunCommand(IDM_DISCONNECT_AMPLIFIER); });
    disconnectScoringAction = new QAction(tr("断开评分系统"), this);
    disconnectScoringAction->setData(static_cast<int>(IDM_DISCONNECT_SCORING));
    connect(disconnectScoringAction, &QAction::triggered, this, [this] { RunCommand(IDM_DISCONNECT_SCORING); });
}

void CPallockDlg::BindCommands() {
    commands[IDC_CONNECT_AMPLIFIER] = [this] { ConnectLink(SpellerLink::Amplifier); };
    commands[IDC_CONNECT_SCORING] = [this] { ConnectLink(SpellerLink::Scoring); };
    commands[IDC_SEND_COMMAND] = [this] { SendCommand(); };
    commands[IDC_SETTINGS] = [this] { ApplySettings(); };
    commands[IDM_ABOUTBOX] = [this] { ShowAbout(); };
    commands[IDM_DISCONNECT_AMPLIFIER] = [this] { session.Disconnect(SpellerLink::Amplifier); };
    commands[IDM_DISCONNECT_SCORING] = [this] { session.Disconnect(SpellerLink::Scoring); };
}

bool CPallockDlg::RunCommand(int id) {
    const auto it = commands.find(id);
    if (it == commands.end()) return false;
    it->second();
    return true;
}

QWidget* CPallockDlg::Control(int id) const {
    const auto it = controls.find(id);
    return it == controls.end() ? nullptr : it->second;
}

// ---- Logs -----------------------------------------------------------------

void CPallockDlg::AppendLine(QString& log, QPlainTextEdit* box, const QString& line) {
    log += line;
    log += QStringLiteral("\r\n");
    box->setPlainText(log);
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    if (echoToStdout) {
        std::fputs(line.toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

void CPallockDlg::appendStatus(const QString& line) {
    AppendLine(statusLog, statusBox, line);
    Q_EMIT statusAppended(line);
}

void CPallockDlg::appendResult(const QString& line) {
    AppendLine(resultLog, resultBox, line);
    Q_EMIT resultAppended(line);
}

// ---- Links ----------------------------------------------------------------

void CPallockDlg::ConnectLink(SpellerLink link) {
    // A press connects to the address as typed; retries keep the one they lost.
    if (!session.ConnectWouldStart(link)) return;
    TakeFields();
    session.Connect(link);
    ShowFields();
}

void CPallockDlg::SayLinkEvent(SpellerLink link, SessionEvent event) {
    const bool amplifier = link == SpellerLink::Amplifier;
    switch (event) {
    case SessionEvent::Connected: appendStatus(amplifier ? tr("连接放大器成功!") : tr("连接评分系统成功!")); return;
    case SessionEvent::ConnectFailed: appendStatus(amplifier ? tr("连接放大器失败!") : tr("连接评分系统失败!")); return;
    // Said in a box instead of the log.
    case SessionEvent::NoSocket: ShowMessage(amplifier ? tr("放大器客户端创建失败!") : tr("评分系统客户端创建失败!")); return;
    case SessionEvent::Dropped:
        appendStatus(amplifier ? tr("放大器连接断开!") : tr("评分系统连接断开!"));
        appendStatus(amplifier ? tr("每秒重连放大器 %1").arg(session.Address(link))
                               : tr("每秒重连评分系统 %1").arg(session.Address(link)));
        return;
    case SessionEvent::NoData: appendStatus(tr("无数据")); return;
    case SessionEvent::TooFast: appendStatus(tr("数据速率异常")); return;
    }
}

void CPallockDlg::SendCommand() {
    TakeFields();
    if (!session.SendCommand(fields.commandText.toUtf8())) {
        ShowMessage(tr("尚未连接评分系统"));
        return;
    }
    appendStatus(fields.commandText);
}

// ---- Settings, About, closing ----------------------------------------------

void CPallockDlg::ApplySettings() {
    TakeFields();
    // The fields show the frequencies actually analysed.
    if (!session.Retune(fields)) ShowMessage(tr("刺激频率无效"));
    ShowFields();
}

void CPallockDlg::ShowAbout() {
    QMessageBox::about(this, tr("关于 Pallock"), tr("Pallock，%1 版\n版权所有 (C) 2026").arg(QLatin1String(kWorkstationVersion)));
}

void CPallockDlg::ShowMessage(const QString& text) {
    if (messageSink) {
        messageSink(text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Pallock"), text, QMessageBox::Ok, this);
    box.exec();
}

// The window is the program: Enter applies the fields, as "设置" does, and
// Escape has nothing to cancel. A button with the focus takes Enter itself.
void CPallockDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: RunCommand(IDC_SETTINGS); return;
    case Qt::Key_Escape: return;
    default: QDialog::keyPressEvent(event);
    }
}

bool CPallockDlg::MayCloseWhileConnected() {
    if (closeQuestion) return closeQuestion();
    return QMessageBox::question(this, QStringLiteral("Pallock"), tr("连接尚未断开，确定退出吗?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void CPallockDlg::closeEvent(QCloseEvent* event) {
    if ((AmplifierConnected() || ScoringConnected()) && !MayCloseWhileConnected()) {
        event->ignore();
        return;
    }
    // Closing ends the retries of a lost link too.
    session.Disconnect(SpellerLink::Amplifier);
    session.Disconnect(SpellerLink::Scoring);
    QDialog::closeEvent(event);
}

void CPallockDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    disconnectAmplifierAction->setEnabled(session.Active(SpellerLink::Amplifier));
    disconnectScoringAction->setEnabled(session.Active(SpellerLink::Scoring));
    menu.addActions(ContextActions());
    menu.insertSeparator(aboutAction);
    menu.exec(event->globalPos());
}

QList<QAction*> CPallockDlg::ContextActions() const {
    return {disconnectAmplifierAction, disconnectScoringAction, aboutAction};
}
