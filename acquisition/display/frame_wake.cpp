#include "acquisition/display/frame_wake.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

FrameWake::FrameWake(QObject* parent)
    : QObject(parent),
      eventFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      notifier_(eventFd_.Get(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, &FrameWake::Wake);
    gap_.setSingleShot(true);
    connect(&gap_, &QTimer::timeout, this, [this] {
        notifier_.setEnabled(true);  // pictures raised meanwhile are counted in the eventfd
        EmitRaised();
    });
}

void FrameWake::Raise() {
    if (pending_.exchange(true)) return;
    const std::uint64_t one = 1;
    // Fails only if the counter were about to overflow, which one write per
    // picture shown cannot make happen.
    [[maybe_unused]] const ssize_t written = ::write(eventFd_.Get(), &one, sizeof one);
}

void FrameWake::Wake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(eventFd_.Get(), &count, sizeof count);
    pending_ = false;
    const auto wait = std::chrono::milliseconds(kMinFrameGapMs) - (std::chrono::steady_clock::now() - lastRaised_);
    if (wait <= std::chrono::milliseconds(0)) {
        EmitRaised();
        return;
    }
    notifier_.setEnabled(false);
    gap_.start(std::chrono::ceil<std::chrono::milliseconds>(wait));
}

void FrameWake::EmitRaised() {
    lastRaised_ = std::chrono::steady_clock::now();
    Q_EMIT raised();
}
