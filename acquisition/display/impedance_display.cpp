#include "acquisition/display/impedance_display.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <algorithm>

#include "acquisition/display/display_window.h"

namespace {
// Updates come one channel at a time, a few a second.
constexpr std::size_t kDrawingSlots = 8;
}  // namespace

ImpedanceDisplay::ImpedanceDisplay(QWidget* parent)
    : QWidget(parent),
      size_(size()),
      drawing_(
          "map drawing", [this](const DrawingThread::Packet& update, std::size_t) { Draw(update.values); }, [] {}) {
    SetUpDisplayWindow(*this, kWindowName);
    connect(&frameWake_, &FrameWake::raised, this, &ImpedanceDisplay::ShowFinishedPicture);
}

ImpedanceDisplay::~ImpedanceDisplay() = default;

// Sized here, while no update comes, so that handing one over and drawing it
// allocate nothing.
void ImpedanceDisplay::SetUp(int channelCount, std::span<const ChannelRecord> records) {
    const std::size_t values = static_cast<std::size_t>(std::max(0, channelCount)) + 2;
    drawing_.Resize(values, kDrawingSlots);
    handed_.assign(values, 0.0);
    drawn_.assign(values, 0);
    const std::lock_guard hold(lock_);
    renderer_.SetUp(channelCount, records);
    shownValues_.assign(static_cast<std::size_t>(renderer_.ChannelCount()), ImpedanceRenderer::kNotMeasured);
}

void ImpedanceDisplay::SetChannelFlags(std::span<const int> flags) {
    const std::lock_guard hold(lock_);
    renderer_.SetChannelFlags(flags);
}

void ImpedanceDisplay::ShowImpedances(std::span<const int> impedances) {
    if (handed_.size() < 2 || impedances.size() > handed_.size() - 2) return;
    std::copy(impedances.begin(), impedances.end(), handed_.begin());
    handed_[impedances.size()] = rangeMinimum_;
    handed_[impedances.size() + 1] = rangeMaximum_;
    drawing_.Hand(std::span<const double>(handed_).first(impedances.size() + 2), DrawingThread::Clock::now());
}

void ImpedanceDisplay::Draw(std::span<const double> update) {
    if (update.size() < 2 || update.size() > drawn_.size()) return;
    const std::span<int> values = std::span<int>(drawn_).first(update.size());
    std::transform(update.begin(), update.end(), values.begin(), [](double v) { return static_cast<int>(v); });
    const std::span<const int> impedances = values.first(values.size() - 2);
    QRect change;
    {
        const std::lock_guard hold(lock_);
        renderer_.Draw(impedances, values[values.size() - 2], values.back(), size_);
        std::copy_n(impedances.begin(), std::min(impedances.size(), shownValues_.size()), shownValues_.begin());
        change = renderer_.LastChange();
        unshown_ |= change;
    }
    if (!change.isEmpty()) frameWake_.Raise();
}

void ImpedanceDisplay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const std::lock_guard hold(lock_);
    PaintPicture(painter, *this, event->region(), renderer_.Image());
    painter.setPen(palette().color(QPalette::Mid));  // the window's thin border
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ImpedanceDisplay::resizeEvent(QResizeEvent* event) {
    const std::lock_guard hold(lock_);
    size_ = event->size();
}

void ImpedanceDisplay::ShowFinishedPicture() {
    QRect changed;
    {
        const std::lock_guard hold(lock_);
        std::swap(changed, unshown_);
    }
    if (changed.isEmpty()) return;
    update(changed);
    Q_EMIT FrameReady();
}

QImage ImpedanceDisplay::Snapshot() const {
    const std::lock_guard hold(lock_);
    return renderer_.Image().copy();
}

QString ImpedanceDisplay::ToolTipAt(QPoint point) const {
    const std::lock_guard hold(lock_);
    if (renderer_.Image().isNull()) return {};
    const std::optional<int> channel = renderer_.ElectrodeAt(point, renderer_.Image().size());
    if (!channel || static_cast<std::size_t>(*channel) >= shownValues_.size()) return {};
    return renderer_.LabelOf(*channel) + QStringLiteral(": ") +
           ImpedanceRenderer::ValueText(shownValues_[static_cast<std::size_t>(*channel)]);
}

QString ImpedanceDisplay::Highest() const {
    const std::lock_guard hold(lock_);
    int highest = -1;
    for (int i = 0; i + 1 < renderer_.ChannelCount() && static_cast<std::size_t>(i) < shownValues_.size(); ++i) {
        const int value = shownValues_[static_cast<std::size_t>(i)];
        if (!renderer_.Shown(i) || value == ImpedanceRenderer::kNotMeasured) continue;
        if (highest < 0 || value > shownValues_[static_cast<std::size_t>(highest)]) highest = i;
    }
    if (highest < 0) return {};
    return renderer_.LabelOf(highest) + QLatin1Char(' ') +
           ImpedanceRenderer::ValueText(shownValues_[static_cast<std::size_t>(highest)]);
}

bool ImpedanceDisplay::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = ToolTipAt(help->pos());
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
}
