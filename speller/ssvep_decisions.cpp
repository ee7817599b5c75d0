#include "ssvep_decisions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

std::optional<double> ReadSeconds(std::string_view text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, failure] = std::from_chars(text.data(), end, value);
    if (text.empty() || failure != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string Seconds(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("?");
}

bool ValidRange(const DynamicRange& r) {
    return r.minSeconds > 0.0 && r.stepSeconds > 0.0 && r.maxSeconds >= r.minSeconds &&
           r.maxSeconds <= maxRuleSeconds;
}

// The two largest scores.
std::pair<double, double> BestTwo(std::span<const double> scores) {
    double best = -HUGE_VAL;
    double second = -HUGE_VAL;
    for (double s : scores) {
        if (s > best) {
            second = best;
            best = s;
        } else if (s > second) {
            second = s;
        }
    }
    return {best, second};
}

}  // namespace

std::optional<DynamicRange> ParseDynamicRange(std::string_view text) {
    const auto first = text.find(':');
    const auto last = text.rfind(':');
    if (first == std::string_view::npos || first == last) return std::nullopt;
    const auto low = ReadSeconds(text.substr(0, first));
    const auto step = ReadSeconds(text.substr(first + 1, last - first - 1));
    const auto high = ReadSeconds(text.substr(last + 1));
    if (!low || !step || !high) return std::nullopt;
    const DynamicRange range{*low, *step, *high};
    if (!ValidRange(range)) return std::nullopt;
    return range;
}

std::optional<std::int32_t> ParseEventCode(std::string_view text) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, failure] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || failure != std::errc() || ptr != end || value <= 0) return std::nullopt;
    return value;
}

std::string FormatEventCode(std::int32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(code));
    return text;
}

std::string FormatDynamicRange(const DynamicRange& range) {
    return Seconds(range.minSeconds) + ":" + Seconds(range.stepSeconds) + ":" + Seconds(range.maxSeconds);
}

bool ValidDecisionRules(const DecisionRules& rules) {
    if (!(rules.offsetSeconds >= 0.0 && rules.offsetSeconds <= maxRuleSeconds)) return false;
    if (rules.margin && !(*rules.margin >= 0.0 && std::isfinite(*rules.margin))) return false;
    if (rules.adaptResults < 0 || rules.adaptResults > maxAdaptResults) return false;
    return !rules.dynamic || ValidRange(*rules.dynamic);
}

std::vector<int> WindowSteps(const DynamicRange& range, double sampleRate) {
    const auto records = [sampleRate](double seconds) {
        return std::max(1, static_cast<int>(std::lround(seconds * sampleRate)));
    };
    const int longest = records(range.maxSeconds);
    std::vector<int> steps;
    // Counted in steps rather than summed, so that 0.1 s steps do not drift.
    for (int k = 0;; ++k) {
        const double seconds = range.minSeconds + k * range.stepSeconds;
        if (seconds > range.maxSeconds + 1e-9) break;
        const int length = std::min(records(seconds), longest);
        if (steps.empty() || length > steps.back()) steps.push_back(length);
    }
    if (steps.empty() || steps.back() != longest) steps.push_back(longest);
    return steps;
}

double RelativeMargin(std::span<const double> scores) {
    if (scores.size() < 2) return 0.0;
    const auto [best, second] = BestTwo(scores);
    if (!(best > 0.0)) return 0.0;
    return (best - second) / best;
}

double ScoreGap(std::span<const double> scores) {
    if (scores.size() < 2) return 0.0;
    const auto [best, second] = BestTwo(scores);
    return best - second;
}

void ClassStandardiser::Add(std::span<const double> scores) {
    if (depth <= 0) return;
    history.emplace_back(scores.begin(), scores.end());
    while (static_cast<int>(history.size()) > depth) history.pop_front();
}

bool ClassStandardiser::Ready() const { return depth > 0 && Size() >= std::max(1, depth / 2); }

std::vector<double> ClassStandardiser::Standardise(std::span<const double> scores) const {
    std::vector<double> z(scores.begin(), scores.end());
    if (history.empty()) return z;
    const double n = static_cast<double>(history.size());
    for (std::size_t i = 0; i < z.size(); ++i) {
        double sum = 0.0;
        double squares = 0.0;
        for (const auto& past : history) {
            const double s = i < past.size() ? past[i] : 0.0;
            sum += s;
            squares += s * s;
        }
        const double mean = sum / n;
        const double deviation = std::sqrt(std::max(0.0, squares / n - mean * mean));
        z[i] = deviation > 0.0 ? (scores[i] - mean) / deviation : scores[i] - mean;
    }
    return z;
}

StepVerdict JudgeStep(double margin, std::optional<double> required, bool lastStep, bool abstainAtLast) {
    if (!required || margin >= *required) return StepVerdict::Decide;
    if (!lastStep) return StepVerdict::Wait;
    return abstainAtLast ? StepVerdict::Abstain : StepVerdict::Decide;
}

SsvepTrials::SsvepTrials(SsvepMethod method, double sampleRate, std::span<const double> frequencies, int leadCount,
                         const DecisionRules& rules, int fixedRecords, const SsvepMethodSettings& settings)
    : rules(rules), sampleRate(sampleRate), leadCount(std::max(leadCount, 1)) {
    steps = rules.dynamic ? WindowSteps(*rules.dynamic, sampleRate) : std::vector<int>{std::max(fixedRecords, 1)};
    for (int length : steps) {
        analysers.push_back(std::make_unique<SsvepAnalyser>(method, sampleRate, length, frequencies, settings));
        histories.emplace_back(rules.adaptResults);
    }
    buffer.resize(steps.back(), this->leadCount);
}

SsvepTrials::~SsvepTrials() = default;

void SsvepTrials::Reset() {
    for (auto& history : histories) history.Clear();
    nextRecord = 0;
    previousEvent = 0;
    underWay = false;
}

void SsvepTrials::StartTrial(std::int64_t firstRecord, std::int64_t cueRecord) {
    // A cue while a trial is still open replaces it: the user has moved on.
    underWay = true;
    decided = false;
    trialStart = firstRecord;
    trialCue = cueRecord;
    filled = 0;
    step = 0;
}

std::optional<TrialOutcome> SsvepTrials::AddRecord(std::span<const double> values, std::int32_t event) {
    const std::int64_t record = nextRecord++;
    const bool onset = rules.cue && event == *rules.cue && previousEvent != *rules.cue;
    previousEvent = event;
    if (onset) {
        StartTrial(record + std::llround(rules.offsetSeconds * sampleRate), record);
    } else if (!rules.cue && !underWay) {
        StartTrial(record, -1);
    }
    if (!underWay || record < trialStart) return std::nullopt;

    for (int j = 0; j < leadCount; ++j)
        buffer(filled, j) = j < static_cast<int>(values.size()) ? values[static_cast<std::size_t>(j)] : 0.0;
    ++filled;
    if (filled < steps[static_cast<std::size_t>(step)]) return std::nullopt;

    if (decided) {
        histories[static_cast<std::size_t>(step)].Add(ScoresAt(step));
        if (++step == static_cast<int>(steps.size())) underWay = false;
        return std::nullopt;
    }
    bool finished = false;
    TrialOutcome outcome = Judge(step, finished);
    ++step;
    if (!finished) return std::nullopt;
    // Back to back the next window starts at once; at cues the trial is heard
    // to its end while adaptation wants it.
    decided = true;
    const bool hearOn = rules.cue && rules.adaptResults > 0 && step < static_cast<int>(steps.size());
    if (!hearOn) underWay = false;
    return outcome;
}

std::vector<double> SsvepTrials::ScoresAt(int at) {
    const auto index = static_cast<std::size_t>(at);
    window = buffer.topRows(steps[index]);
    return analysers[index]->Scores(window);
}

TrialOutcome SsvepTrials::Judge(int at, bool& finished) {
    const auto index = static_cast<std::size_t>(at);
    const int length = steps[index];
    const std::vector<double> scores = ScoresAt(at);

    ClassStandardiser& history = histories[index];
    const bool adapted = history.Ready();
    const std::vector<double> judged = adapted ? history.Standardise(scores) : scores;
    const StimulusChoice choice = ChooseStimulus(judged);
    const double margin = adapted ? ScoreGap(judged) : RelativeMargin(judged);
    // The history takes every window it is asked about, decided or not: no
    // label is needed, only the session's own scores.
    history.Add(scores);

    const bool last = index + 1 == steps.size();
    const bool abstainAtLast = rules.dynamic ? rules.abstainAtEnd : rules.margin.has_value();
    const StepVerdict verdict = JudgeStep(margin, rules.margin, last, abstainAtLast);
    finished = verdict != StepVerdict::Wait;

    TrialOutcome outcome;
    outcome.stimulus = choice.stimulus;
    outcome.value = scores.empty() ? 0.0 : scores[static_cast<std::size_t>(choice.stimulus - 1)];
    outcome.margin = margin;
    outcome.abstained = verdict == StepVerdict::Abstain;
    outcome.records = length;
    outcome.seconds = length / sampleRate;
    outcome.startRecord = trialStart;
    outcome.cueRecord = trialCue;
    return outcome;
}
