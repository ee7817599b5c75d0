#pragma once
// The amplifier emulator on a pseudo-terminal, so that the serial bridge can
// be run against a real tty: the host opens SlavePath() as it would open a USB
// serial adapter.
//
// Threads: Open and SlavePath on any thread before Serve; Serve on one thread
// until stop is set (it looks at least every kStopCheckMs).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/usb/amplifier_emulator.h"
#include "acquisition/usb/serial_bridge.h"

class PtyAmplifier {
public:
    static constexpr int kStopCheckMs = 20;
    // Frames that may wait for a host that does not read before new ones are
    // dropped (the amplifier's counter shows the gap).
    static constexpr std::size_t kMaxBacklogBytes = 25 * amp::kFrameBytes;

    explicit PtyAmplifier(EmulatorOptions options = {});

    bool Open(std::string& error);
    const std::string& SlavePath() const { return slavePath_; }
    void Serve(const std::atomic<bool>& stop);

private:
    using Clock = std::chrono::steady_clock;

    void TakeCommands(Clock::time_point now);
    void SendDueFrames(Clock::time_point now);
    void Flush();

    AmplifierEmulator emulator_;
    UniqueFd master_;
    // Held open so that the master never sees a hang-up between hosts.
    UniqueFd slave_;
    std::string slavePath_;
    std::vector<std::uint8_t> backlog_;
    Clock::time_point nextFrameDue_{};
};
