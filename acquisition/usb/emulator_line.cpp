#include "acquisition/usb/emulator_line.h"

#include <algorithm>

namespace {
// Room for a full queue and then one frame with the most copies and inserted
// bytes a fault adds, so that no byte is ever dropped from the middle.
constexpr std::size_t kRingBytes = (EmulatorLine::kMaxQueuedFrames + 12) * amp::kFrameBytes;
}  // namespace

EmulatorLine::EmulatorLine(EmulatorOptions options, EmulatorFaults faults)
    : emulator_(std::move(options)), faults_(faults), ring_(kRingBytes) {}

void EmulatorLine::Receive(std::span<const std::uint8_t> bytes, TimePoint now) {
    if (gone_) return;
    const bool wasStreaming = emulator_.Streaming();
    const std::vector<std::uint8_t> reply = emulator_.Receive(bytes);
    Queue(reply);
    if (!wasStreaming && emulator_.Streaming()) nextFrameDue_ = now + kFrameInterval;
}

void EmulatorLine::Queue(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
        if (queued_ - taken_ >= ring_.size()) return;
        ring_[queued_++ % ring_.size()] = b;
    }
}

void EmulatorLine::EndFrame() {
    if (frameEndCount_ == frameEnds_.size()) {
        std::move(frameEnds_.begin() + 1, frameEnds_.end(), frameEnds_.begin());
        --frameEndCount_;
    }
    frameEnds_[frameEndCount_++] = queued_;
}

// The adapter goes, and with it every frame the host has not taken whole.
void EmulatorLine::Vanish() {
    for (std::size_t i = 0; i < frameEndCount_; ++i) {
        if (frameEnds_[i] > taken_) ++counts_.framesLost;
    }
    frameEndCount_ = 0;
    taken_ = queued_;
    stallCount_ = 0;
    gone_ = true;
    ++counts_.vanishes;
}

void EmulatorLine::MakeFrame(TimePoint due) {
    ++frameNumber_;
    const std::uint64_t n = frameNumber_;
    emulator_.NextFrame(frame_);
    ++counts_.framesMade;

    if (!gone_ && faults_.vanish.Due(n)) {
        Vanish();
        goneUntil_ = n + static_cast<std::uint64_t>(faults_.vanish.amount);
    }
    if (faults_.silence.Due(n)) silentUntil_ = n + static_cast<std::uint64_t>(faults_.silence.amount);
    if (faults_.loseFrames.Due(n)) silentUntil_ = std::max(silentUntil_, n + static_cast<std::uint64_t>(faults_.loseFrames.amount));

    const bool notSent = gone_ || n < silentUntil_;
    const bool full = queued_ - taken_ >= kMaxQueuedFrames * amp::kFrameBytes;
    if (notSent || full) {
        ++(notSent ? counts_.framesLost : counts_.framesDropped);
        if (watcher_) watcher_(frame_, false);
        return;
    }
    const bool whole = SendFrame(n, due);
    if (!whole) ++counts_.framesLost;
    if (watcher_) watcher_(frame_, whole);
}

std::uint8_t EmulatorLine::NextNoiseByte() {
    noiseState_ ^= noiseState_ >> 12;
    noiseState_ ^= noiseState_ << 25;
    noiseState_ ^= noiseState_ >> 27;
    return static_cast<std::uint8_t>((noiseState_ * 0x2545F4914F6CDD1DULL) >> 56);
}

void EmulatorLine::QueueNoise(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = NextNoiseByte();
        Queue(std::span(&b, 1));
    }
}

bool EmulatorLine::SendFrame(std::uint64_t n, TimePoint due) {
    const std::span<const std::uint8_t> whole(frame_);
    constexpr std::size_t kMiddle = amp::kFrameBytes / 2;
    if (faults_.loseBytes.Due(n)) {
        const auto cut = static_cast<std::size_t>(faults_.loseBytes.amount);
        const std::size_t from = std::min(kMiddle, amp::kFrameBytes - cut);
        Queue(whole.first(from));
        Queue(whole.subspan(from + cut));
        EndFrame();
        return false;
    }
    if (faults_.cutStart.Due(n) || faults_.cutEnd.Due(n)) {
        const bool start = faults_.cutStart.Due(n);
        const auto cut = static_cast<std::size_t>((start ? faults_.cutStart : faults_.cutEnd).amount);
        Queue(start ? whole.subspan(cut) : whole.first(amp::kFrameBytes - cut));
        EndFrame();
        return false;
    }
    if (faults_.noise.Due(n)) {
        // Every byte changed, so that the frame is surely spoilt; the host
        // is told the frame as made, which must never come out.
        std::array<std::uint8_t, amp::kFrameBytes> spoilt = frame_;
        const auto count = static_cast<std::size_t>(faults_.noise.amount);
        const std::size_t from = (amp::kFrameBytes - count) / 2;
        for (std::size_t i = from; i < from + count; ++i) spoilt[i] ^= static_cast<std::uint8_t>(NextNoiseByte() | 1);
        Queue(spoilt);
        EndFrame();
        return false;
    }
    if (faults_.flip.Due(n)) {
        // The samples arrive intact; only the counter lies.
        frame_[amp::kCounterByte] ^= static_cast<std::uint8_t>(1 << (faults_.flip.amount - 1));
        ++counts_.countersFlipped;
    }
    Queue(whole.first(kMiddle));
    if (faults_.pause.Due(n) && stallCount_ < stalls_.size()) {
        stalls_[stallCount_++] = {queued_, due + std::chrono::milliseconds(faults_.pause.amount)};
        ++counts_.pauses;
    }
    Queue(whole.subspan(kMiddle));
    EndFrame();
    if (faults_.repeat.Due(n)) {
        for (int copy = 0; copy < faults_.repeat.amount; ++copy) Queue(whole);
        counts_.framesRepeated += static_cast<std::uint64_t>(faults_.repeat.amount);
    }
    if (faults_.insert.Due(n)) {
        QueueNoise(static_cast<std::size_t>(faults_.insert.amount));
        counts_.bytesInserted += static_cast<std::uint64_t>(faults_.insert.amount);
    }
    return true;
}

void EmulatorLine::Advance(TimePoint now) {
    while (stallCount_ > 0 && stalls_[0].until <= now) {
        std::move(stalls_.begin() + 1, stalls_.begin() + static_cast<std::ptrdiff_t>(stallCount_), stalls_.begin());
        --stallCount_;
    }
    while ((emulator_.Streaming() || gone_) && nextFrameDue_ <= now) {
        const TimePoint due = nextFrameDue_;
        nextFrameDue_ += kFrameInterval;
        MakeFrame(due);
        if (gone_ && frameNumber_ >= goneUntil_) {
            // Back, powered up afresh: it waits to be told its mode.
            gone_ = false;
            emulator_.Receive(amp::StopCommand());
        }
    }
}

std::uint64_t EmulatorLine::Deliverable(TimePoint now) const {
    for (std::size_t i = 0; i < stallCount_; ++i) {
        if (stalls_[i].until > now) return std::max(taken_, stalls_[i].at);
    }
    return queued_;
}

std::size_t EmulatorLine::Available(TimePoint now) const { return static_cast<std::size_t>(Deliverable(now) - taken_); }

std::size_t EmulatorLine::Take(std::span<std::uint8_t> out, TimePoint now) {
    const std::size_t n = std::min(out.size(), Available(now));
    for (std::size_t i = 0; i < n; ++i) out[i] = ring_[(taken_ + i) % ring_.size()];
    taken_ += n;
    return n;
}

EmulatorLine::TimePoint EmulatorLine::NextChange() const {
    TimePoint next = TimePoint::max();
    if (emulator_.Streaming() || gone_) next = nextFrameDue_;
    for (std::size_t i = 0; i < stallCount_; ++i) next = std::min(next, stalls_[i].until);
    return next;
}
