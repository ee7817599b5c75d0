#pragma once
// Packets as the stream server sends them, for tests that stand in for it.

#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <vector>

#include "signal_fixtures.h"

namespace speller_test {

inline QByteArray PacketBytes(const std::vector<std::int32_t>& values) {
    QByteArray bytes(static_cast<qsizetype>(values.size() * 4), '\0');
    std::memcpy(bytes.data(), values.data(), static_cast<std::size_t>(bytes.size()));  // the stream is little-endian, as this machine
    return bytes;
}

// packets packets of a sinusoid on the first slot, from sample 0; a whole
// detection window unless told otherwise.
inline QByteArray SineStreamBytes(double hertz, int packets = kPacketsPerWindow) {
    QByteArray bytes;
    for (int p = 0; p < packets; ++p) {
        bytes += PacketBytes(SinePacket(0, hertz, 100000.0, static_cast<long>(p) * kRecordsPerPacket));
    }
    return bytes;
}

}  // namespace speller_test
