#include "packet_cutter.h"

#include <algorithm>

void PacketCutter::Commit(int count, const PacketHandler& handler) {
    fill_ = std::clamp(fill_ + count, 0, packetBytes);
    if (fill_ < packetBytes) return;
    fill_ = 0;
    for (std::size_t i = 0; i < values_.size(); ++i) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes_.data() + 4 * i);
        values_[i] = static_cast<std::int32_t>(std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                                               std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24);
    }
    if (handler) handler(values_);
}
