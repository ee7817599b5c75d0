#pragma once
// What the acquisition engine reaches outside itself. The view that owns the
// engine supplies these; any of them may be absent, and then that stage is
// skipped.
//
// Threads: calls marked [acq] come from the acquisition thread while it runs,
// the others from the UI thread. An implementation serialises its [acq] calls
// with its own UI-thread work.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "acquisition/electrodes/electrode_file.h"
#include "acquisition/device/amplifier_device.h"
#include "common/sample_record.h"

// The sweeping waveform window.
class WaveView {
public:
    virtual ~WaveView() = default;
    // The time base is the display's own and stays as the user left it.
    virtual void SetUp(int packetSize, int channelCount, int sampleRate, std::span<const ChannelRecord> records) = 0;
    virtual void SetChannelFlags(std::span<const int> flags) = 0;
    virtual void ResetTimeLabels() = 0;
    // [acq] One conditioned, scaled packet (packetSize × channelCount,
    // sample-major), read from the device at readAt. Must not wait.
    virtual void AddPacket(std::span<const double> samples, std::chrono::steady_clock::time_point readAt) = 0;
    // Black traces while recording, blue otherwise. [acq] too, when a write fails.
    virtual void SetRecordingPen(bool recording) = 0;
    // A marker where the next packet starts, with its digit (1 to 9) or none (0).
    virtual void MarkSweep(int digit) { (void)digit; }
};

// The scalp map of impedances.
class ImpedanceView {
public:
    virtual ~ImpedanceView() = default;
    virtual void SetUp(int channelCount, std::span<const ChannelRecord> records) = 0;
    virtual void SetChannelFlags(std::span<const int> flags) = 0;
    // [acq] Drawn on the display's own colour range.
    virtual void ShowImpedances(std::span<const int> impedances) = 0;
};

// The streaming server's side of a packet.
class PacketStream {
public:
    virtual ~PacketStream() = default;
    // [acq] Whether a client is connected now.
    virtual bool ClientConnected() const = 0;
    // [acq] Sends the packet's records without ever waiting for the client.
    virtual void SendPacket(std::span<const SampleRecord> records) = 0;
};

// The window that holds the engine.
class EngineHost {
public:
    virtual ~EngineHost() = default;
    // A modal message box with an OK button. [acq] too: then it is shown on the
    // UI thread later, and the call does not wait.
    virtual void ShowMessage(const std::string& text) = 0;
};
