#include "link_keeper.h"

LinkReaction LinkKeeper::On(LinkEvent event, Clock::time_point now) {
    LinkReaction reaction;
    switch (event) {
    case LinkEvent::ConnectPressed:
        // Pressed while lost: try at once instead of at the next second.
        if (state_ == State::Idle || state_ == State::Waiting) {
            state_ = state_ == State::Idle ? State::Connecting : State::Retrying;
            reaction.connect = true;
        }
        break;
    case LinkEvent::DisconnectPressed:
        reaction.disconnect = state_ != State::Idle;
        state_ = State::Idle;
        break;
    case LinkEvent::Connected:
        if (state_ == State::Connecting || state_ == State::Retrying) {
            state_ = State::Connected;
            reaction.note = LinkNote::Connected;
        }
        break;
    case LinkEvent::ConnectFailed:
        if (state_ == State::Connecting) {
            // A link never made is not retried: the address may simply be wrong.
            state_ = State::Idle;
            reaction.note = LinkNote::Failed;
        } else if (state_ == State::Retrying) {
            state_ = State::Waiting;  // quietly: the loss was said once
            nextAttempt_ = now + kRetryEvery;
        }
        break;
    case LinkEvent::Dropped:
        if (state_ == State::Connected) {
            state_ = State::Waiting;
            nextAttempt_ = now + kRetryEvery;
            reaction.note = LinkNote::Dropped;
        }
        break;
    case LinkEvent::Tick:
        if (state_ == State::Waiting && now >= nextAttempt_) {
            state_ = State::Retrying;
            reaction.connect = true;
        }
        break;
    }
    return reaction;
}
