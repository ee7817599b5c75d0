#pragma once
// Plays the fixed sample file once, paced in real time. Base class of every
// device, so it also carries the pacing and the read cancellation they share.

#include <cstdio>
#include <memory>
#include <string>

#include "acquisition/engine/amplifier_device.h"
#include "acquisition/engine/packet_pacing.h"
#include "acquisition/engine/read_gate.h"

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// path as a stream for reading, when it is a regular file: a FIFO or a device
// would hang or feed the acquisition thread without end. Empty, with the
// reason in error, otherwise.
FileHandle OpenRegularFileForReading(const std::string& path, std::string& error);

class SimulatedSource : public AmplifierDevice {
public:
    static constexpr const char* kSampleFilePath = "..//bin//sample.eol";
    static constexpr int kReportedChannel = 10;

    // Paced by clock, which must outlive the source.
    explicit SimulatedSource(PacingClock& clock = PacingClock::Steady()) : clock_(clock) {}

    int Open(int packetSize, int channelCount, int sampleRate) override;
    int ReadPacket(std::span<std::int32_t> packet) override;
    int ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) override;
    int Close() override;
    int GetChannelCount() const override { return channelCount; }
    int GetPacketSize() const override { return packetSize; }
    int GetSampleRate() const override { return sampleRate; }
    void CancelReads() override { gate_.Cancel(); }
    // A new run: its first packet is due one packet length from its first read.
    void ResumeReads() override {
        gate_.Resume();
        schedule_.Restart();
    }
    // A file source has no link to lose.
    DeviceHealth Health() const override { return {LinkState::Acquiring, 0}; }

protected:
    // Takes the settings that reads deliver and pace by.
    void SetFormat(int newPacketSize, int newChannelCount, int newSampleRate);
    // Waits for the next packet's deadline; false when reads were cancelled meanwhile.
    bool Pace();
    // Reads one packet's bytes from file into packet; a short read leaves the
    // rest of the buffer as it was.
    std::size_t ReadRaw(std::FILE* file, std::span<std::int32_t> packet) const;
    ReadGate& Gate() { return gate_; }

    int packetSize = 40;
    int channelCount = 16;
    int sampleRate = 200;

private:
    PacingClock& clock_;
    PacketSchedule schedule_;
    ReadGate gate_;
    FileHandle file_;
};
