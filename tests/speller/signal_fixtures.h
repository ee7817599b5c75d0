#pragma once
// Stream packets with known content, for the detector and the links.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace speller_test {

constexpr int kSlots = 21;
constexpr int kRecordsPerPacket = 40;
constexpr int kPacketValues = kSlots * kRecordsPerPacket;
constexpr int kPacketsPerWindow = 50;
constexpr int kSampleRate = 1000;

// One packet (stream order, 21 slots a record) of a sinusoid of the given raw
// amplitude on one record slot; sampleIndex is the first record's sample number.
inline std::vector<std::int32_t> SinePacket(int slot, double hertz, double amplitude, long sampleIndex) {
    std::vector<std::int32_t> packet(kPacketValues, 0);
    for (int r = 0; r < kRecordsPerPacket; ++r) {
        const double t = static_cast<double>(sampleIndex + r) / kSampleRate;
        packet[r * kSlots + slot] = static_cast<std::int32_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hertz * t)));
    }
    return packet;
}

}  // namespace speller_test
