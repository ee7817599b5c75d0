#include "stream_rate_watch.h"

#include <algorithm>
#include <numeric>

void StreamRateWatch::SetRate(double samplesPerSecond) {
    rate_ = samplesPerSecond;
    buckets_.fill(0);
    started_ = false;
    tooFast_ = false;
}

StreamRateWatch::Change StreamRateWatch::Add(std::int64_t samples, Clock::time_point now) {
    if (!started_) {
        started_ = true;
        start_ = now;
        lastBucket_ = 0;
    }
    const std::int64_t bucket = std::max<std::int64_t>(lastBucket_, (now - start_) / kBucket);
    // The tenths that passed without arrivals count nothing.
    for (std::int64_t b = lastBucket_ + 1; b <= bucket && b <= lastBucket_ + static_cast<std::int64_t>(kBuckets); ++b)
        buckets_[static_cast<std::size_t>(b) % kBuckets] = 0;
    lastBucket_ = bucket;
    buckets_[static_cast<std::size_t>(bucket) % kBuckets] += std::max<std::int64_t>(0, samples);

    const std::int64_t total = std::accumulate(buckets_.begin(), buckets_.end(), std::int64_t{0});
    const double limit = kTooFastFactor * rate_ * std::chrono::duration<double>(kSpan).count();
    // Only a whole span of arrivals shows a rate: a first packet is no flood.
    const bool spanSeen = bucket + 1 >= static_cast<std::int64_t>(kBuckets);
    if (!tooFast_ && spanSeen && total > limit) {
        tooFast_ = true;
        return Change::BecameTooFast;
    }
    if (tooFast_ && total <= limit) {
        tooFast_ = false;
        return Change::BecameSane;
    }
    return Change::None;
}
