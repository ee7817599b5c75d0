#pragma once
// Dialog layouts are given in dialog units, which follow the dialog's font:
// x units are quarters of the average character width, y units eighths of the
// character height.

#include <QFont>
#include <QRect>
#include <QSize>

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int units) const { return units * baseWidth_ / 4; }
    int Y(int units) const { return units * baseHeight_ / 8; }
    QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }

private:
    int baseWidth_ = 0;
    int baseHeight_ = 0;
};
