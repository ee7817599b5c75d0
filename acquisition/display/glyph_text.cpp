#include "acquisition/display/glyph_text.h"

#include <QTextLayout>

namespace {

// One line of text as drawText lays it out: no wrapping, whatever its width.
QTextLine LayOutLine(QTextLayout& layout) {
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) line.setLineWidth(1.0e6);
    layout.endLayout();
    return line;
}

}  // namespace

GlyphText::GlyphText(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    const QTextLine line = LayOutLine(layout);
    if (!line.isValid()) return;
    runs_ = line.glyphRuns();
    width_ = line.horizontalAdvance();
    height_ = line.height();
}

void GlyphText::Draw(QPainter& painter, QPointF origin) const {
    for (const QGlyphRun& run : runs_) painter.drawGlyphRun(origin, run);
}

DigitText::DigitText(const QFont& font) {
    for (std::size_t i = 0; i < kCharacters.size(); ++i) {
        QTextLayout layout(QString(QLatin1Char(kCharacters[i])), font);
        const QTextLine line = LayOutLine(layout);
        const QList<QGlyphRun> runs = line.isValid() ? line.glyphRuns() : QList<QGlyphRun>();
        // A character from a fallback font, or shaped into several glyphs,
        // would not line up as a plain row of advances.
        if (runs.size() != 1 || runs[0].glyphIndexes().size() != 1 || (i > 0 && runs[0].rawFont() != font_)) {
            usable_ = false;
            return;
        }
        if (i == 0) {
            font_ = runs[0].rawFont();
            ascent_ = runs[0].positions()[0].y();
            height_ = line.height();
        }
        glyphs_[i] = runs[0].glyphIndexes()[0];
        advances_[i] = line.horizontalAdvance();
    }
    run_.setRawFont(font_);
}

bool DigitText::Compose(std::string_view text) {
    if (!usable_ || text.size() > kMaxLength) return false;
    qreal x = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t k = kCharacters.find(text[i]);
        if (k == std::string_view::npos) return false;
        runGlyphs_[i] = glyphs_[k];
        runPositions_[i] = QPointF(x, ascent_);
        x += advances_[k];
    }
    width_ = x;
    run_.setRawData(runGlyphs_.data(), runPositions_.data(), static_cast<int>(text.size()));
    return true;
}

qreal DigitText::WidthOf(std::string_view text) const {
    if (!usable_ || text.size() > kMaxLength) return 0;
    qreal width = 0;
    for (const char c : text) {
        const std::size_t k = kCharacters.find(c);
        if (k == std::string_view::npos) return 0;
        width += advances_[k];
    }
    return width;
}

void DigitText::Draw(QPainter& painter, QPointF origin) const {
    if (width_ > 0) painter.drawGlyphRun(origin, run_);
}

void ScratchClip::Reserve(QSize size) {
    if (scratch_.width() >= size.width() && scratch_.height() >= size.height()) return;
    if (painter_.isActive()) painter_.end();
    scratch_ = QImage(size.expandedTo(scratch_.size()), QImage::Format_RGB32);
    painter_.begin(&scratch_);
}

QPointF TextOrigin(QRect box, Qt::Alignment alignment, qreal width) {
    qreal x = box.x();
    if (alignment & Qt::AlignRight) x += box.width() - width;
    else if (alignment & Qt::AlignHCenter) x += (box.width() - width) / 2;
    return QPointF(x, box.y());
}

void DrawDigitsInBox(QPainter& painter, const QImage& image, ScratchClip& clip, DigitText& digitText,
                     const QFont& fallback, std::string_view digits, QRect box, Qt::Alignment alignment) {
    if (digitText.Compose(digits)) {
        DrawInBox(painter, image, clip, digitText, box, alignment);
        return;
    }
    painter.setFont(fallback);
    painter.drawText(box, alignment, QString::fromLatin1(digits.data(), static_cast<qsizetype>(digits.size())));
}
