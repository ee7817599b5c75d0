#include "acquisition/shell/toolbar_images.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

const QColor kNormalBackground(212, 208, 200);
const QColor kDisabledBackground(199, 199, 199);

// Colours of one strip: the normal strip draws in colour, the disabled one in
// grey with a white highlight below and to the right, as greyed buttons look.
struct Ink {
    bool disabled = false;
    QColor Pick(const QColor& colour) const { return disabled ? QColor(128, 128, 128) : colour; }
};

void DrawArrow(QPainter& p, const Ink& ink, int tipY, int baseY) {
    const int direction = tipY < baseY ? 1 : -1;
    QPolygon head;
    head << QPoint(16, tipY) << QPoint(8, tipY + direction * 8) << QPoint(24, tipY + direction * 8);
    p.setBrush(ink.Pick(QColor(0, 0, 160)));
    p.drawPolygon(head);
    p.drawRect(QRect(QPoint(13, std::min(tipY + direction * 8, baseY)), QPoint(18, std::max(tipY + direction * 8, baseY))));
}

void DrawWave(QPainter& p, const Ink& ink) {
    // Two periods of a sine, 6 pixels high, across the image.
    QPainterPath wave;
    for (int x = 2; x <= 30; ++x) {
        const QPointF point(x, 16 - 6 * std::sin((x - 2) * 2 * 3.14159265 / 14));
        if (x == 2) {
            wave.moveTo(point);
        } else {
            wave.lineTo(point);
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink.Pick(QColor(0, 0, 200)), 2));
    p.drawPath(wave);
}

void DrawBar(QPainter& p, const Ink& ink, int x) {
    p.setPen(Qt::NoPen);
    p.setBrush(ink.Pick(QColor(0, 0, 0)));
    p.drawRect(x, 6, 2, 21);
}

void DrawLetter(QPainter& p, const Ink& ink, const QString& letter, const QColor& colour) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(26);
    font.setBold(true);
    p.setFont(font);
    p.setPen(ink.Pick(colour));
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, letter);
}

void DrawImage(QPainter& p, int index, const Ink& ink) {
    p.setPen(Qt::NoPen);
    switch (index) {
    case 0: {  // start: a green triangle pointing right
        QPolygon triangle;
        triangle << QPoint(9, 5) << QPoint(26, 16) << QPoint(9, 27);
        p.setBrush(ink.Pick(QColor(0, 176, 0)));
        p.drawPolygon(triangle);
        break;
    }
    case 1:  // save data: a red disc
        p.setBrush(ink.Pick(QColor(220, 0, 0)));
        p.drawEllipse(QRect(6, 6, 20, 20));
        break;
    case 2:  // stop: a black square
        p.setBrush(ink.Pick(QColor(0, 0, 0)));
        p.drawRect(8, 8, 16, 16);
        break;
    case 3: DrawArrow(p, ink, 4, 28); break;
    case 4: DrawArrow(p, ink, 28, 4); break;
    case 5: {  // both arrows on one shaft
        p.setBrush(ink.Pick(QColor(0, 0, 160)));
        QPolygon up, down;
        up << QPoint(16, 2) << QPoint(8, 10) << QPoint(24, 10);
        down << QPoint(16, 30) << QPoint(8, 22) << QPoint(24, 22);
        p.drawPolygon(up);
        p.drawPolygon(down);
        p.drawRect(13, 10, 6, 12);
        break;
    }
    case 6:  // time: a wave across two bars
        DrawBar(p, ink, 8);
        DrawBar(p, ink, 22);
        DrawWave(p, ink);
        break;
    case 7:  // time: a wave across one bar
        DrawBar(p, ink, 15);
        DrawWave(p, ink);
        break;
    case 8: {  // impedance: a "Z" of straight strokes
        QPolygon z;
        z << QPoint(7, 5) << QPoint(25, 5) << QPoint(25, 9) << QPoint(12, 23) << QPoint(25, 23) << QPoint(25, 27)
          << QPoint(7, 27) << QPoint(7, 23) << QPoint(20, 9) << QPoint(7, 9);
        p.setBrush(ink.Pick(QColor(0, 0, 0)));
        p.drawPolygon(z);
        break;
    }
    case 9: DrawLetter(p, ink, QStringLiteral("S"), QColor(220, 0, 0)); break;
    default: break;
    }
}

}  // namespace

QImage DrawToolbarStrip(bool disabled) {
    using namespace bitmap;
    QImage strip(kImageSize * kImageCount, kImageSize, QImage::Format_RGB888);
    strip.fill(disabled ? kDisabledBackground : kNormalBackground);
    QPainter p(&strip);
    // Hard edges: the background colour is the mask, so blended edge pixels
    // would show as a grey fringe.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    for (int i = 0; i < kImageCount; ++i) {
        p.save();
        p.translate(i * kImageSize, 0);
        if (disabled) {
            // The white highlight first, then the grey shape over it.
            p.save();
            p.translate(1, 1);
            QImage white(kImageSize, kImageSize, QImage::Format_ARGB32);
            white.fill(Qt::transparent);
            {
                QPainter w(&white);
                w.setRenderHint(QPainter::Antialiasing, false);
                w.setRenderHint(QPainter::TextAntialiasing, false);
                DrawImage(w, i, Ink{true});
                w.setCompositionMode(QPainter::CompositionMode_SourceIn);
                w.fillRect(white.rect(), Qt::white);
            }
            p.drawImage(0, 0, white);
            p.restore();
        }
        DrawImage(p, i, Ink{disabled});
        p.restore();
    }
    return strip;
}

QImage LoadBitmapResource(int id) {
    switch (id) {
    case bitmap::kToolbarNormal:
    case bitmap::kToolbarHot: return DrawToolbarStrip(false);
    case bitmap::kToolbarDisabled: return DrawToolbarStrip(true);
    default: return {};
    }
}

QImage DrawProgramIcon(int size) {
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // The light-blue ring.
    p.setPen(QPen(QColor(120, 190, 240), 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(2, 1.5, 28, 28));

    // The brain: two lobes seen from above, with a few folds.
    QPainterPath brain;
    brain.moveTo(16, 6);
    brain.cubicTo(22, 5, 26, 9, 25.5, 14);
    brain.cubicTo(25.5, 19, 21, 22, 16, 21);
    brain.cubicTo(11, 22, 6.5, 19, 6.5, 14);
    brain.cubicTo(6, 9, 10, 5, 16, 6);
    p.setPen(QPen(QColor(110, 140, 0), 1.2));
    p.setBrush(QColor(180, 210, 30));
    p.drawPath(brain);
    // The fissure between the lobes and wavy folds on each.
    p.setPen(QPen(QColor(110, 140, 0), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(16, 6.5), QPointF(16, 20.5));
    for (double y : {10.0, 14.0, 17.5}) {
        QPainterPath left;
        left.moveTo(8, y);
        left.cubicTo(9.5, y - 2, 11, y + 2, 12.5, y);
        left.cubicTo(13.5, y - 1.5, 14.5, y + 1.5, 15, y);
        QPainterPath right;
        right.moveTo(17, y);
        right.cubicTo(17.5, y - 1.5, 18.5, y + 1.5, 19.5, y);
        right.cubicTo(21, y - 2, 22.5, y + 2, 24, y);
        p.drawPath(left);
        p.drawPath(right);
    }

    // Short blue strokes below, like traces leaving the head.
    p.setPen(QPen(QColor(0, 70, 200), 1.6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        const double x = 11 + i * 3.3;
        p.drawLine(QPointF(x, 23.5), QPointF(x, 26.5));
    }
    return icon;
}

QIcon ProgramIcon() {
    QIcon icon;
    // One 32 × 32 image, as the program has always had; Qt scales it where
    // another size is wanted.
    icon.addPixmap(QPixmap::fromImage(DrawProgramIcon(bitmap::kImageSize)));
    return icon;
}
