#pragma once
// Offline evaluation of a detection method on recorded trials: the windows cut
// after each trial's event, the decisions, and their tally.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "recording.h"
#include "ssvep_methods.h"

// A trial's event code and the frequency its stimulus flickers at.
struct StimulusClass {
    std::uint32_t code = 0;
    double frequency = 0.0;
};

struct Trial {
    std::int64_t anchor = 0;  // the sample the window's offset counts from
    int stimulus = 0;         // 0-based, in the order of the classes
};

// The trials of a recording. Without a cue code every event of a class is a
// trial anchored at itself. With one, every cue event is a trial anchored at
// the cue, of the class of the latest class event since the previous cue; a
// cue without one (a rest trial, say) is no trial.
std::vector<Trial> FindTrials(std::span<const RecordingEvent> events, std::span<const StimulusClass> classes,
                              std::optional<std::uint32_t> cue);

struct WindowCut {
    double offsetSeconds = 0.0;  // from the trial's anchor to the window's start
    double windowSeconds = 2.0;
    // The rate the method runs at; without one, the recording's own. Another
    // rate than the recording's resamples each window.
    std::optional<double> rate;
};

struct WindowDecision {
    double startSeconds = 0.0;  // from the recording's first sample
    int trueStimulus = 0;       // 0-based
    StimulusChoice choice;      // 1-based stimulus
};

struct RecordingDecisions {
    std::vector<WindowDecision> decisions;
    int skipped = 0;  // windows not wholly inside the recording, or not finite
};

// Cuts each trial's window from the recording and has the method choose among
// the classes' frequencies, with the same analyser Pallock runs.
RecordingDecisions EvaluateTrials(Recording& recording, std::span<const Trial> trials,
                                  std::span<const StimulusClass> classes, SsvepMethod method,
                                  const SsvepMethodSettings& settings, const WindowCut& cut);

// Decisions counted by true and decided stimulus.
class Tally {
public:
    explicit Tally(int classes);
    void Add(int trueStimulus, int decidedStimulus);  // both 0-based
    void Merge(const Tally& other);

    int Classes() const { return static_cast<int>(confusion.size()); }
    int Windows() const { return windows; }
    int Correct() const;
    double Accuracy() const;  // 0 without windows
    // Rows the true stimulus, columns the decided one.
    const std::vector<std::vector<int>>& Confusion() const { return confusion; }

private:
    std::vector<std::vector<int>> confusion;
    int windows = 0;
};

// Wolpaw et al. 2000: bits per selection among N equally likely classes at
// accuracy P, errors spread evenly over the other classes:
// log2 N + P log2 P + (1 - P) log2((1 - P) / (N - 1)); 0 at or below chance.
double WolpawBitsPerSelection(int classes, double accuracy);
double WolpawBitsPerMinute(int classes, double accuracy, double secondsPerSelection);

// Writes windows, accuracy, information transfer rate and confusion matrix.
void PrintTally(std::FILE* out, const std::string& title, const Tally& tally, std::span<const StimulusClass> classes,
                double secondsPerSelection);
