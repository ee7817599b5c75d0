#include "acquisition/display/wave_display.h"

#include <QPainter>
#include <QResizeEvent>

#include "acquisition/display/display_window.h"
#include "acquisition/engine/packet_stopwatch.h"

#include <cstdio>

namespace {
// Packets whose read times are kept between drawing and painting; more come
// only while painting has stalled, and those go unmeasured.
constexpr std::size_t kUnpaintedReadTimes = 4096;
constexpr std::size_t kMeasuredPackets = std::size_t{1} << 16;
constexpr std::size_t kDrawingSlotSeconds = 1;
constexpr std::size_t kMinDrawingSlots = 8;

double MillisecondsSince(std::chrono::steady_clock::time_point then, std::chrono::steady_clock::time_point now) {
    return std::chrono::duration<double, std::milli>(now - then).count();
}
}  // namespace

WaveDisplay::WaveDisplay(QWidget* parent)
    : QWidget(parent),
      measuring_(PacketStopwatch::EnabledByEnvironment()),
      drawTimes_(measuring_ ? kMeasuredPackets : 0),
      latencies_(measuring_ ? kMeasuredPackets : 0),
      drawing_(
          "wave drawing", [this](const DrawingThread::Packet& packet, std::size_t behind) { DrawPacket(packet, behind); },
          [this] { FinishBatch(); }) {
    if (measuring_) {
        drawnReadTimes_.reserve(kUnpaintedReadTimes);
        shownReadTimes_.reserve(kUnpaintedReadTimes);
    }
    SetUpDisplayWindow(*this, kWindowName);
    connect(&frameWake_, &FrameWake::raised, this, &WaveDisplay::ShowFinishedPicture);
    renderer_.Resize(size());
    secondsPerScreen_ = renderer_.SecondsPerScreen();
}

WaveDisplay::~WaveDisplay() {
    drawing_.WaitUntilDrawn(std::chrono::seconds(1));
    PrintDrawingFigures();
}

// A second of packets waits at most; the slots are sized here, while no
// packet comes, so the hand-off allocates nothing.
void WaveDisplay::SetUp(int packetSize, int channelCount, int sampleRate, std::span<const ChannelRecord> records) {
    const std::size_t values = static_cast<std::size_t>(std::max(0, packetSize)) * std::max(0, channelCount);
    const std::size_t perSecond = packetSize > 0 ? static_cast<std::size_t>(std::max(0, sampleRate) / packetSize) : 0;
    drawing_.Resize(values, std::max(kMinDrawingSlots, perSecond * kDrawingSlotSeconds));
    const std::lock_guard hold(lock_);
    renderer_.SetUp(packetSize, channelCount, sampleRate, renderer_.SecondsPerScreen(), records);
    secondsPerScreen_ = renderer_.SecondsPerScreen();
    packetUs_ = sampleRate > 0 ? std::int64_t{std::max(0, packetSize)} * 1000000 / sampleRate : 0;
}

void WaveDisplay::SetChannelFlags(std::span<const int> flags) {
    const std::lock_guard hold(lock_);
    renderer_.SetChannelFlags(flags);
}

void WaveDisplay::ResetTimeLabels() {
    const std::lock_guard hold(lock_);
    renderer_.ResetTimeLabels();
}

void WaveDisplay::AddPacket(std::span<const double> samples, std::chrono::steady_clock::time_point readAt) {
    drawing_.Hand(samples, readAt);
}

void WaveDisplay::DrawPacket(const DrawingThread::Packet& packet, std::size_t waitingBehind) {
    const auto begin = DrawingThread::Clock::now();
    const std::lock_guard hold(lock_);
    if (static_cast<std::int64_t>(waitingBehind) * packetUs_ > std::int64_t{kBehindMs} * 1000) {
        renderer_.StorePacket(packet.values);
        return;
    }
    renderer_.AddPacket(packet.values);
    const WaveRenderer::Changes& changes = renderer_.LastChanges();
    bool changed = false;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        unshown_[i] |= changes[i];
        changed = changed || !changes[i].isEmpty();
    }
    batchChanged_ = batchChanged_ || changed;
    if (!measuring_) return;
    drawTimes_.Add(std::chrono::duration<double, std::micro>(DrawingThread::Clock::now() - begin).count());
    if (changed && drawnReadTimes_.size() < drawnReadTimes_.capacity()) drawnReadTimes_.push_back(packet.readAt);
}

// The pictures are complete: let the UI thread paint them.
void WaveDisplay::FinishBatch() {
    if (std::exchange(batchChanged_, false)) frameWake_.Raise();
}

void WaveDisplay::SetRecordingPen(bool recording) {
    const std::lock_guard hold(lock_);
    renderer_.SetRecordingPen(recording);
}

void WaveDisplay::MarkSweep(int digit) {
    const std::lock_guard hold(lock_);
    renderer_.MarkNextPacket(digit);
}

void WaveDisplay::HalveGain() {
    const std::lock_guard hold(lock_);
    renderer_.HalveGain();
}

void WaveDisplay::DoubleGain() {
    const std::lock_guard hold(lock_);
    renderer_.DoubleGain();
}

void WaveDisplay::ResetGain() {
    const std::lock_guard hold(lock_);
    renderer_.ResetGain();
}

void WaveDisplay::ShowFewerSeconds() {
    const std::lock_guard hold(lock_);
    renderer_.ShowFewerSeconds();
    secondsPerScreen_ = renderer_.SecondsPerScreen();
}

void WaveDisplay::ShowMoreSeconds() {
    const std::lock_guard hold(lock_);
    renderer_.ShowMoreSeconds();
    secondsPerScreen_ = renderer_.SecondsPerScreen();
}

double WaveDisplay::Gain() const {
    const std::lock_guard hold(lock_);
    return renderer_.Gain();
}

int WaveDisplay::SecondsPerScreen() const { return secondsPerScreen_; }

std::vector<int> WaveDisplay::ChannelFlags() const {
    const std::lock_guard hold(lock_);
    const std::span<const int> flags = renderer_.ChannelFlags();
    return {flags.begin(), flags.end()};
}

QImage WaveDisplay::Snapshot() const {
    const std::lock_guard hold(lock_);
    return renderer_.Image().copy();
}

void WaveDisplay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const std::lock_guard hold(lock_);
    PaintPicture(painter, *this, event->region(), renderer_.Image());
    if (shownReadTimes_.empty()) return;
    const auto now = DrawingThread::Clock::now();
    for (const auto readAt : shownReadTimes_) latencies_.Add(MillisecondsSince(readAt, now));
    shownReadTimes_.clear();
}

void WaveDisplay::resizeEvent(QResizeEvent* event) {
    const std::lock_guard hold(lock_);
    renderer_.Resize(event->size());
}

void WaveDisplay::ShowFinishedPicture() {
    QRegion changed;
    {
        const std::lock_guard hold(lock_);
        for (QRect& rect : unshown_) {
            changed += rect;
            rect = QRect();
        }
        for (const auto readAt : drawnReadTimes_) {
            if (shownReadTimes_.size() < shownReadTimes_.capacity()) shownReadTimes_.push_back(readAt);
        }
        drawnReadTimes_.clear();
    }
    if (changed.isEmpty()) return;
    Q_EMIT FrameReady();
    // Painted at once: update() would post the paint and cost the event loop
    // another wake-up for every packet.
    repaint(changed);
}

// With VOSTREL_PACKET_TIMES, on standard error as the window goes (after the
// acquisition thread's own line).
void WaveDisplay::PrintDrawingFigures() const {
    if (!measuring_) return;
    const std::lock_guard hold(lock_);
    std::fprintf(stderr, "drawing work, %zu packets, µs p50/p99: draw %.0f/%.0f, skipped %llu\n", drawTimes_.Count(),
                 drawTimes_.Percentile(0.5), drawTimes_.Percentile(0.99),
                 static_cast<unsigned long long>(drawing_.Skipped()));
    std::fprintf(stderr, "display latency, %zu packets, ms p50/p99/max: %.1f/%.1f/%.1f\n", latencies_.Count(),
                 latencies_.Percentile(0.5), latencies_.Percentile(0.99), latencies_.Percentile(1.0));
}
