#pragma once
// The sweeping waveform window. The acquisition thread draws each packet into
// the renderer's off-screen image; the UI thread paints what changed of it,
// and nothing else: the window is opaque (no background erased first) and
// the parts of the image a packet did not touch are not copied again.
//
// Threads: AddPacket (and SetRecordingPen after a failed write) run on the
// acquisition thread, everything else on the UI thread. One lock covers the
// renderer: a command never lands in the middle of a drawing pass, and a
// paint never sees a half-drawn image. The window must outlive the thread
// (the view stops the engine before destroying its children).

#include "acquisition/engine/engine_ports.h"
#include "acquisition/display/frame_wake.h"
#include "acquisition/display/wave_renderer.h"

#include <QImage>
#include <QWidget>
#include <mutex>

class WaveDisplay : public QWidget, public WaveView {
    Q_OBJECT
public:
    static constexpr const char* kWindowName = "Vid_Irader  Control";

    explicit WaveDisplay(QWidget* parent = nullptr);

    void SetUp(int packetSize, int channelCount, int sampleRate, int secondsPerScreen,
               std::span<const ChannelRecord> records) override;
    void SetChannelFlags(std::span<const int> flags) override;
    void ResetTimeLabels() override;
    void AddPacket(std::span<const double> samples) override;
    void SetRecordingPen(bool recording) override;
    void MarkSweep(int digit) override;

    void HalveGain();
    void DoubleGain();
    void ResetGain();
    void ShowFewerSeconds();
    void ShowMoreSeconds();

    double Gain() const;
    int SecondsPerScreen() const;
    // A copy of the last complete picture; null before the first packet.
    QImage Snapshot() const;

Q_SIGNALS:
    // One or more new pictures are ready and about to be painted; emitted on
    // the UI thread.
    void FrameReady();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // On the UI thread, when the acquisition thread has raised frameWake_:
    // repaints what the pictures since the last time changed.
    void ShowFinishedPicture();

    FrameWake frameWake_;
    mutable std::mutex lock_;
    WaveRenderer renderer_;
    WaveRenderer::Changes unshown_{};  // under lock_: changed, not yet repainted
};
