#include "common/sample_record.h"

#include <gtest/gtest.h>

#include <numeric>
#include <utility>
#include <vector>

namespace {

std::vector<std::int32_t> CountingPacket(int packetSize, int channelCount) {
    std::vector<std::int32_t> packet(static_cast<std::size_t>(packetSize * channelCount));
    std::iota(packet.begin(), packet.end(), 1);
    return packet;
}

TEST(SampleRecord, AmplifierPacketFillsSignalSlotsAndEventSlot) {
    const auto packet = CountingPacket(3, 17);
    std::vector<SampleRecord> records(3);
    ASSERT_EQ(BuildRecords(packet, 3, 17, records), 3);
    for (int s = 0; s < 3; ++s) {
        const auto& r = records[static_cast<std::size_t>(s)].slots;
        const int base = s * 17 + 1;
        for (int k = 0; k < 8; ++k) EXPECT_EQ(r[k], base + k) << "sample " << s << " slot " << k;
        for (int k = 8; k < 16; ++k) EXPECT_EQ(r[k + 2], base + k) << "sample " << s << " slot " << k + 2;
        EXPECT_EQ(r[8], 0);
        EXPECT_EQ(r[9], 0);
        EXPECT_EQ(r[18], 0);
        EXPECT_EQ(r[19], 0);
        EXPECT_EQ(r[20], base + 16) << "event channel goes to slot 20";
    }
}

TEST(SampleRecord, BytesAreLittleEndianSlotsInOrder) {
    std::vector<std::int32_t> packet(17, 0);
    packet[0] = -2;
    packet[16] = 200;
    std::vector<SampleRecord> records(1);
    BuildRecords(packet, 1, 17, records);
    const auto bytes = RecordBytes(records);
    ASSERT_EQ(bytes.size(), 84u);
    EXPECT_EQ(std::to_integer<int>(bytes[0]), 0xFE);
    EXPECT_EQ(std::to_integer<int>(bytes[3]), 0xFF);
    EXPECT_EQ(std::to_integer<int>(bytes[80]), 200);
    EXPECT_EQ(std::to_integer<int>(bytes[81]), 0);
}

TEST(SampleRecord, RecordLayoutPacketIsCopiedAsItStands) {
    const auto packet = CountingPacket(2, 21);
    std::vector<SampleRecord> records(2);
    ASSERT_EQ(BuildRecords(packet, 2, 21, records), 2);
    for (int i = 0; i < 42; ++i) EXPECT_EQ(records[static_cast<std::size_t>(i / 21)].slots[i % 21], i + 1);
}

TEST(SampleRecord, OtherChannelCountsFillSignalSlotsInOrderAndEventLast) {
    struct Case {
        int channelCount;
        std::vector<std::pair<int, std::int32_t>> firstRecord;  // slot, value
    };
    const Case cases[] = {
        {5, {{0, 1}, {3, 4}, {4, 0}, {20, 5}}},                       // 4 signals and the event
        {64, {{7, 8}, {10, 9}, {17, 16}, {8, 0}, {19, 0}, {20, 64}}},  // more signals than slots
        {1, {{0, 0}, {20, 1}}},                                        // one value per sample: only the event
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channelCount);
        const auto packet = CountingPacket(2, c.channelCount);
        std::vector<SampleRecord> records(2);
        ASSERT_EQ(BuildRecords(packet, 2, c.channelCount, records), 2);
        for (const auto& [slot, value] : c.firstRecord) EXPECT_EQ(records[0].slots[slot], value) << "slot " << slot;
        EXPECT_EQ(records[1].slots[20], 2 * c.channelCount);  // the second sample's event
    }
}

TEST(SampleRecord, NeverReadsOrWritesPastEitherBuffer) {
    const auto packet = CountingPacket(2, 17);  // holds 2 samples, packet size claims 40
    std::vector<SampleRecord> records(40);
    EXPECT_EQ(BuildRecords(packet, 40, 17, records), 2);
    std::vector<SampleRecord> few(1);
    EXPECT_EQ(BuildRecords(packet, 2, 17, few), 1);
    EXPECT_EQ(BuildRecords(packet, 2, 0, few), 0);
}

}  // namespace
