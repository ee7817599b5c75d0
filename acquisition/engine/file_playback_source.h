#pragma once
// Plays an EOL file's sample section over and over, paced in real time, as if
// it were the amplifier. The header is skipped; the engine's packet size and
// channel count decide how the bytes are cut into packets.

#include <string>

#include "acquisition/engine/simulated_source.h"

class FilePlaybackSource : public SimulatedSource {
public:
    using SimulatedSource::SimulatedSource;

    // Opens path (again) for playback; 0 when it cannot be opened or is no
    // regular file.
    int OpenFile(int packetSize, int channelCount, int sampleRate, const std::string& path);
    int ReadPacket(std::span<std::int32_t> packet) override;
    int ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) override;
    // The file stays open across Stop and Start.
    int Close() override { return 1; }

    const std::string& FilePath() const { return filePath; }
    // After OpenFile failed: the path and the reason, for the user.
    const std::string& OpenFailure() const { return openFailure_; }

private:
    void ReadAndRewind(std::span<std::int32_t> packet);

    std::string filePath;
    FileHandle file;
    std::string openFailure_;
};
