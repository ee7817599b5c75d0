// amp-emulator: the amplifier emulator on a pseudo-terminal. Prints the tty's
// path (or the link's), then serves until it is killed, and then prints what
// its faults did:
//   amp-emulator [--ssvep F1/F2/...] [--hold SECONDS] [--faults LIST] [--link PATH]
//   vostrel --amplifier serial:$(path printed)

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "acquisition/usb/bridge_option.h"
#include "acquisition/usb/emulator_faults.h"
#include "tools/amp-emulator/pty_amplifier.h"

namespace {
std::atomic<bool> stopRequested{false};

void RequestStop(int) { stopRequested = true; }

int Usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "amp-emulator: " << problem << "\n";
    std::cerr << "usage: amp-emulator [--ssvep F1/F2/...] [--hold SECONDS] [--faults LIST] [--link PATH]\n"
                 "  --faults LIST  comma-separated KIND=AMOUNT/EVERY_SECONDS: lose-bytes=N/S, lose-frames=N/S,\n"
                 "                 pause=MS/S, silence=SECONDS/S, vanish=SECONDS/S\n"
                 "  --link PATH    a symbolic link to the tty, kept across vanishing\n";
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    EmulatorOptions options;
    EmulatorFaults faults;
    std::string link;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string error;
        const bool takesValue = arg == "--ssvep" || arg == "--hold" || arg == "--faults" || arg == "--link";
        if (takesValue && i + 1 >= argc) return Usage(std::string(arg) + " needs a value");
        if (arg == "--ssvep") {
            if (!ParseSsvepSchedule(argv[++i], options.ssvepFrequencies, error)) return Usage(error);
        } else if (arg == "--hold") {
            if (!ParseHoldSeconds(argv[++i], options.holdSeconds, error)) return Usage(error);
        } else if (arg == "--faults") {
            if (!ParseFaults(argv[++i], faults, error)) return Usage(error);
        } else if (arg == "--link") {
            link = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            Usage("");
            return 0;
        } else {
            return Usage("unknown option " + std::string(arg));
        }
    }

    PtyAmplifier amplifier(options, faults, link);
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
