#pragma once
// A cancellable wait for the devices' pacing: Cancel wakes a waiter at once
// and keeps later waits from starting until Resume.

#include <chrono>
#include <condition_variable>
#include <mutex>

class ReadGate {
public:
    // Waits for the given time. Returns false, early, when reads are cancelled.
    bool WaitFor(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex_);
        return !wake_.wait_for(lock, duration, [this] { return cancelled_; });
    }
    // Waits until the given time of the steady clock. Returns false, early,
    // when reads are cancelled.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return !wake_.wait_until(lock, deadline, [this] { return cancelled_; });
    }
    bool IsCancelled() const {
        std::lock_guard lock(mutex_);
        return cancelled_;
    }
    void Cancel() {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        wake_.notify_all();
    }
    void Resume() {
        std::lock_guard lock(mutex_);
        cancelled_ = false;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool cancelled_ = false;
};
