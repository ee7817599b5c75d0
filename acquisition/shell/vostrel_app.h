#pragma once
// The application: owns the two devices for the whole run, the per-user
// settings, the document and the main window, and runs start-up and
// shut-down in their order.

#include <QSettings>
#include <memory>
#include <optional>
#include <string>

#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/engine/file_playback_source.h"
#include "acquisition/shell/recent_file_list.h"
#include "acquisition/shell/vostrel_doc.h"
#include "acquisition/shell/vostrel_options.h"
#include "common/stop_signals.h"

class CMainFrame;
class CVostrelView;

class CVostrelApp {
public:
    static constexpr const char* kCompany = "Local AppWizard-Generated Applications";
    static constexpr const char* kApplication = "Vostrel";

    explicit CVostrelApp(VostrelOptions options);
    ~CVostrelApp();
    CVostrelApp(const CVostrelApp&) = delete;
    CVostrelApp& operator=(const CVostrelApp&) = delete;

    // Makes the amplifier and checks the files the options name. False, with
    // the reason in error, when an option's value cannot be used.
    bool Prepare(std::string& error);
    // Start-up: settings store, document, main window, title, shown maximised,
    // then the options' start-up actions once the event loop runs.
    bool InitInstance();
    // Shut-down: the main window and its view go first (Stop, recording
    // closed), then the settings are saved.
    void ExitInstance();

    CMainFrame* MainFrame() const { return mainFrame_.get(); }
    void OnAppAbout();

    // The exit status of a scripted run: 0 clean, 3 when the amplifier could
    // not be opened, delivered no frame or was lost and is not back, 4 when
    // the recording could not be opened or written. Each failure is told on
    // standard error in one line.
    int ScriptedRunStatus() const;

    static constexpr int kAmplifierFailed = 3;
    static constexpr int kRecordingFailed = 4;

    // SIGTERM, SIGINT or SIGHUP: stops as the Stop command does (the
    // amplifier is told to stop, the recording closed) and ends the program
    // with 0, or with a scripted run's status when --quit-after was given.
    void StopBySignal();

private:
    void ApplyStartupOptions();
    void RunStartupCommands();
    void ListenForMarkers(CVostrelView& view);

    VostrelOptions options_;
    // The two device singletons, in this order; they outlive the view.
    FilePlaybackSource playback_;
    std::unique_ptr<ModalAmplifier> amplifier_;
    std::optional<AcquisitionSettings> playSettings_;
    std::unique_ptr<QSettings> profile_;
    RecentFileList recentFiles_;
    CVostrelDoc document_;
    std::unique_ptr<CMainFrame> mainFrame_;
    std::unique_ptr<StopSignals> stopSignals_;
};
