#pragma once
// How another thread wakes the thread that owns this object: an eventfd that
// the owner's event loop watches. Raising it neither blocks nor allocates,
// raises that come before the owner gets to them make one wake, and while
// nothing is raised nothing runs on the owner's thread (no polling timer).
//
// Threads: Raise from any thread. The object, its signal and everything else
// belong to the thread that made it.

#include <QObject>
#include <QSocketNotifier>
#include <atomic>

#include "common/unique_fd.h"

class ThreadWake : public QObject {
    Q_OBJECT
public:
    explicit ThreadWake(QObject* parent = nullptr);

    // Any thread: asks for one raised(), however often it is called before
    // the owner gets to it.
    void Raise();
    // Raises while not watching are kept and told once watching resumes.
    void SetWatching(bool watching) { notifier_.setEnabled(watching); }

Q_SIGNALS:
    void raised();

private:
    void Take();

    UniqueFd eventFd_;
    std::atomic<bool> pending_{false};
    QSocketNotifier notifier_;
};
