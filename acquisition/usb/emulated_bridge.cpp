#include "acquisition/usb/emulated_bridge.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {
constexpr auto kFrameInterval = std::chrono::milliseconds(AmplifierEmulator::kFrameIntervalMs);
}

EmulatedBridge::EmulatedBridge(EmulatorOptions options, std::unique_ptr<EmulatorClock> clock)
    : clock_(std::move(clock)), emulator_(std::move(options)) {}

UsbBridge::Status EmulatedBridge::GetNumDevices(int& count) {
    count = 1;
    return kSuccess;
}

UsbBridge::Status EmulatedBridge::GetProductString(int deviceIndex, std::span<char> buffer, int) {
    if (deviceIndex != 0) return kDeviceNotFound;
    if (buffer.empty()) return kInvalidParameter;
    const std::size_t n = std::min(buffer.size() - 1, std::strlen(kProductString));
    std::memcpy(buffer.data(), kProductString, n);
    buffer[n] = '\0';
    return kSuccess;
}

UsbBridge::Status EmulatedBridge::Open(int deviceIndex, Handle& handle) {
    if (deviceIndex != 0) return kDeviceNotFound;
    std::lock_guard lock(mutex_);
    open_ = true;
    handle = kHandle;
    return kSuccess;
}

UsbBridge::Status EmulatedBridge::SetBaudRate(Handle handle, int baudRate) {
    std::lock_guard lock(mutex_);
    if (!ValidHandle(handle)) return kInvalidHandle;
    return baudRate == amp::kBaudRate ? kSuccess : kInvalidBaudRate;
}

UsbBridge::Status EmulatedBridge::SetTimeouts(int readTimeoutMs, int writeTimeoutMs) {
    if (readTimeoutMs < 0 || writeTimeoutMs < 0) return kInvalidParameter;
    std::lock_guard lock(mutex_);
    readTimeoutMs_ = readTimeoutMs;
    writeTimeoutMs_ = writeTimeoutMs;
    return kSuccess;
}

UsbBridge::Status EmulatedBridge::GetTimeouts(int& readTimeoutMs, int& writeTimeoutMs) {
    std::lock_guard lock(mutex_);
    readTimeoutMs = readTimeoutMs_;
    writeTimeoutMs = writeTimeoutMs_;
    return kSuccess;
}

UsbBridge::Status EmulatedBridge::Write(Handle handle, std::span<const std::uint8_t> bytes, int& bytesWritten) {
    bytesWritten = 0;
    {
        std::lock_guard lock(mutex_);
        if (!ValidHandle(handle)) return kInvalidHandle;
        bytesWritten = static_cast<int>(bytes.size());
        if (silent_) return kSuccess;
        const bool wasStreaming = emulator_.Streaming();
        const std::vector<std::uint8_t> reply = emulator_.Receive(bytes);
        output_.insert(output_.end(), reply.begin(), reply.end());
        if (!wasStreaming && emulator_.Streaming()) nextFrameDue_ = clock_->Now() + kFrameInterval;
        ++changes_;
    }
    wake_.notify_all();
    return kSuccess;
}

void EmulatedBridge::QueueDueFrames() {
    std::array<std::uint8_t, amp::kFrameBytes> frame{};
    const auto now = clock_->Now();
    while (emulator_.Streaming() && !silent_ && nextFrameDue_ <= now) {
        emulator_.NextFrame(frame);
        // A reader that falls far behind loses frames, as on a real link;
        // the counter shows the gap.
        if (output_.size() < kMaxQueuedFrames * amp::kFrameBytes) output_.insert(output_.end(), frame.begin(), frame.end());
        nextFrameDue_ += kFrameInterval;
    }
}

UsbBridge::Status EmulatedBridge::Read(Handle handle, std::span<std::uint8_t> buffer, int& bytesReceived) {
    bytesReceived = 0;
    std::unique_lock lock(mutex_);
    if (!ValidHandle(handle)) return kInvalidHandle;
    const auto deadline = clock_->Now() + std::chrono::milliseconds(readTimeoutMs_);
    auto deliver = [&](std::size_t count) {
        std::copy_n(output_.begin(), count, buffer.begin());
        output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(count));
        bytesReceived = static_cast<int>(count);
    };
    for (;;) {
        if (cancelled_) return kCancelled;
        QueueDueFrames();
        if (output_.size() >= buffer.size()) {
            deliver(buffer.size());
            return kSuccess;
        }
        const auto now = clock_->Now();
        if (now >= deadline) {
            deliver(output_.size());
            return kTimeout;
        }
        const bool framesComing = emulator_.Streaming() && !silent_;
        const auto until = framesComing ? std::min(deadline, nextFrameDue_) : deadline;
        readWaiting_ = true;
        const unsigned seen = changes_;
        clock_->WaitUntil(lock, wake_, until, [this, seen] { return cancelled_ || changes_ != seen; });
        readWaiting_ = false;
    }
}

void EmulatedBridge::CancelReads() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    wake_.notify_all();
}

void EmulatedBridge::ResumeReads() {
    std::lock_guard lock(mutex_);
    cancelled_ = false;
}

void EmulatedBridge::SetSilent(bool silent) {
    {
        std::lock_guard lock(mutex_);
        silent_ = silent;
        if (!silent_ && emulator_.Streaming()) nextFrameDue_ = clock_->Now() + kFrameInterval;
        ++changes_;
    }
    wake_.notify_all();
}

bool EmulatedBridge::ReadWaiting() const {
    std::lock_guard lock(mutex_);
    return readWaiting_;
}

int EmulatedBridge::Mode() const {
    std::lock_guard lock(mutex_);
    return emulator_.Mode();
}
