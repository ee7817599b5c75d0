#include "acquisition/usb/emulated_bridge.h"

#include <algorithm>
#include <cstring>

EmulatedBridge::EmulatedBridge(EmulatorOptions options, EmulatorFaults faults, std::unique_ptr<EmulatorClock> clock)
    : clock_(std::move(clock)), line_(std::move(options), faults) {}

void EmulatedBridge::Advance() {
    line_.Advance(clock_->Now());
    if (line_.Gone()) open_ = false;
}

UsbBridge::Status EmulatedBridge::GetNumDevices(int& count) {
    std::lock_guard lock(mutex_);
    Advance();
    count = line_.Gone() ? 0 : 1;
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
    Advance();
    if (line_.Gone()) return kDeviceNotFound;
    open_ = true;
    handle = kHandle;
    return kSuccess;
}

std::string EmulatedBridge::LastError() const {
    std::lock_guard lock(mutex_);
    return line_.Gone() ? "已拔出" : "未打开";
}

UsbBridge::Status EmulatedBridge::SetBaudRate(Handle handle, int baudRate) {
    std::lock_guard lock(mutex_);
    if (!ValidHandle(handle)) return kInvalidHandle;
    return baudRate == amp::kBaudRate ? kSuccess : kInvalidBaudRate;
}

UsbBridge::Status EmulatedBridge::SetTimeouts(int readTimeoutMs, int writeTimeoutMs) {
    std::lock_guard lock(mutex_);
    return timeouts_.Set(readTimeoutMs, writeTimeoutMs) ? kSuccess : kInvalidParameter;
}

UsbBridge::Status EmulatedBridge::GetTimeouts(int& readTimeoutMs, int& writeTimeoutMs) {
    std::lock_guard lock(mutex_);
    readTimeoutMs = timeouts_.readMs;
    writeTimeoutMs = timeouts_.writeMs;
    return kSuccess;
}

UsbBridge::Status EmulatedBridge::Write(Handle handle, std::span<const std::uint8_t> bytes, int& bytesWritten) {
    bytesWritten = 0;
    {
        std::lock_guard lock(mutex_);
        Advance();
        if (!ValidHandle(handle)) return line_.Gone() ? kWriteError : kInvalidHandle;
        bytesWritten = static_cast<int>(bytes.size());
        if (silent_) return kSuccess;
        line_.Receive(bytes, clock_->Now());
        ++changes_;
    }
    wake_.notify_all();
    return kSuccess;
}

UsbBridge::Status EmulatedBridge::Read(Handle handle, std::span<std::uint8_t> buffer, int& bytesReceived) {
    bytesReceived = 0;
    std::unique_lock lock(mutex_);
    const auto deadline = clock_->Now() + std::chrono::milliseconds(timeouts_.readMs);
    std::size_t got = 0;
    for (;;) {
        if (cancelled_) return kCancelled;
        Advance();
        if (!ValidHandle(handle)) return line_.Gone() ? kReadError : kInvalidHandle;
        const auto now = clock_->Now();
        if (!silent_) got += line_.Take(buffer.subspan(got), now);
        bytesReceived = static_cast<int>(got);
        if (got == buffer.size()) return kSuccess;
        if (now >= deadline) return kTimeout;
        const auto until = silent_ ? deadline : std::min(deadline, line_.NextChange());
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
        // Switched off: it forgets its mode and makes no frames.
        if (silent && !silent_) line_.Receive(amp::StopCommand(), clock_->Now());
        silent_ = silent;
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
    return line_.Mode();
}

FaultCounts EmulatedBridge::Counts() const {
    std::lock_guard lock(mutex_);
    return line_.Counts();
}

void EmulatedBridge::WatchFrames(EmulatorLine::FrameWatcher watcher) {
    std::lock_guard lock(mutex_);
    line_.WatchFrames(std::move(watcher));
}
