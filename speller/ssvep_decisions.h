#pragma once
// When the detector decides, and whether it decides at all:
// - windows start at a cue event (the stimulus came on) some time later, or
//   back to back as the stream runs;
// - a window may grow step by step until the best stimulus stands far enough
//   above the second (dynamic stopping);
// - each stimulus's score may be judged against its own recent history rather
//   than raw (label-free adaptation: a stimulus that always scores high loses
//   its head start);
// - a window whose margin stays short may abstain: nothing is sent.
//
// Qt-free and single-threaded: an SsvepTrials belongs to one SsvepDetector
// (Pallock's window thread) or to the evaluation tool's only thread, which
// feed it the same records the same way.

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <Eigen/Core>

#include "ssvep_methods.h"

// Window lengths in seconds: from minSeconds, stepSeconds longer each time, up
// to maxSeconds.
struct DynamicRange {
    double minSeconds = 1.0;
    double stepSeconds = 0.25;
    double maxSeconds = 3.0;
    bool operator==(const DynamicRange&) const = default;
};

// "MIN:STEP:MAX", each a number of seconds, 0 < MIN <= MAX <= 60, STEP > 0.
std::optional<DynamicRange> ParseDynamicRange(std::string_view text);
std::string FormatDynamicRange(const DynamicRange& range);

struct DecisionRules {
    std::optional<std::int32_t> cue;  // event code that starts a trial
    double offsetSeconds = 1.0;       // from the cue to the window's start, 0 to 60
    std::optional<DynamicRange> dynamic;
    std::optional<double> margin;     // relative, or of z-scores with adaptation
    int adaptResults = 0;             // 0: raw scores
    bool abstainAtEnd = false;        // with dynamic: abstain instead of deciding at the longest window
    bool operator==(const DecisionRules&) const = default;

    // Back-to-back windows, every one decided on raw scores: the detector as it
    // always was.
    bool Plain() const { return !cue && !dynamic && !margin && adaptResults == 0; }
    // Result lines name the signal time used.
    bool TimedLines() const { return cue.has_value() || dynamic.has_value(); }
};

// An event code as typed: decimal, or hexadecimal after 0x; 1 to 2^31 - 1
// (0 is no event).
std::optional<std::int32_t> ParseEventCode(std::string_view text);
// "0x800B".
std::string FormatEventCode(std::int32_t code);

inline constexpr int maxAdaptResults = 1000;
inline constexpr double maxRuleSeconds = 60.0;

// Rules that cannot be run: an offset below 0 or above 60 s, a margin below 0
// or not finite, adaptation over more than 1000 results or fewer than 0, a
// range that ParseDynamicRange would refuse.
bool ValidDecisionRules(const DecisionRules& rules);

// Window lengths in records for a range at a rate: each step rounded to whole
// records, at least one, repeats left out; the longest is always the last.
std::vector<int> WindowSteps(const DynamicRange& range, double sampleRate);

// (best - second) / best of the scores; 0 with fewer than two scores or a
// best that is not above 0.
double RelativeMargin(std::span<const double> scores);
// best - second; 0 with fewer than two scores.
double ScoreGap(std::span<const double> scores);

// Each stimulus's scores over the last `depth` results, to turn a new score
// into a z-score against that stimulus's own history.
class ClassStandardiser {
public:
    explicit ClassStandardiser(int depth) : depth(depth) {}
    void Add(std::span<const double> scores);
    // Half the depth (at least one result) is in.
    bool Ready() const;
    // (score - mean) / deviation per stimulus; a stimulus whose history does
    // not vary is measured in raw units from its mean.
    std::vector<double> Standardise(std::span<const double> scores) const;
    void Clear() { history.clear(); }
    int Size() const { return static_cast<int>(history.size()); }

private:
    int depth;
    std::deque<std::vector<double>> history;
};

enum class StepVerdict { Wait, Decide, Abstain };

// The verdict on one window: decide once the margin reaches the required one
// (always without one), else wait for a longer window, and at the last one
// decide anyway or abstain.
StepVerdict JudgeStep(double margin, std::optional<double> required, bool lastStep, bool abstainAtLast);

struct TrialOutcome {
    int stimulus = 1;          // 1-based
    double value = 0.0;        // the method's raw score of that stimulus
    double margin = 0.0;       // as judged
    bool abstained = false;
    int records = 0;           // the window's length
    double seconds = 0.0;      // records / rate
    std::int64_t startRecord = 0;  // the window's first record, counted from the first fed
    std::int64_t cueRecord = -1;   // the cue's record; -1 without cues
};

// Cuts windows from a stream of records and decides on them by the rules.
class SsvepTrials {
public:
    // fixedRecords: the window length without a dynamic range. leadCount: the
    // values per record. rules must be valid.
    SsvepTrials(SsvepMethod method, double sampleRate, std::span<const double> frequencies, int leadCount,
                const DecisionRules& rules, int fixedRecords, const SsvepMethodSettings& settings = {});
    ~SsvepTrials();
    SsvepTrials(const SsvepTrials&) = delete;
    SsvepTrials& operator=(const SsvepTrials&) = delete;

    // One record: its leads' values (leadCount of them) and its event code.
    // Returns the outcome of the trial this record ends, if any.
    std::optional<TrialOutcome> AddRecord(std::span<const double> values, std::int32_t event);

    // A new run: no trial under way, no history, records counted from 0.
    void Reset();

    const std::vector<int>& Steps() const { return steps; }

private:
    void StartTrial(std::int64_t firstRecord, std::int64_t cueRecord);
    TrialOutcome Judge(int step, bool& finished);
    std::vector<double> ScoresAt(int step);

    DecisionRules rules;
    double sampleRate;
    int leadCount;
    std::vector<int> steps;
    std::vector<std::unique_ptr<SsvepAnalyser>> analysers;  // one per step
    // One per step: scores shrink as windows grow. At cues each trial teaches
    // every step's history, up to the longest window, whenever it decided.
    std::vector<ClassStandardiser> histories;
    Eigen::MatrixXd buffer;                                  // the trial's records so far
    Eigen::MatrixXd window;
    std::int64_t nextRecord = 0;
    std::int32_t previousEvent = 0;
    bool underWay = false;
    // Decided, still hearing the trial so that the histories of the longer
    // windows learn from it too.
    bool decided = false;
    std::int64_t trialStart = 0;
    std::int64_t trialCue = -1;
    int filled = 0;
    int step = 0;
};
