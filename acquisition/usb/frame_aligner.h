#pragma once
// Finds the amplifier's frames in a byte stream that may lose bytes or whole
// frames, carry bytes that belong to no frame, pause in the middle of a frame,
// or start anywhere.
//
// A frame carries no sync marker and no checksum, but many of its bytes never
// change: the unused header bytes, the three unused bytes of every sample
// block and the trailer. Once they are learned (each kept its value through
// kConstantAfterFrames frames, and at least kEnoughConstantBytes of them), a
// frame is proven whole by its own bytes the moment its last byte is in: every
// learned byte in its place. It is handed on at once, whatever its neighbours.
// A frame that breaks one is never handed on, whatever the counters around it
// say; the next place where a frame can start is searched among the bytes
// held, so re-synchronising costs one read, not one read per byte.
//
// Until those bytes are learned (the first half second of a run, or after
// Relearn), or on a device whose frames keep too few of them, a frame is
// handed on only once the two headers after it start where they should with
// counters stepping by one, about two frames' time later; and after a loss,
// four headers in a row a frame apart, counters stepping by one, find the
// frames again. A stream that breaks the learned bytes for kRelearnAfterBytes
// in a row has changed them: they are learned afresh; Relearn says a change
// is coming, so that it costs no frame.
//
// Counters are not judged here beyond finding frames: FrameSequence tells
// repeats and losses.
//
// Bytes are never discarded because a read was cut short: a read that timed
// out or was cancelled feeds what it got, and the next read goes on from there.
//
// Not thread-safe: one reader, the acquisition thread.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "acquisition/usb/amplifier_protocol.h"

class FrameAligner {
public:
    static constexpr std::size_t kFrameBytes = amp::kFrameBytes;
    // Headers in a row, a frame apart with counters stepping by one, that
    // find the frames while their constant bytes are unknown. A random run
    // passes with odds of 2^-24.
    static constexpr int kLockHeaders = 4;
    // Frames a byte must keep its value through before it counts as constant.
    static constexpr int kConstantAfterFrames = 12;
    // While they are learned, a frame that changes a byte kept through this
    // many frames is not handed on either: noise in the first half second
    // would otherwise pass on the headers alone.
    static constexpr int kLikelyConstantAfterFrames = 3;
    // Constant bytes it takes to prove a frame by its own bytes; fewer, and a
    // frame waits for the headers after it.
    static constexpr int kEnoughConstantBytes = 16;
    // Bytes searched in a row without a frame that keeps the learned bytes,
    // after which the device is taken to have changed them.
    static constexpr std::size_t kRelearnAfterBytes = 8 * kFrameBytes;
    // Frames after Relearn within which a change is expected.
    static constexpr int kExpectChangeFrames = 25;
    // Room for the longest question (do four headers follow one another?),
    // and so the most BytesWanted ever asks for.
    static constexpr std::size_t kCapacity = kLockHeaders * kFrameBytes;

    FrameAligner() { SetLayout(0, 0); }

    // The bytes that carry samples, events, the channel and the counter
    // change by nature; only the others (the unused header and block bytes,
    // the trailer) are watched for staying constant. Unknown settings (0, 0):
    // the header's.
    void SetLayout(int packetSize, int channelCount);

    // How many more bytes the aligner needs before it can judge the frame it
    // holds; never more than it has room for. Feed at most this many.
    std::size_t BytesWanted() const;
    // Appends bytes read from the device; returns how many were taken (all of
    // them unless more than BytesWanted were offered).
    std::size_t Feed(std::span<const std::uint8_t> bytes);
    // The same without a copy: the device reads into Room() (BytesWanted()
    // bytes), then Commit says how many arrived.
    std::span<std::uint8_t> Room() { return Tail(BytesWanted()); }
    void Commit(std::size_t bytes) { end_ += std::min(bytes, kCapacity - end_); }
    // Delivers the next frame proven whole, if any.
    bool TakeFrame(std::span<std::uint8_t, kFrameBytes> frame);

    // The device's stream starts afresh (a reconnection): buffered bytes are
    // dropped; what was learned is kept.
    void Reset();
    // A new run: forgets everything.
    void Restart();
    // The device was told something that may change its constant bytes (a
    // new mode): the first frame within kExpectChangeFrames that changes
    // them, lined up with the frames before it, is judged by the headers
    // after it, and the bytes are learned afresh from it on.
    void Relearn();

    // Frames are proven by their own bytes, not by the headers after them.
    bool ProvesFramesByOwnBytes() const { return KnowsConstantBytes(); }
    // Times a frame broke the learned bytes or the headers' chain and the
    // stream was searched for the next one.
    std::uint64_t Misalignments() const { return misalignments_; }

private:
    static constexpr std::size_t kHeaderBytes = amp::kFrameHeaderBytes;

    // count held bytes from offset on. Every question asks only for bytes it
    // has; checked builds trap a read past them.
    std::span<const std::uint8_t> Held(std::size_t offset, std::size_t count) const {
        return std::span(buffer_).subspan(begin_, Size()).subspan(offset, count);
    }
    std::size_t Size() const { return end_ - begin_; }
    // count bytes of room after the held bytes, moving them to the front
    // when the room would run past the end.
    std::span<std::uint8_t> Tail(std::size_t count);
    void Drop(std::size_t bytes);

    bool KnowsConstantBytes() const { return constantBytes_ >= kEnoughConstantBytes; }
    // The held bytes from offset on, as far as they go (a frame at most),
    // keep every byte of a frame starting at offset that has kept its value
    // through sinceFrames frames.
    bool KeepsConstantBytes(std::size_t offset, int sinceFrames = kConstantAfterFrames) const;
    // True when `count` headers, a frame apart from offset `from` on, have
    // counters stepping by one and agree on the learned header bytes.
    bool Chain(std::size_t from, int count) const;

    enum class Step { NeedBytes, JudgeAgain, FrameWhole };
    // One step of judgement of the frame at offset 0, each by its rule.
    Step JudgeByOwnBytes();
    Step JudgeByNextHeaders();
    // The frame at offset 0 is not whole: drops bytes up to the next place a
    // frame can start.
    void SkipToNextCandidate();
    void CountDropped(std::size_t bytes);
    void ForgetConstantBytes();
    void Learn(std::span<const std::uint8_t, kFrameBytes> frame);

    std::array<std::uint8_t, kCapacity> buffer_{};
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool aligned_ = false;     // a frame starts at offset 0, unless bytes went astray since
    std::size_t needed_ = 0;   // bytes the last judgement lacked
    std::size_t droppedInARow_ = 0;
    int brokeLikelyInARow_ = 0;   // frames lined up by their headers that broke the likely constant bytes
    int expectChangeFrames_ = 0;  // frames left in which Relearn's change is expected

    // Constant bytes, learned from the frames delivered, among the bytes that
    // carry no data.
    std::array<bool, kFrameBytes> mayBeConstant_{};
    std::array<std::uint8_t, kFrameBytes> lastFrame_{};
    std::array<std::uint8_t, kFrameBytes> sameFor_{};  // frames each byte has kept its value
    int constantBytes_ = 0;
    bool haveLastFrame_ = false;

    std::uint64_t misalignments_ = 0;
};
