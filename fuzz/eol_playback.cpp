// A file played back as if it were the amplifier: any packet shape the
// settings allow, read round and round the file.

#include <vector>

#include "acquisition/engine/file_playback_source.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int packetSize = 4 * (1 + data[0] % 16);
    const int channelCount = 2 + data[1] % 30;
    const int reads = 1 + data[2] % 8;
    const MemoryFile file(std::span(data + 3, size - 3));

    FilePlaybackSource source;
    // A rate this high paces nothing: what is read matters here, not when.
    // A file with less than one packet is refused; one that opens plays.
    if (source.OpenFile(packetSize, channelCount, 1000000, file.Path()) != 1) return 0;
    std::vector<std::int32_t> packet(static_cast<std::size_t>(packetSize * channelCount));
    for (int i = 0; i < reads; ++i) {
        int channel = -1;
        Require(source.ReadPacketWithChannel(packet, channel) == 1 && channel == FilePlaybackSource::kReportedChannel);
    }
    return 0;
}
