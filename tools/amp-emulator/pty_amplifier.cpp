#include "tools/amp-emulator/pty_amplifier.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

PtyAmplifier::PtyAmplifier(EmulatorOptions options, EmulatorFaults faults, std::string linkPath)
    : line_(std::move(options), faults), linkPath_(std::move(linkPath)) {}

PtyAmplifier::~PtyAmplifier() {
    if (!linkPath_.empty()) ::unlink(linkPath_.c_str());
}

bool PtyAmplifier::Open(std::string& error) { return OpenTty(error); }

void PtyAmplifier::StampFrames(std::ostream& out) {
    stamps_ = &out;
    line_.WatchFrames([this](std::span<const std::uint8_t, amp::kFrameBytes> frame, bool sent) {
        if (!sent) return;
        constexpr int P = AmplifierEmulator::kPacketSize;
        constexpr int C = AmplifierEmulator::kValuesPerSample;
        std::array<std::int32_t, P * C> values{};
        amp::DecodeFrame(frame, P, C, values);
        std::string text;
        for (int k = 0; k < AmplifierEmulator::kSignalChannels; ++k) text += " " + std::to_string(values[k]);
        unstamped_.push_back({line_.LastFrameEnd(), std::move(text)});
    });
}

void PtyAmplifier::StampWritten() {
    if (!stamps_) return;
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    const std::uint64_t written = line_.BytesTaken() - (pendingEnd_ - pendingAt_);
    while (!unstamped_.empty() && unstamped_.front().end <= written) {
        *stamps_ << now << unstamped_.front().values << std::endl;  // read while the emulator runs
        unstamped_.pop_front();
    }
}

bool PtyAmplifier::OpenTty(std::string& error) {
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
    if (!linkPath_.empty()) {
        // Replaced in one step, so a host never finds the link missing or stale.
        const std::string temporary = linkPath_ + ".new";
        ::unlink(temporary.c_str());
        if (::symlink(name.data(), temporary.c_str()) != 0 || ::rename(temporary.c_str(), linkPath_.c_str()) != 0) {
            error = "cannot link " + linkPath_ + " to " + name.data() + ": " + std::strerror(errno);
            return false;
        }
    }
    master_ = std::move(master);
    slave_ = std::move(slave);
    slavePath_ = name.data();
    return true;
}

// The adapter is pulled: the host's tty hangs up and its path goes away.
void PtyAmplifier::CloseTty() {
    if (!linkPath_.empty()) ::unlink(linkPath_.c_str());
    unstamped_.clear();
    pendingAt_ = pendingEnd_ = 0;
    slave_.Close();
    master_.Close();
}

void PtyAmplifier::TakeCommands(Clock::time_point now) {
    std::array<std::uint8_t, 256> bytes{};
    for (;;) {
        const ssize_t n = ::read(master_.Get(), bytes.data(), bytes.size());
        if (n <= 0) return;
        const bool streamed = line_.Streaming();
        line_.Receive(std::span(bytes.data(), static_cast<std::size_t>(n)), now);
        // Said, so that whoever drives the program sees that it was told to stop.
        if (streamed && !line_.Streaming()) {
            std::printf("amp-emulator: stop command\n");
            std::fflush(stdout);
        }
    }
}

// Writes what the tty takes; what it cannot take yet waits in pending_ (at
// most one chunk), and nothing more leaves the line until it has gone.
void PtyAmplifier::Flush(Clock::time_point now) {
    for (;;) {
        if (pendingAt_ == pendingEnd_) {
            pendingAt_ = 0;
            pendingEnd_ = line_.Take(pending_, now);
            if (pendingEnd_ == 0) return;
        }
        const ssize_t n = ::write(master_.Get(), pending_.data() + pendingAt_, pendingEnd_ - pendingAt_);
        if (n <= 0) return;  // the tty is full; poll says when it drains
        pendingAt_ += static_cast<std::size_t>(n);
        StampWritten();
    }
}

void PtyAmplifier::Serve(const std::atomic<bool>& stop) {
    while (!stop) {
        const auto now = Clock::now();
        const bool wasGone = line_.Gone();
        line_.Advance(now);
        if (line_.Gone() != wasGone) {
            if (line_.Gone()) {
                CloseTty();
            } else {
                std::string error;
                if (!OpenTty(error)) std::fprintf(stderr, "amp-emulator: %s\n", error.c_str());
            }
        }
        if (master_) Flush(now);
        const auto next = line_.NextChange();
        const auto untilNext = next == Clock::time_point::max()
                                   ? static_cast<long long>(kStopCheckMs)
                                   : std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
        const int waitMs = static_cast<int>(std::clamp<long long>(untilNext, 0, kStopCheckMs));
        if (!master_) {
            ::poll(nullptr, 0, waitMs);
            continue;
        }
        const bool waiting = pendingAt_ != pendingEnd_;
        pollfd fd{master_.Get(), static_cast<short>(POLLIN | (waiting ? POLLOUT : 0)), 0};
        if (::poll(&fd, 1, waitMs) > 0 && (fd.revents & POLLIN)) TakeCommands(Clock::now());
    }
}
