#pragma once
// Markers while acquiring: keys 1 to 9 (commands kMarker1..kMarker9, the
// first also on the toolbar and in the menu) and lines from the marker port.
// Each is drawn on the sweep and, while recording, written to the
// recording's events file with its source.
//
// Threads: UI thread only. The acquisition thread is never waited for: the
// engine stamps a marker against the sample clock it publishes.

#include <QIcon>
#include <QObject>
#include <QString>

#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/server/marker_server.h"
#include "acquisition/shell/command_table.h"

class MarkerCommands : public QObject {
    Q_OBJECT

public:
    MarkerCommands(AcquisitionEngine& engine, WaveView& wave, QObject* parent = nullptr);

    // Registers kMarker1..kMarker9, enabled while acquiring.
    void Register(CommandTable& commands);
    // The marker now: on the sweep, and in the events file when recording.
    void Insert(const QString& text, MarkerSource source);
    MarkerServer& Server() { return server_; }

    // The toolbar button's image, drawn in the markers' colour.
    static QIcon Icon();

private:
    AcquisitionEngine& engine_;
    WaveView& wave_;
    MarkerServer server_;
};
