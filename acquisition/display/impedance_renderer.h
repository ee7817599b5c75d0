#pragma once
// The impedance map's drawing: one coloured square per electrode, placed from
// the electrode file, beside a 64-colour bar with five value ticks. No widgets
// here, so the drawing can be tested without a window. The labels are laid out
// at set-up, the ticks from digits laid out once, and the painter stays open
// on the image, so a picture allocates nothing unless the size changed.
//
// Threads: not thread-safe. ImpedanceDisplay calls it under its image lock.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QPoint>
#include <array>
#include <optional>
#include <span>
#include <vector>

#include "acquisition/display/glyph_text.h"
#include "acquisition/electrodes/electrode_file.h"

class QPainter;

class ImpedanceRenderer {
public:
    static constexpr int kColourCount = 64;
    static constexpr int kSquareSize = 60;
    static constexpr int kNotMeasured = 2550000;  // a channel's value before its first measurement

    // Scale colour k (0 dark blue .. 63 dark red).
    static QColor ScaleColour(int index);
    // Index of value v in the scale from min to max: 0 below min, 63 above max
    // and at max (so equal bounds never divide by zero).
    static int ColourIndex(int value, int min, int max);
    // The five tick values, bottom to top.
    static std::array<int, 5> TickValues(int min, int max);
    // Where an electrode at (mapX, mapY) stands in a picture of this size:
    // the top left corner of its square, or nothing when the map position is
    // not a number (an electrode file with a single electrode gives one).
    static std::optional<QPoint> SquareCorner(double mapX, double mapY, QSize size);
    // The impedances' unit, which the colour bar carries above it.
    static QString Unit();
    // Where the unit stands in a picture of this size: centred above the bar.
    static QRect UnitBox(QSize size);
    // An impedance as the user reads it: "12 kΩ", or "未测" before the first
    // measurement of the channel.
    static QString ValueText(int impedance);

    ImpedanceRenderer();
    ImpedanceRenderer(const ImpedanceRenderer&) = delete;
    ImpedanceRenderer& operator=(const ImpedanceRenderer&) = delete;

    void SetUp(int channelCount, std::span<const ChannelRecord> records);
    void SetChannelFlags(std::span<const int> flags);
    // Draws the whole picture at size (a new image when the size changed).
    // impedances may be shorter than channelCount: the rest is not drawn.
    void Draw(std::span<const int> impedances, int min, int max, QSize size);

    // The electrode whose square covers point in a picture of this size (the
    // one drawn last where squares overlap), or nothing.
    std::optional<int> ElectrodeAt(QPoint point, QSize size) const;
    // "O1(9)", as the map labels the electrode.
    QString LabelOf(int channel) const;

    const QImage& Image() const { return image_; }
    // What the last Draw changed: the squares whose colour changed, or the
    // whole picture after a change of size, range or electrodes shown.
    QRect LastChange() const { return change_; }
    int ChannelCount() const { return channelCount_; }
    bool Shown(int channel) const { return shown_[static_cast<std::size_t>(channel)] != 0; }

private:
    void NewImage(QSize size);
    void DrawElectrode(int channel, int impedance, int min, int max);
    void DrawColourBar(int min, int max);

    int channelCount_ = 0;
    std::vector<ChannelRecord> records_;
    std::vector<GlyphText> labels_;  // "label(number)"
    std::vector<QString> labelTexts_;
    std::vector<int> shown_;
    QImage image_;
    QPainter painter_;  // open on image_ while its size holds
    QFont font_;        // the toolkit's default font, as a new painter has it
    GlyphText unit_;    // after the font it is laid out in
    QPen outlinePen_{Qt::black};
    DigitText tickDigits_;
    ScratchClip clip_;

    // What the last picture showed, to tell what the next one changes.
    std::vector<int> shownIndices_;
    int shownMin_ = 0;
    int shownMax_ = 0;
    bool wholeChanged_ = true;
    QRect change_;
};
