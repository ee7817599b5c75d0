#include "acquisition/engine/simulated_source.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "acquisition/recording/eol_file.h"
#include "common/regular_file.h"

FileHandle OpenRegularFileForReading(const std::string& path, std::string& error) {
    UniqueFd fd = OpenRegularFile(path, kUnboundedFileSize, error);
    if (!fd) return {};
    FileHandle file(::fdopen(fd.Get(), "rb"));
    if (!file) {
        error = std::strerror(errno);
        return {};
    }
    fd.Release();
    return file;
}

void SimulatedSource::SetFormat(int newPacketSize, int newChannelCount, int newSampleRate) {
    packetSize = newPacketSize;
    channelCount = newChannelCount;
    sampleRate = newSampleRate;
    schedule_.SetRate(packetSize, sampleRate);
}

bool SimulatedSource::Pace() { return clock_.WaitUntil(gate_, schedule_.Next(clock_.Now())); }

std::size_t SimulatedSource::ReadRaw(std::FILE* file, std::span<std::int32_t> packet) const {
    const std::size_t wanted = std::min(packet.size(), static_cast<std::size_t>(std::max(0, packetSize)) *
                                                           static_cast<std::size_t>(std::max(0, channelCount)));
    return std::fread(packet.data(), 1, wanted * sizeof(std::int32_t), file);
}

int SimulatedSource::Open(int newPacketSize, int newChannelCount, int newSampleRate) {
    SetFormat(newPacketSize, newChannelCount, newSampleRate);
    std::string error;
    file_ = OpenRegularFileForReading(kSampleFilePath, error);
    if (file_) std::fseek(file_.get(), eol::kHeaderRegionSize, SEEK_SET);
    return 1;
}

int SimulatedSource::ReadPacket(std::span<std::int32_t> packet) {
    if (!Pace() || !file_) return 0;
    ReadRaw(file_.get(), packet);
    return 1;
}

int SimulatedSource::ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) {
    channel = kReportedChannel;
    return ReadPacket(packet);
}

int SimulatedSource::Close() {
    file_.reset();
    return 1;
}
