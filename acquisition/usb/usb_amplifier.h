#pragma once
// The EEG amplifier behind its USB bridge: opened and handshaken once, told a
// mode at every start and stopped at every stop, read one 2086-byte frame per
// packet.
//
// Threads: ReadPacket and ReadPacketWithChannel run on the acquisition thread;
// OpenDevice, SetMode and Close on the UI thread, SetMode also while a frame
// read is in progress (the impedance command during acquisition). Every bridge
// call runs under one lock because the bridge's timeouts are global.
// A call that cannot get the lock within kLockPatienceMs wakes the read that
// holds it: a healthy amplifier completes a frame within 40 ms, so a longer
// wait means no frame is coming, and nobody should wait out the 3000 ms timeout.
// CancelReads (any thread) wakes a read at once; the read returns 0 with the
// packet untouched, and so does every read until ResumeReads.
//
// A read woken in the middle of a frame leaves the rest of it in the bridge, so
// a mode command that starts a new stream first reads away what an earlier
// stream left behind; otherwise every later frame would be cut in the wrong place.
//
// The program makes one for the whole run from its --amplifier option:
//   std::string error;
//   auto bridge = MakeBridge(option, error);   // acquisition/usb/bridge_option.h
//   if (!bridge) { /* usage with error, exit 2 */ }
//   UsbAmplifier amplifier(std::move(bridge));

#include <condition_variable>
#include <cstdint>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "acquisition/engine/engine_ports.h"
#include "acquisition/usb/usb_bridge.h"

class UsbAmplifier : public ModalAmplifier {
public:
    static constexpr int kCommandTimeoutMs = 1000;
    static constexpr int kReplyTimeoutMs = 3000;
    static constexpr int kFrameTimeoutMs = 3000;
    // After a frame read that failed, the next read waits this long (or until
    // reads are cancelled), so an unplugged adapter, whose reads fail at once,
    // does not keep the acquisition thread spinning.
    static constexpr int kPauseAfterFailedReadMs = 100;
    static constexpr int kLockPatienceMs = 100;
    static constexpr int kDrainTimeoutMs = 20;

    // diagnostics receives the standard-output lines; each is flushed as written.
    explicit UsbAmplifier(std::unique_ptr<UsbBridge> bridge, std::ostream& diagnostics = std::cout);

    bool OpenDevice(int packetSize, int channelCount, int sampleRate) override;
    void SetMode(int mode) override;
    int ReadPacket(std::span<std::int32_t> packet) override;
    int ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) override;
    int Close() override;
    int GetChannelCount() const override { return channelCount; }
    int GetPacketSize() const override { return packetSize; }
    int GetSampleRate() const override { return sampleRate; }
    void CancelReads() override;
    void ResumeReads() override;
    std::string OpenFailure() const override { return openFailure_; }

    // One bridge read or write with its own timeout; the bridge's timeouts are
    // saved before and restored after. True when the bridge reports success.
    bool ReadBytes(std::span<std::uint8_t> buffer, int& bytesReceived, int timeoutMs);
    bool WriteBytes(std::span<const std::uint8_t> bytes, int& bytesWritten, int timeoutMs);

    const std::optional<UsbBridge::Handle>& DeviceHandle() const { return deviceHandle; }
    int LastCounter() const { return lastCounter; }
    int CounterSeen() const { return counterSeen; }

private:
    class BridgeLock;

    // Reads one frame; false (nothing else touched) unless all of it arrived.
    bool ReadFrame(std::span<std::uint8_t, 2086> frame);
    bool ReadFrameOrPause(std::span<std::uint8_t, 2086> frame);
    bool DecodeInto(std::span<const std::uint8_t, 2086> frame, std::span<std::int32_t> packet) const;
    bool SendCommand(std::span<const std::uint8_t> command);
    void DiscardStaleInput();
    void PrintLine(std::string_view line);
    // "device (reason)" for OpenFailure.
    std::string Failure(const std::string& reason);
    static std::string FrameMismatch(int packetSize, int channelCount);

    void HoldReadsCancelled();
    void ReleaseReadsCancelled();

    std::unique_ptr<UsbBridge> bridge_;
    std::ostream& out_;

    std::optional<UsbBridge::Handle> deviceHandle;
    int lastCounter = 0;
    int counterSeen = 0;
    bool streaming_ = false;  // UI thread only: a mode command went out since the last stop
    std::string openFailure_;  // UI thread only

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
