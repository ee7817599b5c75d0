#pragma once
// Start-up options, doing what a user would do in the window at start-up:
//   pallock [--amplifier HOST:PORT] [--scoring HOST:PORT] [--connect] [--lead N]
//           [--threshold X] [--frequencies F1,...,F6] [--verbose] [--quit-after SECONDS]
//           [--method fft|cca|fbcca] [--leads L1,L2,...] [--rate HZ]

#include <optional>

#include <QString>
#include <QStringList>

#include "pallock_dlg.h"

struct PallockOptions {
    PallockFields fields;
    bool connect = false;
    bool verbose = false;
    std::optional<double> quitAfterSeconds;
};

extern const char* const pallockUsage;

// Parses the arguments after the program name. On a bad option or value
// returns nothing and says why in error.
std::optional<PallockOptions> ParsePallockOptions(const QStringList& arguments, QString& error);
