// ssvep-eval: scores Pallock's detection methods on recordings. See evalUsage.

#include <charconv>
#include <optional>
#include <span>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "eol_export.h"
#include "eval_options.h"
#include "evaluation.h"
#include "recording.h"
#include "replay.h"

namespace {

constexpr int exitDone = 0;
constexpr int exitFile = 1;

int Fail(const std::string& message) {
    std::fprintf(stderr, "ssvep-eval: %s\n", message.c_str());
    return exitFile;
}

std::string FormatHertz(double hertz) {
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", hertz);
    return text;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int Convert(const EvalOptions& options) {
    std::string error;
    auto recording = OpenRecording(options.files.front(), options.leads, error);
    if (!recording) return Fail(error);
    EolExport written;
    if (!WriteEolRecording(*recording, options.writeEol, written, error)) return Fail(error);
    std::printf("%s: %lld records at %g Hz, packets of %d, %g counts per unit, leads", options.writeEol.c_str(),
                static_cast<long long>(written.records), recording->SampleRate(), written.packetSize,
                written.countsPerUnit);
    for (std::size_t k = 0; k < recording->LeadNames().size(); ++k)
        std::printf(" %s=%d", recording->LeadNames()[k].c_str(), SampleRecord::kSignalSlots[k] + 1);
    std::printf(", %zu events in lead 21 (%d moved to a later record)\n", recording->Events().size(),
                written.eventsMoved);
    return exitDone;
}

int Replay(const EvalOptions& options) {
    ReplaySettings settings;
    settings.fromRecord = *options.fromRecord;
    settings.windowCount = options.windowCount;
    settings.method = options.method;
    settings.frequencies = options.frequencies;
    settings.threshold = options.threshold;
    settings.rules = options.Rules();
    if (options.cut.rate) settings.sampleRate = static_cast<int>(*options.cut.rate);
    if (!options.leads.empty()) {
        settings.leads.clear();
        for (const std::string& lead : options.leads) {
            int number = 0;
            const auto [end, failure] = std::from_chars(lead.data(), lead.data() + lead.size(), number);
            if (failure != std::errc() || end != lead.data() + lead.size()) {
                return ReportUsageError("ssvep-eval",
                                        "bad value for --leads: '" + lead + "'; accepted: lead numbers 1 to 21",
                                        std::cerr);
            }
            settings.leads.push_back(number);
        }
    }
    std::vector<SsvepResult> results;
    std::string error;
    if (!ReplayRecording(options.files.front(), settings, results, error)) return Fail(error);
    for (const SsvepResult& result : results) {
        std::printf("%s", result.resultLine.c_str());
        if (result.decided) std::printf(" %s", result.decisionText.c_str());
        std::putchar('\n');
    }
    return exitDone;
}

// The trial each outcome belongs to, by its cue: the cue's label names the
// class, or the rest trials, or nothing to score.
void TallyOutcomes(const EvalOptions& options, const std::string& name, std::span<const LabelledCue> cues,
                   std::span<const TrialOutcome> outcomes, double rate, DecisionTally& tally) {
    std::size_t next = 0;
    for (const TrialOutcome& outcome : outcomes) {
        while (next < cues.size() && cues[next].sample < outcome.cueRecord) ++next;
        if (next == cues.size() || cues[next].sample != outcome.cueRecord) continue;
        const std::uint32_t label = cues[next].label;
        const bool rest = options.restCode && label == *options.restCode;
        std::optional<int> stimulus;
        for (std::size_t i = 0; i < options.classes.size(); ++i)
            if (options.classes[i].code == label) stimulus = static_cast<int>(i);
        if (rest) tally.AddRest(outcome);
        if (stimulus) tally.Add(*stimulus, outcome);
        if (options.decisions && (rest || stimulus)) {
            const bool wrong = stimulus && !outcome.abstained && outcome.stimulus - 1 != *stimulus;
            std::printf("%s %.3f s: %s, %s%s\n", name.c_str(), static_cast<double>(outcome.cueRecord) / rate,
                        rest ? "rest" : (FormatHertz(options.classes[static_cast<std::size_t>(*stimulus)].frequency)).c_str(),
                        ResultLine(outcome.stimulus, outcome.value, outcome.abstained, outcome.seconds).c_str(),
                        wrong ? " (wrong)" : "");
        }
    }
}

int EvaluateDecisions(const EvalOptions& options) {
    const int classes = static_cast<int>(options.classes.size());
    const double gaze = options.gazeSeconds.value_or(defaultGazeSeconds);
    const DecisionRules rules = options.Rules();
    std::vector<std::uint32_t> labels;
    for (const StimulusClass& c : options.classes) labels.push_back(c.code);
    if (options.restCode) labels.push_back(*options.restCode);
    DecisionTally total(classes);
    for (const std::string& path : options.files) {
        std::string error;
        auto recording = OpenRecording(path, options.leads, error);
        if (!recording) return Fail(error);
        const auto cues = LabelCues(recording->Events(), *options.cue, labels);
        const auto outcomes =
            DecideTrials(*recording, options.classes, options.method, options.settings, rules, options.cut.windowSeconds);
        DecisionTally tally(classes);
        TallyOutcomes(options, BaseName(path), cues, outcomes, recording->SampleRate(), tally);
        PrintDecisionTally(stdout, BaseName(path), tally, options.classes, gaze, options.restCode.has_value());
        total.Merge(tally);
    }
    std::printf("method %s, leads", MethodName(options.method));
    if (options.leads.empty()) std::printf(" (all)");
    for (const std::string& lead : options.leads) std::printf(" %s", lead.c_str());
    std::printf(", windows from %g s after the cue, ", rules.offsetSeconds);
    if (rules.dynamic)
        std::printf("growing %s s", FormatDynamicRange(*rules.dynamic).c_str());
    else
        std::printf("%g s", options.cut.windowSeconds);
    if (rules.margin) std::printf(", margin %g", *rules.margin);
    if (rules.adaptResults > 0) std::printf(", adapted over %d results", rules.adaptResults);
    if (rules.abstainAtEnd) std::printf(", abstaining at the longest");
    std::printf("\n");
    PrintDecisionTally(stdout, "total", total, options.classes, gaze, options.restCode.has_value());
    return exitDone;
}

int Evaluate(const EvalOptions& options) {
    if (options.DecidesTrials()) return EvaluateDecisions(options);
    Tally total(static_cast<int>(options.classes.size()));
    for (const std::string& path : options.files) {
        std::string error;
        auto recording = OpenRecording(path, options.leads, error);
        if (!recording) return Fail(error);
        const auto trials = FindTrials(recording->Events(), options.classes, options.cue);
        const auto result =
            EvaluateTrials(*recording, trials, options.classes, options.method, options.settings, options.cut);
        Tally tally(static_cast<int>(options.classes.size()));
        for (const WindowDecision& d : result.decisions) {
            tally.Add(d.trueStimulus, d.choice.stimulus - 1);
            if (options.decisions)
                std::printf("%s %.3f s: %g Hz, decided %g Hz, value %.3f%s\n", BaseName(path).c_str(), d.startSeconds,
                            options.classes[static_cast<std::size_t>(d.trueStimulus)].frequency,
                            options.classes[static_cast<std::size_t>(d.choice.stimulus - 1)].frequency, d.choice.value,
                            d.trueStimulus == d.choice.stimulus - 1 ? "" : " (wrong)");
        }
        PrintTally(stdout, BaseName(path), tally, options.classes, options.cut.windowSeconds);
        if (result.skipped > 0)
            std::printf("  %d windows left out: not wholly inside the recording, or not finite\n", result.skipped);
        total.Merge(tally);
    }
    std::printf("method %s, leads", MethodName(options.method));
    if (options.leads.empty()) std::printf(" (all)");
    for (const std::string& lead : options.leads) std::printf(" %s", lead.c_str());
    std::printf(", window %g s from %g s after the event, ITR over the window alone\n", options.cut.windowSeconds,
                options.cut.offsetSeconds);
    PrintTally(stdout, "total", total, options.classes, options.cut.windowSeconds);
    return exitDone;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    const auto options = ParseEvalOptions(arguments, error);
    if (!options) {
        return ReportUsageError("ssvep-eval", error, std::cerr);
    }
    if (options->help) {
        std::fputs(evalUsage, stdout);
        return exitDone;
    }
    if (!options->writeEol.empty()) return Convert(*options);
    if (options->fromRecord) return Replay(*options);
    return Evaluate(*options);
}
