#pragma once
// The sweep display's drawing as it was before it became incremental: every
// packet draws the bands, the time labels and the channel labels afresh, each
// text laid out at every packet. Kept, unchanged but for its name, so that
// tests can hold the incremental drawing to the same pixels.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QSize>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "acquisition/electrodes/electrode_file.h"

class QPainter;

class ReferenceWaveRenderer {
public:
    static constexpr int kSideMargin = 45;
    static constexpr int kBottomBand = 40;
    static constexpr int kMaxSecondsPerScreen = 10;
    // Values of the sweep store at most (512 MiB of doubles).
    static constexpr std::int64_t kMaxRingValues = std::int64_t{1} << 26;
    static inline const QColor kTraceColour{0, 153, 255};
    static inline const QColor kRecordingTraceColour{0, 0, 0};
    static inline const QColor kGridColour{255, 153, 71};
    static inline const QColor kEventColour{255, 0, 0};

    ReferenceWaveRenderer();

    // Parameters outside what the display can draw (no channel, a packet size
    // below 1, a sample rate below 5 or below the packet size, or more than
    // kMaxRingValues for ten seconds of every channel) leave it set up for
    // nothing: packets are then ignored.
    void SetUp(int packetSize, int channelCount, int sampleRate, int secondsPerScreen,
               std::span<const ChannelRecord> records);
    void SetChannelFlags(std::span<const int> flags);
    void ResetTimeLabels();
    // One packet, packetSize × channelCount values, sample-major. A shorter
    // buffer is ignored.
    void AddPacket(std::span<const double> samples);
    void SetRecordingPen(bool recording);

    void HalveGain();
    void DoubleGain();
    void ResetGain();
    void ShowFewerSeconds();
    void ShowMoreSeconds();

    // The client size that the next full redraw uses.
    void Resize(QSize size);

    const QImage& Image() const { return image_; }

    // State, for the window's owner and for tests.
    bool IsSetUp() const { return channelCount_ > 0; }
    int ChannelCount() const { return channelCount_; }
    int PacketsPerScreen() const { return packetsPerScreen_; }
    int SecondsPerScreen() const { return secondsPerScreen_; }
    double PixelsPerSample() const { return pixelsPerSample_; }
    double X() const { return x_; }
    int SweepSample() const { return sweepSample_; }
    int WriteSlot() const { return writeSlot_; }
    double Gain() const { return gain_; }
    bool FullRedrawPending() const { return fullRedrawPending_; }
    int EnabledCount() const { return enabledCount_; }
    std::span<const int> BaselineY() const { return baselineY_; }
    const QString& TimeLabel(int k) const { return timeLabels_[static_cast<std::size_t>(k)]; }
    QColor TraceColour() const { return tracePen_.color(); }
    // Where time label k stands in an image of the given size: its right edge
    // ends the (k + 1)-th second of the sweep.
    QRect TimeLabelRect(int k, const QString& text, QSize size) const;

    // "%02d:%02d:%02d" of elapsed whole seconds.
    static QString ElapsedTimeText(int seconds);

private:
    void RestartSweepWithNewTimeBase();
    void ClearTimeLabels();
    void FullRedraw();
    void LayOutRows();
    void DrawSweepTraces(QPainter& painter);
    void ReplayGridAndEvents(QPainter& painter);
    void IncrementalUpdate();
    void EraseAhead(QPainter& painter, int firstSample);
    void DrawPacketTrace(QPainter& painter, int channel, std::size_t base, int firstSample);
    void DrawPacketGridAndEvents(QPainter& painter, std::size_t base, int firstSample);
    // Draws the grid lines due at sweepSample; true at a whole second.
    bool DrawGridLines(QPainter& painter);
    void CountWholeSecond();
    void DrawEvent(QPainter& painter, int number, bool replay);
    void DrawBandsAndTimeLabels(QPainter& painter);
    void DrawChannelLabels(QPainter& painter);
    void MakeBands();

    // Positions follow from the sample's place in the sweep rather than from
    // adding up steps, so grid lines land on the same columns sweep after sweep.
    double PositionOf(int sweepSample) const { return sweepSample * pixelsPerSample_; }
    // Whether the step to the next sample reaches a new pixel column.
    bool StepMovesColumn(int sample) const;
    bool Shown(int channel) const { return enabled_[static_cast<std::size_t>(channel)] == 1; }
    double TraceY(int channel, double value) const;
    // Traces are drawn relative to the first sample of the sweep (slot 0).
    double SweepFirstValue(int channel) const { return ring_[static_cast<std::size_t>(channel)]; }
    double EventValue(int storedSample) const;
    int W() const { return image_.width(); }
    int H() const { return image_.height(); }
    int SamplesPerSweep() const { return sampleRate_ * secondsPerScreen_; }

    // Parameters.
    int channelCount_ = 0;
    int sampleRate_ = 0;
    int packetSize_ = 0;
    int secondsPerScreen_ = 4;
    int packetsPerScreen_ = 0;
    std::vector<ChannelRecord> records_;
    std::vector<QString> labels_;  // the records' labels as text

    // Sweep.
    std::vector<double> ring_;
    int writeSlot_ = 0;
    int sweepSample_ = 0;
    double x_ = 0.0;
    double pixelsPerSample_ = 0.0;
    double lastEventValue_ = 0.0;
    int secondsCounter_ = 0;
    int sweepFirstSecond_ = 0;  // secondsCounter_ when the sweep began at a new time base
    std::array<QString, kMaxSecondsPerScreen> timeLabels_;

    // Channels.
    std::vector<int> enabled_;
    int enabledCount_ = 0;
    std::vector<int> baselineY_;
    std::vector<double> lastY_;

    // Drawing.
    double gain_ = 1.0;
    bool fullRedrawPending_ = false;
    QSize clientSize_;
    QImage image_;
    QImage bands_;  // the graded colour of every row, remade with the image
    QPen tracePen_;
    QPen fifthPen_;
    QPen secondPen_;
    QPen eventPen_;
    QFont timeFont_;
    QFont labelFont_;
    std::vector<QPoint> points_;  // one trace's vertices, reused
};
