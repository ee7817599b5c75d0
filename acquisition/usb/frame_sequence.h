#pragma once
// Tells, from the counters of frames already proven whole, which frame is a
// repeat and how many frames never arrived.
//
// The counter (byte 4) steps by one per frame, modulo 256. A frame equal,
// counter and bytes, to one of the last kRemembered frames is a repeat: the
// line sent it again. It is dropped and counted apart, never as a loss.
//
// A counter that does not follow is not believed at once, since a flipped bit
// would otherwise count up to 255 frames lost, and as many again at the next
// frame. The frame after it decides: when it follows that counter, the jump
// was real and the frames skipped are lost; when it follows the last counter
// believed, the jump was a damaged counter and nothing is lost. Either way the
// frames counted lost are those the believed counters skip, less the frames
// delivered in between. Gaps of 256 frames and more (a device gone for
// seconds) are told by the arrival clock.
//
// Not thread-safe: the acquisition thread's.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "acquisition/usb/amplifier_protocol.h"

class FrameSequence {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kRemembered = 8;
    // Frames in a row whose counters follow neither the last believed counter
    // nor each other, after which the newest is believed all the same.
    static constexpr int kMostDoubted = 2;

    struct Verdict {
        bool repeat = false;     // drop the frame
        std::uint64_t lost = 0;  // frames now known never to have arrived
    };

    // framePeriod: the time one frame covers, for gaps longer than the
    // counter can tell; zero leaves such gaps to the counter alone.
    void SetFramePeriod(std::chrono::nanoseconds framePeriod) { framePeriod_ = framePeriod; }
    Verdict Judge(std::span<const std::uint8_t, amp::kFrameBytes> frame, Clock::time_point arrival);
    // A new run: forgets every frame and counter.
    void Restart();

    std::uint64_t Repeats() const { return repeats_; }

private:
    bool IsRepeat(std::span<const std::uint8_t, amp::kFrameBytes> frame) const;
    void Remember(std::span<const std::uint8_t, amp::kFrameBytes> frame);
    std::uint64_t LostByClock(std::uint8_t counter, Clock::time_point arrival) const;
    std::uint64_t LostByCounter(std::uint8_t counter);

    std::chrono::nanoseconds framePeriod_{0};
    std::array<std::array<std::uint8_t, amp::kFrameBytes>, kRemembered> recent_{};
    std::size_t recentCount_ = 0;
    std::size_t recentNext_ = 0;

    bool started_ = false;
    std::uint8_t believed_ = 0;  // the last counter believed
    int doubted_ = 0;            // frames delivered since, whose counters were not
    std::uint8_t last_ = 0;      // the last frame's counter
    Clock::time_point lastArrival_{};
    std::uint64_t repeats_ = 0;
};
