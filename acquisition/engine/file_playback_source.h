#pragma once
// Plays a recording over and over, paced in real time, as if it were the
// amplifier: an EOL file's sample section (the header is skipped), or another
// program's EDF, BDF or GDF recording turned into records (foreign_playback.h).
// The engine's packet size and channel count decide how the samples are cut
// into packets.
//
// Only whole packets are delivered: a recording with less than one packet of
// samples is refused, and one that ends in a short packet starts again from
// its first sample rather than padding the packet with anything.

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/device/amplifier_device.h"
#include "acquisition/device/packet_pacing.h"
#include "acquisition/engine/foreign_playback.h"
#include "acquisition/recording/eol_file.h"

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// path as a stream for reading, when it is a regular file: a FIFO or a device
// would hang or feed the acquisition thread without end. Empty, with the
// reason in error, otherwise.
FileHandle OpenRegularFileForReading(const std::string& path, std::string& error);

// The header of a recording to play: an EOL file's own, or for another
// program's recording (IsForeignRecordingPath) what plays it in record layout
// (21 values per sample, its rate rounded, packets of about 40 ms). False,
// with the reason in error, when it cannot be read.
bool ReadPlaybackHeader(const std::string& path, EolHeader& header, std::string& error);

class FilePlaybackSource : public AmplifierDevice {
public:
    // The channel a recording reports as measured.
    static constexpr int kReportedChannel = 10;

    // Paced by clock, which must outlive the source.
    explicit FilePlaybackSource(PacingClock& clock = PacingClock::Steady()) : pacing_(clock) {}

    // Opens path (again) for playback; 0 when it cannot be opened, is no
    // regular file or holds less than one packet.
    int OpenFile(int packetSize, int channelCount, int sampleRate, const std::string& path);
    int ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) override;
    // The file stays open across Stop and Start.
    void Close() override {}
    void CancelReads() override { pacing_.Cancel(); }
    void ResumeReads() override { pacing_.Resume(); }
    // A file source has no link to lose.
    DeviceHealth Health() const override { return {LinkState::Acquiring, 0}; }

    const std::string& FilePath() const { return filePath; }
    // After OpenFile failed: the path and the reason, for the user.
    const std::string& OpenFailure() const { return openFailure_; }
    // For another program's recording: its channels' labels in slot order,
    // and the codes given to its event texts. Empty for an EOL file.
    const std::vector<std::string>& Labels() const { return foreign_.labels; }
    const std::vector<std::pair<std::int32_t, std::string>>& NamedCodes() const { return foreign_.namedCodes; }

private:
    bool OpenSamples(const std::string& path, std::string& error);
    bool ReadAndRewind(std::span<std::int32_t> packet);
    std::size_t ReadValues(std::span<std::int32_t> values);
    void Rewind();
    std::int64_t SampleBytes() const;
    std::int64_t Position() const;
    std::size_t PacketValues(std::span<std::int32_t> packet) const;

    PacedReads pacing_;
    int packetSize_ = 40;
    int channelCount_ = 16;
    std::string filePath;
    FileHandle file;
    ForeignPlayback foreign_;
    std::size_t foreignAt_ = 0;  // values into foreign_.records
    std::string openFailure_;
};
