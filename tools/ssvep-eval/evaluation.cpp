#include "evaluation.h"

#include <algorithm>
#include <cmath>

#include "resample.h"

std::vector<Trial> FindTrials(std::span<const RecordingEvent> events, std::span<const StimulusClass> classes,
                              std::optional<std::uint32_t> cue) {
    const auto classOf = [&](std::uint32_t code) -> std::optional<int> {
        for (std::size_t i = 0; i < classes.size(); ++i)
            if (classes[i].code == code) return static_cast<int>(i);
        return std::nullopt;
    };
    std::vector<Trial> trials;
    constexpr int none = -1;
    int pending = none;  // the class announced since the previous cue
    for (const RecordingEvent& event : events) {
        if (cue && event.code == *cue) {
            if (pending != none) trials.push_back({event.sample, pending});
            pending = none;
        } else if (const auto stimulus = classOf(event.code)) {
            if (cue)
                pending = *stimulus;
            else
                trials.push_back({event.sample, *stimulus});
        }
    }
    return trials;
}

namespace {

// The window at the method's rate, or nothing when it is not wholly inside
// the recording or holds a value that is not finite.
std::optional<Eigen::MatrixXd> CutWindow(Recording& recording, std::int64_t anchor, const WindowCut& cut, double rate,
                                         int length) {
    const double fileRate = recording.SampleRate();
    Eigen::MatrixXd window;
    if (rate == fileRate) {
        const std::int64_t first = anchor + std::llround(cut.offsetSeconds * fileRate);
        if (!recording.Read(first, length, window)) return std::nullopt;
    } else {
        const double start = anchor / fileRate + cut.offsetSeconds;
        const double end = start + length / rate;
        if (start < 0.0 || end * fileRate > static_cast<double>(recording.SampleCount())) return std::nullopt;
        const int margin = ResampleMargin(fileRate, rate);
        const std::int64_t first = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::floor(start * fileRate)) - margin);
        const std::int64_t last = std::min<std::int64_t>(recording.SampleCount() - 1,
                                                         static_cast<std::int64_t>(std::ceil(end * fileRate)) + margin);
        Eigen::MatrixXd span;
        if (!recording.Read(first, last - first + 1, span)) return std::nullopt;
        window = ResampleColumns(span, fileRate, start - first / fileRate, rate, length);
    }
    if (!window.allFinite()) return std::nullopt;
    return window;
}

}  // namespace

RecordingDecisions EvaluateTrials(Recording& recording, std::span<const Trial> trials,
                                  std::span<const StimulusClass> classes, SsvepMethod method,
                                  const SsvepMethodSettings& settings, const WindowCut& cut) {
    const double rate = cut.rate.value_or(recording.SampleRate());
    const int length = static_cast<int>(std::lround(cut.windowSeconds * rate));
    std::vector<double> frequencies;
    for (const StimulusClass& c : classes) frequencies.push_back(c.frequency);
    SsvepAnalyser analyser(method, rate, length, frequencies, settings);

    RecordingDecisions result;
    for (const Trial& trial : trials) {
        const auto window = CutWindow(recording, trial.anchor, cut, rate, length);
        if (!window) {
            ++result.skipped;
            continue;
        }
        const double start = trial.anchor / recording.SampleRate() + cut.offsetSeconds;
        result.decisions.push_back({start, trial.stimulus, analyser.Choose(*window)});
    }
    return result;
}

Tally::Tally(int classes) : confusion(static_cast<std::size_t>(classes), std::vector<int>(static_cast<std::size_t>(classes), 0)) {}

void Tally::Add(int trueStimulus, int decidedStimulus) {
    ++confusion.at(static_cast<std::size_t>(trueStimulus)).at(static_cast<std::size_t>(decidedStimulus));
    ++windows;
}

void Tally::Merge(const Tally& other) {
    for (std::size_t i = 0; i < confusion.size(); ++i)
        for (std::size_t j = 0; j < confusion.size(); ++j) confusion[i][j] += other.confusion.at(i).at(j);
    windows += other.windows;
}

int Tally::Correct() const {
    int correct = 0;
    for (std::size_t i = 0; i < confusion.size(); ++i) correct += confusion[i][i];
    return correct;
}

double Tally::Accuracy() const { return windows == 0 ? 0.0 : static_cast<double>(Correct()) / windows; }

double WolpawBitsPerSelection(int classes, double accuracy) {
    if (classes < 2 || !(accuracy > 1.0 / classes)) return 0.0;
    const double n = classes;
    double bits = std::log2(n) + accuracy * std::log2(accuracy);
    if (accuracy < 1.0) bits += (1.0 - accuracy) * std::log2((1.0 - accuracy) / (n - 1.0));
    return bits;
}

double WolpawBitsPerMinute(int classes, double accuracy, double secondsPerSelection) {
    if (!(secondsPerSelection > 0.0)) return 0.0;
    return WolpawBitsPerSelection(classes, accuracy) * 60.0 / secondsPerSelection;
}

void PrintTally(std::FILE* out, const std::string& title, const Tally& tally, std::span<const StimulusClass> classes,
                double secondsPerSelection) {
    std::fprintf(out, "%s: windows %d, correct %d, accuracy %.1f %%, ITR %.2f bits/min\n", title.c_str(),
                 tally.Windows(), tally.Correct(), 100.0 * tally.Accuracy(),
                 WolpawBitsPerMinute(tally.Classes(), tally.Accuracy(), secondsPerSelection));
    std::fprintf(out, "  %-12s", "true\\decided");
    for (const StimulusClass& c : classes) std::fprintf(out, " %8g Hz", c.frequency);
    std::fputc('\n', out);
    for (std::size_t i = 0; i < classes.size(); ++i) {
        std::fprintf(out, "  %9g Hz", classes[i].frequency);
        for (int count : tally.Confusion()[i]) std::fprintf(out, " %11d", count);
        std::fputc('\n', out);
    }
}

std::vector<LabelledCue> LabelCues(std::span<const RecordingEvent> events, std::uint32_t cue,
                                   std::span<const std::uint32_t> labelCodes) {
    std::vector<LabelledCue> cues;
    std::uint32_t pending = 0;
    for (const RecordingEvent& event : events) {
        if (event.code == cue) {
            cues.push_back({event.sample, pending});
            pending = 0;
        } else if (std::find(labelCodes.begin(), labelCodes.end(), event.code) != labelCodes.end()) {
            pending = event.code;
        }
    }
    return cues;
}

std::vector<std::int32_t> CueSlots(std::span<const RecordingEvent> events, std::uint32_t cue, std::int64_t samples) {
    std::vector<std::int32_t> slots(static_cast<std::size_t>(std::max<std::int64_t>(samples, 0)), 0);
    for (const RecordingEvent& event : events)
        if (event.code == cue && event.sample >= 0 && event.sample < samples)
            slots[static_cast<std::size_t>(event.sample)] = static_cast<std::int32_t>(cue);
    return slots;
}

std::vector<TrialOutcome> DecideTrials(Recording& recording, std::span<const StimulusClass> classes,
                                       SsvepMethod method, const SsvepMethodSettings& settings,
                                       const DecisionRules& rules, double fixedSeconds) {
    std::vector<TrialOutcome> outcomes;
    Eigen::MatrixXd samples;
    if (!rules.cue || !recording.Read(0, recording.SampleCount(), samples)) return outcomes;
    const double rate = recording.SampleRate();
    std::vector<double> frequencies;
    for (const StimulusClass& c : classes) frequencies.push_back(c.frequency);
    SsvepTrials trials(method, rate, frequencies, static_cast<int>(samples.cols()), rules,
                       static_cast<int>(std::lround(fixedSeconds * rate)), settings);
    const auto slots = CueSlots(recording.Events(), static_cast<std::uint32_t>(*rules.cue), recording.SampleCount());
    std::vector<double> record(static_cast<std::size_t>(samples.cols()));
    for (Eigen::Index r = 0; r < samples.rows(); ++r) {
        for (Eigen::Index j = 0; j < samples.cols(); ++j) record[static_cast<std::size_t>(j)] = samples(r, j);
        if (auto outcome = trials.AddRecord(record, slots[static_cast<std::size_t>(r)])) outcomes.push_back(*outcome);
    }
    return outcomes;
}

void DecisionTally::Add(int trueStimulus, const TrialOutcome& outcome) {
    ++trials;
    trialSeconds += outcome.seconds;
    if (outcome.abstained) return;
    decided.Add(trueStimulus, outcome.stimulus - 1);
    decisionSeconds += outcome.seconds;
}

void DecisionTally::AddRest(const TrialOutcome& outcome) {
    ++restTrials;
    if (!outcome.abstained) ++restDecided;
}

void DecisionTally::Merge(const DecisionTally& other) {
    decided.Merge(other.decided);
    trials += other.trials;
    decisionSeconds += other.decisionSeconds;
    trialSeconds += other.trialSeconds;
    restTrials += other.restTrials;
    restDecided += other.restDecided;
}

double DecisionTally::BitsPerMinute(double gazeSeconds) const {
    const double seconds = trialSeconds + trials * gazeSeconds;
    if (!(seconds > 0.0)) return 0.0;
    return WolpawBitsPerSelection(decided.Classes(), AccuracyOfDecided()) * Decided() * 60.0 / seconds;
}

void PrintDecisionTally(std::FILE* out, const std::string& title, const DecisionTally& tally,
                        std::span<const StimulusClass> classes, double gazeSeconds, bool withRest) {
    std::fprintf(out,
                 "%s: trials %d, decided %d (%.1f %%), correct %d, accuracy %.1f %% of decided, %.1f %% of all, "
                 "mean decision time %.2f s, ITR %.2f bits/min (decision time + %g s gaze)\n",
                 title.c_str(), tally.Trials(), tally.Decided(), 100.0 * tally.ShareDecided(), tally.Correct(),
                 100.0 * tally.AccuracyOfDecided(), 100.0 * tally.AccuracyOfAll(), tally.MeanDecisionSeconds(),
                 tally.BitsPerMinute(gazeSeconds), gazeSeconds);
    if (withRest) {
        const int rest = tally.RestTrials();
        std::fprintf(out, "  rest trials %d, decided %d (%.1f %%)\n", rest, tally.RestDecided(),
                     rest == 0 ? 0.0 : 100.0 * tally.RestDecided() / rest);
    }
    std::fprintf(out, "  %-12s", "true\\decided");
    for (const StimulusClass& c : classes) std::fprintf(out, " %8g Hz", c.frequency);
    std::fputc('\n', out);
    for (std::size_t i = 0; i < classes.size(); ++i) {
        std::fprintf(out, "  %9g Hz", classes[i].frequency);
        for (int count : tally.DecidedTally().Confusion()[i]) std::fprintf(out, " %11d", count);
        std::fputc('\n', out);
    }
}
