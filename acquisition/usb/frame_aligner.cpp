#include "acquisition/usb/frame_aligner.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::size_t F = FrameAligner::kFrameBytes;
}  // namespace

void FrameAligner::SetLayout(int packetSize, int channelCount) {
    mayBeConstant_.fill(false);
    for (std::size_t i = 0; i < kHeaderBytes; ++i) mayBeConstant_[i] = true;
    mayBeConstant_[amp::kChannelByte] = false;
    mayBeConstant_[amp::kCounterByte] = false;
    if (!amp::SettingsFitFrame(packetSize, channelCount)) return;
    const auto blockBytes = static_cast<std::size_t>(3 * channelCount + 1);
    for (std::size_t s = 0; s < static_cast<std::size_t>(packetSize); ++s) {
        const std::size_t block = kHeaderBytes + blockBytes * s;
        for (std::size_t i = 1; i < 4 && i < blockBytes; ++i) mayBeConstant_[block + i] = true;
    }
    for (std::size_t i = kHeaderBytes + blockBytes * static_cast<std::size_t>(packetSize); i < F; ++i) {
        mayBeConstant_[i] = true;
    }
}

std::size_t FrameAligner::BytesWanted() const {
    // Before the first judgement: what finding a frame start takes.
    const std::size_t target = needed_ > 0 ? needed_ : (kLockHeaders - 1) * F + kHeaderBytes;
    return target > Size() ? std::min(target - Size(), kCapacity - Size()) : 0;
}

std::span<std::uint8_t> FrameAligner::Tail(std::size_t count) {
    if (end_ + count > kCapacity) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, Size());
        end_ -= begin_;
        begin_ = 0;
    }
    return std::span(buffer_).subspan(end_, count);
}

std::size_t FrameAligner::Feed(std::span<const std::uint8_t> bytes) {
    const std::size_t taken = std::min(bytes.size(), kCapacity - Size());
    std::ranges::copy(bytes.first(taken), Tail(taken).begin());
    Commit(taken);
    return taken;
}

void FrameAligner::Drop(std::size_t bytes) {
    begin_ += std::min(bytes, Size());
    if (begin_ == end_) begin_ = end_ = 0;
}

bool FrameAligner::KeepsConstantBytes(std::size_t offset, int sinceFrames) const {
    if (!haveLastFrame_) return true;
    const auto held = Held(offset, std::min(F, Size() - offset));
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (sameFor_[i] >= sinceFrames && held[i] != lastFrame_[i]) return false;
    }
    return true;
}

bool FrameAligner::Chain(std::size_t from, int count) const {
    for (int i = 1; i < count; ++i) {
        const auto first = Held(from + static_cast<std::size_t>(i - 1) * F, kHeaderBytes);
        const auto second = Held(from + static_cast<std::size_t>(i) * F, kHeaderBytes);
        if (second[amp::kCounterByte] != static_cast<std::uint8_t>(first[amp::kCounterByte] + 1)) return false;
        for (std::size_t b = 0; b < kHeaderBytes; ++b) {
            if (sameFor_[b] >= kConstantAfterFrames && first[b] != second[b]) return false;
        }
    }
    return true;
}

void FrameAligner::CountDropped(std::size_t bytes) {
    Drop(bytes);
    droppedInARow_ += bytes;
    if (droppedInARow_ >= kRelearnAfterBytes && KnowsConstantBytes()) ForgetConstantBytes();
}

void FrameAligner::SkipToNextCandidate() {
    if (aligned_) ++misalignments_;
    aligned_ = false;
    std::size_t next = 1;
    while (next < Size() && !KeepsConstantBytes(next)) ++next;
    CountDropped(next);
}

// Needs only the frame itself; a prefix that already breaks a learned byte
// is passed over without waiting for the rest.
FrameAligner::Step FrameAligner::JudgeByOwnBytes() {
    needed_ = F;
    if (Size() > 0 && !KeepsConstantBytes(0)) {
        if (aligned_ && expectChangeFrames_ > 0) {
            // The change the device was told to make: judge it by the headers.
            ForgetConstantBytes();
        } else {
            SkipToNextCandidate();
        }
        return Step::JudgeAgain;
    }
    return Size() < F ? Step::NeedBytes : Step::FrameWhole;
}

FrameAligner::Step FrameAligner::JudgeByNextHeaders() {
    if (!aligned_) {
        needed_ = (kLockHeaders - 1) * F + kHeaderBytes;
        if (Size() < needed_) return Step::NeedBytes;
        if (Chain(0, kLockHeaders)) aligned_ = true;
        else CountDropped(1);
        return Step::JudgeAgain;
    }
    needed_ = 2 * F + kHeaderBytes;
    if (Size() < needed_) return Step::NeedBytes;
    if (Chain(0, 3)) {
        if (KeepsConstantBytes(0, kLikelyConstantAfterFrames)) return Step::FrameWhole;
        if (expectChangeFrames_ > 0) {
            ForgetConstantBytes();
            return Step::FrameWhole;
        }
        // Noise, or bytes that only looked constant: frames that line up
        // and still break them, several in a row, say the latter.
        if (++brokeLikelyInARow_ >= kLockHeaders - 1) ForgetConstantBytes();
    }
    ++misalignments_;
    aligned_ = false;
    CountDropped(1);
    return Step::JudgeAgain;
}

void FrameAligner::Learn(std::span<const std::uint8_t, kFrameBytes> frame) {
    constantBytes_ = 0;
    for (std::size_t i = 0; i < F; ++i) {
        const bool same = mayBeConstant_[i] && haveLastFrame_ && frame[i] == lastFrame_[i];
        sameFor_[i] = same ? static_cast<std::uint8_t>(std::min(255, sameFor_[i] + 1)) : 0;
        if (sameFor_[i] >= kConstantAfterFrames) ++constantBytes_;
    }
    std::memcpy(lastFrame_.data(), frame.data(), F);
    haveLastFrame_ = true;
}

void FrameAligner::ForgetConstantBytes() {
    expectChangeFrames_ = 0;
    sameFor_.fill(0);
    constantBytes_ = 0;
    droppedInARow_ = 0;
    brokeLikelyInARow_ = 0;
}

bool FrameAligner::TakeFrame(std::span<std::uint8_t, kFrameBytes> frame) {
    for (;;) {
        const Step step = KnowsConstantBytes() ? JudgeByOwnBytes() : JudgeByNextHeaders();
        if (step == Step::NeedBytes) return false;
        if (step == Step::FrameWhole) break;
    }
    std::ranges::copy(Held(0, F), frame.begin());
    Learn(frame);
    Drop(F);
    aligned_ = true;
    droppedInARow_ = 0;
    brokeLikelyInARow_ = 0;
    if (expectChangeFrames_ > 0) --expectChangeFrames_;
    return true;
}

void FrameAligner::Reset() {
    begin_ = end_ = 0;
    aligned_ = false;
    needed_ = 0;
    droppedInARow_ = 0;
}

void FrameAligner::Restart() {
    Reset();
    ForgetConstantBytes();
    haveLastFrame_ = false;
    misalignments_ = 0;
}

void FrameAligner::Relearn() { expectChangeFrames_ = kExpectChangeFrames; }
