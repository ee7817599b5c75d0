#include "acquisition/display/wave_renderer.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sys/mman.h>

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

template <std::size_t N>
std::string_view Format(std::array<char, N>& text, const char* format, auto... values) {
    const int n = std::snprintf(text.data(), text.size(), format, values...);
    return std::string_view(text.data(), static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(N) - 1)));
}

// An RGB32 image whose memory the kernel may back with 2 MiB pages: a packet
// writes a strip down the whole height, one row per 4 KiB page otherwise, and
// an address-translation miss for every row costs more than the drawing. The
// memory is mapped for the image alone, at a 2 MiB boundary, because the
// kernel backs only whole aligned 2 MiB ranges with large pages.
struct LargePageMapping {
    void* start;
    std::size_t length;
};

QImage LargePageImage(QSize size) {
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    const std::size_t bytes = static_cast<std::size_t>(size.width()) * 4 * static_cast<std::size_t>(size.height());
    const std::size_t length = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void* mapping = length > 0 ? ::mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                               : MAP_FAILED;
    if (mapping == MAP_FAILED) return QImage(size, QImage::Format_RGB32);
    auto* const base = static_cast<char*>(mapping);
    const std::size_t head = (kLargePage - reinterpret_cast<std::uintptr_t>(base) % kLargePage) % kLargePage;
    char* const start = base + head;
    if (head > 0) ::munmap(base, head);
    ::munmap(start + length, kLargePage - head);
    ::madvise(start, length, MADV_HUGEPAGE);  // advice only: ignored where large pages are off
    auto unmap = [](void* info) {
        const std::unique_ptr<LargePageMapping> region(static_cast<LargePageMapping*>(info));
        ::munmap(region->start, region->length);
    };
    return QImage(reinterpret_cast<uchar*>(start), size.width(), size.height(), size.width() * 4, QImage::Format_RGB32,
                  unmap, std::make_unique<LargePageMapping>(LargePageMapping{start, length}).release());
}

}  // namespace

WaveRenderer::WaveRenderer()
    : tracePen_(kTraceColour, 1),
      fifthPen_(kGridColour, 1, Qt::DotLine),
      secondPen_(kGridColour, 1),
      eventPen_(kEventColour, 1),
      eventTextPen_(kEventColour),
      timeTextPen_(Qt::white),
      labelPen_(Qt::black),
      timeFont_(TimesRoman(16, QFont::Bold)),
      labelFont_(TimesRoman(12, QFont::Normal)),
      timeTextHeight_(QFontMetrics(timeFont_).height()),
      timeDigits_(timeFont_),
      eventDigits_(labelFont_) {}

void WaveRenderer::SetUp(int packetSize, int channelCount, int sampleRate, int secondsPerScreen,
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
    labelTexts_.clear();
    for (std::size_t c = 0; c < channels; ++c)
        labelTexts_.emplace_back(LabelText(c < records.size() ? records[c].label : ChannelRecord{}.label), labelFont_);
    points_.reserve(static_cast<std::size_t>(packetSize_) + 1);
    packetColumns_.reserve(static_cast<std::size_t>(packetSize_));
    // The sweep state may stem from other settings; the full redraw brings it in line.
    fullRedrawPending_ = true;
}

void WaveRenderer::SetChannelFlags(std::span<const int> flags) {
    fullRedrawPending_ = true;
    if (channelCount_ < 2) {
        enabledCount_ = 0;
        return;
    }
    const std::size_t signalChannels = static_cast<std::size_t>(channelCount_ - 1);
    std::copy_n(flags.begin(), std::min(flags.size(), signalChannels), enabled_.begin());
    enabledCount_ = static_cast<int>(std::count(enabled_.begin(), enabled_.begin() + signalChannels, 1));
}

void WaveRenderer::ClearTimeLabels() {
    for (TimeText& label : timeLabels_) label[0] = '\0';
    timeLabelsChanged_ = true;
}

void WaveRenderer::ResetTimeLabels() {
    secondsCounter_ = 0;
    sweepFirstSecond_ = 0;
    ClearTimeLabels();
}

void WaveRenderer::SetRecordingPen(bool recording) {
    tracePen_.setColor(recording ? kRecordingTraceColour : kTraceColour);
}

void WaveRenderer::HalveGain() {
    gain_ *= 0.5;
    fullRedrawPending_ = true;
}

void WaveRenderer::DoubleGain() {
    gain_ *= 2.0;
    fullRedrawPending_ = true;
}

void WaveRenderer::ResetGain() {
    gain_ = 1.0;
    fullRedrawPending_ = true;
}

void WaveRenderer::ShowFewerSeconds() {
    if (secondsPerScreen_ <= 1) {
        secondsPerScreen_ = 1;
        return;
    }
    --secondsPerScreen_;
    RestartSweepWithNewTimeBase();
}

void WaveRenderer::ShowMoreSeconds() {
    if (secondsPerScreen_ + 1 > kMaxSecondsPerScreen) {
        secondsPerScreen_ = kMaxSecondsPerScreen;
        return;
    }
    ++secondsPerScreen_;
    RestartSweepWithNewTimeBase();
}

void WaveRenderer::RestartSweepWithNewTimeBase() {
    fullRedrawPending_ = true;
    if (packetSize_ > 0) packetsPerScreen_ = sampleRate_ * secondsPerScreen_ / packetSize_;
    x_ = 0.0;
    writeSlot_ = 0;
    // The count of seconds goes on, as it does across a change of gain; the
    // new sweep's labels start at its left edge.
    sweepFirstSecond_ = secondsCounter_;
    ClearTimeLabels();
}

void WaveRenderer::Resize(QSize size) {
    clientSize_ = size;
    if (channelCount_ > 0) fullRedrawPending_ = true;
}

QString WaveRenderer::TimeLabel(int k) const {
    return QString::fromLatin1(timeLabels_[static_cast<std::size_t>(k)].data());
}

void WaveRenderer::FormatElapsed(TimeText& text, int seconds) {
    Format(text, "%02d:%02d:%02d", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
}

QString WaveRenderer::ElapsedTimeText(int seconds) {
    TimeText text;
    FormatElapsed(text, seconds);
    return QString::fromLatin1(text.data());
}

bool WaveRenderer::StoreInSweep(std::span<const double> samples) {
    changes_ = {};
    if (!IsSetUp() || packetsPerScreen_ < 1) return false;
    const auto slotValues = static_cast<std::size_t>(packetSize_) * static_cast<std::size_t>(channelCount_);
    if (samples.size() < slotValues) return false;
    std::copy_n(samples.begin(), slotValues, ring_.begin() + static_cast<std::ptrdiff_t>(writeSlot_ * slotValues));
    if (++writeSlot_ >= packetsPerScreen_) writeSlot_ = 0;
    return true;
}

void WaveRenderer::AddPacket(std::span<const double> samples) {
    if (!StoreInSweep(samples)) return;
    if (clientSize_.width() < 1 || clientSize_.height() < 1) return;  // nowhere to draw yet
    if (fullRedrawPending_ || image_.isNull()) FullRedraw();
    else IncrementalUpdate();
}

// The full redraw replays the grid, the events and the sweep position from
// the store; only the count of seconds, which the live drawing keeps, is kept
// here.
void WaveRenderer::StorePacket(std::span<const double> samples) {
    if (!StoreInSweep(samples)) return;
    for (int j = 0; j < packetSize_; ++j) {
        if (++sweepSample_ >= SamplesPerSweep()) sweepSample_ = 0;
        if (sweepSample_ % sampleRate_ == 0) CountWholeSecond();
    }
    if (sweepSample_ >= packetsPerScreen_ * packetSize_) sweepSample_ = 0;
    fullRedrawPending_ = true;
}

// ---- Full redraw -------------------------------------------------------------

void WaveRenderer::FullRedraw() {
    NewImage();
    painter_.fillRect(0, 0, W(), H() - kBottomBand, Qt::white);
    LayOutRows();
    pixelsPerSample_ = static_cast<double>(W() - 2 * kSideMargin) / (packetsPerScreen_ * packetSize_);
    painter_.fillRect(kSideMargin, 0, W() - kSideMargin, H(), Qt::white);
    DrawSweepTraces();
    ReplayGridAndEvents();
    DrawBandsAndTimeLabels();
    DrawChannelLabels();
    x_ = packetSize_ * writeSlot_ * pixelsPerSample_;
    fullRedrawPending_ = false;
    timeLabelsChanged_ = false;
    overdrawn_ = {};  // the bands were drawn last
    changes_[kPlotPart] = image_.rect();
}

// The image, its bands and everything made to its measure.
void WaveRenderer::NewImage() {
    if (painter_.isActive()) painter_.end();
    image_ = LargePageImage(clientSize_);
    painter_.begin(&image_);
    MakeBands();
    clip_.Reserve(QSize(std::max(W(), kSideMargin), std::max(kBottomBand, timeTextHeight_)));

    // A dotted pen allocates its dash pattern at every line; its pattern is
    // taken once from a line drawn on a white column.
    QImage column(1, H(), QImage::Format_RGB32);
    column.fill(Qt::white);
    QPainter dots(&column);
    dots.setPen(fifthPen_);
    dots.drawLine(0, 0, 0, H() - kBottomBand - 1);
    dots.end();
    dottedRows_.clear();
    for (int y = 0; y < H(); ++y) {
        if (column.pixel(0, y) != QColor(Qt::white).rgb()) dottedRows_.push_back(y);
    }
}

void WaveRenderer::LayOutRows() {
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

void WaveRenderer::DrawSweepTraces() {
    const int stored = packetSize_ * writeSlot_;
    painter_.setPen(tracePen_);
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
        DrawPolyline();
    }
}

// The replay draws the grid and the events of the stored sweep at the columns
// where the live drawing put them, sample by sample.
void WaveRenderer::ReplayGridAndEvents() {
    const int stored = packetSize_ * writeSlot_;
    sweepSample_ = 0;
    for (int s = 0; s < stored; ++s) {
        x_ = PositionOf(s + 1);
        if (++sweepSample_ >= SamplesPerSweep()) sweepSample_ = 0;
        DrawGridLines();
        const double event = std::trunc(EventValue(s));
        const int number = event - lastEventValue_ > 0 ? TruncPixel(event) : 0;
        lastEventValue_ = event;
        if (number != 0) DrawEvent(number, true);
    }
}

void WaveRenderer::DrawBandsAndTimeLabels() {
    for (const QRect& band : BandAreas()) painter_.drawImage(band, bands_, band);
    for (int k = 0; k < secondsPerScreen_; ++k) DrawTimeLabel(k);
}

void WaveRenderer::DrawChannelLabels() {
    if (enabledCount_ == 0) return;
    for (int i = 0; i < channelCount_ - 1; ++i) {
        if (Shown(i)) DrawChannelLabel(i);
    }
}

// ---- Incremental update --------------------------------------------------------

// The packet draws its strip as a full repaint would; then it repairs the
// bands where this packet's strip or the last packet's grid and events drew
// over them, and where its own grid and events will, and draws its grid,
// events and the repaired labels on top, in the order of a full repaint.
void WaveRenderer::IncrementalUpdate() {
    BandRects repair{};
    if (sweepSample_ == 0) {
        x_ = 0.0;
        for (int i = 0; i < channelCount_ - 1; ++i) lastY_[static_cast<std::size_t>(i)] = baselineY_[static_cast<std::size_t>(i)];
        const QRect sweepStart(4, 0, 45, H());
        FillWhite(sweepStart);
        Changed(sweepStart);
        AddToBands(repair, sweepStart);
    }
    const int firstSample = sweepSample_;  // the packet's samples follow it in the sweep
    FindPacketColumns(firstSample);
    EraseAhead();
    AddToBands(repair, changes_[kPlotPart]);

    const int slot = (writeSlot_ == 0 ? packetsPerScreen_ : writeSlot_) - 1;
    const std::size_t base = static_cast<std::size_t>(slot) * packetSize_ * channelCount_;
    painter_.setPen(tracePen_);
    for (int i = 0; i < channelCount_ - 1; ++i) {
        if (!Shown(i)) continue;
        AddToBands(repair, DrawPacketTrace(i, base));
    }

    const BandRects overdraw = PacketOverdraw(base, firstSample);
    for (std::size_t b = 0; b < repair.size(); ++b) repair[b] |= overdraw[b] | overdrawn_[b];
    if (timeLabelsChanged_) repair[kBottom] = BandAreas()[kBottom];
    timeLabelsChanged_ = false;
    TakeInWholeLabels(repair);
    RepairBands(repair);

    DrawPacketGridAndEvents(base, firstSample);
    DrawPendingMarkers(firstSample);
    overdrawn_ = overdraw;
    DrawChannelLabelsIn(repair);
    changes_[kLeftBandPart] = repair[kLeft];
    changes_[kRightBandPart] = repair[kRight];
    changes_[kBottomBandPart] = repair[kBottom];
    if (sweepSample_ >= packetsPerScreen_ * packetSize_) sweepSample_ = 0;
}

// The packet's samples that reach a new pixel column, and the columns.
void WaveRenderer::FindPacketColumns(int firstSample) {
    packetColumns_.clear();
    for (int j = 0; j < packetSize_; ++j) {
        if (StepMovesColumn(firstSample + j))
            packetColumns_.push_back({j, TruncPixel(kSideMargin + PositionOf(firstSample + j + 1))});
    }
}

void WaveRenderer::EraseAhead() {
    double width = 0.0;
    for (std::size_t k = 0; k < packetColumns_.size(); ++k) width += pixelsPerSample_ < 1 ? 1.0 : pixelsPerSample_;
    const QRect strip(TruncPixel(kSideMargin + x_ + 1), 0, TruncPixel(width + 1), H() - kBottomBand);
    FillWhite(strip);
    Changed(strip);
}

QRect WaveRenderer::DrawPacketTrace(int channel, std::size_t base) {
    auto& lastY = lastY_[static_cast<std::size_t>(channel)];
    points_.clear();
    points_.emplace_back(TruncPixel(kSideMargin + x_), TruncPixel(lastY));
    for (const PacketColumn& column : packetColumns_) {
        const double y = TraceY(channel, ring_[base + static_cast<std::size_t>(column.sample * channelCount_ + channel)]);
        lastY = y;
        points_.emplace_back(column.x, TruncPixel(y));
    }
    return DrawPolyline();
}

// Draws points_ with the current pen; returns the rectangle they span.
QRect WaveRenderer::DrawPolyline() {
    if (points_.size() < 2) return {};
    auto [left, right] = std::minmax_element(points_.begin(), points_.end(),
                                             [](QPoint a, QPoint b) { return a.x() < b.x(); });
    auto [top, bottom] = std::minmax_element(points_.begin(), points_.end(),
                                             [](QPoint a, QPoint b) { return a.y() < b.y(); });
    // A line's end may take in a pixel beside its end point.
    const QRect bounds = QRect(QPoint(left->x(), top->y()), QPoint(right->x(), bottom->y())).adjusted(-1, -1, 1, 1);
    Changed(bounds);
    // Past 128 points the painter takes a buffer from the heap; drawn in
    // pieces, the joints would come out differently, so a trace that crosses
    // that many columns in one packet (a long packet on a fine time base)
    // pays the one allocation.
    painter_.drawPolyline(points_.data(), static_cast<int>(points_.size()));
    return bounds;
}

// The packet's samples as its grid lines and events see them: advances the
// sweep position and the event detection, and calls visit(x, number) for each
// sample, number being the event that rises there or 0.
template <typename Visit>
void WaveRenderer::WalkPacket(std::size_t base, int firstSample, int& sweepSample, double& lastEvent,
                              Visit visit) const {
    for (int j = 0; j < packetSize_; ++j) {
        const double x = PositionOf(firstSample + j + 1);
        if (++sweepSample >= SamplesPerSweep()) sweepSample = 0;
        const double event = ring_[base + static_cast<std::size_t>((j + 1) * channelCount_ - 1)];
        const int number = event - lastEvent > 0 ? TruncPixel(event) : 0;
        lastEvent = event;
        visit(x, number);
    }
}

void WaveRenderer::DrawPacketGridAndEvents(std::size_t base, int firstSample) {
    WalkPacket(base, firstSample, sweepSample_, lastEventValue_, [this](double x, int number) {
        x_ = x;
        if (DrawGridLines()) CountWholeSecond();
        if (number != 0) DrawEvent(number, false);
    });
}

// What DrawPacketGridAndEvents will draw into the bands, worked out before
// it draws: grid lines on the right band's edge, the events' numbers and ticks.
WaveRenderer::BandRects WaveRenderer::PacketOverdraw(std::size_t base, int firstSample) const {
    BandRects rects{};
    int sweepSample = sweepSample_;
    double lastEvent = lastEventValue_;
    WalkPacket(base, firstSample, sweepSample, lastEvent, [&](double x, int number) {
        if (sweepSample % (sampleRate_ / 5) == 0) AddToBands(rects, GridLine(x));
        if (number == 0) return;
        AddToBands(rects, EventBox(x, false).adjusted(-2, -2, 2, 2));
        AddToBands(rects, EventTick(x));
    });
    return rects;
}

// ---- Shared pieces ---------------------------------------------------------------

QRect WaveRenderer::GridLine(double x) const {
    return QRect(TruncPixel(kSideMargin + x), 0, 1, H() - kBottomBand);
}

bool WaveRenderer::DrawGridLines() {
    const QRect line = GridLine(x_);
    if (sweepSample_ % (sampleRate_ / 5) == 0) DrawDottedLine(line.x());
    if (sweepSample_ % sampleRate_ != 0) return false;
    painter_.setPen(secondPen_);
    painter_.drawLine(line.topLeft(), line.bottomLeft());
    Changed(line);
    return true;
}

// What fillRect does with white, row by row in one plain loop: a strip down
// the whole height touches a thousand rows that are rarely in the cache, and a
// tight loop lets the processor wait for many of them at once.
void WaveRenderer::FillWhite(QRect r) {
    r &= image_.rect();
    if (r.isEmpty()) return;
    const QRgb white = QColor(Qt::white).rgb();
    uchar* const bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        std::fill_n(reinterpret_cast<QRgb*>(bits + y * stride) + r.left(), r.width(), white);
    }
}

void WaveRenderer::DrawDottedLine(int column) {
    if (column < 0 || column >= W()) return;
    const QRgb colour = kGridColour.rgb();
    for (const int y : dottedRows_) reinterpret_cast<QRgb*>(image_.scanLine(y))[column] = colour;
    Changed(QRect(column, 0, 1, H() - kBottomBand));
}

void WaveRenderer::CountWholeSecond() {
    FormatElapsed(timeLabels_[static_cast<std::size_t>((secondsCounter_ - sweepFirstSecond_) % secondsPerScreen_)], secondsCounter_ + 1);
    ++secondsCounter_;
    timeLabelsChanged_ = true;
}

// Live events stand right-aligned left of their tick; replayed ones start just
// left of it.
QRect WaveRenderer::EventBox(double x, bool replay) const {
    const int top = TruncPixel(H() * 0.91 - kBottomBand);
    return replay ? QRect(TruncPixel(x - 5 + kSideMargin), top, 30, 20) : QRect(TruncPixel(kSideMargin + x - 30), top, 30, 20);
}

// From the top of the bottom band up to 5 % of the height above it.
QRect WaveRenderer::EventTick(double x) const {
    const int top = TruncPixel(H() * 0.95 - kBottomBand) + 1;
    return QRect(QPoint(TruncPixel(kSideMargin + x), top), QPoint(TruncPixel(kSideMargin + x), H() - kBottomBand));
}

void WaveRenderer::DrawEvent(int number, bool replay) {
    const QRect box = EventBox(x_, replay);
    const Qt::Alignment alignment = (replay ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignTop;
    std::array<char, 16> text;
    const std::string_view digits = Format(text, "%d", number);
    painter_.setPen(eventTextPen_);
    DrawDigitsInBox(painter_, image_, clip_, eventDigits_, labelFont_, digits, box, alignment);
    const QRect tick = EventTick(x_);
    painter_.setPen(eventPen_);
    painter_.drawLine(tick.bottomLeft(), tick.topLeft());
    Changed(box.adjusted(-2, -2, 2, 2) | tick);
}

void WaveRenderer::MarkNextPacket(int digit) {
    if (pendingMarkerCount_ < pendingMarkers_.size()) pendingMarkers_[pendingMarkerCount_++] = digit;
}

// At the column where this packet began, from the top of the plot down to the
// events' row, the digit just right of the line's top.
void WaveRenderer::DrawPendingMarkers(int firstSample) {
    const int column = TruncPixel(kSideMargin + PositionOf(firstSample));
    const int bottom = TruncPixel(H() * 0.9 - kBottomBand);
    for (std::size_t i = 0; i < pendingMarkerCount_; ++i) {
        painter_.setPen(markerPen_);
        painter_.drawLine(column, 2, column, bottom);
        QRect touched(QPoint(column - 2, 0), QPoint(column + 2, bottom + 2));
        if (const int digit = pendingMarkers_[i]; digit > 0) {
            std::array<char, 16> text;
            const QRect box(column + 3, 2, 30, 20);
            painter_.setPen(QPen(kMarkerColour));
            DrawDigitsInBox(painter_, image_, clip_, eventDigits_, labelFont_, Format(text, "%d", digit), box,
                            Qt::AlignLeft | Qt::AlignTop);
            touched |= box.adjusted(-2, -2, 2, 2);
        }
        Changed(touched);
    }
    pendingMarkerCount_ = 0;
}

void WaveRenderer::MakeBands() {
    bands_ = QImage(image_.size(), QImage::Format_RGB32);
    for (int r = 0; r < bands_.height(); ++r) {
        const QRgb colour = BandColour(r, bands_.height()).rgb();
        auto* line = reinterpret_cast<QRgb*>(bands_.scanLine(r));
        std::fill(line, line + bands_.width(), colour);
    }
}

QRect WaveRenderer::TimeLabelRect(int k, const QString& text, QSize size) const {
    const QFontMetrics metrics(timeFont_);
    const int step = (size.width() - 2 * kSideMargin) / secondsPerScreen_;
    const int width = metrics.horizontalAdvance(text);
    const int height = metrics.height();
    const int right = kSideMargin + (k + 1) * step;
    const int top = size.height() - kBottomBand + (kBottomBand - height) / 2;
    return QRect(right - width, top, width, height);
}

// TimeLabelRect for the label as it stands, measured from its glyphs.
QRect WaveRenderer::TimeLabelBox(int k) const {
    const std::string_view text(timeLabels_[static_cast<std::size_t>(k)].data());
    if (text.empty()) return QRect();
    const qreal glyphWidth = timeDigits_.WidthOf(text);
    const int width = glyphWidth > 0 ? qRound(glyphWidth) : QFontMetrics(timeFont_).horizontalAdvance(QString::fromLatin1(text));
    const int step = (W() - 2 * kSideMargin) / secondsPerScreen_;
    const int right = kSideMargin + (k + 1) * step;
    const int top = H() - kBottomBand + (kBottomBand - timeTextHeight_) / 2;
    return QRect(right - width, top, width, timeTextHeight_);
}

void WaveRenderer::DrawTimeLabel(int k) {
    const std::string_view text(timeLabels_[static_cast<std::size_t>(k)].data());
    if (text.empty()) return;
    const QRect box = TimeLabelBox(k);
    painter_.setPen(timeTextPen_);
    DrawDigitsInBox(painter_, image_, clip_, timeDigits_, timeFont_, text, box, Qt::AlignRight | Qt::AlignTop);
}

QRect WaveRenderer::ChannelLabelBox(int channel) const {
    return QRect(0, baselineY_[static_cast<std::size_t>(channel)] - 10, kSideMargin, 20);
}

void WaveRenderer::DrawChannelLabel(int channel) {
    painter_.setPen(labelPen_);
    DrawInBox(painter_, image_, clip_, labelTexts_[static_cast<std::size_t>(channel)], ChannelLabelBox(channel),
              Qt::AlignHCenter | Qt::AlignTop);
}

// ---- Band repair -------------------------------------------------------------------

// Left, right and bottom band.
WaveRenderer::BandRects WaveRenderer::BandAreas() const {
    const int plotBottom = H() - kBottomBand;
    return {QRect(0, 0, kSideMargin, plotBottom), QRect(W() - kSideMargin, 0, kSideMargin, plotBottom),
            QRect(0, plotBottom, W(), kBottomBand)};
}

void WaveRenderer::AddToBands(BandRects& rects, QRect r) const {
    if (r.isEmpty()) return;
    const BandRects bands = BandAreas();
    for (std::size_t b = 0; b < rects.size(); ++b) rects[b] |= r & bands[b];
}

void WaveRenderer::TakeInWholeLabels(BandRects& rects) const {
    const auto touches = [&](QRect box) {
        return std::any_of(rects.begin(), rects.end(), [&](QRect r) { return r.intersects(box); });
    };
    for (bool grown = true; grown;) {
        grown = false;
        const auto takeIn = [&](QRect box) {
            if (!touches(box)) return;
            const BandRects before = rects;
            AddToBands(rects, box);
            grown = grown || before != rects;
        };
        // A glyph may reach a pixel past a time label's measured width.
        for (int k = 0; k < secondsPerScreen_; ++k) takeIn(TimeLabelBox(k).adjusted(-1, 0, 1, 0));
        if (enabledCount_ == 0) continue;
        for (int i = 0; i < channelCount_ - 1; ++i) {
            if (Shown(i)) takeIn(ChannelLabelBox(i));
        }
    }
}

void WaveRenderer::RepairBands(const BandRects& rects) {
    for (const QRect& r : rects) {
        if (!r.isEmpty()) painter_.drawImage(r, bands_, r);
    }
    for (int k = 0; k < secondsPerScreen_; ++k) {
        if (TimeLabelBox(k).intersects(rects[kBottom])) DrawTimeLabel(k);
    }
}

void WaveRenderer::DrawChannelLabelsIn(const BandRects& rects) {
    if (enabledCount_ == 0) return;
    for (int i = 0; i < channelCount_ - 1; ++i) {
        if (!Shown(i)) continue;
        const QRect box = ChannelLabelBox(i);
        if (std::any_of(rects.begin(), rects.end(), [&](QRect r) { return r.intersects(box); })) DrawChannelLabel(i);
    }
}

bool WaveRenderer::StepMovesColumn(int sample) const {
    return TruncPixel(PositionOf(sample + 1)) != TruncPixel(PositionOf(sample));
}

double WaveRenderer::TraceY(int channel, double value) const {
    return (value - SweepFirstValue(channel)) * gain_ + baselineY_[static_cast<std::size_t>(channel)];
}

double WaveRenderer::EventValue(int sample) const {
    return ring_[static_cast<std::size_t>((sample + 1) * channelCount_ - 1)];
}
