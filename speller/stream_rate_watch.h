#pragma once
// Whether the amplifier stream arrives at about its nominal rate. A stream
// much faster than that is garbage, a replay or a flood; deciding on it would
// send the scoring system a command per window of nonsense. The arrivals of
// the last two seconds are counted in tenths of a second.
//
// Free of Qt; one thread.

#include <array>
#include <chrono>
#include <cstdint>

class StreamRateWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kSpan = std::chrono::seconds(2);
    static constexpr auto kBucket = std::chrono::milliseconds(100);
    // Too fast: more than this many times the rate over the whole span.
    static constexpr double kTooFastFactor = 2.0;

    enum class Change { None, BecameTooFast, BecameSane };

    explicit StreamRateWatch(double samplesPerSecond) : rate_(samplesPerSecond) {}
    // A new nominal rate; the count starts again.
    void SetRate(double samplesPerSecond);

    // samples arrived at now (not before the last call's now). Tells when the
    // stream has just become too fast, or sane again.
    Change Add(std::int64_t samples, Clock::time_point now);
    bool Sane() const { return !tooFast_; }

private:
    static constexpr std::size_t kBuckets = kSpan / kBucket;

    double rate_;
    std::array<std::int64_t, kBuckets> buckets_{};
    bool started_ = false;
    Clock::time_point start_;
    std::int64_t lastBucket_ = 0;  // index since start_
    bool tooFast_ = false;
};
