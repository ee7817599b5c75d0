#include "common/thread_wake.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

ThreadWake::ThreadWake(QObject* parent)
    : QObject(parent),
      eventFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      notifier_(eventFd_.Get(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, &ThreadWake::Take);
}

void ThreadWake::Raise() {
    if (pending_.exchange(true)) return;
    const std::uint64_t one = 1;
    // Fails only if the counter were about to overflow, which one write per
    // wake taken cannot make happen.
    [[maybe_unused]] const ssize_t written = ::write(eventFd_.Get(), &one, sizeof one);
}

void ThreadWake::Take() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(eventFd_.Get(), &count, sizeof count);
    pending_ = false;
    Q_EMIT raised();
}
