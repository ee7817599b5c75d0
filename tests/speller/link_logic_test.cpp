#include "link_keeper.h"
#include "stream_watch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using State = LinkKeeper::State;

struct KeeperStep {
    int atMs;
    LinkEvent event;
    LinkReaction reaction;
    State state;
};

struct KeeperCase {
    const char* name;
    std::vector<KeeperStep> steps;
};

constexpr LinkReaction kNothing{};
constexpr LinkReaction kConnect{.connect = true};
constexpr LinkReaction kDisconnect{.disconnect = true};
constexpr LinkReaction kSayConnected{.note = LinkNote::Connected};
constexpr LinkReaction kSayFailed{.note = LinkNote::Failed};
constexpr LinkReaction kSayDropped{.note = LinkNote::Dropped};

class LinkKeeperTable : public testing::TestWithParam<KeeperCase> {};

TEST_P(LinkKeeperTable, ReactsStepByStep) {
    LinkKeeper keeper;
    const Clock::time_point start{};
    int row = 0;
    for (const KeeperStep& step : GetParam().steps) {
        SCOPED_TRACE(row++);
        const LinkReaction reaction = keeper.On(step.event, start + std::chrono::milliseconds(step.atMs));
        EXPECT_EQ(reaction.connect, step.reaction.connect);
        EXPECT_EQ(reaction.disconnect, step.reaction.disconnect);
        EXPECT_EQ(reaction.note, step.reaction.note);
        EXPECT_EQ(keeper.Current(), step.state);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinkKeeperTable,
    testing::Values(
        KeeperCase{"NeverMadeIsNotRetried",
                   {{0, LinkEvent::ConnectPressed, kConnect, State::Connecting},
                    {5, LinkEvent::ConnectFailed, kSayFailed, State::Idle},
                    {5000, LinkEvent::Tick, kNothing, State::Idle}}},
        KeeperCase{"LostIsRetriedEverySecondAndSaidOnce",
                   {{0, LinkEvent::ConnectPressed, kConnect, State::Connecting},
                    {1, LinkEvent::ConnectPressed, kNothing, State::Connecting},  // its outcome is on the way
                    {2, LinkEvent::Connected, kSayConnected, State::Connected},
                    {3, LinkEvent::ConnectPressed, kNothing, State::Connected},
                    {100, LinkEvent::Dropped, kSayDropped, State::Waiting},
                    {999, LinkEvent::Tick, kNothing, State::Waiting},
                    {1100, LinkEvent::Tick, kConnect, State::Retrying},
                    {1101, LinkEvent::ConnectFailed, kNothing, State::Waiting},  // quietly
                    {2000, LinkEvent::Tick, kNothing, State::Waiting},
                    {2101, LinkEvent::Tick, kConnect, State::Retrying},
                    {2150, LinkEvent::Tick, kNothing, State::Retrying},
                    {2200, LinkEvent::Connected, kSayConnected, State::Connected},
                    {9000, LinkEvent::Tick, kNothing, State::Connected}}},
        KeeperCase{"DisconnectEndsTheRetries",
                   {{0, LinkEvent::ConnectPressed, kConnect, State::Connecting},
                    {1, LinkEvent::Connected, kSayConnected, State::Connected},
                    {2, LinkEvent::Dropped, kSayDropped, State::Waiting},
                    {3, LinkEvent::DisconnectPressed, kDisconnect, State::Idle},
                    {5000, LinkEvent::Tick, kNothing, State::Idle},
                    {5001, LinkEvent::DisconnectPressed, kNothing, State::Idle}}},
        KeeperCase{"DisconnectDuringARetryDropsItsOutcome",
                   {{0, LinkEvent::ConnectPressed, kConnect, State::Connecting},
                    {1, LinkEvent::Connected, kSayConnected, State::Connected},
                    {2, LinkEvent::Dropped, kSayDropped, State::Waiting},
                    {1002, LinkEvent::Tick, kConnect, State::Retrying},
                    {1003, LinkEvent::DisconnectPressed, kDisconnect, State::Idle},
                    {1004, LinkEvent::Connected, kNothing, State::Idle}}},
        KeeperCase{"APressWhileLostTriesAtOnce",
                   {{0, LinkEvent::ConnectPressed, kConnect, State::Connecting},
                    {1, LinkEvent::Connected, kSayConnected, State::Connected},
                    {2, LinkEvent::Dropped, kSayDropped, State::Waiting},
                    {3, LinkEvent::ConnectPressed, kConnect, State::Retrying},
                    {4, LinkEvent::ConnectFailed, kNothing, State::Waiting}}},
        KeeperCase{"AStrayDropOrFailureChangesNothing",
                   {{0, LinkEvent::Dropped, kNothing, State::Idle},
                    {1, LinkEvent::ConnectFailed, kNothing, State::Idle},
                    {2, LinkEvent::Connected, kNothing, State::Idle}}}),
    [](const testing::TestParamInfo<KeeperCase>& info) { return std::string(info.param.name); });

TEST(StreamWatch, SaysSilenceOnceAndFreshensTheWindowWhenRecordsReturn) {
    enum class Event { Connected, Packet, Check, Disconnected };
    struct Step {
        int atMs;
        Event event;
        bool answer;  // PacketArrived: fresh window; Check: say "no data"
    };
    const Step steps[] = {
        {0, Event::Check, false},  // not connected: nothing to watch
        {10, Event::Connected, false},
        {3009, Event::Check, false},
        {3010, Event::Check, true},  // three seconds without a record
        {3500, Event::Check, false},  // said once
        {9000, Event::Check, false},
        {9040, Event::Packet, true},  // back: a fresh window
        {9080, Event::Packet, false},
        {12079, Event::Check, false},
        {12080, Event::Check, true},  // silent again
        {12100, Event::Disconnected, false},
        {20000, Event::Check, false},  // nothing to watch
        {20001, Event::Connected, false},
        {20002, Event::Packet, false},  // a new connection starts its window elsewhere
    };
    StreamWatch watch;
    const Clock::time_point start{};
    int row = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(row++);
        const auto now = start + std::chrono::milliseconds(step.atMs);
        switch (step.event) {
        case Event::Connected: watch.Connected(now); break;
        case Event::Disconnected: watch.Disconnected(); break;
        case Event::Packet: EXPECT_EQ(watch.PacketArrived(now), step.answer); break;
        case Event::Check: EXPECT_EQ(watch.SilenceBegins(now), step.answer); break;
        }
    }
}

}  // namespace
