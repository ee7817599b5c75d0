#include "tools/amp-emulator/pty_amplifier.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {
constexpr auto kFrameInterval = std::chrono::milliseconds(AmplifierEmulator::kFrameIntervalMs);
// Past this a host has not been reading; start afresh rather than burst.
constexpr auto kMaxLag = std::chrono::seconds(1);
}  // namespace

PtyAmplifier::PtyAmplifier(EmulatorOptions options) : emulator_(std::move(options)) {}

bool PtyAmplifier::Open(std::string& error) {
    UniqueFd master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master || grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    std::array<char, 128> name{};
    if (ptsname_r(master.Get(), name.data(), name.size()) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    UniqueFd slave(::open(name.data(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave) {
        error = std::string("cannot open ") + name.data() + ": " + std::strerror(errno);
        return false;
    }
    // Raw from the start: no echo of frames back as commands, no line editing.
    termios tio{};
    if (tcgetattr(slave.Get(), &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave.Get(), TCSANOW, &tio);
    }
    master_ = std::move(master);
    slave_ = std::move(slave);
    slavePath_ = name.data();
    return true;
}

void PtyAmplifier::TakeCommands(Clock::time_point now) {
    std::array<std::uint8_t, 256> bytes{};
    for (;;) {
        const ssize_t n = ::read(master_.Get(), bytes.data(), bytes.size());
        if (n <= 0) return;
        const bool wasStreaming = emulator_.Streaming();
        const auto reply = emulator_.Receive(std::span(bytes.data(), static_cast<std::size_t>(n)));
        backlog_.insert(backlog_.end(), reply.begin(), reply.end());
        if (!wasStreaming && emulator_.Streaming()) nextFrameDue_ = now + kFrameInterval;
    }
}

void PtyAmplifier::SendDueFrames(Clock::time_point now) {
    if (now - nextFrameDue_ > kMaxLag) nextFrameDue_ = now;
    std::array<std::uint8_t, amp::kFrameBytes> frame{};
    while (emulator_.Streaming() && nextFrameDue_ <= now) {
        emulator_.NextFrame(frame);
        if (backlog_.size() + frame.size() <= kMaxBacklogBytes) backlog_.insert(backlog_.end(), frame.begin(), frame.end());
        nextFrameDue_ += kFrameInterval;
    }
}

void PtyAmplifier::Flush() {
    while (!backlog_.empty()) {
        const ssize_t n = ::write(master_.Get(), backlog_.data(), backlog_.size());
        if (n <= 0) return;  // the tty is full; poll says when it drains
        backlog_.erase(backlog_.begin(), backlog_.begin() + n);
    }
}

void PtyAmplifier::Serve(const std::atomic<bool>& stop) {
    while (!stop) {
        const auto now = Clock::now();
        SendDueFrames(now);
        Flush();
        int waitMs = kStopCheckMs;
        if (emulator_.Streaming()) {
            const auto untilFrame = std::chrono::ceil<std::chrono::milliseconds>(nextFrameDue_ - now).count();
            waitMs = static_cast<int>(std::clamp<long long>(untilFrame, 0, kStopCheckMs));
        }
        pollfd fd{master_.Get(), static_cast<short>(POLLIN | (backlog_.empty() ? 0 : POLLOUT)), 0};
        if (::poll(&fd, 1, waitMs) > 0 && (fd.revents & POLLIN)) TakeCommands(Clock::now());
    }
}
