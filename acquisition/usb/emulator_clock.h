#pragma once
// The time an emulated amplifier paces its frames by. Tests drive a
// ManualClock so that seconds of acquisition take no real time.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class EmulatorClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~EmulatorClock() = default;
    virtual TimePoint Now() const = 0;
    // Returns once deadline has come or done() holds; wake is notified when
    // done() may have changed. lock is held on entry and on return.
    virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TimePoint deadline,
                           const std::function<bool()>& done) = 0;
};

class SteadyClock final : public EmulatorClock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, TimePoint deadline,
                   const std::function<bool()>& done) override {
        wake.wait_until(lock, deadline, done);
    }
};

// Time moves only when someone waits: a wait jumps straight to its deadline.
class ManualClock final : public EmulatorClock {
public:
    TimePoint Now() const override { return TimePoint(std::chrono::steady_clock::duration(now_.load())); }
    void WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, TimePoint deadline,
                   const std::function<bool()>& done) override {
        if (done()) return;
        const auto target = deadline.time_since_epoch().count();
        auto current = now_.load();
        while (current < target && !now_.compare_exchange_weak(current, target)) {
        }
    }
    void Advance(std::chrono::steady_clock::duration step) { now_ += step.count(); }

private:
    std::atomic<std::chrono::steady_clock::duration::rep> now_{0};
};
