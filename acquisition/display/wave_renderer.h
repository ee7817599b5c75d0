#pragma once
// The sweep display's drawing: the current sweep's packets, the sweep state and
// an off-screen image that every packet draws into. No widgets here, so the
// drawing can be tested and measured without a window.
//
// A packet draws only what it changes: the erase-ahead strip, its traces, grid
// lines and events, and the few pieces of the bands and labels that these (or
// the last packet's) drew over. The bands and labels are repaired in the order
// a full repaint would draw them, so the picture is the one that redrawing
// everything at every packet gives, pixel for pixel. Texts are laid out once
// (labels at set-up, digits when the fonts are made), and the painter stays
// open on the image, so a packet allocates nothing; only a full redraw, after
// a change of layout, gain, time base, leads or size, does.
//
// Threads: not thread-safe. WaveDisplay calls every operation under one lock:
// AddPacket and StorePacket from its drawing thread, the rest from the UI
// thread.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QSize>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "acquisition/display/glyph_text.h"
#include "acquisition/electrodes/electrode_file.h"

class WaveRenderer {
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
    // Markers from the keys or the network, apart from the amplifier's events.
    static inline const QColor kMarkerColour{0, 150, 60};

    // What one AddPacket changed in the image: the part of the plot it drew,
    // and the parts of the left, right and bottom bands it repaired. Empty
    // rectangles where nothing changed; a full redraw changes the whole image.
    enum Part { kPlotPart, kLeftBandPart, kRightBandPart, kBottomBandPart, kPartCount };
    using Changes = std::array<QRect, kPartCount>;

    WaveRenderer();
    WaveRenderer(const WaveRenderer&) = delete;
    WaveRenderer& operator=(const WaveRenderer&) = delete;

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
    // A packet kept for the next full redraw without being drawn: the sweep
    // and the count of seconds move on as drawing it would have moved them.
    // For a display that has fallen behind and skips to its newest packet.
    void StorePacket(std::span<const double> samples);
    void SetRecordingPen(bool recording);
    // A marker line where the next packet starts, with digit (1 to 9) beside
    // it or no text (0). Drawn over the plot only, so the sweep erases it as
    // it comes round; a full redraw does not bring it back.
    void MarkNextPacket(int digit);

    void HalveGain();
    void DoubleGain();
    void ResetGain();
    void ShowFewerSeconds();
    void ShowMoreSeconds();

    // The client size that the next full redraw uses.
    void Resize(QSize size);

    const QImage& Image() const { return image_; }
    const Changes& LastChanges() const { return changes_; }

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
    std::span<const int> ChannelFlags() const { return enabled_; }
    std::span<const int> BaselineY() const { return baselineY_; }
    QString TimeLabel(int k) const;
    QColor TraceColour() const { return tracePen_.color(); }
    // Where time label k stands in an image of the given size: its right edge
    // ends the (k + 1)-th second of the sweep.
    QRect TimeLabelRect(int k, const QString& text, QSize size) const;

    // "%02d:%02d:%02d" of elapsed whole seconds.
    static QString ElapsedTimeText(int seconds);

private:
    // A text of the bottom band: "hh:mm:ss", longer past 99 hours.
    using TimeText = std::array<char, 32>;
    // Rectangles in the left, right and bottom band, in that order.
    using BandRects = std::array<QRect, 3>;
    static constexpr std::size_t kLeft = 0, kRight = 1, kBottom = 2;

    // Copies the packet into the sweep store; false when it is not one.
    bool StoreInSweep(std::span<const double> samples);
    void RestartSweepWithNewTimeBase();
    void ClearTimeLabels();
    void FullRedraw();
    void NewImage();
    void LayOutRows();
    void DrawSweepTraces();
    void ReplayGridAndEvents();
    void DrawPendingMarkers(int firstSample);
    void IncrementalUpdate();
    void FindPacketColumns(int firstSample);
    void EraseAhead();
    // Both return the rectangle the trace's pixels may reach.
    QRect DrawPacketTrace(int channel, std::size_t base);
    QRect DrawPolyline();
    template <typename Visit>
    void WalkPacket(std::size_t base, int firstSample, int& sweepSample, double& lastEvent, Visit visit) const;
    void DrawPacketGridAndEvents(std::size_t base, int firstSample);
    // Where the packet's grid lines and events will draw over the bands.
    BandRects PacketOverdraw(std::size_t base, int firstSample) const;
    // Draws the grid lines due at sweepSample; true at a whole second.
    bool DrawGridLines();
    void FillWhite(QRect r);
    void DrawDottedLine(int column);
    void CountWholeSecond();
    static void FormatElapsed(TimeText& text, int seconds);
    void DrawEvent(int number, bool replay);
    QRect GridLine(double x) const;
    QRect EventBox(double x, bool replay) const;
    QRect EventTick(double x) const;
    void DrawBandsAndTimeLabels();
    void DrawChannelLabels();
    void DrawTimeLabel(int k);
    void DrawChannelLabel(int channel);
    void MakeBands();

    // Band repair after a packet's own drawing.
    BandRects BandAreas() const;
    void AddToBands(BandRects& rects, QRect r) const;
    // Grows the rectangles until every label they touch lies wholly inside.
    void TakeInWholeLabels(BandRects& rects) const;
    void RepairBands(const BandRects& rects);
    void DrawChannelLabelsIn(const BandRects& rects);
    QRect ChannelLabelBox(int channel) const;
    QRect TimeLabelBox(int k) const;
    void Changed(QRect r) { changes_[kPlotPart] |= r; }

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

    // Sweep.
    std::vector<double> ring_;
    int writeSlot_ = 0;
    int sweepSample_ = 0;
    double x_ = 0.0;
    double pixelsPerSample_ = 0.0;
    double lastEventValue_ = 0.0;
    int secondsCounter_ = 0;
    int sweepFirstSecond_ = 0;  // secondsCounter_ when the sweep began at a new time base
    std::array<TimeText, kMaxSecondsPerScreen> timeLabels_{};
    bool timeLabelsChanged_ = false;

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
    QPainter painter_;  // open on image_ from one full redraw to the next
    QImage bands_;      // the graded colour of every row, remade with the image
    QPen tracePen_;
    QPen fifthPen_;
    QPen secondPen_;
    QPen eventPen_;
    QPen eventTextPen_;
    QPen timeTextPen_;
    QPen labelPen_;
    QFont timeFont_;
    QFont labelFont_;
    int timeTextHeight_ = 0;
    DigitText timeDigits_;
    DigitText eventDigits_;
    std::vector<GlyphText> labelTexts_;
    std::vector<int> dottedRows_;  // the rows a dotted grid line covers
    ScratchClip clip_;
    // The packet's samples that reach a new pixel column, and their columns.
    struct PacketColumn {
        int sample;
        int x;
    };
    std::vector<PacketColumn> packetColumns_;
    std::vector<QPoint> points_;  // one trace's vertices, reused
    BandRects overdrawn_{};  // what the last packet's grid and events drew over the bands
    Changes changes_{};
    // Markers for the next packet: their digits (0: none), a few at most.
    std::array<int, 4> pendingMarkers_{};
    std::size_t pendingMarkerCount_ = 0;
    QPen markerPen_{kMarkerColour, 2};
};
