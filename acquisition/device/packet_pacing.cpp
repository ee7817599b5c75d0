#include "acquisition/device/packet_pacing.h"

namespace {
class SteadyPacingClock final : public PacingClock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    bool WaitUntil(ReadGate& gate, TimePoint deadline) override { return gate.WaitUntil(deadline); }
};
}  // namespace

PacingClock& PacingClock::Steady() {
    static SteadyPacingClock clock;
    return clock;
}

void PacketSchedule::SetRate(int packetSize, int sampleRate) {
    packetSize_ = packetSize;
    sampleRate_ = sampleRate;
    running_ = false;
}

PacketSchedule::TimePoint PacketSchedule::Next(TimePoint now) {
    if (packetSize_ <= 0 || sampleRate_ <= 0) return now;
    if (!running_) {
        anchor_ = now;
        samples_ = 0;
        running_ = true;
    }
    // Whole seconds go into the anchor, so the nanoseconds below stay exact
    // and small however long the run.
    samples_ += packetSize_;
    anchor_ += std::chrono::seconds(samples_ / sampleRate_);
    samples_ %= sampleRate_;
    const TimePoint deadline = anchor_ + std::chrono::nanoseconds(samples_ * 1'000'000'000LL / sampleRate_);
    if (now - deadline <= kMaxLag) return deadline;
    anchor_ = now;
    samples_ = 0;
    return now;
}
