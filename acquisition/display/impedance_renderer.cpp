#include "acquisition/display/impedance_renderer.h"

#include <QObject>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "acquisition/display/label_text.h"
#include "acquisition/display/pixel.h"

namespace {
constexpr int kLabelHeight = 20;
constexpr int kBarWidth = 30;
constexpr int kBarStep = 4;
}  // namespace

QColor ImpedanceRenderer::ScaleColour(int index) {
    const int k = std::clamp(index, 0, kColourCount - 1);
    const auto limit = [](int v) { return std::clamp(v, 0, 255); };
    if (k <= 7) return QColor(0, 0, limit(144 + 16 * k));
    if (k <= 23) return QColor(0, limit(16 * (k - 7)), 255);
    if (k <= 39) return QColor(limit(16 * (k - 23)), 255, limit(256 - 16 * (k - 23)));
    if (k <= 55) return QColor(255, limit(256 - 16 * (k - 39)), 0);
    return QColor(limit(256 - 16 * (k - 55)), 0, 0);
}

int ImpedanceRenderer::ColourIndex(int value, int min, int max) {
    if (value < min) return 0;
    if (value >= max) return kColourCount - 1;
    // 64-bit: user bounds may span the whole int range.
    const std::int64_t index = (std::int64_t{value} - min) * kColourCount / (std::int64_t{max} - min);
    return static_cast<int>(std::min<std::int64_t>(index, kColourCount - 1));
}

std::array<int, 5> ImpedanceRenderer::TickValues(int min, int max) {
    std::array<int, 5> ticks{};
    for (int t = 0; t < 5; ++t) {
        const std::int64_t i = 16 * t;
        ticks[static_cast<std::size_t>(t)] = static_cast<int>(min + (std::int64_t{max} - min) * i / kColourCount);
    }
    return ticks;
}

std::optional<QPoint> ImpedanceRenderer::SquareCorner(double mapX, double mapY, QSize size) {
    const double W = size.width(), H = size.height();
    const double X = W * 0.75 * mapX + W * 0.85 * 0.5;
    const double Y = H * mapY * 0.8 + H * 0.9 * 0.5;
    if (!std::isfinite(X) || !std::isfinite(Y)) return std::nullopt;
    return QPoint(TruncPixel(X), TruncPixel(Y));
}

QString ImpedanceRenderer::Unit() { return QStringLiteral("kΩ"); }

QRect ImpedanceRenderer::UnitBox(QSize size) {
    const double W = size.width(), H = size.height();
    const int barTop = TruncPixel(H * 0.95 - kBarStep * (kColourCount - 1));
    return QRect(TruncPixel(W * 0.8500000000000001) - 5, barTop - kLabelHeight, kBarWidth + 10, kLabelHeight);
}

QString ImpedanceRenderer::ValueText(int impedance) {
    if (impedance == kNotMeasured) return QObject::tr("未测");
    return QStringLiteral("%1 %2").arg(impedance).arg(Unit());
}

ImpedanceRenderer::ImpedanceRenderer() : unit_(Unit(), font_), tickDigits_(font_) {}

std::optional<int> ImpedanceRenderer::ElectrodeAt(QPoint point, QSize size) const {
    for (int i = channelCount_ - 2; i >= 0; --i) {
        if (!Shown(i)) continue;
        const ChannelRecord& record = records_[static_cast<std::size_t>(i)];
        const std::optional<QPoint> corner = SquareCorner(record.mapX, record.mapY, size);
        if (corner && QRect(*corner, QSize(kSquareSize, kSquareSize)).contains(point)) return i;
    }
    return std::nullopt;
}

QString ImpedanceRenderer::LabelOf(int channel) const {
    if (channel < 0 || channel >= channelCount_) return {};
    return labelTexts_[static_cast<std::size_t>(channel)];
}

void ImpedanceRenderer::SetUp(int channelCount, std::span<const ChannelRecord> records) {
    channelCount_ = std::max(0, channelCount);
    const auto channels = static_cast<std::size_t>(channelCount_);
    records_.assign(channels, ChannelRecord{});
    std::copy_n(records.begin(), std::min(records.size(), channels), records_.begin());
    labels_.clear();
    labelTexts_.clear();
    for (std::size_t i = 0; i < channels; ++i) {
        // Both at once: a "%1" inside the label must not take the channel number.
        const QString label = QString("%1(%2)").arg(LabelText(records_[i].label), QString::number(i + 1));
        labels_.emplace_back(label, font_);
        labelTexts_.push_back(label);
    }
    shown_.assign(channels, 1);
    if (channelCount_ > 0) shown_.back() = 0;  // the event channel has no electrode
    shownIndices_.assign(channels, -1);
    wholeChanged_ = true;
}

void ImpedanceRenderer::SetChannelFlags(std::span<const int> flags) {
    if (channelCount_ < 2) return;
    const std::size_t signalChannels = static_cast<std::size_t>(channelCount_ - 1);
    std::copy_n(flags.begin(), std::min(flags.size(), signalChannels), shown_.begin());
    wholeChanged_ = true;
}

void ImpedanceRenderer::NewImage(QSize size) {
    if (painter_.isActive()) painter_.end();
    image_ = QImage(size, QImage::Format_RGB32);
    painter_.begin(&image_);
    clip_.Reserve(QSize(kSquareSize, kLabelHeight));
    wholeChanged_ = true;
}

void ImpedanceRenderer::Draw(std::span<const int> impedances, int min, int max, QSize size) {
    change_ = QRect();
    if (size.width() < 1 || size.height() < 1) return;
    if (image_.size() != size) NewImage(size);
    if (min != shownMin_ || max != shownMax_) wholeChanged_ = true;
    image_.fill(Qt::white);
    const int channels = std::min(channelCount_, static_cast<int>(impedances.size()));
    for (int i = 0; i < channels; ++i) {
        if (i < channelCount_ - 1 && Shown(i)) DrawElectrode(i, impedances[static_cast<std::size_t>(i)], min, max);
    }
    DrawColourBar(min, max);
    if (wholeChanged_) change_ = image_.rect();
    shownMin_ = min;
    shownMax_ = max;
    wholeChanged_ = false;
}

void ImpedanceRenderer::DrawElectrode(int channel, int impedance, int min, int max) {
    const std::optional<QPoint> corner = SquareCorner(records_[static_cast<std::size_t>(channel)].mapX,
                                                      records_[static_cast<std::size_t>(channel)].mapY, image_.size());
    if (!corner) return;  // no place on the map

    painter_.setPen(outlinePen_);
    DrawInBox(painter_, image_, clip_, labels_[static_cast<std::size_t>(channel)],
              QRect(corner->x(), corner->y() - kLabelHeight, kSquareSize, kLabelHeight), Qt::AlignHCenter | Qt::AlignTop);

    const QRect square(*corner, QSize(kSquareSize, kSquareSize));
    const int index = ColourIndex(impedance, min, max);
    painter_.fillRect(square, ScaleColour(index));
    painter_.drawRect(square.adjusted(0, 0, -1, -1));  // the outline stays inside the square
    int& shown = shownIndices_[static_cast<std::size_t>(channel)];
    if (shown != index) change_ |= square;
    shown = index;
}

void ImpedanceRenderer::DrawColourBar(int min, int max) {
    const double W = image_.width(), H = image_.height();
    const double xBar = W * 0.8500000000000001;
    for (int k = 0; k < kColourCount; ++k) {
        painter_.fillRect(TruncPixel(xBar), TruncPixel(H * 0.95 - kBarStep * k), kBarWidth, kBarStep, ScaleColour(k));
    }
    const std::array<int, 5> ticks = TickValues(min, max);
    painter_.setPen(outlinePen_);
    DrawInBox(painter_, image_, clip_, unit_, UnitBox(image_.size()), Qt::AlignHCenter | Qt::AlignTop);
    for (int t = 0; t < 5; ++t) {
        const int i = 16 * t;
        const QRect box(QPoint(TruncPixel(xBar - 30), TruncPixel(H * 0.95 - 4 - 4 * i)),
                        QPoint(TruncPixel(xBar - 5) - 1, TruncPixel(H * 0.95 - 4 * i + 20) - 1));
        std::array<char, 16> text;
        const int n = std::snprintf(text.data(), text.size(), "%d", ticks[static_cast<std::size_t>(t)]);
        const std::string_view digits(text.data(), static_cast<std::size_t>(std::max(0, n)));
        DrawDigitsInBox(painter_, image_, clip_, tickDigits_, font_, digits, box, Qt::AlignHCenter | Qt::AlignTop);
    }
}
