#pragma once
// The amplifier emulator on a pseudo-terminal, so that the serial bridge can
// be run against a real tty: the host opens SlavePath() (or LinkPath(), a
// symbolic link to it that outlives a vanished adapter) as it would open a
// USB serial adapter. Faults are injected on the line; when the adapter
// vanishes the pseudo-terminal is closed, and a new one, named by the same
// link, appears when it comes back.
//
// Threads: Open, SlavePath, LinkPath and StampFrames on any thread before
// Serve; Serve on one thread until stop is set (it looks at least every
// kStopCheckMs); Counts after Serve has returned.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "acquisition/usb/emulator_line.h"
#include "common/unique_fd.h"

class PtyAmplifier {
public:
    static constexpr int kStopCheckMs = 20;

    explicit PtyAmplifier(EmulatorOptions options = {}, EmulatorFaults faults = {}, std::string linkPath = {});
    ~PtyAmplifier();

    bool Open(std::string& error);
    const std::string& SlavePath() const { return slavePath_; }
    // The path to give the host: the link if there is one, else the tty.
    const std::string& HostPath() const { return linkPath_.empty() ? slavePath_ : linkPath_; }
    void Serve(const std::atomic<bool>& stop);
    const FaultCounts& Counts() const { return line_.Counts(); }
    void WatchFrames(EmulatorLine::FrameWatcher watcher) { line_.WatchFrames(std::move(watcher)); }
    // Writes a line to out for every frame sent whole, once its last byte is
    // written to the tty: the steady clock's nanoseconds, then the first
    // sample's 16 signal values, for matching with the records a client gets.
    void StampFrames(std::ostream& out);

private:
    using Clock = std::chrono::steady_clock;

    bool OpenTty(std::string& error);
    void CloseTty();
    void TakeCommands(Clock::time_point now);
    void Flush(Clock::time_point now);
    void StampWritten();

    EmulatorLine line_;
    std::string linkPath_;
    UniqueFd master_;
    // Held open so that the master never sees a hang-up between hosts.
    UniqueFd slave_;
    std::string slavePath_;
    std::array<std::uint8_t, 4096> pending_{};
    std::size_t pendingAt_ = 0;
    std::size_t pendingEnd_ = 0;

    struct FrameStamp {
        std::uint64_t end = 0;  // where it ends among the bytes the line queued
        std::string values;
    };
    std::ostream* stamps_ = nullptr;
    std::deque<FrameStamp> unstamped_;
};
