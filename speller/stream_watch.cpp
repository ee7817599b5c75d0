#include "stream_watch.h"

void StreamWatch::Connected(Clock::time_point now) {
    watching_ = true;
    silent_ = false;
    lastPacket_ = now;
}

bool StreamWatch::PacketArrived(Clock::time_point now) {
    lastPacket_ = now;
    const bool ended = silent_;
    silent_ = false;
    return ended;
}

bool StreamWatch::SilenceBegins(Clock::time_point now) {
    if (!watching_ || silent_ || now - lastPacket_ < kNoDataAfter) return false;
    silent_ = true;
    return true;
}
