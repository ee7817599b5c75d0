#include "pallock_options.h"

#include <cmath>

const char* const pallockUsage =
    "usage: pallock [--amplifier HOST:PORT] [--scoring HOST:PORT] [--connect] [--lead N]\n"
    "               [--threshold X] [--frequencies F1,...,F6] [--verbose] [--quit-after SECONDS]\n"
    "               [--method fft|cca|fbcca] [--leads L1,L2,...] [--rate HZ]\n"
    "  --amplifier HOST:PORT   the acquisition program's stream (default 127.0.0.1:1234)\n"
    "  --scoring HOST:PORT     the scoring system (default 127.0.0.1:4000)\n"
    "  --connect               connect both links at start-up\n"
    "  --lead N                the lead analysed, 1 to 21 (default 1); the same as --leads N\n"
    "  --threshold X           decisions are sent above this value (default 0)\n"
    "  --frequencies F1,...,F6 the six stimulus frequencies in Hz (default 10,12,11,12.5,11.5,10.5)\n"
    "  --verbose               also write every status and result line to standard output\n"
    "  --quit-after SECONDS    close the window after this many seconds\n"
    "  --method fft|cca|fbcca  detection method: one transform bin on the first lead, canonical\n"
    "                          correlation of the leads, or the same over a filter bank (default fft)\n"
    "  --leads L1,L2,...       the leads analysed, 1 to 21, each once; fft reads the first (default 1)\n"
    "  --rate HZ               samples per second of the stream, 20 to 20000; a window is 2 s of it\n"
    "                          (default 1000)\n";

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

}  // namespace

std::optional<PallockOptions> ParsePallockOptions(const QStringList& arguments, QString& error) {
    PallockOptions options;
    QString frequenciesText;
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
                                option == u"--quit-after" || option == u"--method" || option == u"--leads" ||
                                option == u"--rate";
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
            if (ok) {
                options.fields.lead = lead;
                options.fields.leads = {lead};
            }
        } else if (option == u"--threshold") {
            const auto threshold = ParseNumber(value);
            ok = threshold.has_value();
            if (ok) options.fields.threshold = *threshold;
        } else if (option == u"--frequencies") {
            ok = ParseFrequencies(value, options.fields.stimulusFrequencies);
            if (ok) frequenciesText = value;
        } else if (option == u"--quit-after") {
            const auto seconds = ParseNumber(value);
            ok = seconds && *seconds >= 0;
            if (ok) options.quitAfterSeconds = *seconds;
        } else if (option == u"--method") {
            const auto method = MethodFromName(value.toStdString());
            ok = method.has_value();
            if (ok) options.fields.method = *method;
        } else if (option == u"--leads") {
            const auto leads = ParseLeads(value);
            ok = leads.has_value();
            if (ok) {
                options.fields.leads = *leads;
                options.fields.lead = leads->front();
            }
        } else if (option == u"--rate") {
            const int rate = value.toInt(&ok);
            ok = ok && rate >= SsvepDetector::lowestSampleRate && rate <= SsvepDetector::highestSampleRate;
            if (ok) options.fields.sampleRate = rate;
        }
        if (!ok) {
            error = QStringLiteral("bad value for %1: %2").arg(option, value);
            return std::nullopt;
        }
    }
    if (!FrequenciesHaveBins(options.fields.stimulusFrequencies, options.fields.sampleRate)) {
        error = QStringLiteral("bad value for --frequencies: %1").arg(frequenciesText);
        return std::nullopt;
    }
    return options;
}
