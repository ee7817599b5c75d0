#pragma once
// An amplifier for tests: it opens (or not) as told and delivers a packet only
// when the test releases one, so a test knows exactly how many packets the
// acquisition thread has read. Packet n holds Value(n, sample, channel).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "acquisition/device/amplifier_device.h"

class ScriptedAmplifier : public ModalAmplifier {
public:
    static constexpr int kReportedChannel = 10;

    static std::int32_t Value(int packet, int sample, int channel) {
        return packet * 100000 + sample * 100 + channel + 1;
    }

    bool openSucceeds = true;

    bool OpenDevice(int newPacketSize, int newChannelCount, int newSampleRate) override {
        std::lock_guard lock(mutex_);
        ++opens_;
        packetSize = newPacketSize;
        channelCount = newChannelCount;
        sampleRate = newSampleRate;
        return openSucceeds;
    }
    void SetMode(int) override {}
    std::string LastFailure() const override { return {}; }
    std::string Name() const override { return "amplifier"; }
    DeviceHealth Health() const override { return {}; }
    void Close() override {
        std::lock_guard lock(mutex_);
        ++closes_;
    }

    virtual int ReadPacket(std::span<std::int32_t> packet) {
        std::unique_lock lock(mutex_);
        ++readsStarted_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_ > 0 || cancelled_; });
        if (released_ == 0) return 0;
        --released_;
        const int n = delivered_++;
        for (int s = 0; s < packetSize; ++s) {
            for (int c = 0; c < channelCount; ++c) {
                const auto index = static_cast<std::size_t>(s * channelCount + c);
                if (index < packet.size()) packet[index] = Value(n, s, c);
            }
        }
        return 1;
    }
    int ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) override {
        channel = kReportedChannel;
        return ReadPacket(packet);
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

    // Lets n more packets through.
    void Release(int n) {
        std::lock_guard lock(mutex_);
        released_ += n;
        changed_.notify_all();
    }
    // Waits until the thread has begun its n-th read, which means it has
    // finished with every packet before. False only if it never does.
    bool WaitForRead(int n) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return readsStarted_ >= n; });
    }

    int Opens() const {
        std::lock_guard lock(mutex_);
        return opens_;
    }
    int Closes() const {
        std::lock_guard lock(mutex_);
        return closes_;
    }
    int ChannelCount() const {
        std::lock_guard lock(mutex_);
        return channelCount;
    }

protected:
    // The settings of the last OpenDevice.
    int packetSize = 40;
    int channelCount = 16;
    int sampleRate = 200;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int released_ = 0;
    int delivered_ = 0;
    int readsStarted_ = 0;
    bool cancelled_ = false;
    int opens_ = 0;
    int closes_ = 0;
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
