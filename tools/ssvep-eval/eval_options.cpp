#include "eval_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

const char* const evalUsage =
    "usage: ssvep-eval [options] FILE...\n"
    "Scores SSVEP detection methods on recordings (GDF, EDF, BDF through libbiosig; EOL).\n"
    "\n"
    "Evaluation (windows after each trial's event):\n"
    "  --events CODE=HZ,...     the trials' event codes and their stimulus frequencies, at least two,\n"
    "                           codes decimal or 0x hexadecimal (required), e.g. 0x8101=13,0x8102=21\n"
    "  --cue CODE               windows count from this event after each trial's code (default: from\n"
    "                           the trial's code itself)\n"
    "  --offset SECONDS         from the event to the window's start (default 0; in a replay with\n"
    "                           --cue, Pallock's 1)\n"
    "  --window SECONDS         window length, above 0 (default 2)\n"
    "  --rate HZ                run the method at this rate, resampling each window (default: the\n"
    "                           file's rate)\n"
    "  --decisions              also print one line per window\n"
    "  --gaze SECONDS           with the options below: the gaze shift before each trial, added to its\n"
    "                           decision time for the ITR (default 1)\n"
    "  --rest CODE              with the options below: rest trials' label code; the report gives the\n"
    "                           share of rest trials that got a decision\n"
    "\n"
    "Trials decided as Pallock decides them (need --cue; at the file's rate):\n"
    "  --dynamic MIN:STEP:MAX   the window grows from MIN seconds by STEP up to MAX; it decides at the\n"
    "                           first length whose margin reaches --margin, at MAX anyway\n"
    "  --margin X               the margin a decision needs: (best - second) / best of the scores, or\n"
    "                           best - second of the z-scores with --adapt; without --dynamic a\n"
    "                           window short of it abstains\n"
    "  --adapt N                judge each stimulus's score against its own last N results (z-score;\n"
    "                           raw until N/2 are in)\n"
    "  --abstain                with --dynamic: abstain at MAX instead of deciding\n"
    "\n"
    "Replay (an EOL recording's windows back to back, as Pallock cuts them from Vostrel's playback):\n"
    "  --from-record N          the first record Pallock received, 0-based; playback order is\n"
    "                           followed, which loops without the file's last whole packet\n"
    "  --count N                windows to cut, at least 1 (default: to the end of one playback)\n"
    "  --frequencies F1,...,F6  Pallock's six frequencies (default 10,12,11,12.5,11.5,10.5)\n"
    "  --threshold X            Pallock's threshold (default 0)\n"
    "  --rate HZ                Pallock's --rate, 20 to 20000 (default: the file's rate)\n"
    "  --cue, --offset, --dynamic, --margin, --adapt, --abstain: Pallock's decision options; the\n"
    "                           replay then ends with the pass unless --count says how many results\n"
    "\n"
    "Conversion:\n"
    "  --write-eol OUT.EOL      write the one FILE's leads (at most 16, into leads 1-8 and 11-18 in\n"
    "                           order) and its events (lead 21) as an EOL recording, and stop\n"
    "\n"
    "Any use:\n"
    "  --method fft|cca|fbcca   detection method (default fft)\n"
    "  --leads L1,L2,...        channel labels for GDF/EDF/BDF, lead numbers 1 to 21 for EOL; fft\n"
    "                           reads the first (default: every signal channel)\n"
    "  --harmonics N            harmonics in the references of cca and fbcca, 1 to 10 (default 3)\n"
    "  --subbands N             sub-bands of fbcca, 1 to 10 (default 3)\n"
    "  --help                   show this text\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 bad options.\n";

namespace {

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [ptr, failure] = std::from_chars(text.data(), end, value);
    if (text.empty() || failure != std::errc() || ptr != end) return std::nullopt;
    if constexpr (std::is_floating_point_v<Number>)
        if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::uint32_t> ParseCode(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        std::uint32_t value = 0;
        text.remove_prefix(2);
        const char* end = text.data() + text.size();
        const auto [ptr, failure] = std::from_chars(text.data(), end, value, 16);
        if (text.empty() || failure != std::errc() || ptr != end) return std::nullopt;
        return value;
    }
    return ParseNumber<std::uint32_t>(text);
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, ',')) parts.push_back(part);
    if (!text.empty() && text.back() == ',') parts.emplace_back();
    return parts;
}

std::optional<std::vector<StimulusClass>> ParseClasses(const std::string& text) {
    std::vector<StimulusClass> classes;
    for (const std::string& part : SplitCommas(text)) {
        const auto equals = part.find('=');
        if (equals == std::string::npos) return std::nullopt;
        const auto code = ParseCode(std::string_view(part).substr(0, equals));
        const auto frequency = ParseNumber<double>(std::string_view(part).substr(equals + 1));
        if (!code || !frequency || *frequency <= 0.0) return std::nullopt;
        const bool repeated = std::any_of(classes.begin(), classes.end(),
                                          [&](const StimulusClass& c) { return c.code == *code; });
        if (repeated) return std::nullopt;
        classes.push_back({*code, *frequency});
    }
    if (classes.size() < 2) return std::nullopt;
    return classes;
}

std::optional<SsvepDetector::Frequencies> ParseFrequencies(const std::string& text) {
    const std::vector<std::string> parts = SplitCommas(text);
    if (parts.size() != SsvepDetector::stimulusCount) return std::nullopt;
    SsvepDetector::Frequencies frequencies{};
    for (int i = 0; i < SsvepDetector::stimulusCount; ++i) {
        const auto value = ParseNumber<double>(parts[static_cast<std::size_t>(i)]);
        if (!value) return std::nullopt;
        frequencies[static_cast<std::size_t>(i)] = *value;
    }
    return frequencies;
}

// What a value of each option must be, for the error line.
std::string Accepted(const std::string& option) {
    if (option == "--method") return "fft, cca or fbcca";
    if (option == "--leads") return "labels or lead numbers separated by commas";
    if (option == "--events") return "at least two CODE=HZ pairs with distinct codes and frequencies above 0";
    if (option == "--cue") return "an event code, decimal or 0x hexadecimal";
    if (option == "--offset") return "a number of seconds";
    if (option == "--window") return "a number of seconds above 0";
    if (option == "--rate") return "a sample rate in hertz above 0";
    if (option == "--harmonics" || option == "--subbands") return "a whole number from 1 to 10";
    if (option == "--from-record") return "a record number from 0";
    if (option == "--count") return "a whole number from 1";
    if (option == "--frequencies") return "six frequencies in hertz separated by commas";
    if (option == "--threshold") return "a number";
    if (option == "--dynamic") return "MIN:STEP:MAX in seconds, 0 < MIN <= MAX <= 60, STEP above 0";
    if (option == "--margin") return "a number from 0";
    if (option == "--adapt") return "a whole number from 1 to 1000";
    if (option == "--gaze") return "a number of seconds from 0";
    if (option == "--rest") return "an event code, decimal or 0x hexadecimal";
    return "a value";
}

}  // namespace

std::optional<EvalOptions> ParseEvalOptions(const std::vector<std::string>& arguments, std::string& error) {
    EvalOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help") {
            options.help = true;
            return options;
        }
        if (option == "--decisions") {
            options.decisions = true;
            continue;
        }
        if (option == "--abstain") {
            options.abstain = true;
            continue;
        }
        if (!option.starts_with("--")) {
            options.files.push_back(option);
            continue;
        }
        static const std::vector<std::string> valued = {
            "--method", "--leads",   "--events", "--cue",         "--offset",    "--window",    "--rate",
            "--harmonics", "--subbands", "--from-record", "--count", "--frequencies", "--threshold", "--write-eol",
            "--dynamic", "--margin",  "--adapt",  "--gaze",      "--rest"};
        if (std::find(valued.begin(), valued.end(), option) == valued.end()) {
            error = "unknown option " + option;
            return std::nullopt;
        }
        if (i + 1 >= arguments.size()) {
            error = option + " needs a value: " + Accepted(option);
            return std::nullopt;
        }
        const std::string& value = arguments[++i];
        bool ok = true;
        if (option == "--method") {
            const auto method = MethodFromName(value);
            ok = method.has_value();
            if (ok) options.method = *method;
        } else if (option == "--leads") {
            options.leads = SplitCommas(value);
            ok = !value.empty() && std::none_of(options.leads.begin(), options.leads.end(),
                                                [](const std::string& lead) { return lead.empty(); });
        } else if (option == "--events") {
            const auto classes = ParseClasses(value);
            ok = classes.has_value();
            if (ok) options.classes = *classes;
        } else if (option == "--cue") {
            options.cue = ParseCode(value);
            ok = options.cue.has_value();
        } else if (option == "--offset") {
            const auto seconds = ParseNumber<double>(value);
            ok = seconds.has_value();
            if (ok) options.cut.offsetSeconds = *seconds;
            options.offsetGiven = ok;
        } else if (option == "--window") {
            const auto seconds = ParseNumber<double>(value);
            ok = seconds && *seconds > 0.0;
            if (ok) options.cut.windowSeconds = *seconds;
        } else if (option == "--rate") {
            options.cut.rate = ParseNumber<double>(value);
            ok = options.cut.rate && *options.cut.rate > 0.0;
        } else if (option == "--harmonics" || option == "--subbands") {
            const auto count = ParseNumber<int>(value);
            ok = count && *count >= 1 && *count <= 10;
            if (ok) (option == "--harmonics" ? options.settings.harmonics : options.settings.subBands) = *count;
        } else if (option == "--from-record") {
            options.fromRecord = ParseNumber<std::int64_t>(value);
            ok = options.fromRecord && *options.fromRecord >= 0;
        } else if (option == "--count") {
            options.windowCount = ParseNumber<int>(value);
            ok = options.windowCount && *options.windowCount >= 1;
        } else if (option == "--frequencies") {
            const auto frequencies = ParseFrequencies(value);
            ok = frequencies.has_value();
            if (ok) options.frequencies = *frequencies;
        } else if (option == "--threshold") {
            const auto threshold = ParseNumber<double>(value);
            ok = threshold.has_value();
            if (ok) options.threshold = *threshold;
        } else if (option == "--dynamic") {
            options.dynamic = ParseDynamicRange(value);
            ok = options.dynamic.has_value();
        } else if (option == "--margin") {
            options.margin = ParseNumber<double>(value);
            ok = options.margin && *options.margin >= 0.0;
        } else if (option == "--adapt") {
            const auto count = ParseNumber<int>(value);
            ok = count && *count >= 1 && *count <= maxAdaptResults;
            if (ok) options.adaptResults = *count;
        } else if (option == "--gaze") {
            options.gazeSeconds = ParseNumber<double>(value);
            ok = options.gazeSeconds && *options.gazeSeconds >= 0.0;
        } else if (option == "--rest") {
            options.restCode = ParseCode(value);
            ok = options.restCode.has_value();
        } else if (option == "--write-eol") {
            options.writeEol = value;
            ok = !value.empty();
        }
        if (!ok) {
            error = "bad value for " + option + ": '" + value + "'; accepted: " + Accepted(option);
            return std::nullopt;
        }
    }

    if (options.files.empty()) {
        error = "no recording given: name one or more GDF, EDF, BDF or EOL files";
    } else if (!options.writeEol.empty() && options.fromRecord) {
        error = "--write-eol and --from-record exclude each other";
    } else if ((!options.writeEol.empty() || options.fromRecord) && options.files.size() != 1) {
        error = std::string(options.fromRecord ? "--from-record" : "--write-eol") + " takes exactly one recording";
    } else if (options.fromRecord && options.settings != SsvepMethodSettings{}) {
        error = "with --from-record the methods run as in Pallock, without --harmonics or --subbands";
    } else if (options.fromRecord && options.cut.rate &&
               (*options.cut.rate != std::floor(*options.cut.rate) ||
                *options.cut.rate < SsvepDetector::lowestSampleRate ||
                *options.cut.rate > SsvepDetector::highestSampleRate)) {
        error = "with --from-record, --rate is Pallock's: a whole number from 20 to 20000";
    } else if (options.DecidesTrials() && !options.writeEol.empty()) {
        error = "--write-eol converts only; it takes none of Pallock's decision options";
    } else if (options.DecidesTrials() && !options.fromRecord && !options.cue) {
        error = "the trials are found by their cue: --dynamic, --margin, --adapt, --abstain, --gaze and --rest "
                "need --cue, e.g. --cue 0x800B";
    } else if (options.DecidesTrials() && !options.fromRecord && options.cut.rate) {
        error = "trials decided as Pallock decides them run at the file's rate, without --rate";
    } else if (options.fromRecord && (options.restCode || options.gazeSeconds)) {
        error = "--rest and --gaze shape the evaluation's report, not a replay";
    } else if ((options.DecidesTrials() || (options.fromRecord && options.cue)) &&
               !ValidDecisionRules(options.Rules())) {
        error = "with --cue, --offset is 0 to 60 seconds";
    } else if (options.writeEol.empty() && !options.fromRecord && options.classes.empty()) {
        error = "--events is required to find the trials, e.g. --events 0x8101=13,0x8102=21";
    } else {
        return options;
    }
    return std::nullopt;
}

DecisionRules EvalOptions::Rules() const {
    DecisionRules rules;
    if (cue) rules.cue = static_cast<std::int32_t>(*cue);
    // A replay follows Pallock, whose windows start 1 s after the cue unless told.
    rules.offsetSeconds = fromRecord && !offsetGiven ? DecisionRules{}.offsetSeconds : cut.offsetSeconds;
    rules.dynamic = dynamic;
    rules.margin = margin;
    rules.adaptResults = adaptResults;
    rules.abstainAtEnd = abstain;
    return rules;
}
