#include "acquisition/engine/recording_clock.h"

#include <algorithm>

namespace {
constexpr std::int64_t kNanoseconds = 1'000'000'000;
}

std::int64_t RecordingClock::Now(clockid_t clock) {
    std::timespec now{};
    ::clock_gettime(clock, &now);
    return std::int64_t{now.tv_sec} * kNanoseconds + now.tv_nsec;
}

void RecordingClock::Reset(int sampleRate, int packetSize) {
    sampleRate_ = sampleRate;
    packetSize_ = packetSize;
    scanner_ = EventOnsets{};
    firstRecordNs_ = 0;
    records_ = 0;
    lastPacketSteadyNs_ = 0;
    head_ = 0;
    tail_ = 0;
    dropped_ = 0;
}

void RecordingClock::PacketRecorded(std::span<const SampleRecord> records) {
    if (records.empty()) return;
    const std::int64_t first = records_.load(std::memory_order_relaxed);
    const std::int64_t through = first + static_cast<std::int64_t>(records.size());
    if (sampleRate_ > 0 && through <= std::int64_t{kStartSeconds} * sampleRate_) {
        // A packet arrives when its last sample was taken, or later when the
        // link held it up; never earlier. So the earliest start the packets
        // imply is the truest.
        const std::int64_t implied = Now(CLOCK_REALTIME) - through * kNanoseconds / sampleRate_;
        const std::int64_t known = firstRecordNs_.load(std::memory_order_relaxed);
        if (known == 0 || implied < known) firstRecordNs_.store(implied, std::memory_order_release);
    }
    scanner_.Scan(records, first, [this](std::int64_t record, std::int32_t code) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) >= kOnsetCapacity) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        onsets_[head % kOnsetCapacity] = Onset{record, code};
        head_.store(head + 1, std::memory_order_release);
    });
    lastPacketSteadyNs_.store(Now(CLOCK_MONOTONIC), std::memory_order_release);
    records_.store(through, std::memory_order_release);
}

std::optional<std::timespec> RecordingClock::FirstRecordTime() const {
    const std::int64_t ns = firstRecordNs_.load(std::memory_order_acquire);
    if (ns == 0) return std::nullopt;
    return std::timespec{static_cast<std::time_t>(ns / kNanoseconds), static_cast<long>(ns % kNanoseconds)};
}

double RecordingClock::OnsetNow() const {
    if (sampleRate_ <= 0) return 0.0;
    const std::int64_t records = records_.load(std::memory_order_acquire);
    if (records == 0) return 0.0;
    const std::int64_t since = Now(CLOCK_MONOTONIC) - lastPacketSteadyNs_.load(std::memory_order_acquire);
    // At most one packet on: past that the amplifier is late, not the marker.
    const double sampled = std::clamp(double(since) * sampleRate_ / kNanoseconds, 0.0, double(packetSize_));
    return (double(records) + sampled) / sampleRate_;
}
