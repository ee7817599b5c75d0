#pragma once
// The bridge on a Linux serial port: a USB serial adapter (or any tty given by
// path, a pseudo-terminal included) in raw mode, 8 data bits, no parity, one
// stop bit, at the amplifier's 921600 baud. Reads wait with poll() on the port
// and on an eventfd, so CancelReads wakes them at once.

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/usb/usb_bridge.h"
#include "common/unique_fd.h"

class SerialBridge final : public UsbBridge {
public:
    // Offers the USB serial ports the kernel shows.
    SerialBridge();
    // Offers exactly this device.
    explicit SerialBridge(std::string devicePath);

    Status GetNumDevices(int& count) override;
    Status GetProductString(int deviceIndex, std::span<char> buffer, int option) override;
    Status Open(int deviceIndex, Handle& handle) override;
    Status Read(Handle handle, std::span<std::uint8_t> buffer, int& bytesReceived) override;
    Status Write(Handle handle, std::span<const std::uint8_t> bytes, int& bytesWritten) override;
    Status SetTimeouts(int readTimeoutMs, int writeTimeoutMs) override;
    Status GetTimeouts(int& readTimeoutMs, int& writeTimeoutMs) override;
    Status SetBaudRate(Handle handle, int baudRate) override;
    void CancelReads() override;
    void ResumeReads() override;
    std::string DeviceName() const override;
    std::string LastError() const override { return lastError_; }

    // /dev paths of the USB serial ports listed under sysClassTty, sorted.
    static std::vector<std::string> FindUsbSerialPorts(const std::filesystem::path& sysClassTty = "/sys/class/tty");
    // What the kernel says the adapter behind a tty is; empty if it says nothing.
    static std::string ProductOf(const std::filesystem::path& ttyClassEntry);

private:
    const std::vector<std::string>& Devices();
    bool ValidHandle(Handle handle) const { return port_ && handle == handle_; }
    Status Fail(Status status, std::string why);

    std::optional<std::string> fixedPath_;
    std::vector<std::string> devices_;
    bool enumerated_ = false;
    UniqueFd port_;
    Handle handle_ = 0;
    BridgeTimeouts timeouts_;
    std::string lastError_;

    UniqueFd cancelEvent_;
    std::mutex cancelMutex_;
    bool cancelled_ = false;
};
