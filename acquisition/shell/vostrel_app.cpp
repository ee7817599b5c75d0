#include "acquisition/shell/vostrel_app.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <iostream>
#include <filesystem>

#include "acquisition/electrodes/electrode_file.h"
#include "acquisition/settings/settings_values.h"
#include "acquisition/shell/about_box.h"
#include "acquisition/shell/amplifier_factory.h"
#include "acquisition/shell/command_texts.h"
#include "common/output_line.h"
#include "acquisition/shell/main_frame.h"
#include "acquisition/shell/vostrel_view.h"
#include "common/qt_desktop.h"
#include "common/regular_file.h"

CVostrelApp::CVostrelApp(VostrelOptions options) : options_(std::move(options)) {}

CVostrelApp::~CVostrelApp() { ExitInstance(); }

bool CVostrelApp::Prepare(std::string& error) {
    std::string why;
    amplifier_ = MakeAmplifier(options_.amplifier, why);
    if (!amplifier_) {
        error = "--amplifier: " + why;
        return false;
    }
    if (!options_.playFile.empty()) {
        AcquisitionSettings settings;
        if (!PlaybackSettings(options_.playFile, settings, why)) {
            error = "--play: " + why;
            return false;
        }
        playSettings_ = settings;
    }
    if (!options_.electrodeFile.empty()) {
        if (!OpenRegularFile(options_.electrodeFile, kMaxElectrodeFileBytes, why)) {
            error = "--electrodes: cannot read the electrode file " + options_.electrodeFile + ": " + why;
            return false;
        }
    }
    // A recording started from a script never replaces a file unasked; a
    // link, even one pointing nowhere, counts as taken (the recording refuses it).
    std::error_code ignored;
    if (!options_.recordFile.empty() && !options_.overwrite &&
        std::filesystem::exists(std::filesystem::symlink_status(options_.recordFile, ignored))) {
        error = "--record: " + options_.recordFile + " already exists; add --overwrite to replace it";
        return false;
    }
    return true;
}

bool CVostrelApp::InitInstance() {
    if (!amplifier_) return false;
    profile_ = std::make_unique<QSettings>(QString::fromUtf8(kCompany), QString::fromUtf8(kApplication));
    recentFiles_.Load(*profile_);

    if (!document_.OnNewDocument()) return false;
    mainFrame_ = std::make_unique<CMainFrame>(playback_, *amplifier_);
    mainFrame_->View()->Commands().Register(command::kAbout, [this] { OnAppAbout(); });
    ApplyStartupOptions();

    mainFrame_->setWindowTitle(QCoreApplication::translate("CVostrelApp", "脑电采集"));
    // Without a window manager nothing maximises the window; its normal size
    // is the whole screen for that case.
    if (QScreen* screen = QGuiApplication::primaryScreen()) mainFrame_->setGeometry(screen->availableGeometry());
    if (options_.geometry) {
        PlaceWindow(*mainFrame_, *options_.geometry);
        mainFrame_->show();
    } else {
        mainFrame_->showMaximized();
    }
    QTimer::singleShot(0, mainFrame_.get(), [this] { RunStartupCommands(); });
    stopSignals_ = std::make_unique<StopSignals>([this](int) { StopBySignal(); });
    return true;
}

void CVostrelApp::StopBySignal() {
    mainFrame_->View()->Commands().Trigger(command::kStop);
    QCoreApplication::exit(options_.quitAfterSeconds ? ScriptedRunStatus() : 0);
}

void CVostrelApp::ApplyStartupOptions() {
    AcquisitionEngine& engine = mainFrame_->View()->Engine();
    if (!options_.electrodeFile.empty()) engine.SetDefaultElectrodeFile(options_.electrodeFile);
    if (playSettings_) engine.ApplySettings(*playSettings_);
    engine.SetMicrovoltsPerCount(options_.microvoltsPerCount);
    mainFrame_->View()->Server().SetListenAddress(QString::fromStdString(options_.listenAddress),
                                                  static_cast<quint16>(options_.port.value_or(DataServer::kDefaultPort)));
}

void CVostrelApp::RunStartupCommands() {
    CVostrelView& view = *mainFrame_->View();
    if (options_.quitAfterSeconds) {
        const auto ms = static_cast<int>(std::min(*options_.quitAfterSeconds * 1000.0, 2.0e9));
        // exit() also ends a modal box's loop, so a message cannot hold the program.
        QTimer::singleShot(ms, mainFrame_.get(), [this] { QCoreApplication::exit(ScriptedRunStatus()); });
    }
    if (options_.markerPort) ListenForMarkers(view);
    // --serve is the server command, as a click on the "S" button.
    if (options_.serve) view.Commands().Trigger(command::kServer);
    switch (options_.start) {
    case VostrelOptions::StartMode::Waveform: view.Commands().Trigger(command::kStart); break;
    case VostrelOptions::StartMode::Impedance: view.Commands().Trigger(command::kImpedance); break;
    case VostrelOptions::StartMode::None: break;
    }
    if (!options_.recordFile.empty())
        view.SaveData().RecordTo(options_.recordFile, options_.overwrite ? ExistingFile::Replace : ExistingFile::Refuse);
}

// The port in use is told as the stream's is, for scripts that chose port 0.
void CVostrelApp::ListenForMarkers(CVostrelView& view) {
    MarkerServer& server = view.Markers().Server();
    if (!server.Listen(QString::fromStdString(options_.listenAddress), static_cast<quint16>(*options_.markerPort))) {
        std::cerr << kVostrelProgram << ": --marker-port " << *options_.markerPort << ": "
                  << server.ErrorText().toStdString() << std::endl;
        return;
    }
    WriteLine(std::cout, "marker port " + std::to_string(server.Port()));
}

int CVostrelApp::ScriptedRunStatus() const {
    const AcquisitionEngine& engine = mainFrame_->View()->Engine();
    const RunFailures failures = engine.Failures();
    const auto say = [](const std::string& line) { std::cerr << kVostrelProgram << ": " << line << std::endl; };
    int status = 0;
    if (!failures.device.empty()) {
        say("cannot open the amplifier " + failures.device);
        status = kAmplifierFailed;
    } else if (options_.start != VostrelOptions::StartMode::None && engine.PacketsDelivered() == 0) {
        say("the amplifier " + engine.DeviceName() + " delivered no frame");
        status = kAmplifierFailed;
    } else if (engine.Running() && engine.CurrentDevice() &&
               engine.CurrentDevice()->Health().state == LinkState::Disconnected) {
        say("the amplifier " + engine.DeviceName() + " was lost and is not back: " + amplifier_->LastFailure());
        status = kAmplifierFailed;
    }
    if (!failures.recording.empty()) {
        say("cannot record to " + failures.recording);
        if (status == 0) status = kRecordingFailed;
    }
    return status;
}

void CVostrelApp::ExitInstance() {
    stopSignals_.reset();
    mainFrame_.reset();
    if (profile_) {
        recentFiles_.Save(*profile_);
        profile_->sync();
        profile_.reset();
    }
}

void CVostrelApp::OnAppAbout() {
    CAboutBox about(mainFrame_.get());
    about.exec();
}
