#include "acquisition/usb/amplifier_protocol.h"

#include <algorithm>

namespace amp {
namespace {
constexpr std::uint8_t kFill = 0x58;  // "X"

Command MakeCommand(std::uint8_t b3, std::uint8_t b4) {
    return {kCommandStart[0], kCommandStart[1], 0x01, b3, b4, kFill, kFill};
}
}  // namespace

Command HandshakeCommand() { return MakeCommand(0x00, 0x37); }

Command ModeCommand(int mode) { return MakeCommand(0x01, static_cast<std::uint8_t>(0xFF - (mode & 3))); }

Command StopCommand() { return MakeCommand(0x01, 0x00); }

long long FrameBytesNeeded(int packetSize, int channelCount) {
    return kFrameHeaderBytes + SampleBlockBytes(channelCount) * packetSize;
}

bool SettingsFitFrame(int packetSize, int channelCount) {
    return packetSize > 0 && channelCount > 0 && FrameBytesNeeded(packetSize, channelCount) <= kFrameBytes;
}

int MaxChannelsFor(int packetSize) {
    if (packetSize <= 0) return 0;
    return std::max(0, ((kFrameBytes - kFrameHeaderBytes) / packetSize - 1) / 3);
}

void DecodeFrame(std::span<const std::uint8_t, kFrameBytes> frame, int packetSize, int channelCount,
                 std::span<std::int32_t> packet) {
    const std::size_t C = static_cast<std::size_t>(channelCount);
    const auto blockBytes = static_cast<std::size_t>(SampleBlockBytes(channelCount));
    for (std::size_t s = 0; s < static_cast<std::size_t>(packetSize); ++s) {
        const std::uint8_t* block = frame.data() + kFrameHeaderBytes + blockBytes * s;
        std::int32_t* out = packet.data() + s * C;
        for (std::size_t k = 0; k + 1 < C; ++k) out[k] = DecodeSample24(block + kFirstValueInBlock + 3 * k);
        out[C - 1] = block[0];
    }
}

}  // namespace amp
