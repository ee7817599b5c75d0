#include "acquisition/usb/usb_amplifier.h"

#include <array>
#include <chrono>
#include <string>

#include "acquisition/usb/amplifier_protocol.h"

namespace {
constexpr const char* kConnected = "connect ";
constexpr const char* kReceived = "recieved";
constexpr const char* kHandshakeFailed = "握手失败";
constexpr const char* kHandshakeSucceeded = "握手成功";
constexpr const char* kLostData = "lost data.......";
// Enough to empty the kernel's and the bridge's buffers of a stream that was
// cut short, without hanging on a device that never goes quiet.
constexpr int kMaxDrainReads = 64;
}  // namespace

// Holds the bridge for one call, first come first served, so a command is
// never starved by the acquisition thread's back-to-back frame reads. Waits
// for the current holder only as long as a frame can take to arrive; past that
// the holder's read is woken.
class UsbAmplifier::BridgeLock {
public:
    explicit BridgeLock(UsbAmplifier& amplifier) : amplifier_(amplifier) {
        std::unique_lock lock(amplifier_.bridgeMutex_);
        const unsigned long long ticket = amplifier_.nextTicket_++;
        auto myTurn = [this, ticket] { return amplifier_.nowServing_ == ticket; };
        if (amplifier_.bridgeFree_.wait_for(lock, std::chrono::milliseconds(kLockPatienceMs), myTurn)) return;
        lock.unlock();
        amplifier_.HoldReadsCancelled();
        lock.lock();
        amplifier_.bridgeFree_.wait(lock, myTurn);
        lock.unlock();
        amplifier_.ReleaseReadsCancelled();
    }
    ~BridgeLock() {
        {
            std::lock_guard lock(amplifier_.bridgeMutex_);
            ++amplifier_.nowServing_;
        }
        amplifier_.bridgeFree_.notify_all();
    }
    BridgeLock(const BridgeLock&) = delete;
    BridgeLock& operator=(const BridgeLock&) = delete;

private:
    UsbAmplifier& amplifier_;
};

UsbAmplifier::UsbAmplifier(std::unique_ptr<UsbBridge> bridge, std::ostream& diagnostics)
    : bridge_(std::move(bridge)), out_(diagnostics) {}

// One write per line: the engine prints its own lines on another thread.
void UsbAmplifier::PrintLine(std::string_view line) {
    std::string text(line);
    text += '\n';
    std::lock_guard lock(outMutex_);
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    out_.flush();
}

bool UsbAmplifier::ReadBytes(std::span<std::uint8_t> buffer, int& bytesReceived, int timeoutMs) {
    bytesReceived = 0;
    BridgeLock lock(*this);
    if (!deviceHandle) return false;
    int savedRead = 0;
    int savedWrite = 0;
    const bool saved = bridge_->GetTimeouts(savedRead, savedWrite) == UsbBridge::kSuccess;
    bridge_->SetTimeouts(timeoutMs, 0);
    const UsbBridge::Status status = bridge_->Read(*deviceHandle, buffer, bytesReceived);
    if (saved) bridge_->SetTimeouts(savedRead, savedWrite);
    return status == UsbBridge::kSuccess;
}

bool UsbAmplifier::WriteBytes(std::span<const std::uint8_t> bytes, int& bytesWritten, int timeoutMs) {
    bytesWritten = 0;
    BridgeLock lock(*this);
    if (!deviceHandle) return false;
    int savedRead = 0;
    int savedWrite = 0;
    const bool saved = bridge_->GetTimeouts(savedRead, savedWrite) == UsbBridge::kSuccess;
    bridge_->SetTimeouts(0, timeoutMs);
    const UsbBridge::Status status = bridge_->Write(*deviceHandle, bytes, bytesWritten);
    if (saved) bridge_->SetTimeouts(savedRead, savedWrite);
    return status == UsbBridge::kSuccess;
}

bool UsbAmplifier::SendCommand(std::span<const std::uint8_t> command) {
    int written = 0;
    return WriteBytes(command, written, kCommandTimeoutMs);
}

std::string UsbAmplifier::Failure(const std::string& reason) {
    std::string device = bridge_->DeviceName(0);
    if (device.empty()) device = "USB 放大器";
    return device + " (" + reason + ")";
}

std::string UsbAmplifier::FrameMismatch(int packetSize, int channelCount) {
    const int most = amp::MaxChannelsFor(packetSize);
    if (most < 2) return "数据包大小 " + std::to_string(packetSize) + " 超出放大器的数据帧";
    return "导联数 " + std::to_string(channelCount) + " 超出放大器的数据帧：数据包大小 " + std::to_string(packetSize) +
           " 时最多 " + std::to_string(most) + " 导联";
}

bool UsbAmplifier::OpenDevice(int newPacketSize, int newChannelCount, int newSampleRate) {
    UsbBridge::Status baudStatus = UsbBridge::kInvalidHandle;
    {
        BridgeLock lock(*this);
        deviceHandle.reset();
        streaming_ = false;
        openFailure_.clear();
        // The frame has a fixed size; a packet that cannot fit it is never decoded.
        if (!amp::SettingsFitFrame(newPacketSize, newChannelCount)) {
            openFailure_ = Failure(FrameMismatch(newPacketSize, newChannelCount));
            return false;
        }
        int count = 0;
        if (bridge_->GetNumDevices(count) == UsbBridge::kSuccess) {
            std::array<char, UsbBridge::kProductStringBytes> product{};
            for (int i = 0; i < count; ++i) bridge_->GetProductString(i, product, 0);
        }
        UsbBridge::Handle handle{};
        if (bridge_->Open(0, handle) == UsbBridge::kSuccess) deviceHandle = handle;
        if (deviceHandle) baudStatus = bridge_->SetBaudRate(*deviceHandle, amp::kBaudRate);
        if (!deviceHandle) {
            const std::string why = bridge_->LastOpenError();
            openFailure_ = Failure(why.empty() ? "无法打开" : why);
        } else if (baudStatus != UsbBridge::kSuccess) {
            openFailure_ = Failure("无法设置波特率 " + std::to_string(amp::kBaudRate));
        }
    }

    if (SendCommand(amp::HandshakeCommand())) PrintLine(kConnected);
    std::array<std::uint8_t, amp::kHandshakeReplyBytes> reply{};
    int received = 0;
    if (ReadBytes(reply, received, kReplyTimeoutMs)) {
        std::string line = kReceived;
        line.append(reinterpret_cast<const char*>(reply.data()), 3);
        PrintLine(line);
        if (reply[4] == amp::kHandshakeFailed) PrintLine(kHandshakeFailed);
        if (reply[4] == amp::kHandshakeSucceeded) PrintLine(kHandshakeSucceeded);
    }

    packetSize = newPacketSize;
    channelCount = newChannelCount;
    sampleRate = newSampleRate;
    return baudStatus == UsbBridge::kSuccess;
}

void UsbAmplifier::SetMode(int mode) {
    if (mode < 0 || mode > 3 || !deviceHandle) return;
    // A stream cut short by a cancelled read or by the last stop leaves bytes
    // behind; read after a new mode command they would shift every frame.
    if (!streaming_) DiscardStaleInput();
    if (SendCommand(amp::ModeCommand(mode))) {
        PrintLine(kConnected);
        streaming_ = true;
    }
}

int UsbAmplifier::Close() {
    if (deviceHandle) {
        SendCommand(amp::StopCommand());
        streaming_ = false;
    }
    return 1;
}

void UsbAmplifier::DiscardStaleInput() {
    std::array<std::uint8_t, amp::kFrameBytes> scratch{};
    for (int i = 0; i < kMaxDrainReads; ++i) {
        int received = 0;
        ReadBytes(scratch, received, kDrainTimeoutMs);
        if (received <= 0) break;
    }
}

bool UsbAmplifier::ReadFrame(std::span<std::uint8_t, amp::kFrameBytes> frame) {
    int received = 0;
    return ReadBytes(frame, received, kFrameTimeoutMs) && received == amp::kFrameBytes;
}

bool UsbAmplifier::DecodeInto(std::span<const std::uint8_t, amp::kFrameBytes> frame,
                              std::span<std::int32_t> packet) const {
    if (!amp::SettingsFitFrame(packetSize, channelCount)) return false;
    if (packet.size() < static_cast<std::size_t>(packetSize) * static_cast<std::size_t>(channelCount)) return false;
    amp::DecodeFrame(frame, packetSize, channelCount, packet);
    return true;
}

bool UsbAmplifier::ReadFrameOrPause(std::span<std::uint8_t, amp::kFrameBytes> frame) {
    if (ReadFrame(frame)) return true;
    Gate().WaitFor(std::chrono::milliseconds(kPauseAfterFailedReadMs));
    return false;
}

int UsbAmplifier::ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) {
    std::array<std::uint8_t, amp::kFrameBytes> frame{};
    if (!ReadFrameOrPause(frame)) return 0;
    lastCounter = amp::FrameCounter(frame);
    counterSeen = 1;
    if (!DecodeInto(frame, packet)) return 0;
    channel = amp::MeasuredChannel(frame);
    return 1;
}

int UsbAmplifier::ReadPacket(std::span<std::int32_t> packet) {
    std::array<std::uint8_t, amp::kFrameBytes> frame{};
    if (!ReadFrameOrPause(frame)) return 0;
    const int received = amp::kFrameBytes;
    const std::string count = std::to_string(received);
    PrintLine(count + "    " + count);
    const int counter = amp::FrameCounter(frame);
    if (counterSeen == 1) PrintLine(kLostData + std::to_string(lastCounter) + "   " + std::to_string(counter));
    lastCounter = counter;
    counterSeen = 1;
    return DecodeInto(frame, packet) ? 1 : 0;
}

void UsbAmplifier::HoldReadsCancelled() {
    std::lock_guard lock(cancelMutex_);
    if (cancelHolds_++ == 0) bridge_->CancelReads();
}

void UsbAmplifier::ReleaseReadsCancelled() {
    std::lock_guard lock(cancelMutex_);
    if (--cancelHolds_ == 0) bridge_->ResumeReads();
}

void UsbAmplifier::CancelReads() {
    Gate().Cancel();
    std::lock_guard lock(cancelMutex_);
    if (cancelledByCaller_) return;
    cancelledByCaller_ = true;
    if (cancelHolds_++ == 0) bridge_->CancelReads();
}

void UsbAmplifier::ResumeReads() {
    Gate().Resume();
    std::lock_guard lock(cancelMutex_);
    if (!cancelledByCaller_) return;
    cancelledByCaller_ = false;
    if (--cancelHolds_ == 0) bridge_->ResumeReads();
}
