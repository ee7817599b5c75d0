#pragma once
// The impedance map's drawing as it was before its texts were laid out once:
// every picture lays out every label and tick afresh. Kept, unchanged but for
// its name, so that tests can hold the drawing to the same pixels.

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

#include "acquisition/electrodes/electrode_file.h"

class QPainter;

class ReferenceImpedanceRenderer {
public:
    static constexpr int kColourCount = 64;
    static constexpr int kSquareSize = 60;

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

    void SetUp(int channelCount, std::span<const ChannelRecord> records);
    void SetChannelFlags(std::span<const int> flags);
    // Draws the whole picture at size (a new image when the size changed).
    // impedances may be shorter than channelCount: the rest is not drawn.
    void Draw(std::span<const int> impedances, int min, int max, QSize size);

    const QImage& Image() const { return image_; }
    int ChannelCount() const { return channelCount_; }
    bool Shown(int channel) const { return shown_[static_cast<std::size_t>(channel)] != 0; }

private:
    void DrawElectrode(QPainter& painter, int channel, int impedance, int min, int max);
    void DrawColourBar(QPainter& painter, int min, int max);

    int channelCount_ = 0;
    std::vector<ChannelRecord> records_;
    std::vector<QString> labels_;
    std::vector<int> shown_;
    QImage image_;
};
