#pragma once
// How a display's drawing thread tells the UI thread that a new picture is
// ready: an eventfd that the UI thread's event loop watches. Raising it
// neither blocks nor allocates, and while no picture comes nothing runs on
// the UI thread (no polling timer). Pictures that come faster than
// kMinFrameGapMs are shown together, as they would be on screen anyway.
//
// Threads: Raise from any thread. The object, its signal and everything else
// belong to the thread that made it (the UI thread).

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>

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

    UniqueFd eventFd_;
    std::atomic<bool> pending_{false};
    QSocketNotifier notifier_;
    QTimer gap_;  // runs only for kMinFrameGapMs after a picture
};
