#include "acquisition/recording/eol_file.h"

#include "common/truncate.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const std::byte* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool ReadEolHeader(const std::string& path, EolHeader& header) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::array<double, 4> block{};
    const ssize_t n = ::pread(fd, block.data(), sizeof block, eol::kHeaderBlockOffset);
    ::close(fd);
    if (n != static_cast<ssize_t>(sizeof block)) return false;
    header.channelCount = TruncateToInt(block[0]);
    header.sampleRate = TruncateToInt(block[1]);
    header.packetSize = TruncateToInt(block[2]);
    header.scale = block[3];
    return true;
}

std::array<std::byte, eol::kHeaderBlockSize> EolHeaderBlock(int sampleRate, int packetSize, double scale) {
    const std::array<double, 4> values{eol::kRecordSlots, static_cast<double>(sampleRate),
                                       static_cast<double>(packetSize), scale};
    std::array<std::byte, eol::kHeaderBlockSize> block{};
    std::memcpy(block.data(), values.data(), block.size());
    return block;
}

EolFile::~EolFile() { Close(); }

bool EolFile::Create(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

bool EolFile::WriteHeader(int sampleRate, int packetSize, double scale) {
    if (fd_ < 0) return false;
    const auto block = EolHeaderBlock(sampleRate, packetSize, scale);
    if (::lseek(fd_, eol::kHeaderBlockOffset, SEEK_SET) < 0) return false;
    if (!WriteAll(fd_, block.data(), block.size())) return false;
    return ::lseek(fd_, eol::kHeaderRegionSize, SEEK_SET) >= 0;
}

bool EolFile::Append(std::span<const SampleRecord> records) {
    if (fd_ < 0) return false;
    struct stat before {};
    if (::fstat(fd_, &before) != 0) return false;
    const off_t start = ::lseek(fd_, 0, SEEK_CUR);
    if (start < 0) return false;
    const auto bytes = RecordBytes(records);
    if (WriteAll(fd_, bytes.data(), bytes.size())) return true;
    // Leave the file as it was before this packet: whole records only.
    if (::ftruncate(fd_, before.st_size) == 0) ::lseek(fd_, start, SEEK_SET);
    return false;
}

void EolFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}
