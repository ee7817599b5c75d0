#include "acquisition/display/impedance_display.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include "acquisition/display/picture_copy.h"

ImpedanceDisplay::ImpedanceDisplay(QWidget* parent) : QWidget(parent), size_(size()) {
    setObjectName(kWindowName);
    setWindowTitle(kWindowName);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent covers every pixel itself
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    connect(&frameWake_, &FrameWake::raised, this, &ImpedanceDisplay::ShowFinishedPicture);
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
    QRect change;
    {
        const std::lock_guard hold(lock_);
        renderer_.Draw(impedances, min, max, size_);
        change = renderer_.LastChange();
        unshown_ |= change;
    }
    if (!change.isEmpty()) frameWake_.Raise();
}

QImage ImpedanceDisplay::Snapshot() const {
    const std::lock_guard hold(lock_);
    return renderer_.Image().copy();
}

// Before the first picture, and beyond a picture drawn for a smaller window,
// the window is white.
void ImpedanceDisplay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const std::lock_guard hold(lock_);
    CopyPictureInto(painter, event->region(), renderer_.Image(), palette().window());
    painter.setPen(palette().color(QPalette::Mid));  // the window's thin border
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ImpedanceDisplay::resizeEvent(QResizeEvent* event) {
    const std::lock_guard hold(lock_);
    size_ = event->size();
}

void ImpedanceDisplay::ShowFinishedPicture() {
    QRect changed;
    {
        const std::lock_guard hold(lock_);
        std::swap(changed, unshown_);
    }
    if (changed.isEmpty()) return;
    update(changed);
    Q_EMIT FrameReady();
}
