#pragma once
// The sweeping waveform window. The acquisition thread hands each packet to
// the window's drawing thread, which draws it into the renderer's off-screen
// image; the UI thread paints what changed of it, and nothing else: the
// window is opaque (no background erased first) and the parts of the image a
// packet did not touch are not copied again. A drawing thread that finds more
// than kBehindMs of packets waiting stores the older ones undrawn and redraws
// the sweep once with the newest.
//
// Threads: AddPacket (and SetRecordingPen after a failed write) run on the
// acquisition thread, the drawing on the window's drawing thread (see
// drawing_thread.h), everything else on the UI thread. SetUp only while no
// packet comes. One lock covers the renderer: a command never lands in the
// middle of a drawing pass, and a paint never sees a half-drawn image. The
// window must outlive the acquisition thread (the view stops the engine
// before destroying its children).

#include "acquisition/engine/engine_ports.h"
#include "acquisition/display/drawing_thread.h"
#include "acquisition/display/frame_wake.h"
#include "acquisition/display/wave_renderer.h"
#include "common/duration_log.h"

#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>
#include <vector>

class WaveDisplay : public QWidget, public WaveView {
    Q_OBJECT
public:
    static constexpr const char* kWindowName = "Vid_Irader  Control";
    static constexpr int kBehindMs = 250;

    explicit WaveDisplay(QWidget* parent = nullptr);
    ~WaveDisplay() override;

    void SetUp(int packetSize, int channelCount, int sampleRate, std::span<const ChannelRecord> records) override;
    void SetChannelFlags(std::span<const int> flags) override;
    void ResetTimeLabels() override;
    void AddPacket(std::span<const double> samples, std::chrono::steady_clock::time_point readAt) override;
    void SetRecordingPen(bool recording) override;
    void MarkSweep(int digit) override;

    void HalveGain();
    void DoubleGain();
    void ResetGain();
    void ShowFewerSeconds();
    void ShowMoreSeconds();

    double Gain() const;
    int SecondsPerScreen() const;
    // Per row, whether it is shown (1) or not (0); every row after SetUp.
    std::vector<int> ChannelFlags() const;
    // A copy of the last complete picture; null before the first packet.
    QImage Snapshot() const;
    // Waits until every packet handed over so far is drawn (tests).
    bool WaitUntilDrawn(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        return drawing_.WaitUntilDrawn(timeout);
    }
    std::thread::id DrawingThreadId() const { return drawing_.ThreadId(); }

Q_SIGNALS:
    // One or more new pictures are ready and about to be painted; emitted on
    // the UI thread.
    void FrameReady();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // On the drawing thread.
    void DrawPacket(const DrawingThread::Packet& packet, std::size_t waitingBehind);
    void FinishBatch();
    // On the UI thread, when the drawing thread has raised frameWake_:
    // repaints what the pictures since the last time changed.
    void ShowFinishedPicture();
    void PrintDrawingFigures() const;

    FrameWake frameWake_;
    mutable std::mutex lock_;
    WaveRenderer renderer_;
    // The renderer's time base, for the enable rules the UI thread asks
    // whenever it is idle: they must not wait for a packet being drawn.
    std::atomic<int> secondsPerScreen_{0};
    std::int64_t packetUs_ = 0;         // under lock_: the time a packet covers
    WaveRenderer::Changes unshown_{};  // under lock_: changed, not yet repainted
    bool batchChanged_ = false;          // the drawing thread's own

    // With VOSTREL_PACKET_TIMES: each packet's drawing in µs, and from its
    // read to the paint that showed it in ms. The read times wait under lock_,
    // sized up front: drawn, then shown (asked to be painted).
    bool measuring_ = false;
    DurationLog drawTimes_;
    DurationLog latencies_;
    std::vector<DrawingThread::Clock::time_point> drawnReadTimes_;
    std::vector<DrawingThread::Clock::time_point> shownReadTimes_;

    DrawingThread drawing_;  // last: it stops before anything it draws into goes
};
