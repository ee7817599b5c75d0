#pragma once
// One sample as it is recorded in EOL files and sent on the stream.

#include <bit>
#include <cstdint>
#include <span>

static_assert(std::endian::native == std::endian::little,
              "records are written and sent in the machine's byte order, which must be little-endian");

struct SampleRecord {
    static constexpr int kSlotCount = 21;
    static constexpr int kEventSlot = 20;
    // Where signal channel k (0..15) of a sample goes; slots 8, 9, 18 and 19 stay 0.
    static constexpr int kSignalSlots[16] = {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17};

    std::int32_t slots[kSlotCount] = {};
};
static_assert(sizeof(SampleRecord) == 84, "a record is exactly 84 bytes on disk and on the wire");

// Builds one record per sample of a raw packet (sample-major, channelCount
// values per sample, the last one the event channel).
// - 17 values per sample: the amplifier's 16 signal channels and the event.
// - 21 values per sample: the packet is already in record layout (a played-back
//   EOL file) and is copied as it stands.
// - Any other count: the first min(16, channelCount - 1) values fill the signal
//   slots in order, the last value is the event.
// Builds min(packetSize, packet.size() / channelCount, records.size()) records
// and returns that count; nothing is read or written past a buffer's end.
int BuildRecords(std::span<const std::int32_t> packet, int packetSize, int channelCount,
                 std::span<SampleRecord> records);

// The bytes of a run of records, as they go to a file or a socket.
inline std::span<const std::byte> RecordBytes(std::span<const SampleRecord> records) {
    return std::as_bytes(records);
}
