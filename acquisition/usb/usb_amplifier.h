#pragma once
// The EEG amplifier behind its USB bridge: opened and handshaken once, told a
// mode at every start and stopped at every stop, read one 2086-byte frame per
// packet.
//
// Threads: ReadPacketWithChannel runs on the acquisition thread;
// OpenDevice, SetMode and Close on the UI thread, SetMode also while a frame
// read is in progress (the impedance command during acquisition). Every bridge
// call runs under one lock because the bridge's timeouts are global.
// A call that cannot get the lock within kLockPatienceMs wakes the read that
// holds it: a healthy amplifier completes a frame within 40 ms, so a longer
// wait means no frame is coming, and nobody should wait out the 3000 ms timeout.
// A read woken that way keeps the bytes it got and goes on once the command is
// through. CancelReads (any thread) wakes a read at once; the read returns 0
// with the packet untouched, and so does every read until ResumeReads.
// Health and LastFailure may be asked on any thread.
//
// Frames pass through a FrameAligner, which hands on only frames proven whole,
// so a lost byte, noise or a read cut short never shifts or spoils what is
// decoded; then through a FrameSequence, which drops frames the line sent
// twice and counts the frames that never arrived as lost.
//
// When the device goes away (a read fails, the tty is gone), the reads reopen
// it every kReconnectIntervalMs, handshake, send the mode again and go on; the
// frames missed meanwhile count as lost. The engine sees reads that deliver
// nothing until then.
//
// The program makes one for the whole run from its --amplifier option:
//   std::string error;
//   auto bridge = MakeBridge(option, error);   // acquisition/usb/bridge_option.h
//   if (!bridge) { /* usage with error, exit 2 */ }
//   UsbAmplifier amplifier(std::move(bridge));

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "acquisition/device/amplifier_device.h"
#include "acquisition/device/read_gate.h"
#include "acquisition/usb/frame_aligner.h"
#include "acquisition/usb/frame_sequence.h"
#include "acquisition/usb/usb_bridge.h"

class UsbAmplifier : public ModalAmplifier {
public:
    static constexpr int kCommandTimeoutMs = 1000;
    static constexpr int kReplyTimeoutMs = 3000;
    static constexpr int kFrameTimeoutMs = 3000;
    // Reads of a device that is not open wait this long, so that the
    // acquisition thread does not spin.
    static constexpr int kPauseAfterFailedReadMs = 100;
    static constexpr int kReconnectIntervalMs = 500;
    static constexpr int kLockPatienceMs = 100;
    static constexpr int kDrainTimeoutMs = 20;

    // diagnostics receives the standard-output lines; each is flushed as written.
    explicit UsbAmplifier(std::unique_ptr<UsbBridge> bridge, std::ostream& diagnostics = std::cout);

    bool OpenDevice(int packetSize, int channelCount, int sampleRate) override;
    void SetMode(AcquisitionMode mode) override;
    int ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) override;
    void Close() override;
    void CancelReads() override;
    void ResumeReads() override;
    DeviceHealth Health() const override;
    std::string LastFailure() const override;
    std::string Name() const override;

    // One bridge read or write with its own timeout; the bridge's timeouts are
    // saved before and restored after. True when the bridge reports success.
    bool ReadBytes(std::span<std::uint8_t> buffer, int& bytesReceived, int timeoutMs);
    bool WriteBytes(std::span<const std::uint8_t> bytes, int& bytesWritten, int timeoutMs);

    const std::optional<UsbBridge::Handle>& DeviceHandle() const { return deviceHandle; }
    int LastCounter() const { return lastCounter; }
    int CounterSeen() const { return counterSeen; }

private:
    class BridgeLock;
    using Clock = std::chrono::steady_clock;

    UsbBridge::Status Read(std::span<std::uint8_t> buffer, int& bytesReceived, int timeoutMs);
    UsbBridge::Status Write(std::span<const std::uint8_t> bytes, int& bytesWritten, int timeoutMs);
    // Enumerates, opens device 0, sets the line speed and handshakes. True
    // when the device is open at the right speed.
    bool OpenAndHandshake();
    // The next verified frame; false (nothing decoded) when none came in
    // time, reads were cancelled or the device went away.
    bool ReadVerifiedFrame();
    bool Reconnect();
    void Disconnect(std::string_view reason);
    void CountLostFrames(std::uint64_t lost);
    void CountRepeatedFrame();
    bool DecodeInto(std::span<const std::uint8_t, amp::kFrameBytes> frame, std::span<std::int32_t> packet) const;
    bool SendCommand(std::span<const std::uint8_t> command);
    void DiscardStaleInput();
    void PrintLine(std::string_view line);
    void SetFailure(std::string text);
    // "device (reason)", the way messages name a failure; under the bridge lock.
    std::string Failure(const std::string& reason) const;
    static std::string FrameMismatch(int packetSize, int channelCount);
    bool CancelledByCaller();

    void HoldReadsCancelled();
    void ReleaseReadsCancelled();

    std::unique_ptr<UsbBridge> bridge_;
    std::ostream& out_;
    // The settings frames are decoded by, from the last OpenDevice.
    int packetSize_ = 40;
    int channelCount_ = 16;
    // Cancels the waits between reopening attempts and after a failed read.
    ReadGate gate_;

    std::optional<UsbBridge::Handle> deviceHandle;  // under the bridge lock
    int lastCounter = 0;
    int counterSeen = 0;
    bool streaming_ = false;  // UI thread only: a mode command went out since the last stop
    std::atomic<int> mode_{0};

    // The acquisition thread's, while it runs; the UI thread's before a new stream.
    FrameAligner aligner_;
    FrameSequence sequence_;
    std::array<std::uint8_t, amp::kFrameBytes> frame_{};
    // Set by SetMode when a running stream changes mode; the acquisition
    // thread then has the aligner learn the frames' constant bytes afresh.
    std::atomic<bool> relearn_{false};

    std::atomic<LinkState> state_{LinkState::Idle};
    std::atomic<std::uint64_t> lostFrames_{0};
    std::atomic<std::uint64_t> repeatedFrames_{0};
    std::atomic<bool> framesProvenAlone_{false};
    std::atomic<std::uint64_t> disconnections_{0};
    mutable std::mutex failureMutex_;  // guards failure_ and name_
    std::string failure_;
    std::string name_;

    // The one lock around bridge calls: a ticket lock, held for a whole call
    // (a frame read included), that waiters can stop waiting for politely.
    std::mutex bridgeMutex_;
    std::condition_variable bridgeFree_;
    unsigned long long nextTicket_ = 0;
    unsigned long long nowServing_ = 0;
    std::mutex outMutex_;

    std::mutex cancelMutex_;
    int cancelHolds_ = 0;
    bool cancelledByCaller_ = false;
};
