// amp-emulator: the amplifier emulator on a pseudo-terminal. Prints the tty's
// path (or the link's), then serves until it is killed, and then prints what
// its faults did:
//   amp-emulator [--ssvep F1/F2/...] [--hold SECONDS] [--faults LIST] [--link PATH]
//   vostrel --amplifier serial:$(path printed)

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "acquisition/usb/bridge_option.h"
#include "acquisition/usb/emulator_faults.h"
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

ProgramCommandLine EmulatorCommandLine(EmulatorOptions& options, EmulatorFaults& faults, std::string& link,
                                       std::string& stamps) {
    const EmulatorOptions defaults;
    std::ostringstream hold;
    hold << defaults.holdSeconds;
    return {"amp-emulator",
            "The amplifier emulator on a pseudo-terminal: prints the tty's path, then serves until interrupted,\n"
            "then prints what its faults did. Use it with: vostrel --amplifier serial:PATH",
            {{"--ssvep", "F1/F2/...", "the SSVEP schedule on O1 and O2, visited in turn", "Hz above 0 and below 500",
              Schedule(defaults.ssvepFrequencies),
              [&options](const std::string& value, std::string& why) {
                  return ParseSsvepSchedule(value, options.ssvepFrequencies, why);
              }},
             {"--hold", "SECONDS", "how long each frequency of the schedule is held", "seconds above 0", hold.str(),
              [&options](const std::string& value, std::string& why) {
                  return ParseHoldSeconds(value, options.holdSeconds, why);
              }},
             {"--faults", "LIST", "line faults to inject, each every EVERY seconds of frames",
              "comma-separated lose-bytes=N/EVERY, cut-start=N/EVERY, cut-end=N/EVERY, lose-frames=N/EVERY, pause=MS/EVERY, silence=SECONDS/EVERY, "
              "vanish=SECONDS/EVERY, noise=N/EVERY, repeat=N/EVERY, insert=N/EVERY, flip=BIT/EVERY, until=SECONDS",
              "none",
              [&faults](const std::string& value, std::string& why) { return ParseFaults(value, faults, why); }},
             {"--link", "PATH", "a symbolic link to the tty, kept across vanishing; printed instead of the tty",
              "a path", "none", TakeText(link)},
             {"--stamps", "FILE",
              "for each frame sent whole, a line when its last byte is written: steady-clock nanoseconds and the "
              "first sample's 16 values",
              "a path", "none", TakeText(stamps)}},
            ""};
}
}  // namespace

int main(int argc, char** argv) {
    EmulatorOptions options;
    EmulatorFaults faults;
    std::string link;
    std::string stampsPath;
    if (const auto status = HandleCommandLine(EmulatorCommandLine(options, faults, link, stampsPath),
                                              ArgumentsOf(argc, argv), std::cout, std::cerr))
        return *status;

    PtyAmplifier amplifier(options, faults, link);
    std::ofstream stamps;
    if (!stampsPath.empty()) {
        stamps.open(stampsPath, std::ios::trunc);
        if (!stamps) {
            std::cerr << "amp-emulator: cannot write " << stampsPath << "\n";
            return 1;
        }
        amplifier.StampFrames(stamps);
    }
    std::string error;
    if (!amplifier.Open(error)) {
        std::cerr << "amp-emulator: " << error << "\n";
        return 1;
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::cout << amplifier.HostPath() << std::endl;
    amplifier.Serve(stopRequested);
    std::cout << "amp-emulator: " << DescribeCounts(amplifier.Counts()) << std::endl;
    return 0;
}
