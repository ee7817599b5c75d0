// amp-emulator: the amplifier emulator on a pseudo-terminal. Prints the tty's
// path, then serves until it is killed:
//   amp-emulator [--ssvep F1/F2/...] [--hold SECONDS]
//   vostrel --amplifier serial:$(path printed)

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "acquisition/usb/bridge_option.h"
#include "tools/amp-emulator/pty_amplifier.h"

namespace {
std::atomic<bool> stopRequested{false};

void RequestStop(int) { stopRequested = true; }

int Usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "amp-emulator: " << problem << "\n";
    std::cerr << "usage: amp-emulator [--ssvep F1/F2/...] [--hold SECONDS]\n";
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    EmulatorOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string error;
        if ((arg == "--ssvep" || arg == "--hold") && i + 1 >= argc) return Usage(std::string(arg) + " needs a value");
        if (arg == "--ssvep") {
            if (!ParseSsvepSchedule(argv[++i], options.ssvepFrequencies, error)) return Usage(error);
        } else if (arg == "--hold") {
            if (!ParseHoldSeconds(argv[++i], options.holdSeconds, error)) return Usage(error);
        } else if (arg == "--help" || arg == "-h") {
            Usage("");
            return 0;
        } else {
            return Usage("unknown option " + std::string(arg));
        }
    }

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
