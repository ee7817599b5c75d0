#include "ssvep_decisions.h"

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "signal_fixtures.h"
#include "ssvep_detector.h"

using namespace speller_test;

TEST(DynamicRange, ParsedOrRefused) {
    struct Case {
        const char* text;
        std::optional<DynamicRange> expected;
    };
    const Case cases[] = {
        {"1:0.25:3", DynamicRange{1.0, 0.25, 3.0}},
        {"2:1:2", DynamicRange{2.0, 1.0, 2.0}},
        {"0.5:0.5:60", DynamicRange{0.5, 0.5, 60.0}},
        {"1:0.25", std::nullopt},
        {"1:0.25:3:4", std::nullopt},
        {"0:0.25:3", std::nullopt},
        {"1:0:3", std::nullopt},
        {"3:0.25:1", std::nullopt},
        {"1:0.25:61", std::nullopt},
        {"1:x:3", std::nullopt},
        {"1::3", std::nullopt},
        {"", std::nullopt},
        {"1:nan:3", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseDynamicRange(c.text), c.expected) << c.text;
        if (c.expected) {
            EXPECT_EQ(ParseDynamicRange(FormatDynamicRange(*c.expected)), c.expected) << c.text;
        }
    }
}

TEST(WindowSteps, WholeRecordsLongestLast) {
    struct Case {
        DynamicRange range;
        double rate;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {{1.0, 0.25, 3.0}, 256.0, {256, 320, 384, 448, 512, 576, 640, 704, 768}},
        {{1.0, 0.3, 2.0}, 100.0, {100, 130, 160, 190, 200}},  // MAX ends the steps even off the grid
        {{2.0, 1.0, 2.0}, 1000.0, {2000}},
        {{0.001, 0.001, 0.004}, 1000.0, {1, 2, 3, 4}},
        {{0.001, 0.001, 0.003}, 500.0, {1, 2}},  // repeats after rounding left out
        {{1.0, 0.1, 1.5}, 1000.0, {1000, 1100, 1200, 1300, 1400, 1500}},  // no drift from summing 0.1
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowSteps(c.range, c.rate), c.expected) << FormatDynamicRange(c.range) << " at " << c.rate;
}

TEST(Margins, RelativeAndGap) {
    struct Case {
        std::vector<double> scores;
        double relative;
        double gap;
    };
    const Case cases[] = {
        {{0.5, 0.25, 0.1}, 0.5, 0.25},
        {{0.1, 0.4, 0.3}, 0.25, 0.1},
        {{0.2, 0.2}, 0.0, 0.0},
        {{0.7}, 0.0, 0.0},
        {{}, 0.0, 0.0},
        {{-1.0, -2.0}, 0.0, 1.0},  // no positive best: no relative margin
        {{0.0, 0.0, 0.0}, 0.0, 0.0},
        {{2.0, -1.0, 0.5}, 0.75, 1.5},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(RelativeMargin(c.scores), c.relative) << ::testing::PrintToString(c.scores);
        EXPECT_DOUBLE_EQ(ScoreGap(c.scores), c.gap) << ::testing::PrintToString(c.scores);
    }
}

TEST(JudgeStep, DecideWaitOrAbstain) {
    struct Case {
        double margin;
        std::optional<double> required;
        bool last;
        bool abstainAtLast;
        StepVerdict expected;
    };
    const Case cases[] = {
        {0.0, std::nullopt, false, true, StepVerdict::Decide},
        {0.3, 0.3, false, false, StepVerdict::Decide},  // reaching is enough
        {0.29, 0.3, false, true, StepVerdict::Wait},
        {0.29, 0.3, true, false, StepVerdict::Decide},
        {0.29, 0.3, true, true, StepVerdict::Abstain},
        {0.5, 0.3, true, true, StepVerdict::Decide},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JudgeStep(c.margin, c.required, c.last, c.abstainAtLast), c.expected)
            << c.margin << " vs " << c.required.value_or(-1) << (c.last ? " last" : "");
}

TEST(ClassStandardiser, ZScoresAgainstEachClassesOwnRecentHistory) {
    ClassStandardiser history(4);
    EXPECT_FALSE(history.Ready());
    history.Add(std::vector<double>{1.0, 10.0});
    EXPECT_FALSE(history.Ready());
    history.Add(std::vector<double>{3.0, 10.0});
    EXPECT_TRUE(history.Ready());  // half the depth
    // Class 1: mean 2, deviation 1. Class 2 never varied: raw distance from its mean.
    EXPECT_EQ(history.Standardise(std::vector<double>{4.0, 11.0}), (std::vector<double>{2.0, 1.0}));
    // The oldest results drop out beyond the depth.
    for (int i = 0; i < 4; ++i) history.Add(std::vector<double>{5.0 + 2.0 * (i % 2), 0.0});
    EXPECT_EQ(history.Size(), 4);
    EXPECT_EQ(history.Standardise(std::vector<double>{8.0, 0.0}), (std::vector<double>{2.0, 0.0}));
    history.Clear();
    EXPECT_FALSE(history.Ready());
    // A class that always scores high loses its head start.
    ClassStandardiser biased(2);
    biased.Add(std::vector<double>{0.9, 0.1});
    biased.Add(std::vector<double>{0.8, 0.2});
    const auto z = biased.Standardise(std::vector<double>{0.8, 0.3});
    EXPECT_GT(z[1], z[0]);
    EXPECT_FALSE(ClassStandardiser(0).Ready());
}

TEST(DecisionRules, ValidAndPlain) {
    struct Case {
        DecisionRules rules;
        bool valid;
        bool plain;
        bool timed;
    };
    DecisionRules cue;
    cue.cue = 0x800B;
    DecisionRules dynamic;
    dynamic.dynamic = DynamicRange{};
    DecisionRules margin;
    margin.margin = 0.17;
    DecisionRules adapt;
    adapt.adaptResults = 20;
    DecisionRules negativeOffset = cue;
    negativeOffset.offsetSeconds = -0.5;
    DecisionRules badMargin;
    badMargin.margin = std::nan("");
    DecisionRules badAdapt;
    badAdapt.adaptResults = maxAdaptResults + 1;
    DecisionRules badRange;
    badRange.dynamic = DynamicRange{3.0, 0.25, 1.0};
    DecisionRules abstainOnly;
    abstainOnly.abstainAtEnd = true;
    const Case cases[] = {
        {DecisionRules{}, true, true, false}, {cue, true, false, true},
        {dynamic, true, false, true},         {margin, true, false, false},
        {adapt, true, false, false},          {negativeOffset, false, false, true},
        {badMargin, false, false, false},     {badAdapt, false, false, false},
        {badRange, false, false, true},       {abstainOnly, true, true, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(ValidDecisionRules(cases[i].rules), cases[i].valid) << i;
        EXPECT_EQ(cases[i].rules.Plain(), cases[i].plain) << i;
        EXPECT_EQ(cases[i].rules.TimedLines(), cases[i].timed) << i;
    }
}

namespace {

constexpr double kRate = 100.0;
constexpr std::int32_t kCue = 0x800B;
const std::vector<double> kFrequencies = {7.0, 11.0, 13.0};

struct Stream {
    std::vector<std::vector<double>> values;  // per record, two leads
    std::vector<std::int32_t> events;
};

// Noise throughout; from each cue on, `hertz` on both leads at `amplitude`.
Stream MakeStream(int records, std::vector<std::pair<int, double>> cues, double amplitude, unsigned seed = 3) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    Stream stream;
    double hertz = 0.0;
    for (int r = 0; r < records; ++r) {
        std::int32_t event = 0;
        for (const auto& [at, f] : cues)
            if (at == r) {
                event = kCue;
                hertz = f;
            }
        const double signal = hertz > 0.0 ? amplitude * std::sin(2 * std::numbers::pi * hertz * r / kRate) : 0.0;
        stream.values.push_back({signal + noise(random), signal + noise(random)});
        stream.events.push_back(event);
    }
    return stream;
}

std::vector<TrialOutcome> RunTrials(const DecisionRules& rules, const Stream& stream, int fixedRecords = 200) {
    SsvepTrials trials(SsvepMethod::Cca, kRate, kFrequencies, 2, rules, fixedRecords);
    std::vector<TrialOutcome> outcomes;
    for (std::size_t r = 0; r < stream.values.size(); ++r)
        if (auto o = trials.AddRecord(stream.values[r], stream.events[r])) outcomes.push_back(*o);
    return outcomes;
}

}  // namespace

// Where windows start, how long they grow, what they decide.
TEST(SsvepTrials, WindowsFollowTheRules) {
    DecisionRules cue;
    cue.cue = kCue;
    DecisionRules dynamic = cue;
    dynamic.dynamic = DynamicRange{1.0, 0.5, 3.0};
    dynamic.margin = 0.3;
    DecisionRules strict = dynamic;
    strict.margin = 0.99;
    DecisionRules strictAbstain = strict;
    strictAbstain.abstainAtEnd = true;
    DecisionRules fixedMargin = cue;
    fixedMargin.margin = 0.99;
    DecisionRules backToBack;
    backToBack.dynamic = DynamicRange{1.0, 0.5, 2.0};
    DecisionRules noOffset = cue;
    noOffset.offsetSeconds = 0.0;

    struct Expected {
        std::int64_t cueRecord;
        std::int64_t startRecord;
        int records;
        int stimulus;  // 0: not checked
        bool abstained;
    };
    struct Case {
        const char* name;
        DecisionRules rules;
        Stream stream;
        std::vector<Expected> expected;
    };
    const Stream clear = MakeStream(1500, {{100, 11.0}, {700, 13.0}}, 3.0);
    const Stream faint = MakeStream(1500, {{100, 11.0}, {700, 13.0}}, 0.05);
    const Case cases[] = {
        {"a fixed window from 1 s after each cue", cue, clear, {{100, 200, 200, 2, false}, {700, 800, 200, 3, false}}},
        {"no offset", noOffset, clear, {{100, 100, 200, 2, false}, {700, 700, 200, 3, false}}},
        {"a clear response decides at the shortest window", dynamic, clear,
         {{100, 200, 100, 2, false}, {700, 800, 100, 3, false}}},
        {"a margin never reached decides at the longest", strict, faint,
         {{100, 200, 300, 0, false}, {700, 800, 300, 0, false}}},
        {"or abstains when told", strictAbstain, faint, {{100, 200, 300, 0, true}, {700, 800, 300, 0, true}}},
        {"a fixed window short of its margin abstains", fixedMargin, faint,
         {{100, 200, 200, 0, true}, {700, 800, 200, 0, true}}},
        // Without a margin the shortest window decides, and the next starts at once.
        {"back to back without a cue", backToBack, clear,
         {{-1, 0, 100, 0, false}, {-1, 100, 100, 2, false}, {-1, 200, 100, 2, false}}},
    };
    for (const Case& c : cases) {
        auto outcomes = RunTrials(c.rules, c.stream);
        if (!c.rules.cue) outcomes.resize(std::min<std::size_t>(outcomes.size(), c.expected.size()));
        ASSERT_EQ(outcomes.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            const Expected& e = c.expected[i];
            EXPECT_EQ(outcomes[i].cueRecord, e.cueRecord) << c.name << " #" << i;
            EXPECT_EQ(outcomes[i].startRecord, e.startRecord) << c.name << " #" << i;
            EXPECT_EQ(outcomes[i].records, e.records) << c.name << " #" << i;
            EXPECT_DOUBLE_EQ(outcomes[i].seconds, e.records / kRate) << c.name << " #" << i;
            if (e.stimulus) {
                EXPECT_EQ(outcomes[i].stimulus, e.stimulus) << c.name << " #" << i;
            }
            EXPECT_EQ(outcomes[i].abstained, e.abstained) << c.name << " #" << i;
        }
    }
}

TEST(SsvepTrials, ACueHeldOverSeveralRecordsIsOneOnsetAndResetForgetsTheRun) {
    DecisionRules rules;
    rules.cue = kCue;
    Stream stream = MakeStream(800, {{100, 11.0}}, 3.0);
    for (int r = 101; r < 110; ++r) stream.events[static_cast<std::size_t>(r)] = kCue;
    EXPECT_EQ(RunTrials(rules, stream).size(), 1u);

    SsvepTrials trials(SsvepMethod::Cca, kRate, kFrequencies, 2, rules, 200);
    // Half a trial, then a new run: the open trial is gone and records count from 0.
    for (int r = 0; r < 250; ++r) EXPECT_FALSE(trials.AddRecord(stream.values[r], stream.events[r]));
    trials.Reset();
    std::vector<TrialOutcome> outcomes;
    for (std::size_t r = 0; r < stream.values.size(); ++r)
        if (auto o = trials.AddRecord(stream.values[r], stream.events[r])) outcomes.push_back(*o);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].cueRecord, 100);
}

TEST(SsvepTrials, AdaptationRemovesAClassesStandingBias) {
    // Lead noise carries a steady 7 Hz hum, so raw scores favour stimulus 1
    // whatever is attended; a weak 13 Hz response is found only once each
    // class is judged against its own history.
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 1.0);
    DecisionRules raw;
    raw.cue = kCue;
    raw.offsetSeconds = 0.0;
    DecisionRules adapted = raw;
    adapted.adaptResults = 10;
    Stream stream;
    const int trials = 30;
    for (int t = 0; t < trials; ++t) {
        const double hertz = t % 2 == 0 ? 11.0 : 13.0;
        for (int r = 0; r < 300; ++r) {
            const double hum = 1.2 * std::sin(2 * std::numbers::pi * 7.0 * r / kRate);
            const double signal = 0.6 * std::sin(2 * std::numbers::pi * hertz * r / kRate);
            stream.values.push_back({hum + signal + noise(random), hum + signal + noise(random)});
            stream.events.push_back(r == 0 ? kCue : 0);
        }
    }
    const auto count = [&](const DecisionRules& rules) {
        int right = 0;
        const auto outcomes = RunTrials(rules, stream);
        for (std::size_t i = 10; i < outcomes.size(); ++i) right += outcomes[i].stimulus == (i % 2 == 0 ? 2 : 3);
        return right;
    };
    EXPECT_GT(count(adapted), count(raw) + 5);
}

TEST(ResultLine, PlainTimedAndAbstained) {
    struct Case {
        int stimulus;
        double value;
        bool abstained;
        std::optional<double> seconds;
        const char* expected;
    };
    const Case cases[] = {
        {2, 0.5, false, std::nullopt, "No.2 Value:0.500"},
        {3, 0.12345, false, 1.25, "No.3 Value:0.123 Time:1.25"},
        {1, 0.2, true, 3.0, "No.- Value:0.200 Time:3.00"},
        {1, 0.2, true, std::nullopt, "No.- Value:0.200 Time:0.00"},
    };
    for (const Case& c : cases) EXPECT_EQ(ResultLine(c.stimulus, c.value, c.abstained, c.seconds), c.expected);
}

TEST(RunFigures, CountDecisionsAbstentionsAndMeanTime) {
    RunFigures figures;
    EXPECT_EQ(figures.MeanDecisionSeconds(), 0.0);
    SsvepResult result;
    result.seconds = 1.0;
    figures.Add(result);
    result.seconds = 2.0;
    figures.Add(result);
    result.abstained = true;
    result.seconds = 3.0;
    figures.Add(result);
    EXPECT_EQ(figures.decisions, 2);
    EXPECT_EQ(figures.abstentions, 1);
    EXPECT_DOUBLE_EQ(figures.MeanDecisionSeconds(), 1.5);
}

// The detector, fed packets as Pallock is: a cue in the event slot starts the
// window; lines carry the time; an abstention sends nothing.
TEST(SsvepDetectorRules, CuedWindowsFromTheStream) {
    struct Case {
        const char* name;
        DecisionRules rules;
        double amplitude;
        const char* expectedLine;  // prefix
        bool decided;
        const char* expectedTime;
    };
    DecisionRules cued;
    cued.cue = 7;
    DecisionRules abstaining = cued;
    abstaining.margin = 0.999;
    DecisionRules dynamic = cued;
    dynamic.dynamic = DynamicRange{0.5, 0.5, 2.0};
    dynamic.margin = 0.3;
    const Case cases[] = {
        {"fixed 2 s from 1 s after the cue", cued, 80000.0, "No.2 Value:", true, " Time:2.00"},
        {"short of the margin", abstaining, 0.0, "No.- Value:0.000 Time:2.00", false, " Time:2.00"},
        // fft bins at 0.5 s and 1 s put 12 Hz with 11.5 Hz: no margin before 1.5 s.
        {"a clear response decides once it stands apart", dynamic, 80000.0, "No.2 Value:", true, " Time:1.50"},
    };
    for (const Case& c : cases) {
        SsvepDetector detector;
        ASSERT_TRUE(detector.SetDecisionRules(c.rules)) << c.name;
        std::vector<SsvepResult> results;
        for (int p = 0; p < 100; ++p) {
            auto packet = SinePacket(0, 12.0, c.amplitude, static_cast<long>(p) * kRecordsPerPacket);
            if (p == 10) packet[5 * kSlots + 20] = 7;  // the cue at record 405
            for (auto& r : detector.AddPacketResults(packet)) results.push_back(r);
        }
        ASSERT_EQ(results.size(), 1u) << c.name;
        EXPECT_EQ(results[0].resultLine.rfind(c.expectedLine, 0), 0u) << c.name << ": " << results[0].resultLine;
        EXPECT_EQ(results[0].decided, c.decided) << c.name;
        EXPECT_EQ(results[0].abstained, !c.decided) << c.name;
        EXPECT_EQ(results[0].decisionText, c.decided ? "ID01CH002" : "") << c.name;
        EXPECT_NE(results[0].resultLine.find(c.expectedTime), std::string::npos) << c.name << ": " << results[0].resultLine;
    }
    SsvepDetector detector;
    DecisionRules bad;
    bad.offsetSeconds = -1.0;
    EXPECT_FALSE(detector.SetDecisionRules(bad));
    EXPECT_TRUE(detector.Rules().Plain());
}
