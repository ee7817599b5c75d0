#pragma once
// The interface of every amplifier device: the USB amplifier and the two
// file-backed sources.
//
// Threads: ReadPacket and ReadPacketWithChannel run on the acquisition thread
// only. Open, Close and the device-specific open operations run on the UI thread
// while no acquisition thread runs. CancelReads and ResumeReads run on the UI
// thread, CancelReads possibly while a read is in progress: that is how Stop
// ends a read without waiting for its timeout.

#include <cstdint>
#include <span>

class AmplifierDevice {
public:
    virtual ~AmplifierDevice() = default;

    virtual int Open(int packetSize, int channelCount, int sampleRate) = 0;
    // Blocks until one packet is available and fills packet (packetSize ×
    // channelCount values, sample-major, the event channel last). Returns 1
    // when a packet was delivered, 0 when not.
    virtual int ReadPacket(std::span<std::int32_t> packet) = 0;
    // As ReadPacket; channel receives the index of the channel whose impedance
    // the amplifier is measuring.
    virtual int ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) = 0;
    virtual int Close() = 0;
    virtual int GetChannelCount() const = 0;
    virtual int GetPacketSize() const = 0;
    virtual int GetSampleRate() const = 0;

    // Wakes a read in progress; it and every later read return 0 at once
    // until ResumeReads.
    virtual void CancelReads() = 0;
    virtual void ResumeReads() = 0;
};
