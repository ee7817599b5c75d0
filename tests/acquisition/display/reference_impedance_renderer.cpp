#include "reference_impedance_renderer.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "acquisition/display/impedance_renderer.h"
#include "acquisition/display/label_text.h"
#include "acquisition/display/pixel.h"

namespace {
constexpr int kLabelHeight = 20;
constexpr int kBarWidth = 30;
constexpr int kBarStep = 4;
}  // namespace

QColor ReferenceImpedanceRenderer::ScaleColour(int index) {
    const int k = std::clamp(index, 0, kColourCount - 1);
    const auto limit = [](int v) { return std::clamp(v, 0, 255); };
    if (k <= 7) return QColor(0, 0, limit(144 + 16 * k));
    if (k <= 23) return QColor(0, limit(16 * (k - 7)), 255);
    if (k <= 39) return QColor(limit(16 * (k - 23)), 255, limit(256 - 16 * (k - 23)));
    if (k <= 55) return QColor(255, limit(256 - 16 * (k - 39)), 0);
    return QColor(limit(256 - 16 * (k - 55)), 0, 0);
}

int ReferenceImpedanceRenderer::ColourIndex(int value, int min, int max) {
    if (value < min) return 0;
    if (value >= max) return kColourCount - 1;
    // 64-bit: user bounds may span the whole int range.
    const std::int64_t index = (std::int64_t{value} - min) * kColourCount / (std::int64_t{max} - min);
    return static_cast<int>(std::min<std::int64_t>(index, kColourCount - 1));
}

std::array<int, 5> ReferenceImpedanceRenderer::TickValues(int min, int max) {
    std::array<int, 5> ticks{};
    for (int t = 0; t < 5; ++t) {
        const std::int64_t i = 16 * t;
        ticks[static_cast<std::size_t>(t)] = static_cast<int>(min + (std::int64_t{max} - min) * i / kColourCount);
    }
    return ticks;
}

std::optional<QPoint> ReferenceImpedanceRenderer::SquareCorner(double mapX, double mapY, QSize size) {
    const double W = size.width(), H = size.height();
    const double X = W * 0.75 * mapX + W * 0.85 * 0.5;
    const double Y = H * mapY * 0.8 + H * 0.9 * 0.5;
    if (!std::isfinite(X) || !std::isfinite(Y)) return std::nullopt;
    return QPoint(TruncPixel(X), TruncPixel(Y));
}

void ReferenceImpedanceRenderer::SetUp(int channelCount, std::span<const ChannelRecord> records) {
    channelCount_ = std::max(0, channelCount);
    const auto channels = static_cast<std::size_t>(channelCount_);
    records_.assign(channels, ChannelRecord{});
    std::copy_n(records.begin(), std::min(records.size(), channels), records_.begin());
    labels_.clear();
    for (const ChannelRecord& record : records_) labels_.push_back(LabelText(record.label));
    shown_.assign(channels, 1);
    if (channelCount_ > 0) shown_.back() = 0;  // the event channel has no electrode
}

void ReferenceImpedanceRenderer::SetChannelFlags(std::span<const int> flags) {
    if (channelCount_ < 2) return;
    const std::size_t signalChannels = static_cast<std::size_t>(channelCount_ - 1);
    std::copy_n(flags.begin(), std::min(flags.size(), signalChannels), shown_.begin());
}

void ReferenceImpedanceRenderer::Draw(std::span<const int> impedances, int min, int max, QSize size) {
    if (size.width() < 1 || size.height() < 1) return;
    if (image_.size() != size) image_ = QImage(size, QImage::Format_RGB32);
    image_.fill(Qt::white);
    QPainter painter(&image_);
    const int channels = std::min(channelCount_, static_cast<int>(impedances.size()));
    for (int i = 0; i < channels; ++i) {
        if (i < channelCount_ - 1 && Shown(i)) DrawElectrode(painter, i, impedances[static_cast<std::size_t>(i)], min, max);
    }
    DrawColourBar(painter, min, max);
}

void ReferenceImpedanceRenderer::DrawElectrode(QPainter& painter, int channel, int impedance, int min, int max) {
    const ChannelRecord& record = records_[static_cast<std::size_t>(channel)];
    const std::optional<QPoint> corner = SquareCorner(record.mapX, record.mapY, image_.size());
    if (!corner) return;  // no place on the map

    // Both at once: a "%1" inside the label must not take the channel number.
    const QString label = QString("%1(%2)").arg(labels_[static_cast<std::size_t>(channel)], QString::number(channel + 1));
    painter.setPen(Qt::black);
    painter.drawText(QRect(corner->x(), corner->y() - kLabelHeight, kSquareSize, kLabelHeight),
                     Qt::AlignHCenter | Qt::AlignTop, label);

    const QRect square(*corner, QSize(kSquareSize, kSquareSize));
    painter.fillRect(square, ScaleColour(ColourIndex(impedance, min, max)));
    painter.drawRect(square.adjusted(0, 0, -1, -1));  // the outline stays inside the square
}

void ReferenceImpedanceRenderer::DrawColourBar(QPainter& painter, int min, int max) {
    const double W = image_.width(), H = image_.height();
    const double xBar = W * 0.8500000000000001;
    for (int k = 0; k < kColourCount; ++k) {
        painter.fillRect(TruncPixel(xBar), TruncPixel(H * 0.95 - kBarStep * k), kBarWidth, kBarStep, ScaleColour(k));
    }
    const std::array<int, 5> ticks = TickValues(min, max);
    painter.setPen(Qt::black);
    painter.drawText(ImpedanceRenderer::UnitBox(image_.size()), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("kΩ"));
    for (int t = 0; t < 5; ++t) {
        const int i = 16 * t;
        const QRect box(QPoint(TruncPixel(xBar - 30), TruncPixel(H * 0.95 - 4 - 4 * i)),
                        QPoint(TruncPixel(xBar - 5) - 1, TruncPixel(H * 0.95 - 4 * i + 20) - 1));
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, QString::number(ticks[static_cast<std::size_t>(t)]));
    }
}
