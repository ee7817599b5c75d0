#include "acquisition/recording/eol_file.h"

#include "common/regular_file.h"
#include "common/truncate.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kNoHeader = "no EOL header";

// Writes at offset without moving the file position: one system call a packet,
// where asking the file's length and position first took three.
bool WriteAllAt(int fd, const std::byte* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;  // a write that takes nothing will take nothing more
            return false;
        }
        data += n;
        offset += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadHeaderBlock(int fd, EolHeader& header) {
    std::array<double, 4> block{};
    const ssize_t n = ::pread(fd, block.data(), sizeof block, eol::kHeaderBlockOffset);
    if (n != static_cast<ssize_t>(sizeof block)) return false;
    header.channelCount = TruncateToInt(block[0]);
    header.sampleRate = TruncateToInt(block[1]);
    header.packetSize = TruncateToInt(block[2]);
    header.scale = block[3];
    return true;
}

}  // namespace

bool ReadEolHeader(const std::string& path, EolHeader& header, std::string* error) {
    std::string cause;
    const UniqueFd fd = OpenRegularFile(path, kUnboundedFileSize, cause);
    if (fd && ReadHeaderBlock(fd.Get(), header)) return true;
    if (error) *error = fd ? kNoHeader : cause;
    return false;
}

std::array<std::byte, eol::kHeaderBlockSize> EolHeaderBlock(int sampleRate, int packetSize, double scale) {
    const std::array<double, 4> values{eol::kRecordSlots, static_cast<double>(sampleRate),
                                       static_cast<double>(packetSize), scale};
    std::array<std::byte, eol::kHeaderBlockSize> block{};
    std::memcpy(block.data(), values.data(), block.size());
    return block;
}

EolFile::~EolFile() { Close(); }

bool EolFile::Create(const std::string& path, ExistingFile existing) {
    Close();
    const int onExisting = existing == ExistingFile::Refuse ? O_EXCL : O_TRUNC;
    // O_NONBLOCK so that a FIFO nobody reads fails at once instead of holding
    // the UI thread; writes then block as usual.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | onExisting | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    end_ = 0;
    if (fd_ < 0) {
        errno_ = errno;
        return false;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        errno_ = errno;
        Close();
    }
    return fd_ >= 0;
}

std::string EolFile::LastError() const { return std::strerror(errno_ != 0 ? errno_ : EBADF); }

bool EolFile::WriteHeader(int sampleRate, int packetSize, double scale) {
    if (fd_ < 0) return false;
    const auto block = EolHeaderBlock(sampleRate, packetSize, scale);
    if (!WriteAllAt(fd_, block.data(), block.size(), eol::kHeaderBlockOffset)) {
        errno_ = errno;
        return false;
    }
    end_ = eol::kHeaderRegionSize;
    return true;
}

bool EolFile::Append(std::span<const SampleRecord> records) {
    if (fd_ < 0) return false;
    const auto bytes = RecordBytes(records);
    if (WriteAllAt(fd_, bytes.data(), bytes.size(), end_)) {
        end_ += static_cast<off_t>(bytes.size());
        return true;
    }
    errno_ = errno;
    // Leave the file as it was before this packet: whole records only.
    static_cast<void>(::ftruncate(fd_, end_));
    return false;
}

void EolFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool EolReader::Open(const std::string& path, std::string& error) {
    fd_ = OpenRegularFile(path, kUnboundedFileSize, error);
    if (!fd_) return false;
    if (!ReadHeaderBlock(fd_.Get(), header_)) {
        error = kNoHeader;
        fd_.Close();
        return false;
    }
    struct stat info {};
    if (::fstat(fd_.Get(), &info) != 0) {
        error = std::strerror(errno);
        fd_.Close();
        return false;
    }
    const std::int64_t sampleBytes = std::max<std::int64_t>(0, info.st_size - eol::kHeaderRegionSize);
    recordCount_ = sampleBytes / static_cast<std::int64_t>(sizeof(SampleRecord));
    trailingBytes_ = static_cast<int>(sampleBytes % static_cast<std::int64_t>(sizeof(SampleRecord)));
    next_ = 0;
    return true;
}

std::size_t EolReader::Read(std::span<SampleRecord> records) {
    if (!fd_) return 0;
    const auto count = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(records.size()), recordCount_ - next_));
    const std::size_t bytes = count * sizeof(SampleRecord);
    auto* out = reinterpret_cast<std::byte*>(records.data());
    std::size_t done = 0;
    while (done < bytes) {
        const off_t at = eol::kHeaderRegionSize + static_cast<off_t>(next_) * static_cast<off_t>(sizeof(SampleRecord)) +
                         static_cast<off_t>(done);
        const ssize_t n = ::pread(fd_.Get(), out + done, bytes - done, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the file shrank or cannot be read
        done += static_cast<std::size_t>(n);
    }
    const std::size_t whole = done / sizeof(SampleRecord);
    next_ += static_cast<std::int64_t>(whole);
    return whole;
}

bool EolReader::Seek(std::int64_t record) {
    if (!fd_ || record < 0 || record > recordCount_) return false;
    next_ = record;
    return true;
}
