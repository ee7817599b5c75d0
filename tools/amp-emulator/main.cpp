// amp-emulator: the amplifier emulator on a pseudo-terminal. Prints the tty's
// path, then serves until it is killed:
//   amp-emulator [--ssvep F1/F2/...] [--hold SECONDS]
//   vostrel --amplifier serial:$(path printed)

#include <csignal>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "acquisition/usb/bridge_option.h"
#include "common/command_line.h"
#include "tools/amp-emulator/pty_amplifier.h"

namespace {
std::atomic<bool> stopRequested{false};

void RequestStop(int) { stopRequested = true; }

std::string Schedule(const std::vector<double>& frequencies) {
    std::ostringstream text;
    for (std::size_t i = 0; i < frequencies.size(); ++i) text << (i ? "/" : "") << frequencies[i];
    return text.str();
}

ProgramCommandLine EmulatorCommandLine(EmulatorOptions& options) {
    const EmulatorOptions defaults;
    std::ostringstream hold;
    hold << defaults.holdSeconds;
    return {"amp-emulator",
            "The amplifier emulator on a pseudo-terminal: prints the tty's path, then serves until interrupted.\n"
            "Use it with: vostrel --amplifier serial:PATH",
            {{"--ssvep", "F1/F2/...", "the SSVEP schedule on O1 and O2, visited in turn", "Hz above 0 and below 500",
              Schedule(defaults.ssvepFrequencies),
              [&options](const std::string& value, std::string& why) {
                  return ParseSsvepSchedule(value, options.ssvepFrequencies, why);
              }},
             {"--hold", "SECONDS", "how long each frequency of the schedule is held", "seconds above 0", hold.str(),
              [&options](const std::string& value, std::string& why) {
                  return ParseHoldSeconds(value, options.holdSeconds, why);
              }}},
            ""};
}
}  // namespace

int main(int argc, char** argv) {
    EmulatorOptions options;
    if (const auto status = HandleCommandLine(EmulatorCommandLine(options), ArgumentsOf(argc, argv), std::cout, std::cerr))
        return *status;

    PtyAmplifier amplifier(options);
    std::string error;
    if (!amplifier.Open(error)) {
        std::cerr << "amp-emulator: " << error << "\n";
        return 1;
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::cout << amplifier.SlavePath() << std::endl;
    amplifier.Serve(stopRequested);
    return 0;
}
