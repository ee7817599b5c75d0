#pragma once
// Cuts the acquisition program's stream, which arrives in pieces of any size,
// into whole packets of 40 records of 21 little-endian 32-bit slots. Knows
// nothing of sockets, so it is fed from memory in tests and fuzzing.

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "common/sample_record.h"

class PacketCutter {
public:
    static constexpr int recordsPerPacket = 40;
    static constexpr int packetValues = SampleRecord::kSlotCount * recordsPerPacket;
    static constexpr int packetBytes = packetValues * 4;
    using PacketHandler = std::function<void(std::span<const std::int32_t>)>;

    // Where the next bytes of the stream go: the rest of the packet being filled.
    std::span<char> Space() { return std::span(bytes_).subspan(static_cast<std::size_t>(fill_)); }
    // count bytes were written to Space(); a packet they complete goes to handler.
    void Commit(int count, const PacketHandler& handler);
    // Forgets a packet that is incomplete (a new connection starts afresh).
    void Reset() { fill_ = 0; }
    int PartialBytes() const { return fill_; }

private:
    std::array<char, packetBytes> bytes_{};
    int fill_ = 0;
    std::array<std::int32_t, packetValues> values_{};
};
