#pragma once
// Text drawn from glyphs laid out beforehand. QPainter::drawText lays its text
// out again at every call, and that allocates; what is here draws exactly the
// pixels of drawText(box, alignment, text) for the alignments the displays use
// (left, right or centred, always top), but lays out once, so the acquisition
// thread can draw labels and numbers without allocating.
//
// drawText clips a text that does not fit its box to the box. A painter clip
// allocates as well, so such a text goes through a scratch image instead.
//
// Threads: none of it is thread-safe; each display owns its own.

#include <QGlyphRun>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPointF>
#include <QRawFont>
#include <QRect>
#include <array>
#include <string_view>

// One text, laid out when it is made (which allocates).
class GlyphText {
public:
    GlyphText() = default;
    GlyphText(const QString& text, const QFont& font);

    qreal Width() const { return width_; }
    qreal Height() const { return height_; }
    // Draws the text with its line's top left corner at origin, in the pen's colour.
    void Draw(QPainter& painter, QPointF origin) const;

private:
    QList<QGlyphRun> runs_;
    qreal width_ = 0;
    qreal height_ = 0;
};

// Numbers and elapsed times: the digits, ':' and '-' are laid out once each,
// so a new number costs no layout. Holds the last composed text.
class DigitText {
public:
    static constexpr int kMaxLength = 32;

    explicit DigitText(const QFont& font);
    // The composed run points into this object.
    DigitText(const DigitText&) = delete;
    DigitText& operator=(const DigitText&) = delete;

    // Composes text; false when it holds another character or is too long, or
    // when the font lays the digits out in any but the plain way (then the
    // caller draws the text with drawText).
    bool Compose(std::string_view text);
    // The width text would have, composed; 0 when it cannot be.
    qreal WidthOf(std::string_view text) const;
    qreal Width() const { return width_; }
    qreal Height() const { return height_; }
    void Draw(QPainter& painter, QPointF origin) const;

private:
    static constexpr std::string_view kCharacters = "0123456789:-";

    bool usable_ = true;
    QRawFont font_;
    qreal ascent_ = 0;
    qreal height_ = 0;
    std::array<quint32, kCharacters.size()> glyphs_{};
    std::array<qreal, kCharacters.size()> advances_{};

    std::array<quint32, kMaxLength> runGlyphs_{};
    std::array<QPointF, kMaxLength> runPositions_{};
    QGlyphRun run_;
    qreal width_ = 0;
};

// Draws into a rectangle of an image and nowhere else, as a painter clip
// would, but through a scratch image that is made once.
class ScratchClip {
public:
    // Room for rectangles up to size (allocates).
    void Reserve(QSize size);
    // Copies region of image into the scratch image, lets draw paint there
    // with a painter whose pen is target's (offset maps image coordinates to
    // the scratch image), and copies the region back with target.
    template <typename Draw>
    void Run(QPainter& target, const QImage& image, QRect region, Draw draw);

private:
    QImage scratch_;
    QPainter painter_;
};

// Where drawText(box, alignment, text) puts the top left of a line this wide.
QPointF TextOrigin(QRect box, Qt::Alignment alignment, qreal width);

// Draws text as drawText(box, alignment, ...) would: clipped to box when it is
// wider or taller than box. image is the painter's device.
template <typename Text>
void DrawInBox(QPainter& painter, const QImage& image, ScratchClip& clip, const Text& text, QRect box,
               Qt::Alignment alignment) {
    const QPointF origin = TextOrigin(box, alignment, text.Width());
    if (text.Width() <= box.width() && text.Height() <= box.height()) {
        text.Draw(painter, origin);
        return;
    }
    clip.Run(painter, image, box, [&](QPainter& scratch, QPoint offset) { text.Draw(scratch, origin + offset); });
}

// Draws digits as drawText(box, alignment, ...) would, in the painter's pen:
// composed from digits' glyphs when it can be, else by drawText in fallback.
void DrawDigitsInBox(QPainter& painter, const QImage& image, ScratchClip& clip, DigitText& digitText,
                     const QFont& fallback, std::string_view digits, QRect box, Qt::Alignment alignment);

template <typename Draw>
void ScratchClip::Run(QPainter& target, const QImage& image, QRect region, Draw draw) {
    region &= image.rect() & QRect(region.topLeft(), scratch_.size());
    if (region.isEmpty() || !painter_.isActive()) return;
    painter_.drawImage(QPoint(0, 0), image, region);
    painter_.setPen(target.pen());
    draw(painter_, -region.topLeft());
    target.drawImage(region.topLeft(), scratch_, QRect(QPoint(0, 0), region.size()));
}
