#include "pallock_dlg.h"

#include <algorithm>
#include <cmath>
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
#include <QThread>
#include <QTimer>

#include "common/version.h"

namespace {

constexpr int dialogWidth = 289;
// Below the logs: one group for the detection method and its leads, one for
// when it decides.
constexpr int dialogHeight = 294;
constexpr int commandBytes = 9;
constexpr int linkWatchMs = 250;

LinkKeeper::Clock::time_point Now() { return LinkKeeper::Clock::now(); }

QString badNumberMessage() { return CPallockDlg::tr("请输入一个数字。"); }
QString badIntegerMessage() { return CPallockDlg::tr("请输入一个整数。"); }
QString badDecisionMessage() { return CPallockDlg::tr("判决参数无效"); }
QString badLeadsMessage() { return CPallockDlg::tr("请输入以逗号分隔的导联号，每个在 1 和 21 之间，不可重复。"); }

QString IntegerRangeMessage(int low, int high) {
    return CPallockDlg::tr("请输入一个在 %1 和 %2 之间的整数。").arg(low).arg(high);
}

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

// Doubles in their shortest general form: 10, 12.5, 0.
QString FormatDouble(double value) { return QString::number(value, 'g', 15); }

}  // namespace

std::optional<std::vector<int>> ParseLeads(const QString& text, const LeadNames& names) {
    return ParseLeadList(text.toStdString(), names);
}

QString FormatLeads(const std::vector<int>& leads, const LeadNames& names) {
    return QString::fromStdString(FormatLeadList(leads, names));
}

CPallockDlg::CPallockDlg(QWidget* parent) : QDialog(parent) {
    // Translated where they are shown.
    amplifier.texts = {QT_TR_NOOP("放大器客户端初始化失败!"), QT_TR_NOOP("放大器客户端创建失败!"),
                       QT_TR_NOOP("连接放大器成功!"), QT_TR_NOOP("连接放大器失败!"), QT_TR_NOOP("放大器连接断开!")};
    scoring.texts = {QT_TR_NOOP("评分系统客户端初始化失败!"), QT_TR_NOOP("评分系统客户端创建失败!"),
                     QT_TR_NOOP("连接评分系统成功!"), QT_TR_NOOP("连接评分系统失败!"), QT_TR_NOOP("评分系统连接断开!")};

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

    linkTimer = new QTimer(this);
    linkTimer->setInterval(linkWatchMs);
    connect(linkTimer, &QTimer::timeout, this, &CPallockDlg::WatchLinks);
    linkTimer->start();
}

CPallockDlg::~CPallockDlg() {
    // The links go first, while the logs they report to still exist.
    amplifier.socket.reset();
    scoring.socket.reset();
}

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
    commands[IDC_CONNECT_AMPLIFIER] = [this] { ConnectLink(amplifier); };
    commands[IDC_CONNECT_SCORING] = [this] { ConnectLink(scoring); };
    commands[IDC_SEND_COMMAND] = [this] { SendCommand(); };
    commands[IDC_SETTINGS] = [this] { ApplySettings(); };
    commands[IDM_ABOUTBOX] = [this] { ShowAbout(); };
    commands[IDM_DISCONNECT_AMPLIFIER] = [this] { DisconnectLink(amplifier); };
    commands[IDM_DISCONNECT_SCORING] = [this] { DisconnectLink(scoring); };
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

// ---- Field exchange -------------------------------------------------------

void CPallockDlg::Refuse(int id, const QString& message) {
    ShowMessage(message);
    if (auto* control = Control(id)) {
        control->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
    }
}

bool CPallockDlg::TakeText(int id, QString& member) {
    member = static_cast<QLineEdit*>(Control(id))->text();
    return true;
}

bool CPallockDlg::TakeInt(int id, int& member, int low, int high) {
    bool ok = false;
    const int value = static_cast<QLineEdit*>(Control(id))->text().trimmed().toInt(&ok);
    if (!ok) {
        Refuse(id, badIntegerMessage());
        return false;
    }
    if (value < low || value > high) {
        Refuse(id, IntegerRangeMessage(low, high));
        return false;
    }
    member = value;
    return true;
}

bool CPallockDlg::TakeDouble(int id, double& member) {
    bool ok = false;
    const double value = static_cast<QLineEdit*>(Control(id))->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        Refuse(id, badNumberMessage());
        return false;
    }
    member = value;
    return true;
}

bool CPallockDlg::TakeLead(int id, int& member) {
    const QString text = static_cast<QLineEdit*>(Control(id))->text().trimmed();
    const auto lead = ParseLeads(text, leadNames);
    if (!lead || lead->size() != 1) {
        // A number out of range is told as before; anything else may be a label.
        bool number = false;
        text.toInt(&number);
        Refuse(id, number ? IntegerRangeMessage(SsvepDetector::firstLead, SsvepDetector::lastLead)
                          : tr("请输入 1 到 21 的导联号或电极名，如 O1。"));
        return false;
    }
    member = lead->front();
    return true;
}

bool CPallockDlg::TakeLeads(int id, std::vector<int>& member) {
    const auto leads = ParseLeads(static_cast<QLineEdit*>(Control(id))->text(), leadNames);
    if (!leads) {
        Refuse(id, badLeadsMessage());
        return false;
    }
    member = *leads;
    return true;
}

bool CPallockDlg::TakeMethod() {
    fields.method = allSsvepMethods[static_cast<std::size_t>(methodBox->currentIndex())];
    return true;
}

void CPallockDlg::PutMethodAndLeadsInForce() {
    detector.SetMethod(fields.method);
    if (fields.method == SsvepMethod::Fft)
        detector.SetLead(fields.lead);
    else
        detector.SetLeads(fields.leads);
}

bool CPallockDlg::TakeFields() {
    // In the order of the window's exchange; the first refusal ends it.
    const bool taken = TakeText(IDC_AMPLIFIER_ADDRESS, fields.amplifierAddress) &&
                       TakeInt(IDC_AMPLIFIER_PORT, fields.amplifierPort, 1, 65535) &&
                       TakeText(IDC_COMMAND_TEXT, fields.commandText) &&
                       TakeText(IDC_SCORING_ADDRESS, fields.scoringAddress) &&
                       TakeInt(IDC_SCORING_PORT, fields.scoringPort, 1, 65535) &&
                       [this] {
                           for (int i = 0; i < SsvepDetector::stimulusCount; ++i)
                               if (!TakeDouble(frequencyFieldIds[i], fields.stimulusFrequencies[i])) return false;
                           return true;
                       }() &&
                       TakeDouble(IDC_THRESHOLD, fields.threshold) &&
                       TakeLead(IDC_LEAD, fields.lead) &&
                       TakeMethod() && TakeLeads(IDC_LEADS, fields.leads) && TakeDecisionRules();
    // The detector analyses with the members as they now stand.
    detector.SetThreshold(fields.threshold);
    PutMethodAndLeadsInForce();
    PutDecisionRulesInForce();
    return taken;
}

bool CPallockDlg::TakeDecisionRules() {
    int refused = 0;
    const auto rules = decisionPanel->Take(refused);
    if (!rules) {
        Refuse(refused, badDecisionMessage());
        return false;
    }
    fields.rules = *rules;
    return true;
}

void CPallockDlg::PutDecisionRulesInForce() {
    if (fields.rules == detector.Rules()) return;
    if (!detector.SetDecisionRules(fields.rules)) fields.rules = detector.Rules();
}

void CPallockDlg::ShowFields() {
    auto show = [this](int id, const QString& text) { static_cast<QLineEdit*>(Control(id))->setText(text); };
    show(IDC_AMPLIFIER_ADDRESS, fields.amplifierAddress);
    show(IDC_AMPLIFIER_PORT, QString::number(fields.amplifierPort));
    show(IDC_COMMAND_TEXT, fields.commandText);
    show(IDC_SCORING_ADDRESS, fields.scoringAddress);
    show(IDC_SCORING_PORT, QString::number(fields.scoringPort));
    for (int i = 0; i < SsvepDetector::stimulusCount; ++i)
        show(frequencyFieldIds[i], FormatDouble(fields.stimulusFrequencies[i]));
    show(IDC_THRESHOLD, FormatDouble(fields.threshold));
    show(IDC_LEAD, FormatLeads({fields.lead}, leadNames));
    methodBox->setCurrentIndex(static_cast<int>(
        std::find(allSsvepMethods.begin(), allSsvepMethods.end(), fields.method) - allSsvepMethods.begin()));
    show(IDC_LEADS, FormatLeads(fields.leads, leadNames));
    decisionPanel->Show(fields.rules);
}

void CPallockDlg::ApplyFields(const PallockFields& values) {
    fields = values;
    if (!detector.SetSampleRate(fields.sampleRate)) fields.sampleRate = detector.SampleRate();
    rateWatch.SetRate(detector.SampleRate());
    if (!SsvepDetector::ValidLeads(std::span<const int>(&fields.lead, 1))) fields.lead = detector.Lead();
    if (!SsvepDetector::ValidLeads(fields.leads)) fields.leads = {fields.lead};
    PutMethodAndLeadsInForce();
    PutDecisionRulesInForce();
    detector.SetThreshold(fields.threshold);
    detector.Retune(fields.stimulusFrequencies);
    fields.stimulusFrequencies = detector.AnalysedFrequencies();
    ShowFields();
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

void CPallockDlg::ConnectLink(Link& link) {
    const LinkReaction reaction = link.keeper.On(LinkEvent::ConnectPressed, Now());
    // A press connects to the address as typed; retries keep the one they lost.
    if (reaction.connect) TakeFields();
    React(link, reaction);
    if (reaction.connect) ShowFields();
}

void CPallockDlg::DisconnectLink(Link& link) { React(link, link.keeper.On(LinkEvent::DisconnectPressed, Now())); }

void CPallockDlg::React(Link& link, const LinkReaction& reaction) {
    if (reaction.disconnect) {
        link.socket.reset();
        link.connected = false;
        if (&link == &amplifier) streamWatch.Disconnected();
    }
    if (reaction.connect) StartAttempt(link);
    NoteLink(link, reaction.note);
}

void CPallockDlg::StartAttempt(Link& link) {
    // A fresh socket each time: the old one may still be the sender of the
    // close that brought us here, and is dropped here outside its signal.
    link.socket = std::make_unique<LinkSocket>();
    LinkSocket* socket = link.socket.get();
    connect(socket, &LinkSocket::connectFinished, this,
            [this, &link](LinkSocket::ConnectOutcome outcome) { OnConnectFinished(link, outcome); });
    connect(socket, &LinkSocket::farEndClosed, this, [this, &link] { OnFarEndClosed(link); });
    const bool toAmplifier = &link == &amplifier;
    if (toAmplifier)
        socket->SetPacketHandler([this](std::span<const std::int32_t> packet) { OnAmplifierPacket(packet); });
    const QString host = toAmplifier ? fields.amplifierAddress : fields.scoringAddress;
    const int port = toAmplifier ? fields.amplifierPort : fields.scoringPort;
    socket->ConnectTo(host.trimmed(), static_cast<quint16>(port), connectLimit);
}

void CPallockDlg::NoteLink(Link& link, LinkNote note) {
    const bool toAmplifier = &link == &amplifier;
    switch (note) {
    case LinkNote::None: break;
    case LinkNote::Connected:
        link.connected = true;
        if (toAmplifier) {
            // Whatever came before the link was lost belongs to no window now.
            detector.StartNewWindow();
            streamWatch.Connected(Now());
        }
        appendStatus(tr(link.texts.connected));
        break;
    case LinkNote::Failed: appendStatus(tr(link.texts.failed)); break;
    case LinkNote::Dropped: {
        link.connected = false;
        if (toAmplifier) streamWatch.Disconnected();
        appendStatus(tr(link.texts.closed));
        const QString address = QStringLiteral("%1:%2").arg(
            (toAmplifier ? fields.amplifierAddress : fields.scoringAddress).trimmed(),
            QString::number(toAmplifier ? fields.amplifierPort : fields.scoringPort));
        appendStatus(toAmplifier ? tr("每秒重连放大器 %1").arg(address) : tr("每秒重连评分系统 %1").arg(address));
        break;
    }
    }
}

void CPallockDlg::WatchLinks() {
    const auto now = Now();
    for (Link* link : {&amplifier, &scoring}) React(*link, link->keeper.On(LinkEvent::Tick, now));
    if (amplifier.connected && streamWatch.SilenceBegins(now)) appendStatus(tr("无数据"));
}

void CPallockDlg::OnConnectFinished(Link& link, LinkSocket::ConnectOutcome outcome) {
    const auto now = Now();
    switch (outcome) {
    case LinkSocket::ConnectOutcome::Connected:
        if (&link == &amplifier) {
            // A new run: adaptation learns this session afresh, the figures count it alone.
            detector.ResetRun();
            figures = {};
            decisionPanel->ShowFigures(figures);
        }
        React(link, link.keeper.On(LinkEvent::Connected, now));
        break;
    case LinkSocket::ConnectOutcome::Failed: React(link, link.keeper.On(LinkEvent::ConnectFailed, now)); break;
    case LinkSocket::ConnectOutcome::NoSocket: {
        // Said in a box instead of the log.
        LinkReaction reaction = link.keeper.On(LinkEvent::ConnectFailed, now);
        if (reaction.note == LinkNote::Failed) ShowMessage(tr(link.texts.createFailed));
        reaction.note = LinkNote::None;
        React(link, reaction);
        break;
    }
    }
}

QString CPallockDlg::LinkFailure(const Link& link, const QString& host, int port) const {
    if (link.connected) return {};
    const QString why = link.socket && !link.socket->Failure().isEmpty() ? link.socket->Failure()
                                                                          : QStringLiteral("not connected");
    return QStringLiteral("%1:%2 (%3)").arg(host.trimmed()).arg(port).arg(why);
}

QString CPallockDlg::AmplifierFailure() const {
    return LinkFailure(amplifier, fields.amplifierAddress, fields.amplifierPort);
}

QString CPallockDlg::ScoringFailure() const { return LinkFailure(scoring, fields.scoringAddress, fields.scoringPort); }

void CPallockDlg::OnFarEndClosed(Link& link) { React(link, link.keeper.On(LinkEvent::Dropped, Now())); }

void CPallockDlg::SendToScoring(QByteArray nineBytes) {
    // A shorter command goes out padded with zero bytes.
    nineBytes.resize(commandBytes, '\0');
    scoring.socket->Send(nineBytes);
    // Keeps consecutive commands apart for the scoring system.
    QThread::msleep(1);
}

void CPallockDlg::SendCommand() {
    TakeFields();
    if (!scoring.connected) {
        ShowMessage(tr("尚未连接评分系统"));
        return;
    }
    SendToScoring(fields.commandText.toUtf8().left(commandBytes));
    appendStatus(fields.commandText);
}

void CPallockDlg::SendDecision(const std::string& text) {
    if (!scoring.connected) return;
    SendToScoring(QByteArray::fromStdString(text).left(commandBytes));
    appendStatus(QString::fromStdString(text));
}

void CPallockDlg::OnAmplifierPacket(std::span<const std::int32_t> packet) {
    const auto samples = static_cast<std::int64_t>(packet.size() / SsvepDetector::slotsPerRecord);
    if (rateWatch.Add(samples, StreamRateWatch::Clock::now()) == StreamRateWatch::Change::BecameTooFast)
        appendStatus(tr("数据速率异常"));
    if (streamWatch.PacketArrived(Now())) detector.StartNewWindow();
    for (const SsvepResult& result : detector.AddPacketResults(packet)) OnResult(result);
}

void CPallockDlg::OnResult(const SsvepResult& result) {
    if (result.decided && rateWatch.Sane()) SendDecision(result.decisionText);
    appendResult(QString::fromStdString(result.resultLine));
    figures.Add(result);
    decisionPanel->ShowFigures(figures);
}

// ---- Settings, About, closing ----------------------------------------------

void CPallockDlg::ApplySettings() {
    TakeFields();
    if (!detector.Retune(fields.stimulusFrequencies)) ShowMessage(tr("刺激频率无效"));
    // The fields show the frequencies actually analysed.
    fields.stimulusFrequencies = detector.AnalysedFrequencies();
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
    if ((amplifier.connected || scoring.connected) && !MayCloseWhileConnected()) {
        event->ignore();
        return;
    }
    // Closing ends the retries of a lost link too.
    DisconnectLink(amplifier);
    DisconnectLink(scoring);
    QDialog::closeEvent(event);
}

void CPallockDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    disconnectAmplifierAction->setEnabled(amplifier.keeper.Active());
    disconnectScoringAction->setEnabled(scoring.keeper.Active());
    menu.addActions(ContextActions());
    menu.insertSeparator(aboutAction);
    menu.exec(event->globalPos());
}

QList<QAction*> CPallockDlg::ContextActions() const {
    return {disconnectAmplifierAction, disconnectScoringAction, aboutAction};
}
