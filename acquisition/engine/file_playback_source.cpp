#include "acquisition/engine/file_playback_source.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

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

bool ReadPlaybackHeader(const std::string& path, EolHeader& header, std::string& error) {
    if (!IsForeignRecordingPath(path)) return ReadEolHeader(path, header, &error);
    ForeignPlayback playback;
    if (!LoadForeignPlayback(path, playback, error)) return false;
    header.channelCount = SampleRecord::kSlotCount;
    header.sampleRate = static_cast<int>(std::lround(std::min(playback.sampleRate, 1.0e9)));
    header.packetSize = PlaybackPacketSize(header.sampleRate);
    header.scale = eol::kDefaultScale;
    return true;
}

int FilePlaybackSource::OpenFile(int newPacketSize, int newChannelCount, int newSampleRate,
                                 const std::string& path) {
    packetSize_ = newPacketSize;
    channelCount_ = newChannelCount;
    pacing_.SetRate(newPacketSize, newSampleRate);
    filePath = path;
    std::string error;
    if (!OpenSamples(path, error)) {
        openFailure_ = path + " (" + error + ")";
        return 0;
    }
    const auto packetBytes = static_cast<std::int64_t>(PacketValues({})) * 4;
    if (SampleBytes() < packetBytes || packetBytes == 0) {
        openFailure_ = path + " (less than one packet of samples: " + std::to_string(SampleBytes()) + " bytes, a packet " +
                       std::to_string(packetBytes) + ")";
        file.reset();
        foreign_ = {};
        return 0;
    }
    openFailure_.clear();
    return 1;
}

bool FilePlaybackSource::OpenSamples(const std::string& path, std::string& error) {
    file.reset();
    foreign_ = {};
    foreignAt_ = 0;
    if (IsForeignRecordingPath(path)) {
        if (LoadForeignPlayback(path, foreign_, error)) return true;
        // The reason names the file already; the caller adds it again.
        if (error.starts_with(path + ": ")) error.erase(0, path.size() + 2);
        return false;
    }
    file = OpenRegularFileForReading(path, error);
    if (!file) return false;
    Rewind();
    return true;
}

int FilePlaybackSource::ReadPacketWithChannel(std::span<std::int32_t> packet, int& channel) {
    channel = kReportedChannel;
    if (!pacing_.WaitForNextPacket() || (!file && foreign_.records.empty())) return 0;
    return ReadAndRewind(packet) ? 1 : 0;
}

std::size_t FilePlaybackSource::PacketValues(std::span<std::int32_t> packet) const {
    const auto values = static_cast<std::size_t>(std::max(0, packetSize_)) * static_cast<std::size_t>(std::max(0, channelCount_));
    return packet.empty() ? values : std::min(packet.size(), values);
}

// Goes back to the first sample as soon as no more than one packet remains
// behind the position, as the recordings' players always did; a packet that
// cannot be read whole (the file shrank) is read again from the start, or
// not delivered.
bool FilePlaybackSource::ReadAndRewind(std::span<std::int32_t> packet) {
    const std::span<std::int32_t> values = packet.first(PacketValues(packet));
    if (ReadValues(values) != values.size()) {
        Rewind();
        if (ReadValues(values) != values.size()) return false;
    }
    if (SampleBytes() - Position() <= static_cast<std::int64_t>(PacketValues({})) * 4) Rewind();
    return true;
}

std::size_t FilePlaybackSource::ReadValues(std::span<std::int32_t> values) {
    if (file) return std::fread(values.data(), sizeof(std::int32_t), values.size(), file.get());
    const std::span<const std::int32_t> all(foreign_.records.front().slots, foreign_.records.size() * SampleRecord::kSlotCount);
    const std::size_t n = std::min(values.size(), all.size() - foreignAt_);
    std::copy_n(all.begin() + static_cast<std::ptrdiff_t>(foreignAt_), n, values.begin());
    foreignAt_ += n;
    return n;
}

void FilePlaybackSource::Rewind() {
    foreignAt_ = 0;
    if (file) std::fseek(file.get(), eol::kHeaderRegionSize, SEEK_SET);
}

std::int64_t FilePlaybackSource::SampleBytes() const {
    if (!file) return static_cast<std::int64_t>(foreign_.records.size() * sizeof(SampleRecord));
    struct stat info {};
    if (::fstat(fileno(file.get()), &info) != 0) return 0;
    return std::max<std::int64_t>(0, info.st_size - eol::kHeaderRegionSize);
}

std::int64_t FilePlaybackSource::Position() const {
    if (!file) return static_cast<std::int64_t>(foreignAt_ * sizeof(std::int32_t));
    return std::max<std::int64_t>(0, ::ftello(file.get()) - eol::kHeaderRegionSize);
}
