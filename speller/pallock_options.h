#pragma once
// Start-up options, doing what a user would do in the window at start-up:
//   pallock [--amplifier HOST:PORT] [--scoring HOST:PORT] [--connect] [--lead N]
//           [--threshold X] [--frequencies F1,...,F6] [--verbose] [--quit-after SECONDS]
//           [--geometry +X+Y] [--method fft|cca|fbcca] [--leads L1,L2,...] [--rate HZ]
//           [--cue CODE] [--offset S] [--dynamic MIN:STEP:MAX] [--margin X] [--adapt N] [--abstain]
//           [--lang en|zh]

#include <optional>
#include <string>

#include <QString>
#include <QStringList>

#include "common/command_line.h"
#include "common/qt_desktop.h"
#include "pallock_fields.h"

struct PallockOptions {
    PallockFields fields;
    bool connect = false;
    bool verbose = false;
    std::optional<double> quitAfterSeconds;
    std::optional<WindowPlace> position;  // the window's size is fixed
    InterfaceLanguage language = InterfaceLanguage::Chinese;  // --lang en|zh
    bool help = false;
};

inline constexpr const char* kPallockProgram = "pallock";

// The option table, each entry writing into options.
ProgramCommandLine PallockCommandLine(PallockOptions& options);
std::string PallockHelpText();

// Parses the arguments after the program name. On a bad option or value
// returns nothing and says why in error.
std::optional<PallockOptions> ParsePallockOptions(const QStringList& arguments, QString& error);
