// Pallock's command line, as Qt hands it over (UTF-8 decoded): whatever it
// accepts is usable as it stands.

#include <cmath>

#include <QStringList>

#include "fuzz/fuzz_input.h"
#include "pallock_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QStringList arguments;
    for (const std::string& arg : Arguments(std::span(data, size))) arguments << QString::fromStdString(arg);
    QString error;
    const std::optional<PallockOptions> options = ParsePallockOptions(arguments, error);
    if (!options) {
        Require(!error.isEmpty());
        return 0;
    }
    // --help prints and ends the program: what came before it is never used,
    // and the checks that need every option read are not made.
    if (options->help) return 0;
    const PallockFields& fields = options->fields;
    Require(fields.amplifierPort >= 1 && fields.amplifierPort <= 65535);
    Require(fields.scoringPort >= 1 && fields.scoringPort <= 65535);
    Require(!fields.amplifierAddress.isEmpty() && !fields.scoringAddress.isEmpty());
    Require(fields.lead >= SsvepDetector::firstLead && fields.lead <= SsvepDetector::lastLead);
    Require(std::isfinite(fields.threshold));
    Require(fields.sampleRate >= SsvepDetector::lowestSampleRate && fields.sampleRate <= SsvepDetector::highestSampleRate);
    for (const double hz : fields.stimulusFrequencies) {
        Require(SsvepDetector::BinFor(hz, SsvepDetector::windowSeconds * fields.sampleRate).has_value());
    }
    Require(!fields.leads.empty());
    for (const int lead : fields.leads) Require(lead >= SsvepDetector::firstLead && lead <= SsvepDetector::lastLead);
    Require(!options->quitAfterSeconds || (std::isfinite(*options->quitAfterSeconds) && *options->quitAfterSeconds >= 0));
    return 0;
}
