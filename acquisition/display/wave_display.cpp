#include "acquisition/display/wave_display.h"

#include <QPainter>
#include <QResizeEvent>
#include <QTimer>

WaveDisplay::WaveDisplay(QWidget* parent) : QWidget(parent) {
    setObjectName(kWindowName);
    setWindowTitle(kWindowName);
    setCursor(Qt::ArrowCursor);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    auto* frames = new QTimer(this);
    connect(frames, &QTimer::timeout, this, &WaveDisplay::ShowFinishedPicture);
    frames->start(kFrameCheckMs);
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
    {
        const std::lock_guard hold(lock_);
        renderer_.AddPacket(samples);
    }
    // The picture is complete: let the UI thread paint it.
    pictureReady_ = true;
}

void WaveDisplay::SetRecordingPen(bool recording) {
    const std::lock_guard hold(lock_);
    renderer_.SetRecordingPen(recording);
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

void WaveDisplay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const std::lock_guard hold(lock_);
    const QImage& image = renderer_.Image();
    const QRect area = event->rect() & image.rect();
    if (!area.isEmpty()) painter.drawImage(area, image, area);
}

void WaveDisplay::resizeEvent(QResizeEvent* event) {
    const std::lock_guard hold(lock_);
    renderer_.Resize(event->size());
}

void WaveDisplay::ShowFinishedPicture() {
    if (!pictureReady_.exchange(false)) return;
    update();
    Q_EMIT FrameReady();
}
