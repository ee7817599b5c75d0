#include "acquisition/usb/frame_sequence.h"

#include <algorithm>
#include <cmath>

namespace {
// A gap is measured by the clock only when it is this many frames long: below
// it the counter alone is exact, and the arrival of frames is too uneven to
// second-guess it.
constexpr double kClockGapFrames = 128.0;
}  // namespace

bool FrameSequence::IsRepeat(std::span<const std::uint8_t, amp::kFrameBytes> frame) const {
    return std::any_of(recent_.begin(), recent_.begin() + static_cast<std::ptrdiff_t>(recentCount_),
                       [&](const auto& seen) {
                           return seen[amp::kCounterByte] == frame[amp::kCounterByte] &&
                                  std::equal(seen.begin(), seen.end(), frame.begin());
                       });
}

void FrameSequence::Remember(std::span<const std::uint8_t, amp::kFrameBytes> frame) {
    std::copy(frame.begin(), frame.end(), recent_[recentNext_].begin());
    recentNext_ = (recentNext_ + 1) % kRemembered;
    recentCount_ = std::min(recentCount_ + 1, kRemembered);
}

// Whole turns of the counter that went by unseen, as when the device was gone
// for seconds.
std::uint64_t FrameSequence::LostByClock(std::uint8_t counter, Clock::time_point arrival) const {
    if (framePeriod_.count() <= 0) return 0;
    const double missedByClock = std::chrono::duration<double>(arrival - lastArrival_) /
                                     std::chrono::duration<double>(framePeriod_) - 1.0;
    if (missedByClock < kClockGapFrames) return 0;
    const auto missedByCounter = static_cast<std::uint8_t>(counter - last_ - 1);
    const double turns = std::round((missedByClock - missedByCounter) / 256.0);
    return turns > 0 ? 256 * static_cast<std::uint64_t>(turns) : 0;
}

std::uint64_t FrameSequence::LostByCounter(std::uint8_t counter) {
    const auto skippedSince = [&](std::uint8_t from, int delivered) {
        return static_cast<std::uint8_t>(counter - from - 1 - delivered);
    };
    std::uint64_t lost = 0;
    if (skippedSince(believed_, doubted_) == 0) {
        // Follows the last counter believed: those doubted were damaged.
    } else if (doubted_ > 0 && counter == static_cast<std::uint8_t>(last_ + 1)) {
        // Follows the doubted one before it: that jump was real.
        lost = static_cast<std::uint8_t>(last_ - believed_ - doubted_);
    } else if (doubted_ < kMostDoubted) {
        ++doubted_;
        return 0;
    } else {
        lost = skippedSince(believed_, doubted_);
    }
    believed_ = counter;
    doubted_ = 0;
    return lost;
}

FrameSequence::Verdict FrameSequence::Judge(std::span<const std::uint8_t, amp::kFrameBytes> frame,
                                            Clock::time_point arrival) {
    if (IsRepeat(frame)) {
        ++repeats_;
        return {true, 0};
    }
    Remember(frame);
    const std::uint8_t counter = frame[amp::kCounterByte];
    Verdict verdict;
    if (!started_) {
        started_ = true;
        believed_ = counter;
    } else {
        verdict.lost = LostByClock(counter, arrival) + LostByCounter(counter);
    }
    last_ = counter;
    lastArrival_ = arrival;
    return verdict;
}

void FrameSequence::Restart() {
    recentCount_ = recentNext_ = 0;
    started_ = false;
    doubted_ = 0;
    repeats_ = 0;
}
