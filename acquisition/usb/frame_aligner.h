#pragma once
// Finds the amplifier's frames in a byte stream that may lose bytes or whole
// frames, pause in the middle of a frame, or start anywhere.
//
// A frame carries no sync marker, only a counter (byte 4) that steps by one
// from frame to frame. So a frame is trusted only once the frame after it is
// seen to start exactly where it should: its counter is one more, and the
// bytes that have stayed constant in every frame so far (unused header and
// block bytes, on this amplifier) still agree. Bytes that carry data are
// never taken for constant: a sample's top byte can rest for seconds. Until then the frame is held
// back, about one frame's time (two when the amplifier keeps fewer than
// kEnoughConstantBytes bytes constant). A frame that fails the test is
// dropped, and the stream is searched byte by byte for a whole frame: one
// that keeps every constant byte in place with the next header right after
// it, or, for an amplifier without constant bytes, four headers in a row, a
// frame apart, whose counters step by one. The frames found that way are kept.
//
// What it cannot tell apart it drops and counts: bytes inserted between
// frames, and, on an amplifier without constant bytes, a whole frame right
// before one that lost bytes.
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
    // establish alignment after a loss. A random run passes with odds of 2^-24.
    static constexpr int kLockHeaders = 4;
    // Frames a byte must keep its value through before it counts as constant.
    static constexpr int kConstantAfterFrames = 12;
    // With fewer constant bytes than this a frame waits for two headers after
    // it, so that a lost byte slips past the counter alone with odds of 2^-16.
    static constexpr int kEnoughConstantBytes = 16;
    // Room for the longest question (does a frame start two frames on?), and
    // so the most BytesWanted ever asks for.
    static constexpr std::size_t kCapacity = (kLockHeaders + 2) * kFrameBytes;

    // What TakeFrame delivers beside the frame.
    struct Verdict {
        // Frames missing before this one, by the counter (modulo 256). Zero
        // for the first frame after Restart.
        int framesSkipped = 0;
        bool firstFrame = false;
    };

    FrameAligner() { SetLayout(0, 0); }

    // The bytes that carry samples, events, the channel and the counter
    // change by nature; only the others (the unused header and block bytes)
    // are watched for staying constant. Unknown settings (0, 0): the header's.
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
    // Delivers the next frame that has been verified, if any.
    bool TakeFrame(std::span<std::uint8_t, kFrameBytes> frame, Verdict& verdict);

    // The device's stream starts afresh (a reconnection): buffered bytes are
    // dropped; the last counter is kept, so the frames missed meanwhile count.
    void Reset();
    // A new run: forgets everything, the constant bytes and the counter too.
    void Restart();

    // Frames dropped because the frame after them did not start where it should.
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

    // True when the header at offset b can follow the one at offset a: the
    // counter steps by one and, if asked, the constant header bytes agree.
    bool Follows(std::size_t a, std::size_t b, bool useConstants) const;
    // True when `count` headers, a frame apart from offset `from` on, follow
    // one another.
    bool Chain(std::size_t from, int count, bool useConstants) const;
    // True when the frame at offset at keeps the bytes that were constant so far.
    bool KeepsConstantBytes(std::size_t at) const;
    // Enough bytes have stayed constant to recognise a frame by them.
    bool KnowsConstantBytes() const;
    bool HeaderKeepsConstantBytes(std::size_t at) const;
    // a and b agree on every byte learned as constant (over a's length).
    bool AgreeOnConstantBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) const;
    bool IsWholeFrame(std::size_t at) const;
    // One step of judgement; false when more bytes are needed.
    bool Judge();
    void Accept(std::span<std::uint8_t, kFrameBytes> frame, Verdict& verdict);
    void Learn(std::span<const std::uint8_t, kFrameBytes> frame);

    std::array<std::uint8_t, kCapacity> buffer_{};
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool aligned_ = false;
    bool frameReady_ = false;  // the frame at offset 0 has been verified
    std::size_t needed_ = 0;   // bytes the last judgement lacked

    // Constant bytes, learned from the frames delivered among the bytes that
    // carry no data.
    std::array<bool, kFrameBytes> mayBeConstant_{};
    std::array<std::uint8_t, kFrameBytes> lastFrame_{};
    std::array<std::uint8_t, kFrameBytes> sameFor_{};  // frames each byte has kept its value
    int constantBytes_ = 0;
    bool haveLastFrame_ = false;

    bool haveCounter_ = false;
    std::uint8_t lastCounter_ = 0;
    std::uint64_t misalignments_ = 0;
};
