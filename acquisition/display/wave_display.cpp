#include "acquisition/display/wave_display.h"

#include <QPainter>
#include <QResizeEvent>

#include "acquisition/display/picture_copy.h"

WaveDisplay::WaveDisplay(QWidget* parent) : QWidget(parent) {
    setObjectName(kWindowName);
    setWindowTitle(kWindowName);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent covers every pixel itself
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    connect(&frameWake_, &FrameWake::raised, this, &WaveDisplay::ShowFinishedPicture);
    renderer_.Resize(size());
}

void WaveDisplay::SetUp(int packetSize, int channelCount, int sampleRate, int secondsPerScreen,
                        std::span<const ChannelRecord> records) {
    const std::lock_guard hold(lock_);
    renderer_.SetUp(packetSize, channelCount, sampleRate, secondsPerScreen, records);
}

void WaveDisplay::SetChannelFlags(std::span<const int> flags) {
    const std::lock_guard hold(lock_);
    renderer_.SetChannelFlags(flags);
}

void WaveDisplay::ResetTimeLabels() {
    const std::lock_guard hold(lock_);
    renderer_.ResetTimeLabels();
}

void WaveDisplay::AddPacket(std::span<const double> samples) {
    bool changed = false;
    {
        const std::lock_guard hold(lock_);
        renderer_.AddPacket(samples);
        const WaveRenderer::Changes& changes = renderer_.LastChanges();
        for (std::size_t i = 0; i < changes.size(); ++i) {
            unshown_[i] |= changes[i];
            changed = changed || !changes[i].isEmpty();
        }
    }
    // The picture is complete: let the UI thread paint it.
    if (changed) frameWake_.Raise();
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
}

void WaveDisplay::ShowMoreSeconds() {
    const std::lock_guard hold(lock_);
    renderer_.ShowMoreSeconds();
}

double WaveDisplay::Gain() const {
    const std::lock_guard hold(lock_);
    return renderer_.Gain();
}

int WaveDisplay::SecondsPerScreen() const {
    const std::lock_guard hold(lock_);
    return renderer_.SecondsPerScreen();
}

QImage WaveDisplay::Snapshot() const {
    const std::lock_guard hold(lock_);
    return renderer_.Image().copy();
}

// Before the first picture, and beyond a picture drawn for a smaller window,
// the window is white.
void WaveDisplay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const std::lock_guard hold(lock_);
    CopyPictureInto(painter, event->region(), renderer_.Image(), palette().window());
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
    }
    if (changed.isEmpty()) return;
    update(changed);
    Q_EMIT FrameReady();
}
