#pragma once
// The view: holds the acquisition engine, the two display windows, the
// recording command and the command table of every command of the program.
// It draws nothing itself; its two child windows cover it.

#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/recording/gui/save_data_command.h"
#include "acquisition/shell/command_table.h"

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

    QWidget* WaveWindow() const { return waveWindow; }
    QWidget* ImpedanceWindow() const { return impedanceWindow; }

    // The server-status pane of the main window's status bar.
    void SetServerStatus(const QString& text);

    // Replaces the modal message box, for tests.
    void SetMessagePresenter(MessagePresenter present) { presentMessage_ = std::move(present); }

    // EngineHost
    void ShowDisplay(int shownWindow) override;
    void RepaintView() override;
    // From the acquisition thread the box is queued to the UI thread and the
    // call returns at once.
    void ShowMessage(const std::string& text) override;

    static void ShowMessageBox(QWidget* parent, const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void CreateDisplayWindows();
    void RegisterCommands();

    AcquisitionEngine engine_;
    CommandTable* commands_;
    SaveDataCommand saveData_;
    QWidget* waveWindow = nullptr;
    QWidget* impedanceWindow = nullptr;
    MessagePresenter presentMessage_ = ShowMessageBox;
};
