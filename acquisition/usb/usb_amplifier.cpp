#include "acquisition/usb/usb_amplifier.h"

#include <array>
#include <algorithm>
#include <chrono>
#include <string>

#include "acquisition/usb/amplifier_protocol.h"
#include "common/output_line.h"

namespace {
constexpr const char* kConnected = "connect ";
constexpr const char* kReceived = "recieved";
constexpr const char* kHandshakeFailed = "握手失败";
constexpr const char* kHandshakeSucceeded = "握手成功";
constexpr const char* kLostFrames = "amplifier: frames lost: ";
constexpr const char* kRepeatedFrames = "amplifier: frames repeated, dropped: ";
constexpr const char* kConnectionLost = "amplifier: connection lost: ";
constexpr const char* kReconnected = "amplifier: reconnected";
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

// The engine prints its own lines on another thread.
void UsbAmplifier::PrintLine(std::string_view line) {
    std::lock_guard lock(outMutex_);
    WriteLine(out_, line);
}

UsbBridge::Status UsbAmplifier::Read(std::span<std::uint8_t> buffer, int& bytesReceived, int timeoutMs) {
    bytesReceived = 0;
    BridgeLock lock(*this);
    if (!deviceHandle) return UsbBridge::kInvalidHandle;
    int savedRead = 0;
    int savedWrite = 0;
    const bool saved = bridge_->GetTimeouts(savedRead, savedWrite) == UsbBridge::kSuccess;
    bridge_->SetTimeouts(timeoutMs, 0);
    const UsbBridge::Status status = bridge_->Read(*deviceHandle, buffer, bytesReceived);
    if (saved) bridge_->SetTimeouts(savedRead, savedWrite);
    if (status != UsbBridge::kSuccess && status != UsbBridge::kTimeout && status != UsbBridge::kCancelled) {
        SetFailure(Failure(bridge_->LastError()));
    }
    return status;
}

UsbBridge::Status UsbAmplifier::Write(std::span<const std::uint8_t> bytes, int& bytesWritten, int timeoutMs) {
    bytesWritten = 0;
    BridgeLock lock(*this);
    if (!deviceHandle) return UsbBridge::kInvalidHandle;
    int savedRead = 0;
    int savedWrite = 0;
    const bool saved = bridge_->GetTimeouts(savedRead, savedWrite) == UsbBridge::kSuccess;
    bridge_->SetTimeouts(0, timeoutMs);
    const UsbBridge::Status status = bridge_->Write(*deviceHandle, bytes, bytesWritten);
    if (saved) bridge_->SetTimeouts(savedRead, savedWrite);
    return status;
}

bool UsbAmplifier::ReadBytes(std::span<std::uint8_t> buffer, int& bytesReceived, int timeoutMs) {
    return Read(buffer, bytesReceived, timeoutMs) == UsbBridge::kSuccess;
}

bool UsbAmplifier::WriteBytes(std::span<const std::uint8_t> bytes, int& bytesWritten, int timeoutMs) {
    return Write(bytes, bytesWritten, timeoutMs) == UsbBridge::kSuccess;
}

bool UsbAmplifier::SendCommand(std::span<const std::uint8_t> command) {
    int written = 0;
    return WriteBytes(command, written, kCommandTimeoutMs);
}

void UsbAmplifier::SetFailure(std::string text) {
    std::lock_guard lock(failureMutex_);
    failure_ = std::move(text);
}

std::string UsbAmplifier::LastFailure() const {
    std::lock_guard lock(failureMutex_);
    return failure_;
}

std::string UsbAmplifier::Failure(const std::string& reason) const {
    std::string device = bridge_->DeviceName();
    if (device.empty()) device = "USB 放大器";
    return device + " (" + reason + ")";
}

std::string UsbAmplifier::FrameMismatch(int packetSize, int channelCount) {
    const int most = amp::MaxChannelsFor(packetSize);
    if (most < 2) return "数据包大小 " + std::to_string(packetSize) + " 超出放大器的数据帧";
    return "导联数 " + std::to_string(channelCount) + " 超出放大器的数据帧：数据包大小 " + std::to_string(packetSize) +
           " 时最多 " + std::to_string(most) + " 导联";
}

DeviceHealth UsbAmplifier::Health() const {
    return {state_.load(), lostFrames_.load(), disconnections_.load(), repeatedFrames_.load(),
            framesProvenAlone_.load()};
}

std::string UsbAmplifier::Name() const {
    std::lock_guard lock(failureMutex_);
    return name_;
}

bool UsbAmplifier::OpenAndHandshake() {
    UsbBridge::Status baudStatus = UsbBridge::kInvalidHandle;
    {
        BridgeLock lock(*this);
        deviceHandle.reset();
        int count = 0;
        if (bridge_->GetNumDevices(count) == UsbBridge::kSuccess) {
            std::array<char, UsbBridge::kProductStringBytes> product{};
            for (int i = 0; i < count; ++i) bridge_->GetProductString(i, product, 0);
        }
        UsbBridge::Handle handle{};
        if (bridge_->Open(0, handle) == UsbBridge::kSuccess) deviceHandle = handle;
        if (deviceHandle) baudStatus = bridge_->SetBaudRate(*deviceHandle, amp::kBaudRate);
        if (!deviceHandle) {
            const std::string why = bridge_->LastError();
            SetFailure(Failure(why.empty() ? "无法打开" : why));
        } else if (baudStatus != UsbBridge::kSuccess) {
            SetFailure(Failure("无法设置波特率 " + std::to_string(amp::kBaudRate)));
        } else {
            SetFailure({});
        }
        std::lock_guard nameLock(failureMutex_);
        name_ = bridge_->DeviceName();
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
    return baudStatus == UsbBridge::kSuccess;
}

bool UsbAmplifier::OpenDevice(int newPacketSize, int newChannelCount, int newSampleRate) {
    streaming_ = false;
    // The frame has a fixed size; a packet that cannot fit it is never decoded.
    if (!amp::SettingsFitFrame(newPacketSize, newChannelCount)) {
        BridgeLock lock(*this);
        deviceHandle.reset();
        SetFailure(Failure(FrameMismatch(newPacketSize, newChannelCount)));
        state_ = LinkState::NoDevice;
        return false;
    }
    const bool opened = OpenAndHandshake();
    aligner_.SetLayout(newPacketSize, newChannelCount);
    sequence_.SetFramePeriod(std::chrono::nanoseconds(1'000'000'000LL * newPacketSize / std::max(1, newSampleRate)));
    packetSize_ = newPacketSize;
    channelCount_ = newChannelCount;
    state_ = opened ? LinkState::Idle : LinkState::NoDevice;
    return opened;
}

void UsbAmplifier::SetMode(AcquisitionMode acquisitionMode) {
    if (!deviceHandle) return;
    const int mode = static_cast<int>(acquisitionMode);  // the wire's mode number
    // A device may mark its mode in bytes that otherwise never change.
    if (streaming_ && mode_.exchange(mode) != mode) relearn_ = true;
    mode_ = mode;
    if (!streaming_) {
        // A stream cut short by a cancelled read or by the last stop leaves
        // bytes behind; and a new run counts its own losses.
        DiscardStaleInput();
        aligner_.Restart();
        sequence_.Restart();
        relearn_ = false;
        lostFrames_ = 0;
        repeatedFrames_ = 0;
        disconnections_ = 0;
        state_ = LinkState::Connecting;
    }
    if (SendCommand(amp::ModeCommand(mode))) {
        PrintLine(kConnected);
        streaming_ = true;
    }
}

void UsbAmplifier::Close() {
    if (deviceHandle) {
        SendCommand(amp::StopCommand());
        streaming_ = false;
    }
    // A device that went away stays so: the next start opens it afresh.
    if (state_ != LinkState::NoDevice && state_ != LinkState::Disconnected) state_ = LinkState::Idle;
}

void UsbAmplifier::DiscardStaleInput() {
    std::array<std::uint8_t, amp::kFrameBytes> scratch{};
    for (int i = 0; i < kMaxDrainReads; ++i) {
        int received = 0;
        ReadBytes(scratch, received, kDrainTimeoutMs);
        if (received <= 0) break;
    }
}

bool UsbAmplifier::DecodeInto(std::span<const std::uint8_t, amp::kFrameBytes> frame,
                              std::span<std::int32_t> packet) const {
    if (!amp::SettingsFitFrame(packetSize_, channelCount_)) return false;
    if (packet.size() < static_cast<std::size_t>(packetSize_) * static_cast<std::size_t>(channelCount_)) return false;
    amp::DecodeFrame(frame, packetSize_, channelCount_, packet);
    return true;
}

bool UsbAmplifier::CancelledByCaller() {
    std::lock_guard lock(cancelMutex_);
    return cancelledByCaller_;
}

void UsbAmplifier::CountLostFrames(std::uint64_t lost) {
    if (lost == 0) return;
    const std::uint64_t total = lostFrames_ += lost;
    PrintLine(std::string(kLostFrames) + std::to_string(lost) + " (" + std::to_string(total) + " in all)");
}

void UsbAmplifier::CountRepeatedFrame() {
    const std::uint64_t total = ++repeatedFrames_;
    PrintLine(std::string(kRepeatedFrames) + "1 (" + std::to_string(total) + " in all)");
}

void UsbAmplifier::Disconnect(std::string_view reason) {
    if (state_ == LinkState::Disconnected) return;
    state_ = LinkState::Disconnected;
    ++disconnections_;
    PrintLine(std::string(kConnectionLost) + std::string(reason));
}

bool UsbAmplifier::Reconnect() {
    if (!gate_.WaitFor(std::chrono::milliseconds(kReconnectIntervalMs))) return false;
    if (!OpenAndHandshake()) return false;
    aligner_.Reset();
    state_ = LinkState::Connecting;
    if (SendCommand(amp::ModeCommand(mode_))) PrintLine(kConnected);
    PrintLine(kReconnected);
    return true;
}

bool UsbAmplifier::ReadVerifiedFrame() {
    for (;;) {
        if (CancelledByCaller()) return false;
        if (relearn_.exchange(false)) aligner_.Relearn();
        const bool whole = aligner_.TakeFrame(frame_);
        framesProvenAlone_ = aligner_.ProvesFramesByOwnBytes();
        if (whole) {
            const FrameSequence::Verdict verdict = sequence_.Judge(frame_, Clock::now());
            if (verdict.repeat) {
                CountRepeatedFrame();
                continue;
            }
            CountLostFrames(verdict.lost);
            state_ = LinkState::Acquiring;
            return true;
        }
        if (state_ == LinkState::Disconnected) {
            if (!Reconnect()) return false;
            continue;
        }
        if (!deviceHandle) {
            gate_.WaitFor(std::chrono::milliseconds(kPauseAfterFailedReadMs));
            return false;
        }
        const std::span<std::uint8_t> room = aligner_.Room();
        int received = 0;
        const UsbBridge::Status status = Read(room, received, kFrameTimeoutMs);
        aligner_.Commit(static_cast<std::size_t>(std::clamp(received, 0, static_cast<int>(room.size()))));
        switch (status) {
            case UsbBridge::kSuccess: continue;
            // A command needed the bridge for a moment; what arrived is kept.
            case UsbBridge::kCancelled: continue;
            case UsbBridge::kTimeout: return false;
            default: Disconnect(LastFailure()); return false;
        }
    }
}

int UsbAmplifier::ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) {
    if (!ReadVerifiedFrame()) return 0;
    lastCounter = amp::FrameCounter(frame_);
    counterSeen = 1;
    if (!DecodeInto(frame_, packet)) return 0;
    channel = amp::MeasuredChannel(frame_);
    return 1;
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
    gate_.Cancel();
    std::lock_guard lock(cancelMutex_);
    if (cancelledByCaller_) return;
    cancelledByCaller_ = true;
    if (cancelHolds_++ == 0) bridge_->CancelReads();
}

void UsbAmplifier::ResumeReads() {
    gate_.Resume();
    std::lock_guard lock(cancelMutex_);
    if (!cancelledByCaller_) return;
    cancelledByCaller_ = false;
    if (--cancelHolds_ == 0) bridge_->ResumeReads();
}
