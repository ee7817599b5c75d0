#pragma once
// How a display's drawing thread tells the UI thread that a new picture is
// ready (see thread_wake.h). Pictures that come less than kMinFrameGapMs
// apart are shown together, as the screen would show them.
//
// Threads: Raise from any thread. The object, its signal and everything else
// belong to the thread that made it (the UI thread).

#include <QObject>
#include <QTimer>
#include <chrono>

#include "common/thread_wake.h"

class FrameWake : public QObject {
    Q_OBJECT
public:
    static constexpr int kMinFrameGapMs = 15;

    explicit FrameWake(QObject* parent = nullptr);

    // Any thread: asks for one raised(), however often it is called before
    // the UI thread gets to it.
    void Raise() { wake_.Raise(); }

Q_SIGNALS:
    void raised();

private:
    void Wake();
    void EmitRaised();

    ThreadWake wake_;
    QTimer gap_;  // runs only when a picture follows the last too closely
    std::chrono::steady_clock::time_point lastRaised_{};
};
