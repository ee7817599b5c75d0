#include "acquisition/usb/frame_aligner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "acquisition/usb/frame_sequence.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t F = FrameAligner::kFrameBytes;
constexpr auto kFramePeriod = std::chrono::milliseconds(40);

std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return x;
}

// Frame n of a test stream. "Amplifier-like" frames keep fixed header bytes
// and zero unused block bytes and trailer, as the emulator does; "bare"
// frames are random but for the counter, the worst an unknown amplifier
// could send.
Bytes MakeFrame(std::uint64_t n, bool bare) {
    Bytes frame(F);
    for (std::size_t i = 0; i < F; ++i) frame[i] = static_cast<std::uint8_t>(Mix(n * F + i + 1));
    if (!bare) {
        frame[0] = 0xA5;
        frame[1] = 0x5A;
        frame[2] = 0x20;
        frame[3] = 0;
        for (std::size_t s = 0; s < 40; ++s) std::fill_n(frame.begin() + 5 + 52 * s + 1, 3, 0);
        frame[F - 1] = 0;
    }
    frame[amp::kCounterByte] = static_cast<std::uint8_t>(n);
    return frame;
}

Bytes Garbage(std::size_t count, std::uint64_t seed) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(Mix(seed * 1000003 + i));
    return bytes;
}

struct Fault {
    enum Kind {
        LoseBytes,    // count bytes cut from offset on
        LoseFrames,   // count frames not sent
        Insert,       // count random bytes sent before the frame
        Noise,        // count bytes from offset on changed
        Replace,      // the frame replaced by as many random bytes
        Repeat,       // the frame sent count more times
        FlipCounter,  // bit count of the counter flipped; the samples intact
    } kind;
    std::uint64_t frame = 0;  // where it strikes
    std::size_t count = 0;
    std::size_t offset = 0;
};

struct Case {
    const char* name;
    bool bare;
    std::uint64_t frames;
    std::uint64_t first;      // counter of the first frame sent
    std::size_t skipAtStart;  // the stream begins inside a frame
    std::vector<Fault> faults;
    std::size_t chunk;           // 0: exactly what the aligner asks for
    std::uint64_t expectLost;    // frames never delivered, after the first one delivered
    std::uint64_t expectRepeats = 0;
};

struct Sent {
    Bytes stream;
    std::set<std::uint64_t> ruined;  // frames whose bytes did not arrive whole
    std::vector<std::size_t> endOf;  // where in the stream each frame sent whole ends
};

Sent Stream(const Case& c) {
    Sent sent;
    Bytes& out = sent.stream;
    for (std::uint64_t n = c.first; n < c.first + c.frames; ++n) {
        Bytes frame = MakeFrame(n, c.bare);
        bool send = true;
        int copies = 1;
        for (const Fault& f : c.faults) {
            if (n != f.frame && !(f.kind == Fault::LoseFrames && n > f.frame && n < f.frame + f.count)) continue;
            switch (f.kind) {
            case Fault::LoseBytes:
                frame.erase(frame.begin() + static_cast<std::ptrdiff_t>(f.offset),
                            frame.begin() + static_cast<std::ptrdiff_t>(f.offset + f.count));
                sent.ruined.insert(n);
                break;
            case Fault::LoseFrames: send = false; break;
            case Fault::Insert: {
                const Bytes g = Garbage(f.count, n);
                out.insert(out.end(), g.begin(), g.end());
                break;
            }
            case Fault::Noise:
                for (std::size_t i = f.offset; i < f.offset + f.count; ++i) frame[i] ^= static_cast<std::uint8_t>(Mix(i) | 1);
                sent.ruined.insert(n);
                break;
            case Fault::Replace:
                frame = Garbage(F, n);
                sent.ruined.insert(n);
                break;
            case Fault::Repeat: copies += static_cast<int>(f.count); break;
            case Fault::FlipCounter: frame[amp::kCounterByte] ^= static_cast<std::uint8_t>(1u << f.count); break;
            }
        }
        if (!send) {
            sent.ruined.insert(n);
            continue;
        }
        for (int i = 0; i < copies; ++i) out.insert(out.end(), frame.begin(), frame.end());
    }
    out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(c.skipAtStart));
    return sent;
}

struct Delivery {
    Bytes frame;
    FrameSequence::Verdict verdict;
};

// Feeds the stream as the device would: what the aligner asks for, or less,
// arriving at the pace the amplifier sends it.
std::vector<Delivery> RunThrough(FrameAligner& aligner, FrameSequence& sequence, const Bytes& stream,
                                 std::size_t chunk) {
    std::vector<Delivery> out;
    std::array<std::uint8_t, F> frame{};
    std::size_t at = 0;
    std::uint64_t seed = 1;
    while (true) {
        if (aligner.TakeFrame(frame)) {
            const auto arrival = FrameSequence::Clock::time_point{} + kFramePeriod * static_cast<std::int64_t>(at / F);
            out.push_back({Bytes(frame.begin(), frame.end()), sequence.Judge(frame, arrival)});
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

// Every frame handed on is one that was sent whole, once, in order; every
// frame that went missing is counted, and nothing else is.
TEST_P(FrameAlignerTest, HandsOnEveryWholeFrameOnceAndCountsExactlyTheMissing) {
    const Case& c = GetParam();
    const Sent sent = Stream(c);
    std::map<Bytes, std::uint64_t> frameNumber;  // by the bytes, the counter left out
    for (std::uint64_t n = c.first; n < c.first + c.frames; ++n) {
        Bytes frame = MakeFrame(n, c.bare);
        frame[amp::kCounterByte] = 0;
        frameNumber[frame] = n;
    }

    FrameAligner aligner;
    aligner.SetLayout(40, 17);
    FrameSequence sequence;
    sequence.SetFramePeriod(kFramePeriod);
    std::vector<std::uint64_t> delivered;
    std::uint64_t counted = 0;
    for (const Delivery& d : RunThrough(aligner, sequence, sent.stream, c.chunk)) {
        if (d.verdict.repeat) continue;
        counted += d.verdict.lost;
        Bytes key = d.frame;
        key[amp::kCounterByte] = 0;
        const auto found = frameNumber.find(key);
        ASSERT_NE(found, frameNumber.end()) << "a frame that was never sent, after frame "
                                            << (delivered.empty() ? 0 : delivered.back());
        ASSERT_FALSE(sent.ruined.count(found->second)) << "spoilt frame " << found->second << " came out";
        ASSERT_TRUE(delivered.empty() || found->second > delivered.back()) << "frame " << found->second << " again";
        delivered.push_back(found->second);
    }
    ASSERT_FALSE(delivered.empty());
    const std::uint64_t missing = delivered.back() - delivered.front() + 1 - delivered.size();
    EXPECT_EQ(missing, c.expectLost);
    EXPECT_EQ(counted, missing);
    EXPECT_EQ(sequence.Repeats(), c.expectRepeats);
    // Frames proven by their own bytes wait for nothing after them; the bare
    // ones wait for two headers.
    EXPECT_EQ(delivered.back(), c.first + c.frames - 1 - (c.bare ? 2 : 0));
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
    {"trailer lost", false, 90, 0, 0, {{Fault::LoseBytes, 40, 1, F - 1}}, 0, 1},
    {"700 bytes lost from the end", false, 90, 0, 0, {{Fault::LoseBytes, 40, 700, F - 700}}, 0, 1},
    {"one byte cut from a frame's start", false, 90, 0, 0, {{Fault::LoseBytes, 40, 1, 0}}, 0, 1},
    {"100 bytes cut from a frame's start", false, 90, 0, 0, {{Fault::LoseBytes, 40, 100, 0}}, 333, 1},
    {"all but one byte cut", false, 90, 0, 0, {{Fault::LoseBytes, 40, F - 1, 0}}, 0, 1},
    {"losses close together", false, 110, 0, 0,
     {{Fault::LoseBytes, 40, 5, 700}, {Fault::LoseBytes, 42, 9, 1500}, {Fault::LoseFrames, 50, 2}}, 333, 4},
    {"whole frames lost", false, 90, 0, 0, {{Fault::LoseFrames, 40, 3}}, 0, 3},
    {"garbage between frames", false, 90, 0, 0, {{Fault::Insert, 40, 777}}, 0, 0},
    {"garbage one frame long", false, 90, 0, 0, {{Fault::Insert, 40, F}}, 0, 0},
    {"garbage three frames long", false, 90, 0, 0, {{Fault::Insert, 40, 3 * F}}, 501, 0},
    {"one byte inserted", false, 90, 0, 0, {{Fault::Insert, 40, 1}}, 0, 0},
    {"a frame of noise instead of a frame", false, 90, 0, 0, {{Fault::Replace, 40}}, 0, 1},
    {"noise inside a frame", false, 90, 0, 0, {{Fault::Noise, 40, 500, 800}}, 0, 1},
    {"noise across a frame boundary", false, 90, 0, 0,
     {{Fault::Noise, 40, 100, F - 100}, {Fault::Noise, 41, 100, 0}}, 0, 2},
    {"a constant byte flipped", false, 90, 0, 0, {{Fault::Noise, 40, 1, 5 + 52 * 7 + 2}}, 0, 1},
    {"a frame sent twice", false, 90, 0, 0, {{Fault::Repeat, 40, 1}}, 0, 0, 1},
    {"two frames sent twice", false, 90, 0, 0, {{Fault::Repeat, 40, 1}, {Fault::Repeat, 41, 1}}, 0, 0, 2},
    {"counter's top bit flipped", false, 90, 0, 0, {{Fault::FlipCounter, 40, 7}}, 0, 0},
    {"counter's low bit flipped", false, 90, 0, 0, {{Fault::FlipCounter, 41, 0}}, 0, 0},
    {"counter flipped, then a frame lost", false, 90, 0, 0,
     {{Fault::FlipCounter, 40, 3}, {Fault::LoseFrames, 41, 1}}, 0, 1},
    {"bare frames, clean", true, 40, 3, 0, {}, 0, 0},
    // With nothing but the counters, the two frames before a break cannot be
    // proven either: dropped and counted, never handed on unproven.
    {"bare frames, bytes lost", true, 90, 3, 0, {{Fault::LoseBytes, 40, 4, 900}}, 501, 2},
    {"bare frames, frames lost", true, 90, 3, 0, {{Fault::LoseFrames, 40, 2}}, 0, 4},
    {"bare frames, garbage one frame long", true, 90, 3, 0, {{Fault::Insert, 40, F}}, 0, 2},
};

INSTANTIATE_TEST_SUITE_P(Faults, FrameAlignerTest, testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name) if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

// Feeds bytes as the aligner asks for them, handing each frame it delivers on.
template <class OnFrame>
void FeedAll(FrameAligner& aligner, const Bytes& bytes, OnFrame onFrame) {
    std::array<std::uint8_t, F> frame{};
    for (std::size_t at = 0; at < bytes.size();) {
        while (aligner.TakeFrame(frame)) onFrame(frame);
        at += aligner.Feed(std::span(bytes).subspan(at, std::min(aligner.BytesWanted(), bytes.size() - at)));
    }
    while (aligner.TakeFrame(frame)) onFrame(frame);
}

TEST(FrameAligner, HandsOnAProvenFrameWithoutWaitingForTheNext) {
    FrameAligner aligner;
    aligner.SetLayout(40, 17);
    for (std::uint64_t n = 0; n < 40; ++n) {
        const Bytes bytes = MakeFrame(n, false);
        const bool proven = aligner.ProvesFramesByOwnBytes();
        Bytes last;
        FeedAll(aligner, bytes, [&](const auto& frame) { last.assign(frame.begin(), frame.end()); });
        if (proven) {
            EXPECT_EQ(last, bytes) << "frame " << n << " waited";
        }
    }
    EXPECT_TRUE(aligner.ProvesFramesByOwnBytes());
}

// The amplifier changes a constant byte (byte 3 marks the mode) from frame 20
// on: told, the aligner learns afresh and loses nothing; untold, it loses the
// frames it cannot prove, hands on none of them, and finds the frames again.
TEST(FrameAligner, AConstantByteThatChangesIsLearnedAfresh) {
    for (const bool told : {true, false}) {
        SCOPED_TRACE(told ? "told" : "untold");
        FrameAligner aligner;
        aligner.SetLayout(40, 17);
        FrameSequence sequence;
        std::vector<std::uint64_t> delivered;
        std::uint64_t lost = 0;
        for (std::uint64_t n = 0; n < 80; ++n) {
            Bytes bytes = MakeFrame(n, false);
            bytes[3] = n < 20 ? 0 : 1;
            if (n == 20 && told) aligner.Relearn();
            FeedAll(aligner, bytes, [&](const auto& frame) {
                delivered.push_back(frame[amp::kCounterByte]);
                lost += sequence.Judge(frame, {}).lost;
            });
        }
        EXPECT_EQ(delivered.back(), 79u);
        EXPECT_EQ(lost, 80 - delivered.size());
        if (told) {
            EXPECT_EQ(lost, 0u);
        }
        for (std::size_t i = 1; i < delivered.size(); ++i) EXPECT_GT(delivered[i], delivered[i - 1]);
    }
}

}  // namespace
