// The evaluation tool's arithmetic and file handling against known cases.

#include <algorithm>
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "acquisition/recording/eol_file.h"
#include "eol_export.h"
#include "eval_options.h"
#include "evaluation.h"
#include "replay.h"
#include "resample.h"
#include "support/temp_dir.h"

namespace {

constexpr double pi = std::numbers::pi;

TEST(Wolpaw, BitsPerSelectionAndMinute) {
    struct Case {
        int classes;
        double accuracy, bits;
    };
    const std::vector<Case> cases = {{2, 1.0, 1.0},         {3, 1.0, std::log2(3.0)}, {3, 1.0 / 3, 0.0},
                                     {3, 0.2, 0.0},         {3, 0.8, 0.663034},       {4, 0.9, 1.372508},
                                     {1, 1.0, 0.0}};
    for (const auto& c : cases) {
        EXPECT_NEAR(WolpawBitsPerSelection(c.classes, c.accuracy), c.bits, 1e-6) << c.classes << " " << c.accuracy;
        EXPECT_NEAR(WolpawBitsPerMinute(c.classes, c.accuracy, 2.0), 30.0 * c.bits, 1e-4);
    }
}

TEST(FindTrials, LabelsBeforeACueOrTheLabelsThemselves) {
    const std::vector<StimulusClass> classes = {{0x8101, 13}, {0x8102, 21}};
    const std::vector<RecordingEvent> events = {
        {10, 0x8101}, {20, 0x800B}, {30, 0x800C},   // a 13 Hz trial
        {40, 0x8100}, {50, 0x800B},                 // rest: not a class
        {60, 0x8102}, {70, 0x800B},                 // a 21 Hz trial
        {80, 0x800B},                               // a cue with no label since the last
        {90, 0x8101}};                              // a label never cued
    const auto cued = FindTrials(events, classes, 0x800Bu);
    ASSERT_EQ(cued.size(), 2u);
    EXPECT_EQ(cued[0].anchor, 20);
    EXPECT_EQ(cued[0].stimulus, 0);
    EXPECT_EQ(cued[1].anchor, 70);
    EXPECT_EQ(cued[1].stimulus, 1);
    const auto labelled = FindTrials(events, classes, std::nullopt);
    ASSERT_EQ(labelled.size(), 3u);
    EXPECT_EQ(labelled[2].anchor, 90);
}

TEST(Tally, CountsMergeAndAccuracy) {
    Tally first(3), second(3);
    first.Add(0, 0);
    first.Add(1, 2);
    second.Add(2, 2);
    second.Add(2, 2);
    first.Merge(second);
    EXPECT_EQ(first.Windows(), 4);
    EXPECT_EQ(first.Correct(), 3);
    EXPECT_DOUBLE_EQ(first.Accuracy(), 0.75);
    EXPECT_EQ(first.Confusion()[2][2], 2);
    EXPECT_EQ(first.Confusion()[1][2], 1);
    EXPECT_EQ(Tally(3).Accuracy(), 0.0);
}

// Playback rewinds once no more than one packet remains.
TEST(PlayedRecords, LeaveOutTheLastWholePacket) {
    const std::vector<std::tuple<std::int64_t, int, std::int64_t>> cases = {
        {1000, 40, 960}, {1010, 40, 1000}, {40, 40, 40}, {50, 40, 40}, {39, 40, 0}, {0, 40, 0}, {63040, 32, 63008}};
    for (const auto& [records, packet, played] : cases) EXPECT_EQ(PlayedRecords(records, packet), played) << records;
}

Eigen::MatrixXd Sines(int length, double rate, std::initializer_list<double> hertz) {
    Eigen::MatrixXd column = Eigen::MatrixXd::Zero(length, 1);
    for (int k = 0; k < length; ++k)
        for (double f : hertz) column(k, 0) += std::sin(2 * pi * f * k / rate);
    return column;
}

TEST(ResampleColumns, KeepsWhatBothRatesCarryAndDropsTheRest) {
    // 13 Hz from 256 to 1000 samples per second, from a time between samples.
    const Eigen::MatrixXd up = ResampleColumns(Sines(1024, 256, {13}), 256, 1.0013, 1000, 1000);
    for (int j = 0; j < 1000; ++j) EXPECT_NEAR(up(j, 0), std::sin(2 * pi * 13 * (1.0013 + j / 1000.0)), 2e-3) << j;
    // 13 Hz and 300 Hz from 1000 to 256: 300 Hz lies above the new half rate.
    const Eigen::MatrixXd down = ResampleColumns(Sines(4000, 1000, {13, 300}), 1000, 1.0, 256, 256);
    for (int j = 0; j < 256; ++j) EXPECT_NEAR(down(j, 0), std::sin(2 * pi * 13 * (1.0 + j / 256.0)), 2e-3) << j;
}

// A recording held in memory.
class MemoryRecording : public Recording {
public:
    MemoryRecording(double rate, Eigen::MatrixXd samples, std::vector<RecordingEvent> list) : samples(std::move(samples)) {
        sampleRate = rate;
        sampleCount = this->samples.rows();
        events = std::move(list);
        for (Eigen::Index c = 0; c < this->samples.cols(); ++c) leadNames.push_back("L" + std::to_string(c));
    }
private:
    bool ReadInside(std::int64_t first, std::int64_t count, Eigen::MatrixXd& out) override {
        out = samples.middleRows(first, count);
        return true;
    }

    Eigen::MatrixXd samples;
};

TEST(EolExport, ScalesAndPackets) {
    EXPECT_EQ(CountsPerUnit(0.153), 1e9);
    EXPECT_EQ(CountsPerUnit(100), 1e7);
    EXPECT_EQ(CountsPerUnit(0), 1.0);
    EXPECT_EQ(PacketSizeFor(256), 32);
    EXPECT_EQ(PacketSizeFor(1000), 40);
    EXPECT_EQ(PacketSizeFor(250), 4);
}

TEST(EolExport, ReadsBackAsWritten) {
    TempDir dir;
    Eigen::MatrixXd samples(100, 9);
    for (int k = 0; k < 100; ++k)
        for (int c = 0; c < 9; ++c) samples(k, c) = 0.001 * std::sin(k + c);
    MemoryRecording source(256, samples, {{10, 0x8101}, {10, 0x800B}, {40, 7}});
    EolExport written;
    std::string error;
    ASSERT_TRUE(WriteEolRecording(source, dir.File("out.EOL"), written, error)) << error;
    EXPECT_EQ(written.packetSize, 32);
    EXPECT_EQ(written.eventsMoved, 1);

    // The ninth lead went to lead 11, past the two zero slots.
    auto eol = OpenRecording(dir.File("out.EOL"), {"1", "9", "11"}, error);
    ASSERT_TRUE(eol) << error;
    EXPECT_EQ(eol->SampleRate(), 256);
    EXPECT_EQ(eol->SampleCount(), 100);
    Eigen::MatrixXd read;
    ASSERT_TRUE(eol->Read(0, 100, read));
    // Each value is its stored count times the detector's scale; each count is
    // the recorded value times the gain, rounded.
    const Eigen::MatrixXd counts = read / SsvepDetector::sampleScale;
    EXPECT_LE((counts.col(0) - samples.col(0) * written.countsPerUnit).cwiseAbs().maxCoeff(), 0.5 + 1e-6);
    EXPECT_EQ(counts.col(1).cwiseAbs().maxCoeff(), 0.0);
    EXPECT_LE((counts.col(2) - samples.col(8) * written.countsPerUnit).cwiseAbs().maxCoeff(), 0.5 + 1e-6);
    ASSERT_EQ(eol->Events().size(), 3u);
    EXPECT_EQ(eol->Events()[1].sample, 11);  // its own record held the label
    EXPECT_EQ(eol->Events()[1].code, 0x800Bu);
    EXPECT_FALSE(OpenRecording(dir.File("out.EOL"), {"22"}, error));
}

// 17 Hz on lead 1 everywhere but in the last whole packet, which holds a far
// stronger 13 Hz: the playback never sends it, so no window sees it.
TEST(ReplayRecording, FollowsThePlaybackAroundItsRewind) {
    TempDir dir;
    std::vector<SampleRecord> records(32 * 40);
    for (std::size_t r = 0; r < records.size(); ++r) {
        const bool last = r >= records.size() - 32;
        records[r].slots[0] = static_cast<std::int32_t>(std::lround(
            (last ? 1e8 : 1e5) * std::sin(2 * pi * (last ? 13.0 : 17.0) * static_cast<double>(r) / 256)));
    }
    EolFile file;
    ASSERT_TRUE(file.Create(dir.File("loop.EOL")) && file.WriteHeader(256, 32, 1.0) && file.Append(records));
    file.Close();

    ReplaySettings settings;
    settings.frequencies = {13, 21, 17, 13, 21, 17};
    settings.fromRecord = 1000;
    settings.windowCount = 2;
    std::vector<SsvepResult> results;
    std::string error;
    ASSERT_TRUE(ReplayRecording(dir.File("loop.EOL"), settings, results, error)) << error;
    ASSERT_EQ(results.size(), 2u);
    for (const auto& result : results) EXPECT_EQ(result.stimulus, 3);

    settings.fromRecord = 0;
    settings.windowCount.reset();
    ASSERT_TRUE(ReplayRecording(dir.File("loop.EOL"), settings, results, error));
    EXPECT_EQ(results.size(), 2u);  // 1248 records played, windows of 512
    settings.fromRecord = 1248;
    EXPECT_FALSE(ReplayRecording(dir.File("loop.EOL"), settings, results, error));
}

TEST(EvalOptions, GoodAndBadCommandLines) {
    std::string error;
    auto options = ParseEvalOptions({"a.gdf", "b.gdf", "--events", "0x8101=13,33026=21", "--cue", "0x800B", "--offset",
                                     "1", "--method", "fbcca", "--leads", "Oz,O1", "--rate", "1000", "--subbands", "5"},
                                    error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->files.size(), 2u);
    EXPECT_EQ(options->classes[1].code, 0x8102u);
    EXPECT_EQ(options->cue, 0x800Bu);
    EXPECT_EQ(options->cut.offsetSeconds, 1.0);
    EXPECT_EQ(options->settings.subBands, 5);
    EXPECT_EQ(options->leads, (std::vector<std::string>{"Oz", "O1"}));
    EXPECT_TRUE(ParseEvalOptions({"--help"}, error)->help);

    const std::vector<std::vector<std::string>> bad = {
        {},
        {"a.gdf"},
        {"a.gdf", "--events", "0x8101=13"},
        {"a.gdf", "--events", "1=13,1=21"},
        {"a.gdf", "--events", "1=13,2=-21"},
        {"a.gdf", "--events", "1=13,2=21", "--window", "0"},
        {"a.gdf", "--events", "1=13,2=21", "--method", "svm"},
        {"a.gdf", "--events", "1=13,2=21", "--harmonics", "11"},
        {"a.gdf", "--events", "1=13,2=21", "--leads", "Oz,,O1"},
        {"a.gdf", "--events", "1=13,2=21", "--bogus"},
        {"a.EOL", "--from-record", "-1"},
        {"a.EOL", "--from-record", "0", "--rate", "256.5"},
        {"a.EOL", "--from-record", "0", "--harmonics", "5"},
        {"a.EOL", "b.EOL", "--from-record", "0"},
        {"a.gdf", "--write-eol", "x.EOL", "--from-record", "0"},
        {"a.gdf", "--cue"},
        {"a.gdf", "--events", "1=13,2=21", "--dynamic", "1:0.25:3"},  // no cue to find the trials
        {"a.gdf", "--events", "1=13,2=21", "--cue", "3", "--dynamic", "3:0.25:1"},
        {"a.gdf", "--events", "1=13,2=21", "--cue", "3", "--margin", "-0.1"},
        {"a.gdf", "--events", "1=13,2=21", "--cue", "3", "--adapt", "0"},
        {"a.gdf", "--events", "1=13,2=21", "--cue", "3", "--gaze", "-1"},
        {"a.gdf", "--events", "1=13,2=21", "--cue", "3", "--rest", "x"},
        {"a.gdf", "--events", "1=13,2=21", "--cue", "3", "--margin", "0.2", "--rate", "500"},
        {"a.gdf", "--events", "1=13,2=21", "--cue", "3", "--margin", "0.2", "--offset", "-1"},
        {"a.EOL", "--from-record", "0", "--rest", "5"},
        {"a.gdf", "--write-eol", "x.EOL", "--margin", "0.2"}};
    for (const auto& arguments : bad) {
        error.clear();
        EXPECT_FALSE(ParseEvalOptions(arguments, error)) << testing::PrintToString(arguments);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(EvalOptions, DecisionOptionsMakeTheDetectorsRules) {
    std::string error;
    auto options = ParseEvalOptions({"a.gdf", "--events", "1=13,2=21", "--cue", "0x800B", "--offset", "1", "--dynamic",
                                     "1:0.25:3", "--margin", "1", "--adapt", "20", "--abstain", "--rest", "0x8100",
                                     "--gaze", "0.5"},
                                    error);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->DecidesTrials());
    const DecisionRules rules = options->Rules();
    EXPECT_EQ(rules.cue, 0x800B);
    EXPECT_EQ(rules.offsetSeconds, 1.0);
    EXPECT_EQ(rules.dynamic, (DynamicRange{1.0, 0.25, 3.0}));
    EXPECT_EQ(rules.margin, 1.0);
    EXPECT_EQ(rules.adaptResults, 20);
    EXPECT_TRUE(rules.abstainAtEnd);
    EXPECT_EQ(options->restCode, 0x8100u);
    EXPECT_EQ(options->gazeSeconds, 0.5);
    // Without them the evaluation is as it was; a replay with a cue starts 1 s after it, as Pallock.
    options = ParseEvalOptions({"a.gdf", "--events", "1=13,2=21", "--cue", "3"}, error);
    ASSERT_TRUE(options);
    EXPECT_FALSE(options->DecidesTrials());
    options = ParseEvalOptions({"a.EOL", "--from-record", "0", "--cue", "3"}, error);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->Rules().offsetSeconds, 1.0);
    EXPECT_FALSE(options->Rules().Plain());
}

TEST(LabelCues, EachCueTakesTheLabelSinceThePreviousOne) {
    const std::vector<RecordingEvent> events = {
        {10, 0x8101}, {20, 0x800B}, {30, 0x800C},  // a 13 Hz trial
        {40, 0x8100}, {50, 0x800B},                // rest
        {55, 0x8001}, {60, 0x800B},                // a cue without a label
        {70, 0x8102}, {70, 0x800B}};               // label and cue on one sample
    const std::vector<std::uint32_t> labels = {0x8101, 0x8102, 0x8100};
    const auto cues = LabelCues(events, 0x800B, labels);
    ASSERT_EQ(cues.size(), 4u);
    const std::vector<std::pair<std::int64_t, std::uint32_t>> expected = {
        {20, 0x8101}, {50, 0x8100}, {60, 0}, {70, 0x8102}};
    for (std::size_t i = 0; i < cues.size(); ++i) {
        EXPECT_EQ(cues[i].sample, expected[i].first) << i;
        EXPECT_EQ(cues[i].label, expected[i].second) << i;
    }
    const auto slots = CueSlots(events, 0x800B, 65);
    ASSERT_EQ(slots.size(), 65u);
    EXPECT_EQ(std::count(slots.begin(), slots.end(), 0x800B), 3);  // the one at 70 lies beyond
    EXPECT_EQ(slots[20], 0x800B);
    EXPECT_EQ(slots[10], 0);
}

TEST(DecisionTally, AccuracyShareTimeAndRate) {
    const auto outcome = [](int stimulus, double seconds, bool abstained) {
        TrialOutcome o;
        o.stimulus = stimulus;
        o.seconds = seconds;
        o.abstained = abstained;
        return o;
    };
    DecisionTally first(3), second(3);
    first.Add(0, outcome(1, 1.0, false));
    first.Add(1, outcome(3, 2.0, false));  // wrong
    first.Add(2, outcome(1, 3.0, true));   // abstained: costs its time, counts as not right
    second.Add(2, outcome(3, 1.5, false));
    second.AddRest(outcome(1, 3.0, true));
    second.AddRest(outcome(2, 1.0, false));
    first.Merge(second);
    EXPECT_EQ(first.Trials(), 4);
    EXPECT_EQ(first.Decided(), 3);
    EXPECT_EQ(first.Correct(), 2);
    EXPECT_DOUBLE_EQ(first.AccuracyOfDecided(), 2.0 / 3);
    EXPECT_DOUBLE_EQ(first.AccuracyOfAll(), 0.5);
    EXPECT_DOUBLE_EQ(first.ShareDecided(), 0.75);
    EXPECT_DOUBLE_EQ(first.MeanDecisionSeconds(), 1.5);
    EXPECT_EQ(first.RestTrials(), 2);
    EXPECT_EQ(first.RestDecided(), 1);
    // Three decisions at 2/3 right over 7.5 s of windows and 4 × 1 s of gaze.
    EXPECT_NEAR(first.BitsPerMinute(1.0), WolpawBitsPerSelection(3, 2.0 / 3) * 3 * 60.0 / 11.5, 1e-12);
    // All right and decided: the plain rate over window plus gaze.
    DecisionTally clean(3);
    for (int i = 0; i < 3; ++i) clean.Add(i, outcome(i + 1, 2.0, false));
    EXPECT_NEAR(clean.BitsPerMinute(1.0), WolpawBitsPerMinute(3, 1.0, 3.0), 1e-12);
    EXPECT_EQ(DecisionTally(3).BitsPerMinute(1.0), 0.0);
}

}  // namespace
