#include "stream_rate_watch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;
using Change = StreamRateWatch::Change;

// Packets of 40 samples at 1000 samples per second nominal, arriving every
// `every` for `lasting`; what the watch said at each change.
struct Phase {
    std::chrono::milliseconds every;
    std::chrono::milliseconds lasting;
};

struct RateCase {
    const char* name;
    std::vector<Phase> phases;
    std::vector<Change> said;  // the changes, in order
    bool saneAtEnd;
};

class StreamRateWatchTest : public ::testing::TestWithParam<RateCase> {};

TEST_P(StreamRateWatchTest, FlagsAStreamTooFastForTwoSecondsOnceAndClearsWhenSane) {
    const RateCase& c = GetParam();
    StreamRateWatch watch(1000.0);
    auto now = StreamRateWatch::Clock::time_point{} + 1h;
    std::vector<Change> said;
    for (const Phase& phase : c.phases) {
        for (auto t = 0ms; t < phase.lasting; t += phase.every) {
            const Change change = watch.Add(40, now);
            if (change != Change::None) said.push_back(change);
            now += phase.every;
        }
    }
    EXPECT_EQ(said, c.said);
    EXPECT_EQ(watch.Sane(), c.saneAtEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamRateWatchTest,
    ::testing::Values(
        RateCase{"at_rate", {{40ms, 10s}}, {}, true},
        RateCase{"a_little_fast", {{25ms, 10s}}, {}, true},  // 1.6 times the rate
        RateCase{"a_catch_up_burst", {{40ms, 3s}, {1ms, 40ms}, {40ms, 3s}}, {}, true},
        RateCase{"three_times_the_rate", {{13ms, 5s}}, {Change::BecameTooFast}, false},
        RateCase{"a_flood_then_the_rate",
                 {{40ms, 2s}, {1ms, 5s}, {40ms, 4s}},
                 {Change::BecameTooFast, Change::BecameSane},
                 true},
        RateCase{"flood_from_the_first_packet", {{1ms, 1900ms}}, {}, true},  // not yet two seconds seen
        RateCase{"two_floods", {{1ms, 3s}, {40ms, 3s}, {1ms, 3s}},
                 {Change::BecameTooFast, Change::BecameSane, Change::BecameTooFast}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StreamRateWatch, ANewRateStartsTheCountAgain) {
    StreamRateWatch watch(1000.0);
    auto now = StreamRateWatch::Clock::time_point{} + 1h;
    for (int i = 0; i < 3000; ++i, now += 1ms) watch.Add(40, now);
    EXPECT_FALSE(watch.Sane());
    watch.SetRate(40000.0);
    EXPECT_TRUE(watch.Sane());
    for (int i = 0; i < 3000; ++i, now += 1ms) EXPECT_EQ(watch.Add(40, now), Change::None);
}

}  // namespace
