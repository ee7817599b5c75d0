#pragma once
// A bridge that records every call and answers reads from a script, for
// checking what UsbAmplifier asks of the bridge.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/usb/usb_bridge.h"

class FakeBridge : public UsbBridge {
public:
    struct ReadAnswer {
        Status status = kSuccess;
        std::vector<std::uint8_t> bytes;
        // How long after the bytes before them the line brings these. No
        // clock runs: a read that cannot wait that long under the read
        // timeout in force gives up, and the wait it spent counts down.
        int arrivesAfterMs = 0;
    };

    // Settings a test may change.
    int deviceCount = 2;
    Status openStatus = kSuccess;
    Status baudStatus = kSuccess;
    Status writeStatus = kSuccess;
    Handle handleToGive = 42;
    // How long the line takes to accept a write; a write that would take
    // longer than the write timeout in force times out, having sent nothing.
    int writeTakesMs = 0;
    // When no answer is queued, a read waits for one (until cancelled) if
    // true, else it times out at once.
    bool blockWhenEmpty = false;

    // What happened.
    std::vector<std::string> calls;
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<int> readLengths;
    int readTimeoutMs = 777;
    int writeTimeoutMs = 555;
    bool overlapped = false;  // two calls were inside the bridge at once

    void QueueRead(std::vector<std::uint8_t> bytes, Status status = kSuccess) {
        QueueLateRead(std::move(bytes), 0, status);
    }
    void QueueLateRead(std::vector<std::uint8_t> bytes, int arrivesAfterMs, Status status = kSuccess) {
        {
            std::lock_guard lock(mutex_);
            answers_.push_back({status, std::move(bytes), arrivesAfterMs});
        }
        wake_.notify_all();
    }

    Status GetNumDevices(int& count) override {
        Record("GetNumDevices");
        count = deviceCount;
        return kSuccess;
    }
    Status GetProductString(int deviceIndex, std::span<char> buffer, int option) override {
        Record("GetProductString " + std::to_string(deviceIndex) + " " + std::to_string(buffer.size()) + " " +
               std::to_string(option));
        buffer[0] = '\0';
        return kSuccess;
    }
    Status Open(int deviceIndex, Handle& handle) override {
        Record("Open " + std::to_string(deviceIndex));
        if (openStatus == kSuccess) handle = handleToGive;
        return openStatus;
    }
    Status SetBaudRate(Handle handle, int baudRate) override {
        Record("SetBaudRate " + std::to_string(handle) + " " + std::to_string(baudRate));
        return baudStatus;
    }
    Status SetTimeouts(int r, int w) override {
        Record("SetTimeouts " + std::to_string(r) + " " + std::to_string(w));
        std::lock_guard lock(mutex_);
        readTimeoutMs = r;
        writeTimeoutMs = w;
        return kSuccess;
    }
    Status GetTimeouts(int& r, int& w) override {
        Record("GetTimeouts");
        std::lock_guard lock(mutex_);
        r = readTimeoutMs;
        w = writeTimeoutMs;
        return kSuccess;
    }
    Status Write(Handle handle, std::span<const std::uint8_t> bytes, int& written) override {
        Enter();
        Record("Write " + std::to_string(handle));
        Status status = writeStatus;
        {
            std::lock_guard lock(mutex_);
            if (writeTakesMs > writeTimeoutMs) status = kTimeout;
            else writes.emplace_back(bytes.begin(), bytes.end());
        }
        written = status == kSuccess ? static_cast<int>(bytes.size()) : 0;
        Leave();
        return status;
    }
    // The queued answers form one byte stream, as a real line does: a read
    // takes bytes across answers until it has enough, and ends with the
    // status of an answer that is not a success once it reaches it. With no
    // bytes left, or only bytes that come after the read timeout, it times
    // out; with none at all and blockWhenEmpty, it waits for more.
    Status Read(Handle handle, std::span<std::uint8_t> buffer, int& received) override {
        Enter();
        Record("Read " + std::to_string(handle));
        std::unique_lock lock(mutex_);
        readLengths.push_back(static_cast<int>(buffer.size()));
        received = 0;
        Status status = kTimeout;
        std::size_t got = 0;
        int patienceMs = readTimeoutMs;
        while (!cancelled_ && got < buffer.size()) {
            if (answers_.empty()) {
                if (!blockWhenEmpty) break;
                ++waitingReads_;
                wake_.notify_all();
                wake_.wait(lock, [this] { return cancelled_ || !answers_.empty(); });
                --waitingReads_;
                continue;
            }
            ReadAnswer& answer = answers_.front();
            if (answer.arrivesAfterMs > patienceMs) {
                answer.arrivesAfterMs -= patienceMs;
                break;
            }
            patienceMs -= answer.arrivesAfterMs;
            answer.arrivesAfterMs = 0;
            const std::size_t n = std::min(answer.bytes.size(), buffer.size() - got);
            std::copy_n(answer.bytes.begin(), n, buffer.begin() + static_cast<std::ptrdiff_t>(got));
            answer.bytes.erase(answer.bytes.begin(), answer.bytes.begin() + static_cast<std::ptrdiff_t>(n));
            got += n;
            if (!answer.bytes.empty()) break;
            const Status ended = answer.status;
            answers_.pop_front();
            if (ended != kSuccess) {
                status = ended;
                break;
            }
        }
        received = static_cast<int>(got);
        if (cancelled_) status = kCancelled;
        else if (status == kTimeout && got == buffer.size()) status = kSuccess;
        lock.unlock();
        Leave();
        return status;
    }
    std::string DeviceName() const override { return "fake"; }
    std::string LastError() const override { return "unplugged"; }
    void CancelReads() override {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
            ++cancels_;
        }
        wake_.notify_all();
    }
    void ResumeReads() override {
        std::lock_guard lock(mutex_);
        cancelled_ = false;
    }

    void WaitForWaitingRead() {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return waitingReads_ > 0; });
    }
    int Cancels() {
        std::lock_guard lock(mutex_);
        return cancels_;
    }
    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex_);
        return calls;
    }
    std::vector<std::vector<std::uint8_t>> Writes() {
        std::lock_guard lock(mutex_);
        return writes;
    }
    void ClearCalls() {
        std::lock_guard lock(mutex_);
        calls.clear();
        writes.clear();
    }

private:
    void Record(std::string call) {
        std::lock_guard lock(mutex_);
        calls.push_back(std::move(call));
    }
    void Enter() {
        std::lock_guard lock(mutex_);
        if (inside_++ > 0) overlapped = true;
    }
    void Leave() {
        std::lock_guard lock(mutex_);
        --inside_;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<ReadAnswer> answers_;
    bool cancelled_ = false;
    int cancels_ = 0;
    int waitingReads_ = 0;
    int inside_ = 0;
};
