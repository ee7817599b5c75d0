#pragma once
// The evaluation tool's command line. Three uses:
// - evaluate: windows after each trial's event, scored, tallied (default);
// - replay (--from-record): an EOL recording's windows back to back, as
//   Pallock cuts them from Vostrel playing the file;
// - convert (--write-eol): one recording written as an EOL file for playback.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "evaluation.h"
#include "ssvep_detector.h"

struct EvalOptions {
    std::vector<std::string> files;
    SsvepMethod method = SsvepMethod::Fft;
    SsvepMethodSettings settings;
    std::vector<std::string> leads;  // empty: every signal channel
    std::vector<StimulusClass> classes;
    std::optional<std::uint32_t> cue;
    WindowCut cut;
    bool offsetGiven = false;
    bool decisions = false;

    // Trials decided as Pallock decides them (with --cue): growing windows,
    // margins, adaptation, abstention; the report counts decision time.
    std::optional<DynamicRange> dynamic;
    std::optional<double> margin;
    int adaptResults = 0;
    bool abstain = false;
    std::optional<std::uint32_t> restCode;
    std::optional<double> gazeSeconds;

    std::optional<std::int64_t> fromRecord;
    std::optional<int> windowCount;
    SsvepDetector::Frequencies frequencies = SsvepDetector::defaultFrequencies;
    double threshold = 0.0;

    std::string writeEol;
    bool help = false;

    // Any of the options of Pallock's decisions, or of their report.
    bool DecidesTrials() const {
        return dynamic || margin || adaptResults > 0 || abstain || restCode || gazeSeconds;
    }
    // The detector's rules: cue, offset, range, margin, adaptation, abstention.
    DecisionRules Rules() const;
};

inline constexpr double defaultGazeSeconds = 1.0;

extern const char* const evalUsage;

// Parses the arguments after the program name. On a bad option or value
// returns nothing and says in one line what is wrong and what is accepted.
std::optional<EvalOptions> ParseEvalOptions(const std::vector<std::string>& arguments, std::string& error);
