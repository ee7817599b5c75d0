#pragma once
// Vostrel's command-line options: what a user would do at start-up, so that
// sessions can be scripted.

#include <optional>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/qt_desktop.h"

struct VostrelOptions {
    enum class StartMode { None, Waveform, Impedance };

    std::string amplifier;      // --amplifier serial[:DEVICE]|emulator[:OPTIONS]; empty: serial
    std::string playFile;       // --play FILE.EOL: settings imported from its header, type 0
    std::string electrodeFile;  // --electrodes FILE
    // The streaming server's options.
    bool serve = false;          // --serve
    std::string listenAddress = "127.0.0.1";  // --listen ADDRESS; DataServer::kDefaultListenAddress
    std::optional<int> port;     // --port N
    StartMode start = StartMode::None;  // --start | --impedance
    std::string recordFile;      // --record FILE.EOL
    std::optional<int> markerPort;           // --marker-port N: lines of text become markers
    std::optional<double> microvoltsPerCount;  // --uv-per-count X, for the recording's sidecar
    bool overwrite = false;      // --overwrite: --record may replace an existing file
    std::optional<double> quitAfterSeconds;  // --quit-after SECONDS
    std::optional<WindowPlace> geometry;     // --geometry: shown there, not maximised
    InterfaceLanguage language = InterfaceLanguage::Chinese;  // --lang en|zh
    bool help = false;           // --help
};

inline constexpr const char* kVostrelProgram = "vostrel";

// The option table, each entry writing into options.
ProgramCommandLine VostrelCommandLine(VostrelOptions& options);
std::string VostrelHelpText();

// Parses the arguments after the program name. False, with the reason in
// error, for an unknown option, a missing or bad value, or options that
// contradict each other.
bool ParseVostrelOptions(const std::vector<std::string>& args, VostrelOptions& options, std::string& error);
