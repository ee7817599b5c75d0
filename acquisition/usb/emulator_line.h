#pragma once
// The amplifier's end of the line: the emulator paced at one frame per 40 ms,
// the bytes waiting for the host (about a second's worth at most, as in a real
// adapter), and the faults injected on purpose. The in-process bridge and the
// pseudo-terminal tool both serve the host from one of these.
//
// A frame counts as delivered once the host has taken all of it: a frame is
// proven whole by its own bytes. When the adapter vanishes, the frames it
// still held are lost.
//
// Not thread-safe: its owner serialises the calls.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "acquisition/usb/amplifier_emulator.h"
#include "acquisition/usb/emulator_faults.h"

class EmulatorLine {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::size_t kMaxQueuedFrames = 25;
    static constexpr auto kFrameInterval = std::chrono::milliseconds(AmplifierEmulator::kFrameIntervalMs);

    // Called with every frame made, and whether it went out whole.
    using FrameWatcher = std::function<void(std::span<const std::uint8_t, amp::kFrameBytes> frame, bool sent)>;

    explicit EmulatorLine(EmulatorOptions options = {}, EmulatorFaults faults = {});

    // Bytes from the host: commands. Ignored while the adapter is gone.
    void Receive(std::span<const std::uint8_t> bytes, TimePoint now);
    // Makes every frame due by now.
    void Advance(TimePoint now);
    // Bytes the host could read at now, and taking them.
    std::size_t Available(TimePoint now) const;
    std::size_t Take(std::span<std::uint8_t> out, TimePoint now);
    // When Advance next has something to do: a frame due or a stall ending.
    // TimePoint::max() when nothing is coming.
    TimePoint NextChange() const;

    bool Gone() const { return gone_; }
    // Where in the bytes queued since the start the last frame made ends
    // (its copies and inserted bytes not counted); 0 before the first.
    std::uint64_t LastFrameEnd() const { return frameEndCount_ > 0 ? frameEnds_[frameEndCount_ - 1] : 0; }
    // Bytes the host has taken since the start.
    std::uint64_t BytesTaken() const { return taken_; }
    int Mode() const { return emulator_.Mode(); }
    bool Streaming() const { return emulator_.Streaming(); }
    const FaultCounts& Counts() const { return counts_; }
    void WatchFrames(FrameWatcher watcher) { watcher_ = std::move(watcher); }

private:
    struct Stall {
        std::uint64_t at = 0;  // byte index where the line stalls
        TimePoint until{};
    };

    void MakeFrame(TimePoint due);
    // The frame as the line spoils or repeats it; false when it did not go
    // out whole.
    bool SendFrame(std::uint64_t n, TimePoint due);
    void Queue(std::span<const std::uint8_t> bytes);
    void QueueNoise(std::size_t count);
    std::uint8_t NextNoiseByte();
    void EndFrame();
    void Vanish();
    std::uint64_t Deliverable(TimePoint now) const;

    AmplifierEmulator emulator_;
    EmulatorFaults faults_;
    FaultCounts counts_;
    FrameWatcher watcher_;
    std::array<std::uint8_t, amp::kFrameBytes> frame_{};

    TimePoint nextFrameDue_{};
    std::uint64_t frameNumber_ = 0;  // frames made, silent and vanished ones included
    std::uint64_t silentUntil_ = 0;  // frame numbers
    std::uint64_t goneUntil_ = 0;
    bool gone_ = false;
    std::uint64_t noiseState_ = 0x2545F4914F6CDD1DULL;

    // Bytes queued for the host: a ring, allocated once.
    std::vector<std::uint8_t> ring_;
    std::uint64_t queued_ = 0;  // byte indexes since the start
    std::uint64_t taken_ = 0;
    std::array<Stall, 8> stalls_{};
    std::size_t stallCount_ = 0;
    // Where the most recent frames end, to tell which the host could trust.
    std::array<std::uint64_t, kMaxQueuedFrames + 2> frameEnds_{};
    std::size_t frameEndCount_ = 0;
};
