#include "reference_wave_renderer.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "acquisition/display/label_text.h"
#include "acquisition/display/pixel.h"

namespace {

// "TimesRoman" is the face the display was designed with; here it is matched
// to whatever serif face the system has.
QFont TimesRoman(int pixelHeight, QFont::Weight weight) {
    QFont font;
    font.setFamilies({"TimesRoman", "Times New Roman", "Times", "Liberation Serif", "DejaVu Serif", "serif"});
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(pixelHeight);
    font.setWeight(weight);
    return font;
}

QColor BandColour(int row, int height) {
    const double f = static_cast<double>(row) / height;
    return QColor(TruncPixel(229 - 229 * f), TruncPixel(229 - 104 * f), std::min(255, TruncPixel(229 + 26 * f)));
}

}  // namespace

ReferenceWaveRenderer::ReferenceWaveRenderer()
    : tracePen_(kTraceColour, 1),
      fifthPen_(kGridColour, 1, Qt::DotLine),
      secondPen_(kGridColour, 1),
      eventPen_(kEventColour, 1),
      timeFont_(TimesRoman(16, QFont::Bold)),
      labelFont_(TimesRoman(12, QFont::Normal)) {}

void ReferenceWaveRenderer::SetUp(int packetSize, int channelCount, int sampleRate, int secondsPerScreen,
                         std::span<const ChannelRecord> records) {
    // The sweep store holds ten seconds of every channel; a rate too high for
    // that (a typed value, say) would exhaust memory and overflow the sweep
    // arithmetic, so it is not drawn.
    const bool storable = channelCount >= 1 && sampleRate >= 1 &&
                          std::int64_t{sampleRate} * kMaxSecondsPerScreen * channelCount <= kMaxRingValues;
    const bool drawable = packetSize >= 1 && channelCount >= 1 && sampleRate >= 5 && sampleRate >= packetSize && storable;
    channelCount_ = drawable ? channelCount : 0;
    packetSize_ = drawable ? packetSize : 0;
    sampleRate_ = drawable ? sampleRate : 0;
    secondsPerScreen_ = std::clamp(secondsPerScreen, 1, kMaxSecondsPerScreen);
    packetsPerScreen_ = drawable ? sampleRate_ * secondsPerScreen_ / packetSize_ : 0;
    writeSlot_ = 0;

    const auto channels = static_cast<std::size_t>(channelCount_);
    ring_.assign(channels * static_cast<std::size_t>(sampleRate_) * kMaxSecondsPerScreen, 0.0);
    enabled_.assign(channels, 1);
    enabledCount_ = std::max(0, channelCount_ - 1);
    baselineY_.assign(channels, 0);
    lastY_.assign(channels, 0.0);
    records_.assign(channels, ChannelRecord{});
    std::copy_n(records.begin(), std::min(records.size(), channels), records_.begin());
    labels_.clear();
    for (const ChannelRecord& record : records_) labels_.push_back(LabelText(record.label));
    // The sweep state may stem from other settings; the full redraw brings it in line.
    fullRedrawPending_ = true;
}

void ReferenceWaveRenderer::SetChannelFlags(std::span<const int> flags) {
    fullRedrawPending_ = true;
    if (channelCount_ < 2) {
        enabledCount_ = 0;
        return;
    }
    const std::size_t signalChannels = static_cast<std::size_t>(channelCount_ - 1);
    std::copy_n(flags.begin(), std::min(flags.size(), signalChannels), enabled_.begin());
    enabledCount_ = static_cast<int>(std::count(enabled_.begin(), enabled_.begin() + signalChannels, 1));
}

void ReferenceWaveRenderer::ClearTimeLabels() {
    for (QString& label : timeLabels_) label.clear();
}

void ReferenceWaveRenderer::ResetTimeLabels() {
    secondsCounter_ = 0;
    sweepFirstSecond_ = 0;
    for (QString& label : timeLabels_) label.clear();
}

void ReferenceWaveRenderer::SetRecordingPen(bool recording) {
    tracePen_.setColor(recording ? kRecordingTraceColour : kTraceColour);
}

void ReferenceWaveRenderer::HalveGain() {
    gain_ *= 0.5;
    fullRedrawPending_ = true;
}

void ReferenceWaveRenderer::DoubleGain() {
    gain_ *= 2.0;
    fullRedrawPending_ = true;
}

void ReferenceWaveRenderer::ResetGain() {
    gain_ = 1.0;
    fullRedrawPending_ = true;
}

void ReferenceWaveRenderer::ShowFewerSeconds() {
    if (secondsPerScreen_ <= 1) {
        secondsPerScreen_ = 1;
        return;
    }
    --secondsPerScreen_;
    RestartSweepWithNewTimeBase();
}

void ReferenceWaveRenderer::ShowMoreSeconds() {
    if (secondsPerScreen_ + 1 > kMaxSecondsPerScreen) {
        secondsPerScreen_ = kMaxSecondsPerScreen;
        return;
    }
    ++secondsPerScreen_;
    RestartSweepWithNewTimeBase();
}

void ReferenceWaveRenderer::RestartSweepWithNewTimeBase() {
    fullRedrawPending_ = true;
    if (packetSize_ > 0) packetsPerScreen_ = sampleRate_ * secondsPerScreen_ / packetSize_;
    x_ = 0.0;
    writeSlot_ = 0;
    // The count of seconds goes on, as it does across a change of gain; the
    // new sweep's labels start at its left edge.
    sweepFirstSecond_ = secondsCounter_;
    ClearTimeLabels();
}

void ReferenceWaveRenderer::Resize(QSize size) {
    clientSize_ = size;
    if (channelCount_ > 0) fullRedrawPending_ = true;
}

QString ReferenceWaveRenderer::ElapsedTimeText(int seconds) {
    return QString::asprintf("%02d:%02d:%02d", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
}

void ReferenceWaveRenderer::AddPacket(std::span<const double> samples) {
    if (!IsSetUp() || packetsPerScreen_ < 1) return;
    const auto slotValues = static_cast<std::size_t>(packetSize_) * static_cast<std::size_t>(channelCount_);
    if (samples.size() < slotValues) return;

    std::copy_n(samples.begin(), slotValues, ring_.begin() + static_cast<std::ptrdiff_t>(writeSlot_ * slotValues));
    if (++writeSlot_ >= packetsPerScreen_) writeSlot_ = 0;

    if (clientSize_.width() < 1 || clientSize_.height() < 1) return;  // nowhere to draw yet
    if (fullRedrawPending_ || image_.isNull()) FullRedraw();
    else IncrementalUpdate();
}

// ---- Full redraw -------------------------------------------------------------

void ReferenceWaveRenderer::FullRedraw() {
    image_ = QImage(clientSize_, QImage::Format_RGB32);
    MakeBands();
    QPainter painter(&image_);
    painter.fillRect(0, 0, W(), H() - kBottomBand, Qt::white);
    LayOutRows();
    pixelsPerSample_ = static_cast<double>(W() - 2 * kSideMargin) / (packetsPerScreen_ * packetSize_);
    painter.fillRect(kSideMargin, 0, W() - kSideMargin, H(), Qt::white);
    DrawSweepTraces(painter);
    ReplayGridAndEvents(painter);
    DrawBandsAndTimeLabels(painter);
    DrawChannelLabels(painter);
    x_ = packetSize_ * writeSlot_ * pixelsPerSample_;
    fullRedrawPending_ = false;
}

void ReferenceWaveRenderer::LayOutRows() {
    const int plotHeight = H() - kBottomBand;
    if (enabledCount_ > 0) {
        const double rowHeight = static_cast<double>(plotHeight) / enabledCount_;
        const int offset = TruncPixel(rowHeight * 0.5 + 5);
        int k = 0;
        for (int i = 0; i < channelCount_ - 1; ++i) {
            if (!Shown(i)) continue;
            baselineY_[static_cast<std::size_t>(i)] = TruncPixel(k * rowHeight + offset);
            ++k;
        }
    }
    for (int i = 0; i < channelCount_ - 1; ++i) lastY_[static_cast<std::size_t>(i)] = baselineY_[static_cast<std::size_t>(i)];
}

void ReferenceWaveRenderer::DrawSweepTraces(QPainter& painter) {
    const int stored = packetSize_ * writeSlot_;
    painter.setPen(tracePen_);
    for (int i = 0; i < channelCount_ - 1; ++i) {
        if (!Shown(i)) continue;
        auto& lastY = lastY_[static_cast<std::size_t>(i)];
        points_.clear();
        points_.emplace_back(kSideMargin, TruncPixel(lastY));
        for (int s = 0; s < stored; ++s) {
            if (!StepMovesColumn(s)) continue;
            const double y = TraceY(i, ring_[static_cast<std::size_t>(s * channelCount_ + i)]);
            lastY = y;
            points_.emplace_back(TruncPixel(kSideMargin + PositionOf(s + 1)), TruncPixel(y));
        }
        if (points_.size() > 1) painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
    }
}

// The replay draws the grid and the events of the stored sweep at the columns
// where the live drawing put them, sample by sample.
void ReferenceWaveRenderer::ReplayGridAndEvents(QPainter& painter) {
    const int stored = packetSize_ * writeSlot_;
    sweepSample_ = 0;
    for (int s = 0; s < stored; ++s) {
        x_ = PositionOf(s + 1);
        if (++sweepSample_ >= SamplesPerSweep()) sweepSample_ = 0;
        DrawGridLines(painter);
        const double event = std::trunc(EventValue(s));
        const int number = event - lastEventValue_ > 0 ? TruncPixel(event) : 0;
        lastEventValue_ = event;
        if (number != 0) DrawEvent(painter, number, true);
    }
}

// ---- Incremental update --------------------------------------------------------

void ReferenceWaveRenderer::IncrementalUpdate() {
    QPainter painter(&image_);
    if (sweepSample_ == 0) {
        x_ = 0.0;
        for (int i = 0; i < channelCount_ - 1; ++i) lastY_[static_cast<std::size_t>(i)] = baselineY_[static_cast<std::size_t>(i)];
        painter.fillRect(4, 0, 45, H(), Qt::white);
    }
    const int firstSample = sweepSample_;  // the packet's samples follow it in the sweep
    EraseAhead(painter, firstSample);

    const int slot = (writeSlot_ == 0 ? packetsPerScreen_ : writeSlot_) - 1;
    const std::size_t base = static_cast<std::size_t>(slot) * packetSize_ * channelCount_;
    painter.setPen(tracePen_);
    for (int i = 0; i < channelCount_ - 1; ++i) {
        if (Shown(i)) DrawPacketTrace(painter, i, base, firstSample);
    }
    DrawBandsAndTimeLabels(painter);
    DrawPacketGridAndEvents(painter, base, firstSample);
    DrawChannelLabels(painter);
    if (sweepSample_ >= packetsPerScreen_ * packetSize_) sweepSample_ = 0;
}

void ReferenceWaveRenderer::EraseAhead(QPainter& painter, int firstSample) {
    double width = 0.0;
    for (int j = 0; j < packetSize_; ++j) {
        if (StepMovesColumn(firstSample + j)) width += pixelsPerSample_ < 1 ? 1.0 : pixelsPerSample_;
    }
    painter.fillRect(TruncPixel(kSideMargin + x_ + 1), 0, TruncPixel(width + 1), H() - kBottomBand, Qt::white);
}

void ReferenceWaveRenderer::DrawPacketTrace(QPainter& painter, int channel, std::size_t base, int firstSample) {
    auto& lastY = lastY_[static_cast<std::size_t>(channel)];
    points_.clear();
    points_.emplace_back(TruncPixel(kSideMargin + x_), TruncPixel(lastY));
    for (int j = 0; j < packetSize_; ++j) {
        if (!StepMovesColumn(firstSample + j)) continue;
        const double y = TraceY(channel, ring_[base + static_cast<std::size_t>(j * channelCount_ + channel)]);
        lastY = y;
        points_.emplace_back(TruncPixel(kSideMargin + PositionOf(firstSample + j + 1)), TruncPixel(y));
    }
    if (points_.size() > 1) painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
}

void ReferenceWaveRenderer::DrawPacketGridAndEvents(QPainter& painter, std::size_t base, int firstSample) {
    for (int j = 0; j < packetSize_; ++j) {
        x_ = PositionOf(firstSample + j + 1);
        if (++sweepSample_ >= SamplesPerSweep()) sweepSample_ = 0;
        if (DrawGridLines(painter)) CountWholeSecond();
        const double event = ring_[base + static_cast<std::size_t>((j + 1) * channelCount_ - 1)];
        const int number = event - lastEventValue_ > 0 ? TruncPixel(event) : 0;
        lastEventValue_ = event;
        if (number != 0) DrawEvent(painter, number, false);
    }
}

// ---- Shared pieces ---------------------------------------------------------------

bool ReferenceWaveRenderer::DrawGridLines(QPainter& painter) {
    const int column = TruncPixel(kSideMargin + x_);
    const int bottom = H() - kBottomBand - 1;
    if (sweepSample_ % (sampleRate_ / 5) == 0) {
        painter.setPen(fifthPen_);
        painter.drawLine(column, 0, column, bottom);
    }
    if (sweepSample_ % sampleRate_ != 0) return false;
    painter.setPen(secondPen_);
    painter.drawLine(column, 0, column, bottom);
    return true;
}

void ReferenceWaveRenderer::CountWholeSecond() {
    const int n = secondsCounter_ + 1;
    timeLabels_[static_cast<std::size_t>((secondsCounter_ - sweepFirstSecond_) % secondsPerScreen_)] = ElapsedTimeText(n);
    ++secondsCounter_;
}

// Live events stand right-aligned left of their tick; replayed ones start just
// left of it.
void ReferenceWaveRenderer::DrawEvent(QPainter& painter, int number, bool replay) {
    const int column = TruncPixel(kSideMargin + x_);
    const int top = TruncPixel(H() * 0.91 - kBottomBand);
    const QRect box = replay ? QRect(TruncPixel(x_ - 5 + kSideMargin), top, 30, 20)
                             : QRect(TruncPixel(kSideMargin + x_ - 30), top, 30, 20);
    painter.setPen(kEventColour);
    painter.setFont(labelFont_);
    painter.drawText(box, (replay ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignTop, QString::number(number));
    painter.setPen(eventPen_);
    painter.drawLine(column, H() - kBottomBand, column, TruncPixel(H() * 0.95 - kBottomBand) + 1);
}

void ReferenceWaveRenderer::MakeBands() {
    bands_ = QImage(image_.size(), QImage::Format_RGB32);
    for (int r = 0; r < bands_.height(); ++r) {
        const QRgb colour = BandColour(r, bands_.height()).rgb();
        auto* line = reinterpret_cast<QRgb*>(bands_.scanLine(r));
        std::fill(line, line + bands_.width(), colour);
    }
}

QRect ReferenceWaveRenderer::TimeLabelRect(int k, const QString& text, QSize size) const {
    const QFontMetrics metrics(timeFont_);
    const int step = (size.width() - 2 * kSideMargin) / secondsPerScreen_;
    const int width = metrics.horizontalAdvance(text);
    const int height = metrics.height();
    const int right = kSideMargin + (k + 1) * step;
    const int top = size.height() - kBottomBand + (kBottomBand - height) / 2;
    return QRect(right - width, top, width, height);
}

void ReferenceWaveRenderer::DrawBandsAndTimeLabels(QPainter& painter) {
    const int plotBottom = H() - kBottomBand;
    const QRect left(0, 0, kSideMargin, plotBottom);
    const QRect right(W() - kSideMargin, 0, kSideMargin, plotBottom);
    const QRect bottom(0, plotBottom, W(), kBottomBand);
    for (const QRect& band : {left, right, bottom}) painter.drawImage(band, bands_, band);

    painter.setPen(Qt::white);
    painter.setFont(timeFont_);
    for (int k = 0; k < secondsPerScreen_; ++k) {
        const QString& text = timeLabels_[static_cast<std::size_t>(k)];
        if (text.isEmpty()) continue;
        painter.drawText(TimeLabelRect(k, text, image_.size()), Qt::AlignRight | Qt::AlignTop, text);
    }
}

void ReferenceWaveRenderer::DrawChannelLabels(QPainter& painter) {
    if (enabledCount_ == 0) return;
    painter.setPen(Qt::black);
    painter.setFont(labelFont_);
    for (int i = 0; i < channelCount_ - 1; ++i) {
        if (!Shown(i)) continue;
        const int baseline = baselineY_[static_cast<std::size_t>(i)];
        painter.drawText(QRect(0, baseline - 10, kSideMargin, 20), Qt::AlignHCenter | Qt::AlignTop,
                         labels_[static_cast<std::size_t>(i)]);
    }
}

bool ReferenceWaveRenderer::StepMovesColumn(int sample) const {
    return TruncPixel(PositionOf(sample + 1)) != TruncPixel(PositionOf(sample));
}

double ReferenceWaveRenderer::TraceY(int channel, double value) const {
    return (value - SweepFirstValue(channel)) * gain_ + baselineY_[static_cast<std::size_t>(channel)];
}

double ReferenceWaveRenderer::EventValue(int sample) const {
    return ring_[static_cast<std::size_t>((sample + 1) * channelCount_ - 1)];
}
