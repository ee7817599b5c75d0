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
#include "ssvep_decisions.h"
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

// ---- Trials decided as Pallock decides them --------------------------------

// Each cue of a recording and the label announced since the previous cue (0
// for none): the latest event whose code is among labelCodes.
struct LabelledCue {
    std::int64_t sample = 0;
    std::uint32_t label = 0;
};
std::vector<LabelledCue> LabelCues(std::span<const RecordingEvent> events, std::uint32_t cue,
                                   std::span<const std::uint32_t> labelCodes);

// The event code each sample carries for the detector: the cue where one
// falls, else 0 (the stream's event slot holds one code per record).
std::vector<std::int32_t> CueSlots(std::span<const RecordingEvent> events, std::uint32_t cue, std::int64_t samples);

// The whole recording fed record by record to the trial decisions Pallock
// runs, choosing among the classes' frequencies, at the recording's rate.
// fixedSeconds: the window without a dynamic range. The rules carry the cue.
std::vector<TrialOutcome> DecideTrials(Recording& recording, std::span<const StimulusClass> classes,
                                       SsvepMethod method, const SsvepMethodSettings& settings,
                                       const DecisionRules& rules, double fixedSeconds);

// Trials of the classes counted by decision, abstention and time, and rest
// trials by whether they got a decision.
class DecisionTally {
public:
    explicit DecisionTally(int classes) : decided(classes) {}
    void Add(int trueStimulus, const TrialOutcome& outcome);  // 0-based
    void AddRest(const TrialOutcome& outcome);
    void Merge(const DecisionTally& other);

    int Trials() const { return trials; }
    int Decided() const { return decided.Windows(); }
    int Correct() const { return decided.Correct(); }
    double AccuracyOfDecided() const { return decided.Accuracy(); }
    double AccuracyOfAll() const { return trials == 0 ? 0.0 : static_cast<double>(Correct()) / trials; }
    double ShareDecided() const { return trials == 0 ? 0.0 : static_cast<double>(Decided()) / trials; }
    double MeanDecisionSeconds() const { return Decided() == 0 ? 0.0 : decisionSeconds / Decided(); }
    // Wolpaw's bits of a decision at the accuracy of the decided trials, over
    // the time every trial took: its window plus the gaze shift before it.
    double BitsPerMinute(double gazeSeconds) const;
    int RestTrials() const { return restTrials; }
    int RestDecided() const { return restDecided; }
    const Tally& DecidedTally() const { return decided; }

private:
    Tally decided;
    int trials = 0;
    double decisionSeconds = 0.0;  // over the decided trials
    double trialSeconds = 0.0;     // over every trial, abstentions included
    int restTrials = 0;
    int restDecided = 0;
};

// Writes the trials, the share decided, both accuracies, the mean decision
// time, the rate and the confusion of the decided trials.
void PrintDecisionTally(std::FILE* out, const std::string& title, const DecisionTally& tally,
                        std::span<const StimulusClass> classes, double gazeSeconds, bool withRest);
