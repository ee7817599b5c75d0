#include "acquisition/display/drawing_thread.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

namespace {
// A futex rather than std::atomic::wait: libstdc++ first spins on
// sched_yield, a system call each, although packets come milliseconds apart.
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
              std::atomic<std::uint32_t>::is_always_lock_free);

std::uint32_t* Word(std::atomic<std::uint32_t>& word) { return reinterpret_cast<std::uint32_t*>(&word); }

// Returns when word no longer holds seen, or spuriously.
void SleepWhileUnchanged(std::atomic<std::uint32_t>& word, std::uint32_t seen) {
    ::syscall(SYS_futex, Word(word), FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
}

void WakeSleeper(std::atomic<std::uint32_t>& word) {
    ::syscall(SYS_futex, Word(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}
}  // namespace

DrawingThread::DrawingThread(const char* threadName, DrawPacket draw, BatchDone batchDone)
    : draw_(std::move(draw)), batchDone_(std::move(batchDone)) {
    thread_ = std::thread([this, threadName] {
        pthread_setname_np(pthread_self(), threadName);  // tells it apart in top and /proc
        Run();
    });
}

DrawingThread::~DrawingThread() {
    stop_ = true;
    Wake();
    thread_.join();
}

void DrawingThread::Wake() {
    wakes_.fetch_add(1);
    WakeSleeper(wakes_);
}

void DrawingThread::Resize(std::size_t valuesPerPacket, std::size_t slotCount) {
    const std::lock_guard hold(batch_);
    valuesPerPacket_ = valuesPerPacket;
    values_.assign(valuesPerPacket * slotCount, 0.0);
    readAt_.assign(slotCount, Clock::time_point{});
    lengths_.assign(slotCount, 0);
    drawn_.store(handed_.load());
}

bool DrawingThread::Hand(std::span<const double> values, Clock::time_point readAt) {
    const std::size_t slots = readAt_.size();
    const std::uint64_t handed = handed_.load(std::memory_order_relaxed);
    if (slots == 0 || handed - drawn_.load(std::memory_order_acquire) >= slots) {
        skipped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    const std::size_t slot = handed % slots;
    const std::size_t length = std::min(values.size(), valuesPerPacket_);
    std::copy_n(values.begin(), length, values_.begin() + static_cast<std::ptrdiff_t>(slot * valuesPerPacket_));
    lengths_[slot] = length;
    readAt_[slot] = readAt;
    handed_.store(handed + 1, std::memory_order_release);
    Wake();
    return true;
}

bool DrawingThread::WaitUntilDrawn(std::chrono::milliseconds timeout) const {
    const std::uint64_t target = handed_.load();
    const auto deadline = Clock::now() + timeout;
    while (drawn_.load() < target) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The wake count is read before the packets are looked at: a packet handed
// over after that look changes the count, and the wait returns at once.
void DrawingThread::Run() {
    for (;;) {
        const std::uint32_t wakes = wakes_.load();
        if (stop_) return;
        if (drawn_.load() != handed_.load()) {
            DrawWaiting();
            continue;
        }
        SleepWhileUnchanged(wakes_, wakes);
    }
}

void DrawingThread::DrawWaiting() {
    const std::lock_guard hold(batch_);
    const std::size_t slots = readAt_.size();
    const std::uint64_t handed = handed_.load(std::memory_order_acquire);
    std::uint64_t next = drawn_.load(std::memory_order_relaxed);
    if (slots == 0 || next >= handed) return;
    for (; next < handed; ++next) {
        const std::size_t slot = next % slots;
        const Packet packet{
            std::span<const double>(values_).subspan(slot * valuesPerPacket_, lengths_[slot]), readAt_[slot]};
        draw_(packet, static_cast<std::size_t>(handed - next - 1));
        // The slot is free again once it is drawn.
        drawn_.store(next + 1, std::memory_order_release);
    }
    batchDone_();
}
