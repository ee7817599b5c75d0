#pragma once
// How a display's drawing thread tells the UI thread that a new picture is
// ready: an eventfd that the UI thread's event loop watches. Raising it
// neither blocks nor allocates, and while no picture comes nothing runs on
// the UI thread (no polling timer). Pictures that come less than
// kMinFrameGapMs apart are shown together, as the screen would show them.
//
// Threads: Raise from any thread. The object, its signal and everything else
// belong to the thread that made it (the UI thread).

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <chrono>

#include "common/unique_fd.h"

class FrameWake : public QObject {
    Q_OBJECT
public:
    static constexpr int kMinFrameGapMs = 15;

    explicit FrameWake(QObject* parent = nullptr);

    // Any thread: asks for one raised(), however often it is called before
    // the UI thread gets to it.
    void Raise();

Q_SIGNALS:
    void raised();

private:
    void Wake();
    void EmitRaised();

    UniqueFd eventFd_;
    std::atomic<bool> pending_{false};
    QSocketNotifier notifier_;
    QTimer gap_;  // runs only when a picture follows the last too closely
    std::chrono::steady_clock::time_point lastRaised_{};
};
