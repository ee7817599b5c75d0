#include "acquisition/usb/frame_aligner.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::size_t F = FrameAligner::kFrameBytes;
}  // namespace

std::size_t FrameAligner::BytesWanted() const {
    if (frameReady_) return 0;
    // Before the first judgement: what finding a frame start takes.
    const std::size_t target = needed_ > 0 ? needed_ : BytesToTellFrameStart(0);
    return target > Size() ? std::min(target - Size(), kCapacity - Size()) : 0;
}

std::size_t FrameAligner::Feed(std::span<const std::uint8_t> bytes) {
    const std::size_t taken = std::min(bytes.size(), kCapacity - Size());
    if (end_ + taken > kCapacity) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, Size());
        end_ -= begin_;
        begin_ = 0;
    }
    std::memcpy(buffer_.data() + end_, bytes.data(), taken);
    end_ += taken;
    return taken;
}

void FrameAligner::Drop(std::size_t bytes) {
    begin_ += std::min(bytes, Size());
    if (begin_ == end_) begin_ = end_ = 0;
}

bool FrameAligner::Follows(std::size_t a, std::size_t b, bool useConstants) const {
    const std::uint8_t* first = At(a);
    const std::uint8_t* second = At(b);
    if (second[amp::kCounterByte] != static_cast<std::uint8_t>(first[amp::kCounterByte] + 1)) return false;
    if (!useConstants) return true;
    for (std::size_t i = 0; i < kHeaderBytes; ++i) {
        if (sameFor_[i] >= kConstantAfterFrames && first[i] != second[i]) return false;
    }
    return true;
}

bool FrameAligner::Chain(std::size_t from, int count, bool useConstants) const {
    for (int i = 1; i < count; ++i) {
        const std::size_t at = from + static_cast<std::size_t>(i) * F;
        if (!Follows(at - F, at, useConstants)) return false;
    }
    return true;
}

bool FrameAligner::KeepsConstantBytes(std::size_t at) const {
    if (!haveLastFrame_) return true;
    const std::uint8_t* frame = At(at);
    for (std::size_t i = 0; i < F; ++i) {
        if (sameFor_[i] >= kConstantAfterFrames && frame[i] != lastFrame_[i]) return false;
    }
    return true;
}

bool FrameAligner::KnowsConstantBytes() const { return constantBytes_ >= kEnoughConstantBytes; }

std::size_t FrameAligner::BytesToTellFrameStart(std::size_t at) const {
    return at + (kLockHeaders - 1) * F + kHeaderBytes;
}

// Strong evidence that a frame starts at offset at: it keeps the constant
// bytes and the next header follows it, or, whatever the amplifier's bytes,
// four headers in a row follow one another.
bool FrameAligner::IsFrameStart(std::size_t at) const {
    if (KnowsConstantBytes() && KeepsConstantBytes(at) && Chain(at, 2, true)) return true;
    return Chain(at, kLockHeaders, false);
}

// Needs, and asks for, only as many bytes as the question at hand takes.
bool FrameAligner::Judge() {
    while (!frameReady_) {
        if (!aligned_) {
            needed_ = BytesToTellFrameStart(0);
            if (Size() < needed_) return false;
            if (IsFrameStart(0)) aligned_ = true;
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
        // change), break that chain without cutting the frame: a frame start
        // one or two frames on says so. Otherwise bytes were lost inside it.
        needed_ = BytesToTellFrameStart(2 * F);
        if (Size() < needed_) return false;
        if (IsFrameStart(F) || IsFrameStart(2 * F)) {
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
        const bool same = haveLastFrame_ && frame[i] == lastFrame_[i];
        sameFor_[i] = same ? static_cast<std::uint8_t>(std::min(255, sameFor_[i] + 1)) : 0;
        if (sameFor_[i] >= kConstantAfterFrames) ++constantBytes_;
    }
    std::memcpy(lastFrame_.data(), frame.data(), F);
    haveLastFrame_ = true;
}

void FrameAligner::Accept(std::span<std::uint8_t, kFrameBytes> frame, Verdict& verdict) {
    std::memcpy(frame.data(), At(0), F);
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
