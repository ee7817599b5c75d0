#pragma once
// An amplifier for tests: it opens (or not) as told and delivers a packet only
// when the test pushes or releases one, so a test knows exactly how many
// packets the acquisition thread has read. Released packet n holds
// Value(n, sample, channel).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "acquisition/device/amplifier_device.h"

class ScriptedAmplifier : public ModalAmplifier {
public:
    static constexpr int kReportedChannel = 10;

    static std::int32_t Value(int packet, int sample, int channel) {
        return packet * 100000 + sample * 100 + channel + 1;
    }

    // Set before the engine opens the device.
    bool openSucceeds = true;
    std::string openFailure;

    bool OpenDevice(int newPacketSize, int newChannelCount, int newSampleRate) override {
        std::lock_guard lock(mutex_);
        ++opens_;
        packetSize = newPacketSize;
        channelCount = newChannelCount;
        sampleRate = newSampleRate;
        return openSucceeds;
    }
    void SetMode(AcquisitionMode mode) override {
        std::lock_guard lock(mutex_);
        modes_.push_back(static_cast<int>(mode));
    }
    std::string LastFailure() const override { return openFailure; }
    std::string Name() const override { return "amplifier"; }
    DeviceHealth Health() const override { return {}; }
    void Close() override {
        std::lock_guard lock(mutex_);
        ++closes_;
    }

    // Blocks until a packet is pushed or released, or reads are cancelled.
    // A pushed packet goes first, with its own channel.
    int ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) override {
        std::unique_lock lock(mutex_);
        ++readsStarted_;
        readerThreads_.insert(std::this_thread::get_id());
        maxReadersInside_ = std::max(maxReadersInside_, ++readersInside_);
        changed_.notify_all();
        changed_.wait(lock, [this] { return !pushed_.empty() || released_ > 0 || cancelled_; });
        --readersInside_;
        if (cancelled_) return 0;
        if (!pushed_.empty()) {
            const auto& [values, pushedChannel] = pushed_.front();
            std::copy_n(values.begin(), std::min(values.size(), packet.size()), packet.begin());
            channel = pushedChannel;
            pushed_.pop_front();
            return 1;
        }
        --released_;
        const int n = delivered_++;
        for (int s = 0; s < packetSize; ++s) {
            for (int c = 0; c < channelCount; ++c) {
                const auto index = static_cast<std::size_t>(s * channelCount + c);
                if (index < packet.size()) packet[index] = Value(n, s, c);
            }
        }
        channel = kReportedChannel;
        return 1;
    }
    void CancelReads() override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }
    void ResumeReads() override {
        std::lock_guard lock(mutex_);
        cancelled_ = false;
    }

    // Lets n more packets of Value(...) through.
    void Release(int n) {
        std::lock_guard lock(mutex_);
        released_ += n;
        changed_.notify_all();
    }
    // Queues one packet of these values, measuring this channel.
    void Push(std::vector<std::int32_t> values, int channel = kReportedChannel) {
        std::lock_guard lock(mutex_);
        pushed_.emplace_back(std::move(values), channel);
        changed_.notify_all();
    }
    // Waits until the thread has begun its n-th read, which means it has
    // finished with every packet before. False only if it never does.
    bool WaitForRead(int n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return readsStarted_ >= n; });
    }
    // Waits until a read is blocked inside the device.
    bool WaitUntilReading() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return readersInside_ > 0; });
    }

    int Opens() const { return Locked(opens_); }
    int Closes() const { return Locked(closes_); }
    int Reads() const { return Locked(readsStarted_); }
    int ChannelCount() const { return Locked(channelCount); }
    std::vector<int> Modes() const { return Locked(modes_); }
    bool Cancelled() const { return Locked(cancelled_); }
    // Threads that ever read, and the most reads at once.
    std::size_t ReaderThreads() const { return Locked(readerThreads_).size(); }
    int MaxReadersInside() const { return Locked(maxReadersInside_); }

protected:
    // The settings of the last OpenDevice.
    int packetSize = 40;
    int channelCount = 16;
    int sampleRate = 200;

private:
    template <class T>
    T Locked(const T& value) const {
        std::lock_guard lock(mutex_);
        return value;
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::vector<std::int32_t>, int>> pushed_;
    int released_ = 0;
    int delivered_ = 0;
    int readsStarted_ = 0;
    int readersInside_ = 0;
    int maxReadersInside_ = 0;
    std::set<std::thread::id> readerThreads_;
    bool cancelled_ = false;
    int opens_ = 0;
    int closes_ = 0;
    std::vector<int> modes_;
};

// A waveform window that only remembers its trace pen.
class PenRecorder : public WaveView {
public:
    void SetUp(int, int, int, std::span<const ChannelRecord>) override {}
    void SetChannelFlags(std::span<const int>) override {}
    void ResetTimeLabels() override {}
    void AddPacket(std::span<const double>, std::chrono::steady_clock::time_point) override {}
    void SetRecordingPen(bool recording) override { black = recording; }

    std::atomic<bool> black{false};
};
