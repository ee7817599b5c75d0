#pragma once
// SIGTERM, SIGINT and SIGHUP turned into a call on the Qt thread that owns
// the object, from its event loop, so that a program ended by its session,
// by Ctrl+C or by kill can stop as its own Stop command does (a signal
// handler itself may do almost nothing). While the object lives, the three
// signals no longer end the program by themselves.
//
// At most one lives at a time. Threads: created, destroyed and called back
// on one Qt thread; the handler only writes a byte to a pipe.

#include <functional>

#include <QObject>
#include <QSocketNotifier>

#include "common/unique_fd.h"

class StopSignals : public QObject {
public:
    using Handler = std::function<void(int signalNumber)>;

    explicit StopSignals(Handler onSignal, QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Whether the handlers are installed (the pipe could be made).
    bool Active() const { return notifier_ != nullptr; }

private:
    void TakeSignals();

    Handler onSignal_;
    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    QSocketNotifier* notifier_ = nullptr;
};
