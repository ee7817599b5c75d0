#pragma once
// Watches the amplifier link for silence: a connected stream that brings no
// records for three seconds is said once, and the records that come after
// it start a fresh analysis window, so that no window joins signal from
// either side of a gap.
//
// Qt-free and single-threaded: the window calls it from its own thread.

#include <chrono>

class StreamWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kNoDataAfter{3};

    // A connection was made: silence counts from now.
    void Connected(Clock::time_point now);
    void Disconnected() { watching_ = false; }

    // A packet arrived. True when it ends a silence that was said: the
    // caller starts a fresh window with it.
    bool PacketArrived(Clock::time_point now);
    // True once, when the silence has lasted kNoDataAfter.
    bool SilenceBegins(Clock::time_point now);

    bool Silent() const { return silent_; }

private:
    bool watching_ = false;
    bool silent_ = false;
    Clock::time_point lastPacket_{};
};
