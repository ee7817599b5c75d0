#include "acquisition/shell/marker_commands.h"

#include <QPainter>
#include <QPixmap>

#include "acquisition/display/wave_renderer.h"
#include "acquisition/shell/command_texts.h"

MarkerCommands::MarkerCommands(AcquisitionEngine& engine, WaveView& wave, QObject* parent)
    : QObject(parent), engine_(engine), wave_(wave), server_(this) {
    connect(&server_, &MarkerServer::markerReceived, this,
            [this](const QString& text) { Insert(text, MarkerSource::Network); });
}

void MarkerCommands::Register(CommandTable& commands) {
    for (int id = command::kMarker1; id <= command::kMarker9; ++id) {
        const int digit = id - command::kMarker1 + 1;
        commands.Register(id, [this, digit] { Insert(QString::number(digit), MarkerSource::Key); },
                          [this] { return engine_.Running(); });
    }
}

void MarkerCommands::Insert(const QString& text, MarkerSource source) {
    if (!engine_.Running()) return;
    engine_.AddMarker(text.toStdString(), source);
    // A key's digit stands beside its line; a network marker's text may be
    // long, so its line stands alone.
    const int digit = source == MarkerSource::Key ? text.toInt() : 0;
    if (engine_.Mode() == AcquisitionMode::Waveform) wave_.MarkSweep(digit);
}

QIcon MarkerCommands::Icon() {
    QPixmap image(16, 15);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setPen(QPen(WaveRenderer::kMarkerColour, 2));
    painter.drawLine(3, 1, 3, 14);
    painter.setBrush(WaveRenderer::kMarkerColour);
    painter.drawPolygon(QPolygon({QPoint(4, 1), QPoint(13, 4), QPoint(4, 7)}));
    return QIcon(image);
}
