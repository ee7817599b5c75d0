#pragma once
// What the waveform and the scalp-map windows share as windows: the name the
// original program gave its display, the arrow cursor, a white window, and a
// paint that covers every pixel itself, copying only the rectangles that need
// it from the finished picture. UI thread only.

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QRegion>
#include <QWidget>

inline void SetUpDisplayWindow(QWidget& window, const char* name) {
    window.setObjectName(name);
    window.setWindowTitle(name);
    window.setCursor(Qt::ArrowCursor);
    window.setAttribute(Qt::WA_OpaquePaintEvent);  // the paint covers every pixel itself
    QPalette white = window.palette();
    white.setColor(QPalette::Window, Qt::white);
    window.setPalette(white);
}

// Before the first picture, and beyond a picture drawn for a smaller window,
// the window shows its background: white.
inline void PaintPicture(QPainter& painter, const QWidget& window, const QRegion& region, const QImage& picture) {
    const QBrush& background = window.palette().window();
    // One rectangle at a time, each its own clip: under a clip of several
    // rectangles the painter blends span by span instead of copying.
    for (const QRect& rect : region) {
        painter.setClipRect(rect);
        const QRect area = rect & picture.rect();
        if (!area.isEmpty()) painter.drawImage(area, picture, area);
        for (const QRect& outside : QRegion(rect) - picture.rect()) painter.fillRect(outside, background);
    }
    painter.setClipping(false);
}
