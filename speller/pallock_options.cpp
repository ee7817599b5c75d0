#include "pallock_options.h"

#include <cmath>

#include "common/qt_desktop.h"

namespace {

bool ParseEndpoint(const QString& text, QString& host, int& port) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0) return false;
    bool ok = false;
    const int number = text.mid(colon + 1).toInt(&ok);
    if (!ok || number < 1 || number > 65535) return false;
    host = text.left(colon);
    port = number;
    return true;
}

std::optional<double> ParseNumber(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Frequencies are checked against the stream's rate once all options are read.
bool ParseFrequencies(const QString& text, SsvepDetector::Frequencies& frequencies) {
    const QStringList parts = text.split(u',');
    if (parts.size() != SsvepDetector::stimulusCount) return false;
    for (int i = 0; i < SsvepDetector::stimulusCount; ++i) {
        const auto value = ParseNumber(parts[i]);
        if (!value) return false;
        frequencies[i] = *value;
    }
    return true;
}

bool FrequenciesHaveBins(const SsvepDetector::Frequencies& frequencies, int sampleRate) {
    for (double frequency : frequencies)
        if (!SsvepDetector::BinFor(frequency, SsvepDetector::windowSeconds * sampleRate)) return false;
    return true;
}

// A taker that reads the value as Qt text.
OptionTaker TakeQString(std::function<bool(const QString&)> take) {
    return [take = std::move(take)](const std::string& value, std::string&) {
        return take(QString::fromStdString(value));
    };
}

OptionTaker TakeEndpoint(QString& host, int& port) {
    return TakeQString([&host, &port](const QString& value) { return ParseEndpoint(value, host, port); });
}

std::string Endpoint(const QString& host, int port) { return host.toStdString() + ":" + std::to_string(port); }

std::string FrequencyList(const SsvepDetector::Frequencies& frequencies) {
    std::string list;
    for (double f : frequencies) list += (list.empty() ? "" : ",") + QString::number(f, 'g', 15).toStdString();
    return list;
}

std::string LeadRange() {
    return std::to_string(SsvepDetector::firstLead) + " to " + std::to_string(SsvepDetector::lastLead);
}

}  // namespace

ProgramCommandLine PallockCommandLine(PallockOptions& options) {
    PallockFields& fields = options.fields;
    const PallockFields defaults;
    ProgramCommandLine commandLine;
    commandLine.program = kPallockProgram;
    commandLine.purpose =
        "The SSVEP speller client: every 2 s decides which stimulus frequency is strongest in the\n"
        "acquisition program's stream and sends it to the scoring system.\n"
        "Without a display, run it with QT_QPA_PLATFORM=offscreen.";
    commandLine.toolkitOptions = kQtCommandLineOptions;
    commandLine.options = {
        {"--amplifier", "HOST:PORT", "the acquisition program's stream", "a host name or address, a port from 1 to 65535",
         Endpoint(defaults.amplifierAddress, defaults.amplifierPort),
         TakeEndpoint(fields.amplifierAddress, fields.amplifierPort)},
        {"--scoring", "HOST:PORT", "the scoring system", "a host name or address, a port from 1 to 65535",
         Endpoint(defaults.scoringAddress, defaults.scoringPort),
         TakeEndpoint(fields.scoringAddress, fields.scoringPort)},
        {"--connect", "", "connect both links at start-up", "", "", TakeSwitch(options.connect)},
        {"--lead", "N", "the lead analysed, the same as --leads N (O1 and O2, the emulator's occipital leads,\n"
         "      are 11 and 12)",
         LeadRange() + ", or an electrode label of the electrode file (O1)", std::to_string(defaults.lead),
         TakeQString([&fields](const QString& value) {
             const auto leads = ParseLeads(value);
             if (!leads || leads->size() != 1) return false;
             fields.lead = leads->front();
             fields.leads = *leads;
             return true;
         })},
        {"--leads", "L1,L2,...", "the leads analysed; fft reads the first, cca and fbcca all",
         LeadRange() + " or electrode labels (O1,O2), each once",
         std::to_string(defaults.lead) + " for fft, " + FormatLeads(defaults.leads).toStdString() + " for cca and fbcca",
         TakeQString([&fields](const QString& value) {
             const auto leads = ParseLeads(value);
             if (!leads) return false;
             fields.leads = *leads;
             fields.lead = leads->front();
             return true;
         })},
        {"--method", "NAME",
         "the detection method: one transform bin on the first lead, canonical correlation of the leads,\n"
         "      or the same over a filter bank",
         "fft, cca or fbcca", MethodName(defaults.method), [&fields](const std::string& value, std::string&) {
             const auto method = MethodFromName(value);
             if (method) fields.method = *method;
             return method.has_value();
         }},
        {"--rate", "HZ", "samples per second of the stream; a window is 2 s of it",
         std::to_string(SsvepDetector::lowestSampleRate) + " to " + std::to_string(SsvepDetector::highestSampleRate),
         std::to_string(defaults.sampleRate), [&fields](const std::string& value, std::string&) {
             int rate = 0;
             if (!ReadInteger(value, SsvepDetector::lowestSampleRate, SsvepDetector::highestSampleRate, rate)) {
                 return false;
             }
             fields.sampleRate = rate;
             return true;
         }},
        {"--threshold", "X", "decisions above this value are sent", "a number",
         QString::number(defaults.threshold, 'g', 15).toStdString(), TakeQString([&fields](const QString& value) {
             const auto threshold = ParseNumber(value);
             if (threshold) fields.threshold = *threshold;
             return threshold.has_value();
         })},
        {"--frequencies", "F1,...,F6", "the six stimulus frequencies in Hz",
         "six numbers whose 0.5 Hz bins lie from 0.5 Hz to 0.5 Hz below the --rate",
         FrequencyList(defaults.stimulusFrequencies),
         TakeQString([&fields](const QString& value) { return ParseFrequencies(value, fields.stimulusFrequencies); })},
        {"--verbose", "", "also write every status and result line to standard output", "", "",
         TakeSwitch(options.verbose)},
        {"--cue", "CODE", "windows start at each onset of this event code in the stream's event slot (lead 21)",
         "a code from 1, decimal or 0x hexadecimal", "none: windows back to back",
         [&fields](const std::string& value, std::string&) {
             const auto code = ParseEventCode(value);
             if (code) fields.rules.cue = *code;
             return code.has_value();
         }},
        {"--offset", "SECONDS", "from the cue to the window's start", "0 to 60",
         QString::number(defaults.rules.offsetSeconds, 'g', 15).toStdString(),
         [&fields](const std::string& value, std::string&) {
             double seconds = 0.0;
             if (!ReadFiniteNumber(value, seconds) || seconds < 0.0 || seconds > maxRuleSeconds) return false;
             fields.rules.offsetSeconds = seconds;
             return true;
         }},
        {"--dynamic", "MIN:STEP:MAX",
         "the window grows from MIN seconds by STEP; it decides at the first length whose margin reaches\n"
         "      --margin, and at MAX anyway (or abstains with --abstain)",
         "seconds, 0 < MIN <= MAX <= 60, STEP above 0", "none: a 2 s window",
         [&fields](const std::string& value, std::string&) {
             const auto range = ParseDynamicRange(value);
             if (range) fields.rules.dynamic = *range;
             return range.has_value();
         }},
        {"--margin", "X",
         "the margin a decision needs: (best - second) / best of the scores, or best - second of the\n"
         "      z-scores with --adapt; without --dynamic a window short of it abstains",
         "a number from 0", "none", [&fields](const std::string& value, std::string&) {
             double margin = 0.0;
             if (!ReadFiniteNumber(value, margin) || margin < 0.0) return false;
             fields.rules.margin = margin;
             return true;
         }},
        {"--adapt", "N",
         "judge each stimulus's score against its own last N results (z-score; raw until N/2 are in);\n"
         "      the history starts afresh at each connect",
         "1 to " + std::to_string(maxAdaptResults), "none", [&fields](const std::string& value, std::string&) {
             return ReadInteger(value, 1, maxAdaptResults, fields.rules.adaptResults);
         }},
        {"--abstain", "", "with --dynamic: abstain at MAX instead of deciding", "", "",
         TakeSwitch(fields.rules.abstainAtEnd)},
        QuitAfterOption(options.quitAfterSeconds),
        GeometryOption(options.position, false, "where the window system puts it"),
        LanguageOption(options.language),
    };
    return commandLine;
}

std::string PallockHelpText() {
    PallockOptions unused;
    return HelpText(PallockCommandLine(unused));
}

std::optional<PallockOptions> ParsePallockOptions(const QStringList& arguments, QString& error) {
    std::vector<std::string> args;
    for (const QString& argument : arguments) args.push_back(argument.toStdString());
    PallockOptions options;
    const CommandLineOutcome outcome = ParseCommandLine(PallockCommandLine(options), args);
    if (!outcome.error.empty()) {
        error = QString::fromStdString(outcome.error);
        return std::nullopt;
    }
    options.help = outcome.help;
    if (!options.help && !FrequenciesHaveBins(options.fields.stimulusFrequencies, options.fields.sampleRate)) {
        error = QStringLiteral("--frequencies \"%1\" is not accepted at --rate %2 (accepted: six numbers whose "
                               "0.5 Hz bins lie from 0.5 Hz to 0.5 Hz below the rate)")
                    .arg(QString::fromStdString(FrequencyList(options.fields.stimulusFrequencies)))
                    .arg(options.fields.sampleRate);
        return std::nullopt;
    }
    return options;
}
