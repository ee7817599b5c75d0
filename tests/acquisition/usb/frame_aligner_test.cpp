#include "acquisition/usb/frame_aligner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t F = FrameAligner::kFrameBytes;

std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return x;
}

// Frame n of a test stream. "Amplifier-like" frames keep fixed header bytes
// and zero unused block bytes, as the emulator does; "bare" frames are random
// but for the counter, the worst an unknown amplifier could send.
Bytes MakeFrame(std::uint64_t n, bool bare) {
    Bytes frame(F);
    for (std::size_t i = 0; i < F; ++i) frame[i] = static_cast<std::uint8_t>(Mix(n * F + i + 1));
    if (!bare) {
        frame[0] = 0xA5;
        frame[1] = 0x5A;
        frame[2] = 0x20;
        frame[3] = 0;
        for (std::size_t s = 0; s < 40; ++s) std::fill_n(frame.begin() + 5 + 52 * s + 1, 3, 0);
    }
    frame[amp::kCounterByte] = static_cast<std::uint8_t>(n);
    return frame;
}

struct Fault {
    enum Kind { None, LoseBytes, LoseFrames, Garbage } kind = None;
    std::uint64_t frame = 0;  // where it strikes
    std::size_t count = 0;    // bytes, frames or garbage bytes
    std::size_t offset = 0;   // LoseBytes: inside the frame
};

struct Case {
    const char* name;
    bool bare;
    std::uint64_t frames;
    std::uint64_t first;  // counter of the first frame sent
    std::size_t skipAtStart;  // the stream begins inside a frame
    std::vector<Fault> faults;
    std::size_t chunk;  // 0: exactly what the aligner asks for
    std::uint64_t expectLost;  // frames never delivered, after the first one delivered
};

// Sends frames first..first+frames-1 through the faults and records which
// frames must not come out.
Bytes Stream(const Case& c, std::set<std::uint64_t>& ruined) {
    Bytes out;
    for (std::uint64_t n = c.first; n < c.first + c.frames; ++n) {
        Bytes frame = MakeFrame(n, c.bare);
        bool sent = true;
        for (const Fault& f : c.faults) {
            if (f.kind == Fault::LoseFrames && n >= f.frame && n < f.frame + f.count) sent = false;
            if (f.kind == Fault::LoseBytes && n == f.frame) {
                frame.erase(frame.begin() + static_cast<std::ptrdiff_t>(f.offset),
                            frame.begin() + static_cast<std::ptrdiff_t>(f.offset + f.count));
                ruined.insert(n);
            }
            if (f.kind == Fault::Garbage && n == f.frame) {
                for (std::size_t i = 0; i < f.count; ++i) out.push_back(static_cast<std::uint8_t>(Mix(i + 7)));
            }
        }
        if (!sent) ruined.insert(n);
        if (sent) out.insert(out.end(), frame.begin(), frame.end());
    }
    out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(c.skipAtStart));
    return out;
}

struct Delivery {
    Bytes frame;
    FrameAligner::Verdict verdict;
};

// Feeds the stream as the device would: what the aligner asks for, or less.
std::vector<Delivery> RunThrough(FrameAligner& aligner, const Bytes& stream, std::size_t chunk) {
    std::vector<Delivery> out;
    std::array<std::uint8_t, F> frame{};
    std::size_t at = 0;
    std::uint64_t seed = 1;
    while (true) {
        FrameAligner::Verdict verdict;
        if (aligner.TakeFrame(frame, verdict)) {
            out.push_back({Bytes(frame.begin(), frame.end()), verdict});
            continue;
        }
        if (at == stream.size()) return out;
        std::size_t want = aligner.BytesWanted();
        if (want == 0) return out;  // a stuck aligner fails the caller's checks
        if (chunk > 0) want = std::min(want, 1 + Mix(seed++) % chunk);
        const std::size_t n = std::min(want, stream.size() - at);
        if (aligner.Feed(std::span(stream).subspan(at, n)) != n) return out;
        at += n;
    }
}

class FrameAlignerTest : public testing::TestWithParam<Case> {};

TEST_P(FrameAlignerTest, DeliversEveryWholeFrameUnchangedAndCountsTheRest) {
    const Case& c = GetParam();
    std::set<std::uint64_t> ruined;
    const Bytes stream = Stream(c, ruined);

    FrameAligner aligner;
    aligner.SetLayout(40, 17);
    std::vector<std::uint64_t> delivered;
    std::uint64_t counted = 0;
    std::uint64_t next = c.first;  // the frame number the counter stands for, unwrapped
    for (const Delivery& d : RunThrough(aligner, stream, c.chunk)) {
        if (d.verdict.firstFrame) {
            while (static_cast<std::uint8_t>(next) != d.frame[amp::kCounterByte]) ++next;
        } else {
            next += 1 + static_cast<std::uint64_t>(d.verdict.framesSkipped);
            counted += static_cast<std::uint64_t>(d.verdict.framesSkipped);
        }
        ASSERT_EQ(d.frame, MakeFrame(next, c.bare)) << "frame " << next;
        delivered.push_back(next);
    }
    ASSERT_FALSE(delivered.empty());
    for (std::uint64_t n : delivered) EXPECT_FALSE(ruined.count(n)) << "ruined frame " << n << " came out";
    // Every frame after the first delivered one either came out or is counted
    // lost; the last few stay held for want of the frames after them.
    EXPECT_EQ(counted, c.expectLost);
    EXPECT_GE(delivered.back() + 3, c.first + c.frames - 1);
}

// Faults strike after the first second, when the constant bytes are known
// (the "bare" rows have none).
const Case kCases[] = {
    {"clean stream", false, 40, 0, 0, {}, 0, 0},
    {"counter wraps", false, 40, 240, 0, {}, 0, 0},
    {"starts mid frame", false, 40, 0, 1000, {}, 0, 0},
    {"odd read sizes", false, 90, 5, 17, {}, 700, 0},
    {"byte read at a time", false, 20, 5, 0, {}, 1, 0},
    {"bytes lost mid frame", false, 90, 0, 0, {{Fault::LoseBytes, 40, 3, 1000}}, 0, 1},
    {"one byte lost near the end", false, 90, 0, 0, {{Fault::LoseBytes, 40, 1, 2080}}, 0, 1},
    {"many bytes lost", false, 90, 0, 0, {{Fault::LoseBytes, 40, 2000, 50}}, 0, 1},
    {"losses close together", false, 110, 0, 0,
     {{Fault::LoseBytes, 40, 5, 700}, {Fault::LoseBytes, 42, 9, 1500}, {Fault::LoseFrames, 50, 2}}, 333, 4},
    {"whole frames lost", false, 90, 0, 0, {{Fault::LoseFrames, 40, 3}}, 0, 3},
    // Bytes that come from nowhere cannot be told from a frame that lost its
    // tail: the frame before them is dropped and counted.
    {"garbage between frames", false, 90, 0, 0, {{Fault::Garbage, 40, 777}}, 0, 1},
    {"bare frames, clean", true, 40, 3, 0, {}, 0, 0},
    // With nothing but the counter, the frame before a cut one cannot be
    // verified either: dropped and counted, never delivered unverified.
    {"bare frames, bytes lost", true, 90, 3, 0, {{Fault::LoseBytes, 40, 4, 900}}, 501, 2},
    {"bare frames, frames lost", true, 90, 3, 0, {{Fault::LoseFrames, 40, 2}}, 0, 2},
};

INSTANTIATE_TEST_SUITE_P(Faults, FrameAlignerTest, testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name) if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

TEST(FrameAligner, AChangedConstantByteStillPassesWhenTheFramesLineUp) {
    // The amplifier switches mode: byte 3 changes from frame 20 on.
    Bytes stream;
    for (std::uint64_t n = 0; n < 40; ++n) {
        Bytes frame = MakeFrame(n, false);
        frame[3] = n < 20 ? 0 : 1;
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    FrameAligner aligner;
    aligner.SetLayout(40, 17);
    const auto delivered = RunThrough(aligner, stream, 0);
    EXPECT_EQ(delivered.size(), 39u);  // the last waits for a frame after it
    for (const Delivery& d : delivered) EXPECT_EQ(d.verdict.framesSkipped, 0);
    EXPECT_EQ(aligner.Misalignments(), 0u);
}

}  // namespace
