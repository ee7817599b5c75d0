#pragma once
// Dialog layouts are given in dialog units, which follow the dialog's font:
// x units are quarters of a character width, y units eighths of the
// character height. Which character width depends on where a layout came
// from, so each dialog says how it measures.

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QString>

class DialogUnits {
public:
    // The average over the Latin letters, rounded, as dialog templates have
    // always measured it (the settings dialog, the About box).
    static DialogUnits OfLetters(const QFont& font) {
        const QFontMetrics metrics(font);
        const int letters =
            metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        return DialogUnits((letters / 26 + 1) / 2, metrics.height());
    }
    // The font's own average character width (the display dialogs).
    static DialogUnits OfAverageCharacter(const QFont& font) {
        const QFontMetrics metrics(font);
        return DialogUnits(metrics.averageCharWidth(), metrics.height());
    }

    int X(int units) const { return units * baseWidth_ / 4; }
    int Y(int units) const { return units * baseHeight_ / 8; }
    QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }

private:
    DialogUnits(int baseWidth, int baseHeight) : baseWidth_(baseWidth), baseHeight_(baseHeight) {}

    int baseWidth_;
    int baseHeight_;
};
