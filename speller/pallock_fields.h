#pragma once
// The values the speller runs with: what the window's fields show and the
// start-up options set. Qt Core only, so the options and the session use
// them without the window.

#include <optional>
#include <vector>

#include <QString>

#include "lead_names.h"
#include "ssvep_detector.h"

struct PallockFields {
    QString amplifierAddress = QStringLiteral("127.0.0.1");
    int amplifierPort = 1234;
    QString commandText = QStringLiteral("ID01CH001");
    QString scoringAddress = QStringLiteral("127.0.0.1");
    int scoringPort = 4000;
    SsvepDetector::Frequencies stimulusFrequencies = SsvepDetector::defaultFrequencies;
    double threshold = 0.0;
    int lead = 1;  // the lead of fft
    SsvepMethod method = SsvepMethod::Fft;
    std::vector<int> leads = {11, 12};  // the leads of cca and fbcca: O1 and O2 in the default montage
    int sampleRate = SsvepDetector::defaultSampleRate;
    DecisionRules rules;  // cue, offset, dynamic range, margin, adaptation
};

// Leads as typed in the leads field and in --leads: record slots or electrode
// labels, "11,12", "O1,O2" or as shown, "11(O1),12(O2)"; each 1 to 21 and
// none twice.
std::optional<std::vector<int>> ParseLeads(const QString& text, const LeadNames& names = LeadNames::Default());
QString FormatLeads(const std::vector<int>& leads, const LeadNames& names = LeadNames::Default());
