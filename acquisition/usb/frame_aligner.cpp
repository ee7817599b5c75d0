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
    if (frameReady_) return 0;
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

bool FrameAligner::AgreeOnConstantBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) const {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (sameFor_[i] >= kConstantAfterFrames && a[i] != b[i]) return false;
    }
    return true;
}

bool FrameAligner::Follows(std::size_t a, std::size_t b, bool useConstants) const {
    const auto first = Held(a, kHeaderBytes);
    const auto second = Held(b, kHeaderBytes);
    if (second[amp::kCounterByte] != static_cast<std::uint8_t>(first[amp::kCounterByte] + 1)) return false;
    return !useConstants || AgreeOnConstantBytes(first, second);
}

bool FrameAligner::Chain(std::size_t from, int count, bool useConstants) const {
    for (int i = 1; i < count; ++i) {
        const std::size_t at = from + static_cast<std::size_t>(i) * F;
        if (!Follows(at - F, at, useConstants)) return false;
    }
    return true;
}

bool FrameAligner::KeepsConstantBytes(std::size_t at) const {
    return !haveLastFrame_ || AgreeOnConstantBytes(Held(at, F), lastFrame_);
}

bool FrameAligner::KnowsConstantBytes() const { return constantBytes_ >= kEnoughConstantBytes; }

bool FrameAligner::HeaderKeepsConstantBytes(std::size_t at) const {
    return !haveLastFrame_ || AgreeOnConstantBytes(Held(at, kHeaderBytes), lastFrame_);
}

// Strong evidence that a whole frame starts at offset at: it keeps every
// constant byte in place and the next frame's header starts right after it,
// whatever the counters say (frames lost in between change nothing); or,
// whatever the amplifier's bytes, four headers in a row follow one another.
bool FrameAligner::IsWholeFrame(std::size_t at) const {
    if (KnowsConstantBytes() && KeepsConstantBytes(at) && HeaderKeepsConstantBytes(at + F)) return true;
    return Chain(at, kLockHeaders, false);
}

// Needs, and asks for, only as many bytes as the question at hand takes.
bool FrameAligner::Judge() {
    while (!frameReady_) {
        if (!aligned_) {
            needed_ = (kLockHeaders - 1) * F + kHeaderBytes;
            if (Size() < needed_) return false;
            if (IsWholeFrame(0)) aligned_ = true;
            else Drop(1);
            continue;
        }
        // The frame at offset 0 is whole when the next one starts right after it.
        const int confirm = KnowsConstantBytes() ? 1 : 2;
        needed_ = static_cast<std::size_t>(confirm) * F + kHeaderBytes;
        if (Size() < needed_) return false;
        if (Chain(0, 1 + confirm, true) && KeepsConstantBytes(0)) {
            frameReady_ = true;
            break;
        }
        // Whole frames lost after it, or a constant byte that moved (a mode
        // change), break that chain without cutting the frame; the counters
        // of the frames after it say so even then. Otherwise bytes were lost
        // inside it. Only the constants can say so with the bytes held now;
        // the counters' say needs more, below.
        if (KnowsConstantBytes() && KeepsConstantBytes(0) && HeaderKeepsConstantBytes(F)) {
            frameReady_ = true;
            break;
        }
        needed_ = 2 * F + (kLockHeaders - 1) * F + kHeaderBytes;
        if (Size() < needed_) return false;
        if (IsWholeFrame(0) || Chain(F, kLockHeaders, false) || Chain(2 * F, kLockHeaders, false)) {
            frameReady_ = true;
            break;
        }
        ++misalignments_;
        aligned_ = false;
        Drop(1);
    }
    return true;
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

void FrameAligner::Accept(std::span<std::uint8_t, kFrameBytes> frame, Verdict& verdict) {
    std::ranges::copy(Held(0, F), frame.begin());
    const std::uint8_t counter = frame[amp::kCounterByte];
    verdict.firstFrame = !haveCounter_;
    verdict.framesSkipped = haveCounter_ ? static_cast<std::uint8_t>(counter - lastCounter_ - 1) : 0;
    lastCounter_ = counter;
    haveCounter_ = true;
    Learn(frame);
    Drop(F);
    frameReady_ = false;
}

bool FrameAligner::TakeFrame(std::span<std::uint8_t, kFrameBytes> frame, Verdict& verdict) {
    if (!Judge()) return false;
    Accept(frame, verdict);
    return true;
}

void FrameAligner::Reset() {
    begin_ = end_ = 0;
    aligned_ = false;
    frameReady_ = false;
    needed_ = 0;
}

void FrameAligner::Restart() {
    Reset();
    sameFor_.fill(0);
    constantBytes_ = 0;
    haveLastFrame_ = false;
    haveCounter_ = false;
    misalignments_ = 0;
}
