#include "acquisition/shell/vostrel_view.h"

#include <QLabel>
#include <QMessageBox>
#include <QResizeEvent>
#include <QThread>
#include <QTimer>
#include <iostream>

#include "acquisition/settings/settings_dlg.h"
#include "acquisition/shell/command_texts.h"
#include "common/output_line.h"
#include "acquisition/shell/core_texts.h"


namespace {
constexpr int kHealthPollMs = 250;
}  // namespace

CVostrelView::CVostrelView(FilePlaybackSource& playback, ModalAmplifier& amplifier, QWidget* parent)
    : QWidget(parent),
      engine_(playback, amplifier),
      commands_(new CommandTable(this)),
      saveData_(engine_),
      export_([this] { return ExportProposal(); },
              [this](QWidget* parent, const QString& text) { presentMessage_(parent, text); }),
      healthPoll_(new QTimer(this)) {
    healthPoll_->setInterval(kHealthPollMs);
    connect(healthPoll_, &QTimer::timeout, this, &CVostrelView::UpdateStatusPanes);
    ConnectServer();
    CreateDisplayWindows();
    commands_->AddStandardCommands();
    RegisterCommands();
}

CVostrelView::~CVostrelView() { engine_.StopAcquisition(); }

void CVostrelView::CreateDisplayWindows() {
    waveWindow = new WaveDisplay(this);
    impedanceWindow = new ImpedanceDisplay(this);
    engine_.SetPorts(EnginePorts{.host = this, .wave = waveWindow, .impedance = impedanceWindow, .stream = &server_});
    displayCommands_ = std::make_unique<DisplayCommands>(engine_, *waveWindow, *impedanceWindow, this);
    markers_ = new MarkerCommands(engine_, *waveWindow, this);
    ShowDisplay(shown_);
}

void CVostrelView::ConnectServer() {
    connect(&server_, &DataServer::statusChanged, this, &CVostrelView::SetServerStatus);
    connect(&server_, &DataServer::messageRequested, this, [this](const QString& text, const QString& caption) {
        QMessageBox box(QMessageBox::NoIcon, caption, TranslatedCoreText(text), QMessageBox::Ok, this);
        box.exec();
    });
}

// After the start or impedance command: the display of the mode the engine
// now runs in, unless it could not start.
void CVostrelView::ShowStartedAcquisition(bool started) {
    if (started) ShowDisplay(engine_.Mode());
    // The server judges a stalled client by seconds of the stream.
    if (engine_.Running()) {
        server_.SetSampleRate(engine_.Settings().sampleRate);
        healthPoll_->start();
    }
    UpdateStatusPanes();
}

void CVostrelView::StopAcquisition() {
    engine_.StopAcquisition();
    healthPoll_->stop();
    update();
    UpdateStatusPanes();
}

QString CVostrelView::LinkText(const EngineHealth& health, bool running, bool playback) {
    QString state;
    if (!running && health.state != LinkState::NoDevice) {
        state = tr("已停止");
    } else if (health.noData) {
        state = tr("无数据");
    } else {
        switch (health.state) {
        case LinkState::NoDevice: state = tr("无放大器"); break;
        case LinkState::Connecting: state = tr("正在连接"); break;
        case LinkState::Acquiring:
        case LinkState::Idle: state = playback ? tr("正在回放") : tr("正在采集"); break;
        case LinkState::Disconnected: state = tr("连接断开"); break;
        }
    }
    return tr("%1  丢帧 %2").arg(state).arg(health.lostFrames);
}

QString CVostrelView::LinkToolTip(const EngineHealth& health, bool playback) {
    if (playback) return {};
    QString text = health.framesProvenAlone ? tr("每帧凭自身的固定字节校验，收齐即送出")
                                            : tr("正在学习帧的固定字节：每帧等其后两个帧头到齐再送出");
    if (health.repeatedFrames > 0) {
        text += tr("\n重复帧 %1（已丢弃）").arg(health.repeatedFrames);
    }
    return text;
}

// A recording only runs while acquiring, so one clock, running only then,
// serves both panes.
void CVostrelView::UpdateStatusPanes() {
    engine_.ServiceRecording();
    ReportRecordingEnd();
    commands_->Action(command::kImpedance)->setChecked(engine_.MeasuringImpedance());
    const EngineHealth health = engine_.PollHealth();
    const bool playback = engine_.Settings().source == SignalSource::Playback;
    const QString text = LinkText(health, engine_.Running(), playback);
    Q_EMIT amplifierPaneChanged(text, LinkToolTip(health, playback));
    // While impedances are measured the message pane names the worst
    // electrode; afterwards it is left to others again.
    const bool measuring = engine_.MeasuringImpedance();
    const QString highest = measuring ? impedanceWindow->Highest() : QString();
    if (measuring || showingHighest_)
        Q_EMIT messagePaneChanged(highest.isEmpty() ? tr("就绪") : tr("最高阻抗 %1").arg(highest));
    showingHighest_ = measuring;
    Q_EMIT recordingPaneDue();
}

void CVostrelView::RegisterCommands() {
    using namespace command;
    auto stopped = [this] { return engine_.CanStart(); };
    commands_->Register(kSettings, [this] { RunSettingsCommand(this, engine_); }, stopped);
    commands_->Register(kStart, [this] { ShowStartedAcquisition(engine_.StartWaveform()); },
                        [this] { return engine_.CanStartWaveform(); });
    commands_->Register(kStop, [this] { StopAcquisition(); }, [this] { return engine_.CanStop(); });
    commands_->Register(kSaveData, [this] { ToggleRecording(); }, [this] { return engine_.CanToggleRecording(); });
    markers_->Register(*commands_);
    commands_->Register(kImpedance, [this] { ShowStartedAcquisition(engine_.ToggleImpedance()); });
    // The button stays pressed while the map shows measured impedances.
    commands_->Action(kImpedance)->setCheckable(true);
    commands_->Register(kExportRecording, [this] { export_.Run(this); });
    for (const DisplayCommands::Command& c : displayCommands_->Commands()) commands_->Register(c.id, c.handler, c.enabled);
    commands_->Register(kServer, [this] { StartServer(); });
    // Pause has no handler anywhere and stays disabled.
}

void CVostrelView::ToggleRecording() {
    if (engine_.Recording()) engine_.CloseRecording();
    else saveData_.Run(this);
    UpdateStatusPanes();
}

void CVostrelView::ReportRecordingEnd() {
    const std::optional<RecordingSummary> summary = engine_.TakeRecordingSummary();
    if (!summary) return;
    WriteLine(std::cout, RecordingSummaryLine(*summary));
    Q_EMIT messagePaneChanged(RecordingSummaryText(*summary));
}

ExportRequest CVostrelView::ExportProposal() const {
    ExportRequest proposal;
    proposal.input = saveData_.LastRecording();
    const AcquisitionSettings& settings = engine_.Settings();
    if (proposal.input.empty() && settings.source == SignalSource::Playback) proposal.input = settings.simulatedDataPath;
    proposal.output = ProposedOutput(proposal.input);
    proposal.electrodeFile = engine_.ElectrodeFile();
    return proposal;
}

void CVostrelView::StartServer() {
    if (!server_.Start()) return;
    const quint16 port = server_.ListeningPort();
    // With port 0 the system chose it; scripts read it here.
    WriteLine(std::cout, "listening on port " + std::to_string(port));
    listeningPorts_.push_back(QString::number(port));
    Q_EMIT serverToolTipChanged(ServerPaneToolTip());
}

// The ports, and who holds the stream's one slot.
QString CVostrelView::ServerPaneToolTip() const {
    QString tip = tr("正在监听端口 %1").arg(listeningPorts_.join(", "));
    if (!server_.ClientAddress().isEmpty()) tip += tr("\n客户端 %1").arg(server_.ClientAddress());
    return tip;
}

void CVostrelView::SetServerStatus(const QString& text) {
    Q_EMIT serverPaneChanged(TranslatedCoreText(text), ServerPaneToolTip());
}

void CVostrelView::ShowDisplay(AcquisitionMode mode) {
    shown_ = mode;
    waveWindow->setVisible(mode == AcquisitionMode::Waveform);
    impedanceWindow->setVisible(mode == AcquisitionMode::Impedance);
}

void CVostrelView::ShowMessageBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vostrel"), text, QMessageBox::Ok, parent);
    box.exec();
}

void CVostrelView::ShowMessage(const std::string& text) {
    const QString message = TranslatedCoreText(QString::fromStdString(text));
    if (QThread::currentThread() == thread()) {
        presentMessage_(this, message);
        return;
    }
    // Dropped if the view is gone by the time the UI thread gets to it.
    QMetaObject::invokeMethod(this, [this, message] { presentMessage_(this, message); }, Qt::QueuedConnection);
}

void CVostrelView::resizeEvent(QResizeEvent* event) {
    const QRect whole(QPoint(0, 0), event->size());
    waveWindow->setGeometry(whole);
    impedanceWindow->setGeometry(whole);
    ShowDisplay(shown_);
    QWidget::resizeEvent(event);
}
