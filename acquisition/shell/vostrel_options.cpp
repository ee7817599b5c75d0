#include "acquisition/shell/vostrel_options.h"

#include "acquisition/electrodes/electrode_file.h"
#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/server/data_server.h"
#include "common/qt_desktop.h"

namespace {

OptionTaker TakeStartMode(VostrelOptions::StartMode& member, VostrelOptions::StartMode mode) {
    return [&member, mode](const std::string&, std::string& why) {
        if (member != VostrelOptions::StartMode::None && member != mode) {
            why = "--start and --impedance exclude each other";
            return false;
        }
        member = mode;
        return true;
    };
}

}  // namespace

ProgramCommandLine VostrelCommandLine(VostrelOptions& options) {
    using Mode = VostrelOptions::StartMode;
    ProgramCommandLine commandLine;
    commandLine.program = kVostrelProgram;
    commandLine.purpose =
        "The EEG acquisition program: shows, records and streams the amplifier's samples.\n"
        "Without a display, run it with QT_QPA_PLATFORM=offscreen.";
    commandLine.toolkitOptions = kQtCommandLineOptions;
    commandLine.options = {
        {"--amplifier", "serial[:DEVICE]|emulator[:OPTIONS]", "the amplifier to drive",
         "serial (the first USB serial port), serial:DEVICE (a tty, e.g. /dev/ttyUSB0 or amp-emulator's),\n"
         "emulator[:ssvep=F1/F2/...,hold=SECONDS] (built in; Hz above 0 and below 500, seconds above 0)",
         "serial", TakeText(options.amplifier)},
        {"--play", "FILE.EOL|FILE.bdf|FILE.edf|FILE.gdf",
         "play a recording instead of the amplifier: an EOL file with its header's settings, or another program's\n"
         "BDF/EDF/GDF at its own rate (its first 16 signals, its labels, its events as codes)",
         "a readable recording", "", TakeText(options.playFile)},
        {"--electrodes", "FILE", "the electrode-location file",
         "a readable text file of at most " + std::to_string(kMaxElectrodeFileBytes) + " bytes",
         DefaultElectrodeFilePath(ExecutableDirectory()) + " (kestrom.dll beside the program, else in ../share/vostrel/)",
         TakeText(options.electrodeFile)},
        {"--serve", "", "start the streaming server, as the toolbar's S button", "", "", TakeSwitch(options.serve)},
        {"--listen", "ADDRESS", "the address the streaming server listens on",
         "a numeric IPv4 or IPv6 address, or localhost; 0.0.0.0 or :: opens the stream to other machines",
         DataServer::kDefaultListenAddress + std::string(" (this machine only)"),
         [&options](const std::string& value, std::string&) {
             options.listenAddress = value;
             return DataServer::IsValidListenAddress(QString::fromStdString(value));
         }},
        {"--port", "N", "the streaming server's port; \"listening on port N\" on standard output tells the one in use",
         "0 to 65535; 0 picks a free port", std::to_string(DataServer::kDefaultPort),
         [&options](const std::string& value, std::string&) {
             int port = 0;
             if (!ReadInteger(value, 0, 65535, port)) return false;
             options.port = port;
             return true;
         }},
        {"--start", "", "start acquiring waveforms", "", "", TakeStartMode(options.start, Mode::Waveform)},
        {"--impedance", "", "start acquiring in impedance mode", "", "", TakeStartMode(options.start, Mode::Impedance)},
        {"--record", "FILE.EOL", "record the acquisition into FILE.EOL",
         "a file name, with --start or --impedance; an existing file only with --overwrite", "",
         TakeText(options.recordFile)},
        {"--overwrite", "", "let --record replace an existing file", "", "", TakeSwitch(options.overwrite)},
        {"--marker-port", "N",
         "take markers over TCP: each line of text is one (\"marker port N\" on standard output tells the port)",
         "0 to 65535; 0 picks a free port; on the --listen address, else 127.0.0.1", "off",
         [&options](const std::string& value, std::string&) {
             int port = 0;
             if (!ReadInteger(value, 0, 65535, port)) return false;
             options.markerPort = port;
             return true;
         }},
        {"--uv-per-count", "X", "the amplifier's microvolts per raw count, kept beside each recording for its exports",
         "a number above 0, such as 0.0224", "unknown (exports stay in raw counts)",
         [&options](const std::string& value, std::string&) {
             double factor = 0.0;
             if (!ReadFiniteNumber(value, factor) || factor <= 0.0) return false;
             options.microvoltsPerCount = factor;
             return true;
         }},
        QuitAfterOption(options.quitAfterSeconds),
        GeometryOption(options.geometry, true, "maximised"),
        LanguageOption(options.language),
    };
    return commandLine;
}

std::string VostrelHelpText() {
    VostrelOptions unused;
    return HelpText(VostrelCommandLine(unused));
}

bool ParseVostrelOptions(const std::vector<std::string>& args, VostrelOptions& options, std::string& error) {
    const CommandLineOutcome outcome = ParseCommandLine(VostrelCommandLine(options), args);
    options.help = outcome.help;
    error = outcome.error;
    if (!error.empty()) return false;
    if (options.help) return true;
    if (!options.recordFile.empty() && options.start == VostrelOptions::StartMode::None) {
        error = "--record needs --start or --impedance";
        return false;
    }
    return true;
}
