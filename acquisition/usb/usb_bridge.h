#pragma once
// The USB-to-serial bridge through which the amplifier is reached: the eight
// operations of the vendor's bridge library, by role, and a way to wake a read.
//
// Every operation returns a status, kSuccess (0) or one of the failures below.
// The timeouts are a setting of the bridge as a whole, not of a handle, so a
// caller that changes them for one call must keep other calls out meanwhile
// (UsbAmplifier does, with its lock).
//
// Threads: Read runs on the acquisition thread or the UI thread, never two at
// once; the other operations run under the caller's lock as well. CancelReads
// and ResumeReads may run on any thread at any time, CancelReads while a Read
// waits: that Read and every later one return kCancelled at once until
// ResumeReads.

#include <cstdint>
#include <span>
#include <string>

// The timeouts a bridge keeps for SetTimeouts and GetTimeouts, in
// milliseconds, a second each until set.
struct BridgeTimeouts {
    int readMs = 1000;
    int writeMs = 1000;

    // Takes both, or neither when one is negative.
    bool Set(int readTimeoutMs, int writeTimeoutMs) {
        if (readTimeoutMs < 0 || writeTimeoutMs < 0) return false;
        readMs = readTimeoutMs;
        writeMs = writeTimeoutMs;
        return true;
    }
};

class UsbBridge {
public:
    using Handle = int;
    using Status = int;

    static constexpr Status kSuccess = 0;
    static constexpr Status kInvalidHandle = 1;
    static constexpr Status kReadError = 2;
    static constexpr Status kWriteError = 3;
    static constexpr Status kDeviceNotFound = 4;
    static constexpr Status kInvalidParameter = 5;
    static constexpr Status kInvalidBaudRate = 6;
    static constexpr Status kTimeout = 7;    // fewer bytes than asked for arrived in time
    static constexpr Status kCancelled = 8;  // CancelReads woke the read

    static constexpr int kProductStringBytes = 256;

    virtual ~UsbBridge() = default;

    // 1: number of attached devices.
    virtual Status GetNumDevices(int& count) = 0;
    // 2: product string of a device, zero-terminated in buffer.
    virtual Status GetProductString(int deviceIndex, std::span<char> buffer, int option) = 0;
    // 3: opens a device.
    virtual Status Open(int deviceIndex, Handle& handle) = 0;
    // 6: reads buffer.size() bytes, waiting at most the read timeout for them.
    // bytesReceived says how many arrived, also when the status is a failure.
    virtual Status Read(Handle handle, std::span<std::uint8_t> buffer, int& bytesReceived) = 0;
    // 7: writes bytes, waiting at most the write timeout.
    virtual Status Write(Handle handle, std::span<const std::uint8_t> bytes, int& bytesWritten) = 0;
    // 10 and 11: the bridge's timeouts in milliseconds.
    virtual Status SetTimeouts(int readTimeoutMs, int writeTimeoutMs) = 0;
    virtual Status GetTimeouts(int& readTimeoutMs, int& writeTimeoutMs) = 0;
    // 13: line speed of an open device.
    virtual Status SetBaudRate(Handle handle, int baudRate) = 0;

    virtual void CancelReads() = 0;
    virtual void ResumeReads() = 0;

    // What the user knows the device by ("/dev/ttyUSB0"), and the cause of
    // the last failure in a few words ("No such file or directory"), for
    // messages. Under the caller's lock, like the other operations.
    virtual std::string DeviceName() const = 0;
    virtual std::string LastError() const = 0;
};
