#include "acquisition/shell/vostrel_view.h"

#include <QMessageBox>
#include <QResizeEvent>
#include <QThread>

#include "acquisition/settings/settings_dlg.h"
#include "acquisition/shell/command_ids.h"
#include "acquisition/shell/main_frame.h"

namespace {
// A stand-in for a display window until the real one is built in: a plain
// white child.
QWidget* MakePlaceholderDisplay(QWidget* parent) {
    auto* window = new QWidget(parent);
    window->setObjectName(QString::fromUtf8(CVostrelView::kDisplayWindowName));
    window->setWindowTitle(QString::fromUtf8(CVostrelView::kDisplayWindowName));
    window->setAutoFillBackground(true);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Qt::white);
    window->setPalette(palette);
    return window;
}
}  // namespace

CVostrelView::CVostrelView(FilePlaybackSource& playback, ModalAmplifier& amplifier, QWidget* parent)
    : QWidget(parent),
      engine_(playback, amplifier),
      commands_(new CommandTable(this)),
      saveData_(engine_) {
    CreateDisplayWindows();
    commands_->AddStandardCommands();
    RegisterCommands();
}

CVostrelView::~CVostrelView() { engine_.StopAcquisition(); }

void CVostrelView::CreateDisplayWindows() {
    waveWindow = MakePlaceholderDisplay(this);
    impedanceWindow = MakePlaceholderDisplay(this);
    engine_.SetPorts(EnginePorts{.host = this, .wave = nullptr, .impedance = nullptr, .stream = nullptr});
    ShowDisplay(engine_.shownWindow);
}

void CVostrelView::RegisterCommands() {
    using namespace command;
    auto stopped = [this] { return engine_.CanStart(); };
    commands_->Register(kSettings, [this] { RunSettingsCommand(this, engine_); }, stopped);
    commands_->Register(kStart, [this] { engine_.StartWaveform(); }, stopped);
    commands_->Register(kStop, [this] { engine_.StopAcquisition(); }, [this] { return engine_.CanStop(); });
    commands_->Register(kSaveData, [this] { saveData_.Run(this); }, [this] { return saveData_.IsEnabled(); });
    commands_->Register(kImpedance, [this] { engine_.StartImpedance(); });
    // Pause has no handler anywhere and stays disabled.
}

void CVostrelView::SetServerStatus(const QString& text) {
    if (auto* frame = qobject_cast<CMainFrame*>(window())) frame->SetServerPaneText(text);
}

void CVostrelView::ShowDisplay(int shownWindow) {
    waveWindow->setVisible(shownWindow == 0);
    impedanceWindow->setVisible(shownWindow == 1);
}

void CVostrelView::RepaintView() { update(); }

void CVostrelView::ShowMessageBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vostrel"), text, QMessageBox::Ok, parent);
    box.exec();
}

void CVostrelView::ShowMessage(const std::string& text) {
    const QString message = QString::fromStdString(text);
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
    ShowDisplay(engine_.shownWindow);
    QWidget::resizeEvent(event);
}
