#include "common/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The one thing a signal handler may reach: where to write. Set while a
// StopSignals lives, -1 otherwise.
std::atomic<int> signalPipe{-1};

extern "C" void WriteSignal(int number) {
    const int saved = errno;
    const int fd = signalPipe.load();
    const auto byte = static_cast<unsigned char>(number);
    if (fd >= 0 && ::write(fd, &byte, 1) < 0) {
        // Nothing to do: a full pipe already holds a stop.
    }
    errno = saved;
}

}  // namespace

StopSignals::StopSignals(Handler onSignal, QObject* parent) : QObject(parent), onSignal_(std::move(onSignal)) {
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    readEnd_ = UniqueFd(fds[0]);
    writeEnd_ = UniqueFd(fds[1]);
    signalPipe = writeEnd_.Get();
    notifier_ = new QSocketNotifier(readEnd_.Get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::TakeSignals);
    struct sigaction action {};
    action.sa_handler = WriteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kStopSignals) ::sigaction(number, &action, nullptr);
}

StopSignals::~StopSignals() {
    if (!notifier_) return;
    for (const int number : kStopSignals) std::signal(number, SIG_DFL);
    signalPipe = -1;
}

void StopSignals::TakeSignals() {
    unsigned char numbers[16];
    const ssize_t n = ::read(readEnd_.Get(), numbers, sizeof numbers);
    for (ssize_t i = 0; i < n; ++i)
        if (onSignal_) onSignal_(numbers[i]);
}
