#include "acquisition/engine/file_playback_source.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/stat.h>

#include "acquisition/recording/eol_file.h"

int FilePlaybackSource::OpenFile(int newPacketSize, int newChannelCount, int newSampleRate,
                                 const std::string& path) {
    SetFormat(newPacketSize, newChannelCount, newSampleRate);
    filePath = path;
    std::string error;
    file = OpenRegularFileForReading(path, error);
    if (!file) {
        openFailure_ = path + " (" + error + ")";
        return 0;
    }
    openFailure_.clear();
    std::fseek(file.get(), eol::kHeaderRegionSize, SEEK_SET);
    return 1;
}

int FilePlaybackSource::ReadPacket(std::span<std::int32_t> packet) {
    if (!Pace() || !file) return 0;
    ReadAndRewind(packet);
    return 1;
}

int FilePlaybackSource::ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) {
    channel = kReportedChannel;
    return ReadPacket(packet);
}

// Goes back to the first sample as soon as no more than one packet remains
// behind the position. The comparison is on unsigned 32-bit values, as the
// recordings' players always made it: a file shorter than one packet wraps
// the limit and is never rewound.
void FilePlaybackSource::ReadAndRewind(std::span<std::int32_t> packet) {
    ReadRaw(file.get(), packet);
    struct stat info {};
    if (::fstat(fileno(file.get()), &info) != 0) return;
    const auto length = static_cast<std::uint32_t>(info.st_size);
    const auto position = static_cast<std::uint32_t>(std::ftell(file.get()));
    const auto packetBytes = static_cast<std::uint32_t>(packetSize) * static_cast<std::uint32_t>(channelCount) * 4u;
    if (position >= length - packetBytes) std::fseek(file.get(), eol::kHeaderRegionSize, SEEK_SET);
}
