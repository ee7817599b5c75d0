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

bool ParseFrequencies(const QString& text, SsvepDetector::Frequencies& frequencies) {
    const QStringList parts = text.split(u',');
    if (parts.size() != SsvepDetector::stimulusCount) return false;
    for (int i = 0; i < SsvepDetector::stimulusCount; ++i) {
        const auto value = ParseNumber(parts[i]);
        if (!value || !SsvepDetector::BinFor(*value)) return false;
        frequencies[i] = *value;
    }
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

}  // namespace

ProgramCommandLine PallockCommandLine(PallockOptions& options) {
    PallockFields& fields = options.fields;
    const PallockFields defaults;
    ProgramCommandLine commandLine;
    commandLine.program = kPallockProgram;
    commandLine.purpose =
        "The SSVEP speller client: every 2 s decides which stimulus frequency is strongest on one lead\n"
        "of the acquisition program's stream and sends it to the scoring system.\n"
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
        {"--lead", "N", "the lead analysed (the emulator's occipital leads are 11 and 12)",
         std::to_string(SsvepDetector::firstLead) + " to " + std::to_string(SsvepDetector::lastLead),
         std::to_string(defaults.lead), TakeQString([&fields](const QString& value) {
             bool ok = false;
             const int lead = value.toInt(&ok);
             if (!ok || lead < SsvepDetector::firstLead || lead > SsvepDetector::lastLead) return false;
             fields.lead = lead;
             return true;
         })},
        {"--threshold", "X", "decisions above this value are sent", "a number",
         QString::number(defaults.threshold, 'g', 15).toStdString(), TakeQString([&fields](const QString& value) {
             const auto threshold = ParseNumber(value);
             if (threshold) fields.threshold = *threshold;
             return threshold.has_value();
         })},
        {"--frequencies", "F1,...,F6", "the six stimulus frequencies in Hz",
         "six numbers whose 0.5 Hz bins lie from 0.5 to 999.5 Hz", FrequencyList(defaults.stimulusFrequencies),
         TakeQString([&fields](const QString& value) { return ParseFrequencies(value, fields.stimulusFrequencies); })},
        {"--verbose", "", "also write every status and result line to standard output", "", "",
         TakeSwitch(options.verbose)},
        QuitAfterOption(options.quitAfterSeconds),
        GeometryOption(options.position, false, "where the window system puts it"),
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
    return options;
}
