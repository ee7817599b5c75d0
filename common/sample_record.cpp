#include "common/sample_record.h"

#include <algorithm>
#include <cstring>

int BuildRecords(std::span<const std::int32_t> packet, int packetSize, int channelCount,
                 std::span<SampleRecord> records) {
    if (channelCount <= 0 || packetSize <= 0) return 0;
    const std::size_t stride = static_cast<std::size_t>(channelCount);
    const int count = static_cast<int>(std::min({static_cast<std::size_t>(packetSize),
                                                 packet.size() / stride, records.size()}));

    if (channelCount == SampleRecord::kSlotCount) {
        std::memcpy(static_cast<void*>(records.data()), packet.data(), static_cast<std::size_t>(count) * sizeof(SampleRecord));
        return count;
    }

    const int signalCount = std::min(16, channelCount - 1);
    for (int s = 0; s < count; ++s) {
        const std::int32_t* sample = packet.data() + static_cast<std::size_t>(s) * stride;
        SampleRecord& record = records[static_cast<std::size_t>(s)];
        record = SampleRecord{};
        for (int k = 0; k < signalCount; ++k) record.slots[SampleRecord::kSignalSlots[k]] = sample[k];
        record.slots[SampleRecord::kEventSlot] = sample[channelCount - 1];
    }
    return count;
}
