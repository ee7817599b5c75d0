#include "acquisition/display/impedance_display.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>

ImpedanceDisplay::ImpedanceDisplay(QWidget* parent) : QWidget(parent), size_(size()) {
    setObjectName(kWindowName);
    setWindowTitle(kWindowName);
    setCursor(Qt::ArrowCursor);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    auto* frames = new QTimer(this);
    connect(frames, &QTimer::timeout, this, &ImpedanceDisplay::ShowFinishedPicture);
    frames->start(kFrameCheckMs);
}

void ImpedanceDisplay::SetUp(int channelCount, std::span<const ChannelRecord> records) {
    const std::lock_guard hold(lock_);
    renderer_.SetUp(channelCount, records);
}

void ImpedanceDisplay::SetChannelFlags(std::span<const int> flags) {
    const std::lock_guard hold(lock_);
    renderer_.SetChannelFlags(flags);
}

void ImpedanceDisplay::ShowImpedances(std::span<const int> impedances, int min, int max) {
    {
        const std::lock_guard hold(lock_);
        renderer_.Draw(impedances, min, max, size_);
    }
    pictureReady_ = true;
}

QImage ImpedanceDisplay::Snapshot() const {
    const std::lock_guard hold(lock_);
    return renderer_.Image().copy();
}

void ImpedanceDisplay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const std::lock_guard hold(lock_);
    const QImage& image = renderer_.Image();
    const QRect area = event->rect() & image.rect();
    if (!area.isEmpty()) painter.drawImage(area, image, area);
    painter.setPen(palette().color(QPalette::Mid));  // the window's thin border
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ImpedanceDisplay::resizeEvent(QResizeEvent* event) {
    const std::lock_guard hold(lock_);
    size_ = event->size();
}

void ImpedanceDisplay::ShowFinishedPicture() {
    if (!pictureReady_.exchange(false)) return;
    update();
    Q_EMIT FrameReady();
}
