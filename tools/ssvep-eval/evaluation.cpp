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
