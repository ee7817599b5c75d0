#include "acquisition/usb/serial_bridge.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>

namespace {
using Clock = std::chrono::steady_clock;

std::optional<speed_t> SpeedFor(int baudRate) {
    switch (baudRate) {
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        case 460800: return B460800;
        case 921600: return B921600;
        default: return std::nullopt;
    }
}

// Raw 8N1, no flow control, reads that never block in the driver (poll waits).
bool MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    // A pseudo-terminal keeps what it can and ignores the rest (speed, flow
    // control); that is not a failure.
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

std::string FirstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool LooksLikeUsbSerial(const std::filesystem::path& entry) {
    std::error_code error;
    if (!std::filesystem::exists(entry / "device" / "driver", error)) return false;
    const std::string name = entry.filename().string();
    if (name.starts_with("ttyUSB") || name.starts_with("ttyACM")) return true;
    const auto device = std::filesystem::canonical(entry / "device", error);
    return !error && device.string().find("/usb") != std::string::npos;
}

void CopyZeroTerminated(const std::string& text, std::span<char> buffer) {
    const std::size_t n = std::min(buffer.size() - 1, text.size());
    std::memcpy(buffer.data(), text.data(), n);
    buffer[n] = '\0';
}
}  // namespace

SerialBridge::SerialBridge() : cancelEvent_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SerialBridge::SerialBridge(std::string devicePath)
    : fixedPath_(std::move(devicePath)), cancelEvent_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

std::vector<std::string> SerialBridge::FindUsbSerialPorts(const std::filesystem::path& sysClassTty) {
    std::vector<std::string> ports;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(sysClassTty, error)) {
        if (LooksLikeUsbSerial(entry.path())) ports.push_back("/dev/" + entry.path().filename().string());
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

std::string SerialBridge::ProductOf(const std::filesystem::path& ttyClassEntry) {
    std::error_code error;
    auto dir = std::filesystem::canonical(ttyClassEntry / "device", error);
    // The interface sits below the USB device, which names its product.
    for (int up = 0; !error && up < 4 && dir.has_relative_path(); ++up, dir = dir.parent_path()) {
        if (std::filesystem::exists(dir / "product", error)) return FirstLine(dir / "product");
    }
    return {};
}

const std::vector<std::string>& SerialBridge::Devices() {
    if (fixedPath_) {
        if (devices_.empty()) devices_.push_back(*fixedPath_);
    } else if (!enumerated_) {
        devices_ = FindUsbSerialPorts();
        enumerated_ = true;
    }
    return devices_;
}

UsbBridge::Status SerialBridge::GetNumDevices(int& count) {
    enumerated_ = false;  // ports come and go; look again
    count = static_cast<int>(Devices().size());
    return kSuccess;
}

UsbBridge::Status SerialBridge::GetProductString(int deviceIndex, std::span<char> buffer, int) {
    const auto& devices = Devices();
    if (deviceIndex < 0 || static_cast<std::size_t>(deviceIndex) >= devices.size()) return kDeviceNotFound;
    if (buffer.empty()) return kInvalidParameter;
    const std::filesystem::path path = devices[static_cast<std::size_t>(deviceIndex)];
    std::string product = ProductOf(std::filesystem::path("/sys/class/tty") / path.filename());
    CopyZeroTerminated(product.empty() ? path.string() : product, buffer);
    return kSuccess;
}

UsbBridge::Status SerialBridge::Fail(Status status, std::string why) {
    lastError_ = std::move(why);
    return status;
}

std::string SerialBridge::DeviceName() const {
    if (fixedPath_) return *fixedPath_;
    return devices_.empty() ? std::string("USB 串口") : devices_.front();
}

UsbBridge::Status SerialBridge::Open(int deviceIndex, Handle& handle) {
    const auto& devices = Devices();
    if (deviceIndex < 0 || static_cast<std::size_t>(deviceIndex) >= devices.size()) {
        return Fail(kDeviceNotFound, devices.empty() ? "未找到 USB 串口" : "没有这个设备");
    }
    port_.Reset();  // opening again replaces the earlier connection
    UniqueFd fd(::open(devices[static_cast<std::size_t>(deviceIndex)].c_str(),
                       O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return Fail(kDeviceNotFound, std::strerror(errno));
    if (!MakeRaw(fd.Get())) return Fail(kDeviceNotFound, std::strerror(errno));
    lastError_.clear();
    tcflush(fd.Get(), TCIOFLUSH);
    port_ = std::move(fd);
    handle = ++handle_;
    return kSuccess;
}

UsbBridge::Status SerialBridge::SetBaudRate(Handle handle, int baudRate) {
    if (!ValidHandle(handle)) return kInvalidHandle;
    const std::string refused = "无法设置波特率 " + std::to_string(baudRate);
    const auto speed = SpeedFor(baudRate);
    if (!speed) return Fail(kInvalidBaudRate, refused);
    termios tio{};
    if (tcgetattr(port_.Get(), &tio) != 0) return Fail(kInvalidHandle, std::strerror(errno));
    cfsetispeed(&tio, *speed);
    cfsetospeed(&tio, *speed);
    if (tcsetattr(port_.Get(), TCSANOW, &tio) != 0) return Fail(kInvalidBaudRate, refused);
    // tcsetattr succeeds when any part of the change took; make sure the speed did.
    termios now{};
    if (tcgetattr(port_.Get(), &now) != 0 || cfgetospeed(&now) != *speed) return Fail(kInvalidBaudRate, refused);
    return kSuccess;
}

UsbBridge::Status SerialBridge::SetTimeouts(int readTimeoutMs, int writeTimeoutMs) {
    return timeouts_.Set(readTimeoutMs, writeTimeoutMs) ? kSuccess : kInvalidParameter;
}

UsbBridge::Status SerialBridge::GetTimeouts(int& readTimeoutMs, int& writeTimeoutMs) {
    readTimeoutMs = timeouts_.readMs;
    writeTimeoutMs = timeouts_.writeMs;
    return kSuccess;
}

UsbBridge::Status SerialBridge::Read(Handle handle, std::span<std::uint8_t> buffer, int& bytesReceived) {
    bytesReceived = 0;
    if (!ValidHandle(handle)) return kInvalidHandle;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeouts_.readMs);
    std::size_t got = 0;
    while (got < buffer.size()) {
        pollfd fds[2] = {{port_.Get(), POLLIN, 0}, {cancelEvent_.Get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, RemainingMs(deadline));
        if (ready < 0 && errno != EINTR) return Fail(kReadError, std::strerror(errno));
        if (fds[1].revents & POLLIN) return kCancelled;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(port_.Get(), buffer.data() + got, buffer.size() - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                bytesReceived = static_cast<int>(got);
                continue;
            }
            // Hang-up or error with nothing left to read: the adapter is gone.
            if (n == 0) return Fail(kReadError, "设备已断开");
            if (errno != EAGAIN && errno != EINTR) return Fail(kReadError, std::strerror(errno));
        }
        if (ready == 0 && Clock::now() >= deadline) return kTimeout;
    }
    return kSuccess;
}

UsbBridge::Status SerialBridge::Write(Handle handle, std::span<const std::uint8_t> bytes, int& bytesWritten) {
    bytesWritten = 0;
    if (!ValidHandle(handle)) return kInvalidHandle;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeouts_.writeMs);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(port_.Get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            bytesWritten = static_cast<int>(done);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail(kWriteError, std::strerror(errno));
        pollfd fd{port_.Get(), POLLOUT, 0};
        const int ready = ::poll(&fd, 1, RemainingMs(deadline));
        if (ready < 0 && errno != EINTR) return Fail(kWriteError, std::strerror(errno));
        if (fd.revents & (POLLHUP | POLLERR)) return Fail(kWriteError, "设备已断开");
        if (ready == 0 && Clock::now() >= deadline) return kTimeout;
    }
    return kSuccess;
}

void SerialBridge::CancelReads() {
    std::lock_guard lock(cancelMutex_);
    if (cancelled_) return;
    cancelled_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(cancelEvent_.Get(), &one, sizeof one);
}

void SerialBridge::ResumeReads() {
    std::lock_guard lock(cancelMutex_);
    if (!cancelled_) return;
    cancelled_ = false;
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(cancelEvent_.Get(), &count, sizeof count);
}
