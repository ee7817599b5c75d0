#pragma once
// How long the acquisition thread works on each packet, stage by stage, in the
// running program. Off unless the environment variable VOSTREL_PACKET_TIMES is
// set; then the thread prints one summary line on standard error when it ends:
//
//   packet work, 1500 packets, µs p50/p99: total 61/180 cpu 55/120 build 2/4 ...
//
// The stages and the total are wall time, which on a busy machine includes
// time the thread waited for a processor; cpu is the thread's own processor
// time for the whole packet.
//
// Threads: owned and used by the acquisition thread alone. The figures are
// kept in a buffer sized when the thread starts, so timing allocates nothing
// per packet; past its capacity the oldest packets are overwritten.

#include <array>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

class PacketStopwatch {
public:
    enum Stage { kBuild, kAppend, kSend, kCondition, kDisplay, kStageCount };
    static constexpr const char* kEnvironmentVariable = "VOSTREL_PACKET_TIMES";
    static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 16;  // 43 minutes at 25 packets/s

    static bool EnabledByEnvironment();

    explicit PacketStopwatch(bool enabled, std::size_t capacity = kDefaultCapacity);

    // A packet has been read; its work begins.
    void Begin();
    // The stage just finished.
    void Lap(Stage stage);
    // The packet's work is done.
    void End();

    bool Enabled() const { return enabled_; }
    std::size_t Packets() const { return count_; }
    // A percentile in microseconds of one stage, the whole (kTotal) or its
    // processor time (kCpu); 0 before the first packet.
    double Percentile(int stage, double q) const;
    std::string Summary() const;

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int kTotal = kStageCount;
    static constexpr int kCpu = kStageCount + 1;
    using Times = std::array<float, kStageCount + 2>;  // the stages, the whole, its processor time

    bool enabled_;
    std::vector<Times> times_;
    std::size_t count_ = 0;
    Times current_{};
    Clock::time_point begin_;
    Clock::time_point lap_;
    double cpuBegin_ = 0;
};
