#pragma once
// The amplifier's wire protocol: 7-byte commands from the host, a 5-byte
// handshake reply and fixed 2086-byte data frames from the amplifier.
//
// Frame: byte 2 = measured channel + 32, byte 4 = frame counter, then one
// block of 3 × C + 1 bytes per sample from offset 5: the event byte, three
// unused bytes, and C − 1 signal values of 24 bits, most significant byte first.

#include <array>
#include <cstdint>
#include <span>

namespace amp {

constexpr int kFrameBytes = 2086;
constexpr int kCommandBytes = 7;
// Every command starts with these two bytes; only the first
// kCommandMeaningfulBytes mean anything, the rest is filler.
constexpr std::array<std::uint8_t, 2> kCommandStart{0xF0, 0x0F};
constexpr int kCommandMeaningfulBytes = 5;
constexpr int kHandshakeReplyBytes = 5;
constexpr int kBaudRate = 921600;
constexpr int kChannelByteOffset = 32;
constexpr int kFrameHeaderBytes = 5;
constexpr int kChannelByte = 2;
constexpr int kCounterByte = 4;
// Within a sample's block, the first signal value follows the event byte and
// the three unused bytes.
constexpr int kFirstValueInBlock = 4;
constexpr std::int32_t kMinSample24 = -8388608;
constexpr std::int32_t kMaxSample24 = 8388607;
constexpr std::uint8_t kHandshakeSucceeded = 0xFF;
constexpr std::uint8_t kHandshakeFailed = 0x00;

using Command = std::array<std::uint8_t, kCommandBytes>;

Command HandshakeCommand();
// Mode 0 acquires signals, mode 1 measures impedances; 2 and 3 exist too.
Command ModeCommand(int mode);
Command StopCommand();

// Bytes of one sample's block for channelCount values (the event channel
// included).
constexpr long long SampleBlockBytes(long long channelCount) { return 3 * channelCount + 1; }

// Bytes one frame needs to carry a packet of these settings; no more than
// kFrameBytes for settings the amplifier can deliver.
long long FrameBytesNeeded(int packetSize, int channelCount);
bool SettingsFitFrame(int packetSize, int channelCount);
// The most values per sample (signal channels and the event channel) that a
// frame can carry at this packet size; 0 when not even one fits.
int MaxChannelsFor(int packetSize);

// A 24-bit two's-complement value, most significant byte first.
inline std::int32_t DecodeSample24(const std::uint8_t* bytes) {
    const std::int32_t value = (bytes[0] << 16) | (bytes[1] << 8) | bytes[2];
    return bytes[0] > 127 ? value - 16777216 : value;
}
// The inverse: the low 24 bits of value, most significant byte first.
inline void EncodeSample24(std::int32_t value, std::uint8_t* bytes) {
    const auto bits = static_cast<std::uint32_t>(value) & 0xFFFFFFu;
    bytes[0] = static_cast<std::uint8_t>(bits >> 16);
    bytes[1] = static_cast<std::uint8_t>(bits >> 8);
    bytes[2] = static_cast<std::uint8_t>(bits);
}

// Decodes the frame's samples into packet (packetSize × channelCount values,
// sample-major, the event channel last). The caller has checked that the
// settings fit the frame and that packet is large enough.
void DecodeFrame(std::span<const std::uint8_t, kFrameBytes> frame, int packetSize, int channelCount,
                 std::span<std::int32_t> packet);

inline int MeasuredChannel(std::span<const std::uint8_t, kFrameBytes> frame) {
    return static_cast<int>(frame[kChannelByte]) - kChannelByteOffset;
}
inline int FrameCounter(std::span<const std::uint8_t, kFrameBytes> frame) {
    return frame[kCounterByte];
}

}  // namespace amp
