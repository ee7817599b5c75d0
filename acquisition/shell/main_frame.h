#pragma once
// The main window: menu bar, toolbar, status bar with four panes, and the view
// filling the rest. It only routes commands to the view's command table.

#include <QMainWindow>

#include "acquisition/engine/engine_ports.h"

class CVostrelView;
class FilePlaybackSource;
class MainToolBar;
class QLabel;
class QMenu;
class QStatusBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kPaneCount = 4;
    static constexpr int kServerPane = 2;

    CMainFrame(FilePlaybackSource& playback, ModalAmplifier& amplifier, QWidget* parent = nullptr);

    CVostrelView* View() const { return view_; }
    MainToolBar* ToolBar() const { return toolBar_; }
    // Status-bar pane 0 to 3: message, caps lock, server state, scroll lock.
    QLabel* Pane(int index) const;
    // The pane of the amplifier's link, left of those.
    QLabel* AmplifierPane() const { return amplifierPane_; }

    void SetServerPaneText(const QString& text);
    void SetAmplifierPane(const QString& text, const QString& toolTip);
    // Reads the lock keys and shows them in panes 1 and 3.
    void UpdateLockPanes();
    // Shown only while recording: the file's name and the time since it began.
    QLabel* RecordingPane() const { return recordingPane_; }
    void UpdateRecordingPane();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void AddMarkerCommands();
    void CreateStatusBar();
    QMenu* AddMenu(QMenu* parent, const QString& title);
    void AddCommand(QMenu* menu, int id);

    // In the order they are made: status bar, toolbar (the band container is
    // the window's own toolbar area).
    QStatusBar* statusBar_ = nullptr;
    MainToolBar* toolBar_ = nullptr;
    CVostrelView* view_ = nullptr;
    QLabel* panes_[kPaneCount] = {};
    QLabel* amplifierPane_ = nullptr;
    QLabel* recordingPane_ = nullptr;
};
