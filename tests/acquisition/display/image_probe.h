#pragma once
// Looking at pictures the displays drew.

#include <QColor>
#include <QImage>
#include <functional>

inline bool Is(const QImage& image, int x, int y, QColor colour) {
    return image.pixelColor(x, y).rgb() == colour.rgb();
}

// Number of pixels of the colour in the column between rows top and bottom (inclusive).
inline int CountInColumn(const QImage& image, int x, int top, int bottom, QColor colour) {
    int n = 0;
    for (int y = top; y <= bottom; ++y) n += Is(image, x, y, colour);
    return n;
}

inline int CountInRect(const QImage& image, QRect rect, const std::function<bool(QColor)>& match) {
    int n = 0;
    rect &= image.rect();
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) n += match(image.pixelColor(x, y));
    return n;
}
