#include "pallock_options.h"

#include <cmath>

const char* const pallockUsage =
    "usage: pallock [--amplifier HOST:PORT] [--scoring HOST:PORT] [--connect] [--lead N]\n"
    "               [--threshold X] [--frequencies F1,...,F6] [--verbose] [--quit-after SECONDS]\n"
    "  --amplifier HOST:PORT   the acquisition program's stream (default 127.0.0.1:1234)\n"
    "  --scoring HOST:PORT     the scoring system (default 127.0.0.1:4000)\n"
    "  --connect               connect both links at start-up\n"
    "  --lead N                the lead analysed, 1 to 21 (default 1)\n"
    "  --threshold X           decisions are sent above this value (default 0)\n"
    "  --frequencies F1,...,F6 the six stimulus frequencies in Hz (default 10,12,11,12.5,11.5,10.5)\n"
    "  --verbose               also write every status and result line to standard output\n"
    "  --quit-after SECONDS    close the window after this many seconds\n";

namespace {

std::optional<double> ParseNumber(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

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

}  // namespace

std::optional<PallockOptions> ParsePallockOptions(const QStringList& arguments, QString& error) {
    PallockOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& option = arguments[i];
        if (option == u"--connect") {
            options.connect = true;
            continue;
        }
        if (option == u"--verbose") {
            options.verbose = true;
            continue;
        }
        const bool takesValue = option == u"--amplifier" || option == u"--scoring" || option == u"--lead" ||
                                option == u"--threshold" || option == u"--frequencies" ||
                                option == u"--quit-after";
        if (!takesValue) {
            error = QStringLiteral("unknown option: %1").arg(option);
            return std::nullopt;
        }
        if (i + 1 >= arguments.size()) {
            error = QStringLiteral("%1 needs a value").arg(option);
            return std::nullopt;
        }
        const QString value = arguments[++i];
        bool ok = false;
        if (option == u"--amplifier") {
            ok = ParseEndpoint(value, options.fields.amplifierAddress, options.fields.amplifierPort);
        } else if (option == u"--scoring") {
            ok = ParseEndpoint(value, options.fields.scoringAddress, options.fields.scoringPort);
        } else if (option == u"--lead") {
            const int lead = value.toInt(&ok);
            ok = ok && lead >= SsvepDetector::firstLead && lead <= SsvepDetector::lastLead;
            if (ok) options.fields.lead = lead;
        } else if (option == u"--threshold") {
            const auto threshold = ParseNumber(value);
            ok = threshold.has_value();
            if (ok) options.fields.threshold = *threshold;
        } else if (option == u"--frequencies") {
            ok = ParseFrequencies(value, options.fields.stimulusFrequencies);
        } else if (option == u"--quit-after") {
            const auto seconds = ParseNumber(value);
            ok = seconds && *seconds >= 0;
            if (ok) options.quitAfterSeconds = *seconds;
        }
        if (!ok) {
            error = QStringLiteral("bad value for %1: %2").arg(option, value);
            return std::nullopt;
        }
    }
    return options;
}
