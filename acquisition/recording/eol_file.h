#pragma once
// EOL data files: a 200-byte header region whose only content is a 32-byte
// block at offset 50 (channel count 21.0, sample rate, packet size, scale, as
// little-endian doubles), then SampleRecords of 84 bytes to the end of the file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>

#include "common/sample_record.h"
#include "common/unique_fd.h"

namespace eol {
inline constexpr long kHeaderRegionSize = 200;
inline constexpr long kHeaderBlockOffset = 50;
inline constexpr long kHeaderBlockSize = 32;
inline constexpr double kRecordSlots = 21.0;
// Display units per count of the amplifier, the scale a recording carries
// unless an imported header gave another.
inline constexpr double kDefaultScale = 0.00073536;
}  // namespace eol

struct EolHeader {
    int channelCount = 0;
    int sampleRate = 0;
    int packetSize = 0;
    double scale = 0.0;
};

// Reads the header block. Fails, leaving header untouched and the reason in
// *error (if given), when the file cannot be opened, is not a regular file or
// is too short to hold the whole block. Doubles are truncated toward zero;
// values outside int's range saturate and a NaN reads as 0, because the block
// of a file of another kind may hold anything.
bool ReadEolHeader(const std::string& path, EolHeader& header, std::string* error = nullptr);

// The 32 bytes of the header block for these settings.
std::array<std::byte, eol::kHeaderBlockSize> EolHeaderBlock(int sampleRate, int packetSize, double scale);

// What creating an output does when its name is taken.
enum class ExistingFile {
    Refuse,   // fail with EEXIST
    Replace,  // truncate it (a file the user confirmed in a dialog, or --overwrite)
};

// A recording being written. Each write goes straight to the operating system.
// Not thread-safe: one thread at a time (the recorder opens it on the UI thread
// and then hands it to the acquisition thread through the `recording` flag).
class EolFile {
public:
    EolFile() = default;
    ~EolFile();
    EolFile(const EolFile&) = delete;
    EolFile& operator=(const EolFile&) = delete;

    // Creates the file for writing; an existing one is refused or truncated as
    // existing says. A symbolic link is never followed: a link planted where
    // the recording goes must not redirect it, nor create the link's target.
    bool Create(const std::string& path, ExistingFile existing = ExistingFile::Replace);
    // Writes the header block at offset 50; records then go from offset 200.
    bool WriteHeader(int sampleRate, int packetSize, double scale);
    // Appends whole records. On a failed or short write the file is cut back
    // to its length before the call, so it never ends in a partial record.
    bool Append(std::span<const SampleRecord> records);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // Why the last Create, WriteHeader or Append failed, in a few words.
    std::string LastError() const;

private:
    int fd_ = -1;
    int errno_ = 0;
    off_t end_ = 0;  // where the next record goes: the file's length as written
};

// A recording read front to back a chunk of records at a time, so that an
// hour's file never has to be held in memory. Only regular files are opened.
class EolReader {
public:
    // Opens path and reads its header. False, with the reason in error, when
    // the file cannot be opened, is not a regular file or has no whole header.
    bool Open(const std::string& path, std::string& error);

    const EolHeader& Header() const { return header_; }
    // Whole records after the header region.
    std::int64_t RecordCount() const { return recordCount_; }
    // Bytes of a record cut short at the end of the file (0 to 83).
    int TrailingBytes() const { return trailingBytes_; }

    // Reads the next records into records; returns how many (0 at the end or
    // on a read error). The trailing part of a record is never delivered.
    std::size_t Read(std::span<SampleRecord> records);
    // Positions at record index (0 to RecordCount()).
    bool Seek(std::int64_t record);

private:
    UniqueFd fd_;
    EolHeader header_;
    std::int64_t recordCount_ = 0;
    std::int64_t next_ = 0;
    int trailingBytes_ = 0;
};

// The event onsets of a recording read a chunk at a time: each record where
// the event value changes to a non-zero code. The value before a chunk is
// carried over from the chunk before.
class EventOnsets {
public:
    // Calls onOnset(record index, code) for each onset; firstRecord is the
    // index of records' first.
    template <class OnOnset>
    void Scan(std::span<const SampleRecord> records, std::int64_t firstRecord, OnOnset&& onOnset) {
        for (std::size_t r = 0; r < records.size(); ++r) {
            const std::int32_t value = records[r].slots[SampleRecord::kEventSlot];
            if (value != 0 && value != previous_) onOnset(firstRecord + static_cast<std::int64_t>(r), value);
            previous_ = value;
        }
    }

private:
    std::int32_t previous_ = 0;
};
