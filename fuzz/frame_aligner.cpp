// The amplifier's byte stream as a broken line delivers it, in pieces of any
// size: whatever the bytes, the aligner never asks for more than it can hold,
// takes what it asked for, and every frame it delivers is 2086 bytes that
// stood in the stream in that order; and the counters it carries never count
// more than a turn of the counter lost.

#include <algorithm>
#include <array>
#include <cstring>

#include "acquisition/usb/frame_aligner.h"
#include "acquisition/usb/frame_sequence.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte seeds the sizes of the pieces, the second picks the
    // layout (known settings, or none); the rest is the stream.
    std::uint32_t state = data[0] * 2654435761u + 1;
    const bool layout = (data[1] & 1) != 0;
    const std::span<const std::uint8_t> stream(data + 2, size - 2);

    FrameAligner aligner;
    if (layout) aligner.SetLayout(40, 17);
    FrameSequence sequence;
    std::array<std::uint8_t, FrameAligner::kFrameBytes> frame{};
    std::size_t at = 0;
    std::size_t lastEnd = 0;  // delivered frames never overlap or go back
    for (;;) {
        if (aligner.TakeFrame(frame)) {
            // The frame must stand in the stream somewhere after the last one.
            const auto found = std::search(stream.begin() + static_cast<std::ptrdiff_t>(lastEnd),
                                           stream.begin() + static_cast<std::ptrdiff_t>(at), frame.begin(),
                                           frame.end());
            Require(found != stream.begin() + static_cast<std::ptrdiff_t>(at));
            lastEnd = static_cast<std::size_t>(found - stream.begin()) + frame.size();
            Require(sequence.Judge(frame, FrameSequence::Clock::now()).lost < 256);
            continue;
        }
        if (at == stream.size()) break;
        const std::size_t wanted = aligner.BytesWanted();
        Require(wanted > 0 && wanted <= FrameAligner::kCapacity);
        state = state * 1664525u + 1013904223u;
        const std::size_t piece = std::min({wanted, stream.size() - at, std::size_t{1} + state % 4096});
        Require(aligner.Feed(stream.subspan(at, piece)) == piece);
        at += piece;
        if ((state >> 24) == 0) aligner.Reset();  // now and then the device comes back
    }
    return 0;
}
