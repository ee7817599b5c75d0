#pragma once
// What the UI thread needs to know of a running recording to write its
// sidecar: when its first record came, how far the sample clock has run, and
// the amplifier's event onsets. The acquisition thread publishes these with
// atomics and a fixed ring, so a packet costs it no lock, no allocation and
// no file write; the UI thread writes the sidecar from them at its own pace.
//
// Threads: Reset and the readers on the UI thread while the acquisition
// thread does not record; PacketRecorded [acq] only.

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>

#include "acquisition/recording/eol_file.h"
#include "common/sample_record.h"

class RecordingClock {
public:
    struct Onset {
        std::int64_t record = 0;
        std::int32_t code = 0;
    };
    static constexpr std::size_t kOnsetCapacity = 1024;
    // How long the start time is refined from the packets' arrivals: long
    // enough to see the link's usual delay, too short for the amplifier's
    // clock to drift from the wall clock.
    static constexpr int kStartSeconds = 10;

    // Before the recording's first packet.
    void Reset(int sampleRate, int packetSize);

    // [acq] After the packet's records were appended to the recording.
    void PacketRecorded(std::span<const SampleRecord> records);

    // Wall clock at the recording's first record, once it came; refined in
    // the first kStartSeconds.
    std::optional<std::timespec> FirstRecordTime() const;
    std::int64_t Records() const { return records_.load(std::memory_order_acquire); }
    // Seconds into the recording of something happening now: the records so
    // far, and the part of the packet being sampled since the last one came.
    double OnsetNow() const;
    double SecondsOf(std::int64_t record) const { return sampleRate_ > 0 ? double(record) / sampleRate_ : 0.0; }
    // Onsets lost because the UI thread did not take them in time.
    std::uint64_t DroppedOnsets() const { return dropped_.load(std::memory_order_relaxed); }

    // Hands over the onsets published so far, oldest first.
    template <class F>
    void TakeOnsets(F&& take) {
        const std::size_t head = head_.load(std::memory_order_acquire);
        std::size_t tail = tail_.load(std::memory_order_relaxed);
        for (; tail != head; ++tail) take(onsets_[tail % kOnsetCapacity]);
        tail_.store(tail, std::memory_order_release);
    }

private:
    static std::int64_t Now(clockid_t clock);

    int sampleRate_ = 0;
    int packetSize_ = 0;
    EventOnsets scanner_;  // the thread's
    std::atomic<std::int64_t> firstRecordNs_{0};
    std::atomic<std::int64_t> records_{0};
    std::atomic<std::int64_t> lastPacketSteadyNs_{0};
    std::array<Onset, kOnsetCapacity> onsets_{};
    std::atomic<std::size_t> head_{0};
    std::atomic<std::size_t> tail_{0};
    std::atomic<std::uint64_t> dropped_{0};
};
