// Pallock's stream from the acquisition program, arriving in pieces of any
// size: every whole packet is handed over once, in order, with the values the
// bytes hold, and the part of a packet left over is kept.

#include <cstring>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "packet_cutter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte seeds the sizes of the pieces; the rest is the stream.
    std::uint32_t state = data[0] * 2654435761u + 1;
    const std::span<const std::uint8_t> stream(data + 1, size - 1);

    PacketCutter cutter;
    std::size_t packets = 0;
    const auto check = [&](std::span<const std::int32_t> values) {
        Require(values.size() == PacketCutter::packetValues);
        const std::uint8_t* bytes = stream.data() + packets * PacketCutter::packetBytes;
        for (std::size_t i = 0; i < values.size(); ++i) {
            std::int32_t expected;
            std::memcpy(&expected, bytes + 4 * i, 4);
            Require(values[i] == expected);
        }
        ++packets;
    };
    for (std::size_t at = 0; at < stream.size();) {
        state = state * 1664525u + 1013904223u;
        const std::size_t piece = std::min<std::size_t>({1 + (state >> 8) % 5000, stream.size() - at,
                                                         cutter.Space().size()});
        std::memcpy(cutter.Space().data(), stream.data() + at, piece);
        cutter.Commit(static_cast<int>(piece), check);
        at += piece;
    }
    Require(packets == stream.size() / PacketCutter::packetBytes);
    Require(static_cast<std::size_t>(cutter.PartialBytes()) == stream.size() % PacketCutter::packetBytes);
    return 0;
}
