#include "acquisition/display/frame_wake.h"

FrameWake::FrameWake(QObject* parent) : QObject(parent) {
    connect(&wake_, &ThreadWake::raised, this, &FrameWake::Wake);
    gap_.setSingleShot(true);
    connect(&gap_, &QTimer::timeout, this, [this] {
        wake_.SetWatching(true);  // pictures raised meanwhile are kept by the wake
        EmitRaised();
    });
}

void FrameWake::Wake() {
    const auto wait = std::chrono::milliseconds(kMinFrameGapMs) - (std::chrono::steady_clock::now() - lastRaised_);
    if (wait <= std::chrono::milliseconds(0)) {
        EmitRaised();
        return;
    }
    wake_.SetWatching(false);
    gap_.start(std::chrono::ceil<std::chrono::milliseconds>(wait));
}

void FrameWake::EmitRaised() {
    lastRaised_ = std::chrono::steady_clock::now();
    Q_EMIT raised();
}
