#pragma once
// What one link of the speller does about its connection: connects when the
// user asks, and once a connection it made is lost, tries again every second
// until it is back or the user disconnects. Decided here from what happens
// and the time; the window carries the reactions out with its socket.
//
// Qt-free and single-threaded: the window calls it from its own thread.

#include <chrono>

enum class LinkEvent {
    ConnectPressed,     // the user's connect
    DisconnectPressed,  // the user's disconnect, or the window closing
    Connected,          // an attempt succeeded
    ConnectFailed,      // an attempt failed
    Dropped,            // the far end closed a connection that was made
    Tick,               // time passed
};

enum class LinkNote {
    None,
    Connected,  // "连接放大器成功!"
    Failed,     // "连接放大器失败!"
    Dropped,    // "放大器连接断开!", then once that it tries again
};

struct LinkReaction {
    bool connect = false;     // start an attempt now
    bool disconnect = false;  // drop the socket, made or being made
    LinkNote note = LinkNote::None;
    bool operator==(const LinkReaction&) const = default;
};

class LinkKeeper {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kRetryEvery{1};

    enum class State {
        Idle,        // not connected and not trying
        Connecting,  // the user's attempt is under way
        Connected,
        Waiting,     // lost: the next attempt is due at a time
        Retrying,    // lost: an attempt is under way
    };

    LinkReaction On(LinkEvent event, Clock::time_point now);

    State Current() const { return state_; }
    // Connected or trying to be: what a disconnect ends.
    bool Active() const { return state_ != State::Idle; }
    // Lost and trying again.
    bool Recovering() const { return state_ == State::Waiting || state_ == State::Retrying; }

private:
    State state_ = State::Idle;
    Clock::time_point nextAttempt_{};
};
