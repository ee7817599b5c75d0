#pragma once
// The view: holds the acquisition engine, the two display windows, the
// streaming server, the recording command and the command table of every
// command of the program. It draws nothing itself; its two child windows
// cover it.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>

#include <memory>

#include "acquisition/display/display_commands.h"
#include "acquisition/display/impedance_display.h"
#include "acquisition/display/wave_display.h"
#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/shell/export_command.h"
#include "acquisition/shell/marker_commands.h"
#include "acquisition/shell/save_data_command.h"
#include "acquisition/server/data_server.h"
#include "acquisition/shell/command_table.h"

class QTimer;

class CVostrelView : public QWidget, public EngineHost {
    Q_OBJECT

public:
    using MessagePresenter = std::function<void(QWidget* parent, const QString& text)>;

    static constexpr const char* kDisplayWindowName = "Vid_Irader  Control";

    CVostrelView(FilePlaybackSource& playback, ModalAmplifier& amplifier, QWidget* parent = nullptr);
    // Stops acquisition first: the thread is joined, a recording ends and the
    // device is closed before the display windows go.
    ~CVostrelView() override;

    AcquisitionEngine& Engine() { return engine_; }
    CommandTable& Commands() { return *commands_; }
    SaveDataCommand& SaveData() { return saveData_; }
    ExportCommand& Export() { return export_; }
    // The export dialog's proposal: the last recording, else the file played,
    // with the electrode file in use.
    ExportRequest ExportProposal() const;

    WaveDisplay* WaveWindow() const { return waveWindow; }
    ImpedanceDisplay* ImpedanceWindow() const { return impedanceWindow; }
    DataServer& Server() { return server_; }
    MarkerCommands& Markers() { return *markers_; }

    // The server's status, for the server-status pane.
    void SetServerStatus(const QString& text);
    QString ServerPaneToolTip() const;
    // What the amplifier pane says for this health; empty before any start.
    static QString LinkText(const EngineHealth& health, bool running, bool playback);
    // How the amplifier's frames are checked, and what was dropped; empty for playback.
    static QString LinkToolTip(const EngineHealth& health, bool playback);

    // Replaces the modal message box, for tests.
    void SetMessagePresenter(MessagePresenter present) { presentMessage_ = std::move(present); }

    // EngineHost. From the acquisition thread the box is queued to the UI thread and the
    // call returns at once.
    void ShowMessage(const std::string& text) override;

    static void ShowMessageBox(QWidget* parent, const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;


Q_SIGNALS:
    // What the main window's status bar shows; the window connects them.
    void messagePaneChanged(const QString& text);
    void amplifierPaneChanged(const QString& text, const QString& toolTip);
    void serverPaneChanged(const QString& text, const QString& toolTip);
    void serverToolTipChanged(const QString& toolTip);
    // The recording pane's time is due for an update.
    void recordingPaneDue();

private:
    void CreateDisplayWindows();
    void RegisterCommands();

    void ConnectServer();
    // The server command; a new listening port is announced on standard
    // output and in the server pane's tooltip.
    void StartServer();
    void ShowStartedAcquisition(bool started);
    // The waveforms or the impedance map, the other hidden.
    void ShowDisplay(AcquisitionMode mode);
    void StopAcquisition();
    // Shows the link's health and the recording while acquiring, and once
    // more after.
    void UpdateStatusPanes();
    // Ctrl+R: a recording when none runs, else the end of the one that does.
    void ToggleRecording();
    // Once a recording has ended: its summary in the status bar and on
    // standard output.
    void ReportRecordingEnd();

    // The server outlives the engine: the engine's destructor joins the
    // thread that sends on it.
    DataServer server_;
    AcquisitionEngine engine_;
    CommandTable* commands_;
    SaveDataCommand saveData_;
    ExportCommand export_;
    WaveDisplay* waveWindow = nullptr;
    ImpedanceDisplay* impedanceWindow = nullptr;
    std::unique_ptr<DisplayCommands> displayCommands_;
    MarkerCommands* markers_ = nullptr;
    QTimer* healthPoll_ = nullptr;
    MessagePresenter presentMessage_ = ShowMessageBox;
    QStringList listeningPorts_;
    AcquisitionMode shown_ = AcquisitionMode::Waveform;  // the display of the last start
    bool showingHighest_ = false;  // the message pane names the highest impedance
};
