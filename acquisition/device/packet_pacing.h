#pragma once
// Real-time pacing of the file sources. Packet n of a run is due n packet
// lengths after the run began: deadlines on a monotonic clock, so the work
// done between reads never adds up to drift, as a sleep of one packet length
// after each packet's work would.
//
// Threads: a source's schedule and its clock are used by the thread that reads
// it; the steady clock is stateless and shared.

#include <chrono>

#include "acquisition/device/read_gate.h"

// The time pacing runs on. Tests hand a source a clock of their own, whose
// waits take no real time.
class PacingClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~PacingClock() = default;
    virtual TimePoint Now() const = 0;
    // Waits until deadline; false, at once, when the gate's reads are cancelled.
    virtual bool WaitUntil(ReadGate& gate, TimePoint deadline) = 0;

    // std::chrono::steady_clock, for every source that is given no other clock.
    static PacingClock& Steady();
};

// The deadlines of one source's packets.
class PacketSchedule {
public:
    using TimePoint = PacingClock::TimePoint;
    // A source this far behind (a stalled disk, a suspended machine) starts
    // afresh from now rather than rushing out everything it owes.
    static constexpr std::chrono::seconds kMaxLag{1};

    // Packets of packetSize samples at sampleRate samples per second; starts afresh.
    void SetRate(int packetSize, int sampleRate);
    // The next call begins a new run.
    void Restart() { running_ = false; }
    // The deadline of the next packet, asked at now: one packet length after
    // now for the first packet of a run, a whole number of packet lengths
    // after the run's start for the others (now, for settings that cannot pace).
    TimePoint Next(TimePoint now);

private:
    int packetSize_ = 0;
    int sampleRate_ = 0;
    bool running_ = false;
    // The run's start, moved on by whole seconds, and the samples due since.
    TimePoint anchor_{};
    long long samples_ = 0;
};

// The paced reads of one source: its schedule on its clock, and the gate that
// Stop closes to end a wait at once. A source holds one and asks it before
// each packet.
//
// Threads: WaitForNextPacket on the reading thread; Cancel on any thread;
// SetRate and Resume while no read is in progress.
class PacedReads {
public:
    // Paced by clock, which must outlive this.
    explicit PacedReads(PacingClock& clock = PacingClock::Steady()) : clock_(clock) {}

    void SetRate(int packetSize, int sampleRate) { schedule_.SetRate(packetSize, sampleRate); }
    // Waits for the next packet's deadline; false when reads were cancelled meanwhile.
    bool WaitForNextPacket() { return clock_.WaitUntil(gate_, schedule_.Next(clock_.Now())); }
    void Cancel() { gate_.Cancel(); }
    // A new run: its first packet is due one packet length from its first read.
    void Resume() {
        gate_.Resume();
        schedule_.Restart();
    }

private:
    PacingClock& clock_;
    PacketSchedule schedule_;
    ReadGate gate_;
};
