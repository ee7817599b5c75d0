#pragma once
// The sweeping waveform window. The acquisition thread draws each packet into
// the renderer's off-screen image; the UI thread paints that image.
//
// Threads: AddPacket (and SetRecordingPen after a failed write) run on the
// acquisition thread, everything else on the UI thread. One lock covers the
// renderer: a command never lands in the middle of a drawing pass, and a
// paint never sees a half-drawn image. The window must outlive the thread
// (the view stops the engine before destroying its children).

#include "acquisition/engine/engine_ports.h"
#include "acquisition/display/wave_renderer.h"

#include <QImage>
#include <QWidget>
#include <atomic>
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
    // The acquisition thread only raises pictureReady_; the UI thread looks at
    // it a few times per packet and repaints. Pictures that come faster than
    // the UI can paint are coalesced instead of queued.
    static constexpr int kFrameCheckMs = 15;
    void ShowFinishedPicture();

    std::atomic<bool> pictureReady_{false};

    mutable std::mutex lock_;
    WaveRenderer renderer_;
};
