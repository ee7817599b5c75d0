#pragma once
// Vostrel's command-line options: what a user would do at start-up, so that
// sessions can be scripted.

#include <optional>
#include <string>
#include <vector>

struct VostrelOptions {
    enum class StartMode { None, Waveform, Impedance };

    std::string amplifier;      // --amplifier serial[:DEVICE]|emulator[:OPTIONS]; empty: serial
    std::string playFile;       // --play FILE.EOL: settings imported from its header, type 0
    std::string electrodeFile;  // --electrodes FILE
    // The streaming server's options.
    bool serve = false;          // --serve
    std::string listenAddress;   // --listen ADDRESS; empty: all local addresses
    std::optional<int> port;     // --port N
    StartMode start = StartMode::None;  // --start | --impedance
    std::string recordFile;      // --record FILE.EOL
    std::optional<double> quitAfterSeconds;  // --quit-after SECONDS
    bool help = false;           // --help
};

extern const char* const kVostrelUsage;

// Parses the arguments after the program name. False, with the reason in
// error, for an unknown option, a missing or bad value, or options that
// contradict each other.
bool ParseVostrelOptions(const std::vector<std::string>& args, VostrelOptions& options, std::string& error);
