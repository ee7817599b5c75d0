#pragma once
// Dialog layouts are given in dialog units, which scale with the dialog's
// font: a horizontal unit is a quarter of the average character width, a
// vertical unit an eighth of the character height.

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>

// Its own namespace: the settings dialog's DialogUnits, linked into the same
// program, measures differently, and one class name for both would let the
// linker call one's members on the other's objects.
namespace display_units {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) : metrics_(font) {}

    int X(int units) const { return units * metrics_.averageCharWidth() / 4; }
    int Y(int units) const { return units * metrics_.height() / 8; }
    QRect Rect(int x, int y, int width, int height) const { return QRect(X(x), Y(y), X(width), Y(height)); }
    QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }

private:
    QFontMetrics metrics_;
};

}  // namespace display_units

using display_units::DialogUnits;
