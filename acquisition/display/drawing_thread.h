#pragma once
// A display's own drawing thread and the hand-off that feeds it: the
// acquisition thread copies each conditioned packet into the next free slot
// of a bounded ring and goes on; the drawing thread draws the packets in
// order. Handing over never waits and allocates nothing: when every slot is
// taken (drawing stalled for longer than the ring holds), the packet is not
// drawn and is counted as skipped.
//
// Threads:
// - Hand: the acquisition thread only (one producer).
// - The draw and batch functions: the drawing thread only. A batch is every
//   packet waiting when the thread wakes; each is drawn with the number of
//   packets that wait behind it, so a display that has fallen behind can skip
//   to the newest.
// - Everything else: the UI thread. Resize only while no packet is being
//   handed over (acquisition stopped); it waits for the batch in progress and
//   discards what still waits.
// - The draw function must not call back into this object.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

class DrawingThread {
public:
    using Clock = std::chrono::steady_clock;
    struct Packet {
        std::span<const double> values;
        Clock::time_point readAt;  // when the acquisition thread read it
    };
    // One packet, and how many packets wait behind it.
    using DrawPacket = std::function<void(const Packet& packet, std::size_t waitingBehind)>;
    // After the last packet of a batch.
    using BatchDone = std::function<void()>;

    DrawingThread(const char* threadName, DrawPacket draw, BatchDone batchDone);
    ~DrawingThread();
    DrawingThread(const DrawingThread&) = delete;
    DrawingThread& operator=(const DrawingThread&) = delete;

    // Slots of valuesPerPacket values each. Discards what was waiting.
    void Resize(std::size_t valuesPerPacket, std::size_t slotCount);

    // [acq] Copies the packet (at most valuesPerPacket values) into the next
    // slot; false when the ring is full and the packet will not be drawn.
    bool Hand(std::span<const double> values, Clock::time_point readAt);

    std::thread::id ThreadId() const { return thread_.get_id(); }
    // Packets not drawn because the ring was full.
    std::uint64_t Skipped() const { return skipped_; }
    // Waits until every packet handed over so far has been drawn (tests and
    // shutdown); false if that takes longer than timeout.
    bool WaitUntilDrawn(std::chrono::milliseconds timeout) const;

private:
    void Run();
    void DrawWaiting();
    void Wake();

    DrawPacket draw_;
    BatchDone batchDone_;
    std::size_t valuesPerPacket_ = 0;
    std::vector<double> values_;                 // slotCount × valuesPerPacket
    std::vector<Clock::time_point> readAt_;      // per slot
    std::vector<std::size_t> lengths_;           // per slot: values handed
    // Packets handed over and drawn since the start; the producer writes
    // handed_, the drawing thread drawn_. Both only grow.
    std::atomic<std::uint64_t> handed_{0};
    std::atomic<std::uint64_t> drawn_{0};
    std::atomic<std::uint64_t> skipped_{0};
    std::atomic<std::uint32_t> wakes_{0};  // the drawing thread sleeps on it
    std::atomic<bool> stop_{false};
    std::mutex batch_;  // held by the drawing thread while it draws a batch
    std::thread thread_;
};
