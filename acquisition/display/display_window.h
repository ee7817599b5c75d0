#pragma once
// How a display window shows its finished picture: only the rectangles that
// need it, and whatever part of them the picture does not cover in the
// window's background.

#include <QImage>
#include <QPainter>
#include <QRegion>

inline void CopyPictureInto(QPainter& painter, const QRegion& region, const QImage& picture, const QBrush& background) {
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
