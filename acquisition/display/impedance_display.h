#pragma once
// The scalp map of electrode impedances, drawn by the window's drawing thread
// after each impedance update; the UI thread paints the squares that changed
// colour (all of it after a change of size or range), with no background
// erased.
//
// Threads: ShowImpedances runs on the acquisition thread and only hands the
// values over; the drawing runs on the drawing thread (see drawing_thread.h),
// everything else on the UI thread. SetUp only while no update comes. One
// lock covers the renderer's image and the size it is drawn at, so a paint
// never copies a picture that is being drawn. The window must outlive the
// acquisition thread.

#include "acquisition/engine/engine_ports.h"
#include "acquisition/display/drawing_thread.h"
#include "acquisition/display/frame_wake.h"
#include "acquisition/display/impedance_renderer.h"

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>
#include <vector>

class ImpedanceDisplay : public QWidget, public ImpedanceView {
    Q_OBJECT
public:
    static constexpr const char* kWindowName = "Vid_Irader  Control";

    explicit ImpedanceDisplay(QWidget* parent = nullptr);
    ~ImpedanceDisplay() override;

    void SetUp(int channelCount, std::span<const ChannelRecord> records) override;
    void SetChannelFlags(std::span<const int> flags) override;
    // Draws at the window's current size, so a resize shows in the next picture.
    void ShowImpedances(std::span<const int> impedances) override;
    // The colour scale's bounds: the range dialog stores them on the UI
    // thread, the next update draws with them.
    std::atomic<int>& RangeMinimum() { return rangeMinimum_; }
    std::atomic<int>& RangeMaximum() { return rangeMaximum_; }

    // A copy of the last picture; null before the first update.
    QImage Snapshot() const;
    // Waits until every update handed over so far is drawn (tests).
    bool WaitUntilDrawn(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        return drawing_.WaitUntilDrawn(timeout);
    }
    std::thread::id DrawingThreadId() const { return drawing_.ThreadId(); }

    // What hovering over point shows: the electrode's label and impedance,
    // or nothing off the squares.
    QString ToolTipAt(QPoint point) const;
    // The highest measured impedance and its electrode ("O1(9) 35 kΩ"); empty
    // while no shown electrode has been measured.
    QString Highest() const;

Q_SIGNALS:
    // One or more new pictures are ready and about to be painted; emitted on
    // the UI thread.
    void FrameReady();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // On the drawing thread: the impedances, then min and max.
    void Draw(std::span<const double> update);
    // On the UI thread, when the drawing thread has raised frameWake_:
    // repaints what the pictures since the last time changed.
    void ShowFinishedPicture();

    std::atomic<int> rangeMinimum_{0};
    std::atomic<int> rangeMaximum_{100};
    FrameWake frameWake_;
    mutable std::mutex lock_;
    ImpedanceRenderer renderer_;
    QSize size_;
    QRect unshown_;  // under lock_: changed, not yet repainted
    std::vector<int> shownValues_;  // under lock_: the last picture's impedances
    std::vector<double> handed_;    // the acquisition thread's: the update as handed over
    std::vector<int> drawn_;        // the drawing thread's: the update as drawn
    DrawingThread drawing_;         // last: it stops before anything it draws into goes
};
