// eol-convert: an EOL recording to BDF+, EDF+ or GDF, the format named by the
// output's extension. Exit status 0 done, 1 a file could not be read or
// written, 2 bad options.

#include <atomic>
#include <cmath>
#include <csignal>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/electrodes/electrode_file.h"
#include "acquisition/export/eol_export.h"
#include "common/command_line.h"
#include "common/executable_directory.h"

namespace {

constexpr const char* kProgram = "eol-convert";

constexpr const char* kHelp =
    "usage: eol-convert IN.EOL OUT.bdf|OUT.edf|OUT.gdf [--electrodes FILE] [--uv-per-count X] [--overwrite]\n"
    "Converts an EOL recording. The output's extension names the format:\n"
    "  .bdf  BDF+, 24-bit samples\n"
    "  .edf  EDF+, 16-bit samples, each channel scaled so that nothing clips\n"
    "  .gdf  GDF, 32-bit samples, events in the event table\n"
    "Options:\n"
    "  --electrodes FILE   the electrode file that labels the 16 channels\n"
    "                      (default: kestrom.dll beside eol-convert, else in ../share/vostrel/)\n"
    "  --uv-per-count X    the amplifier's microvolts per raw count, a number above 0\n"
    "                      (default: the recording's sidecar NAME.json; without one the\n"
    "                      values stay raw counts, unit \"count\")\n"
    "  --overwrite         replace an existing OUT (default: refuse it)\n"
    "  --help              this text\n"
    "The start time and the markers come from the sidecar (NAME.json, NAME_events.tsv)\n"
    "that Vostrel writes beside each recording; without it the start is the file's\n"
    "time minus its duration.\n";

std::atomic<bool> interrupted{false};
void Interrupt(int) { interrupted = true; }

struct Options {
    ExportRequest request;
    bool help = false;
};

bool ParseFactor(const std::string& text, double& value) { return ReadFiniteNumber(text, value) && value > 0.0; }

// False, with what is wrong and what is accepted in error, for bad options.
bool Parse(const std::vector<std::string>& args, Options& options, std::string& error) {
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--electrodes" || arg == "--uv-per-count";
        if (takesValue && (i + 1 >= args.size() || args[i + 1].empty())) {
            error = arg + (arg == "--electrodes" ? " needs a FILE" : " needs a number above 0, such as 0.0224");
            return false;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--overwrite") {
            options.request.overwrite = true;
        } else if (arg == "--electrodes") {
            options.request.electrodeFile = args[++i];
        } else if (arg == "--uv-per-count") {
            double factor = 0.0;
            if (!ParseFactor(args[++i], factor)) {
                error = "--uv-per-count takes a number above 0, such as 0.0224, not " + args[i];
                return false;
            }
            options.request.microvoltsPerCount = factor;
        } else if (arg.starts_with("-") && arg.size() > 1) {
            error = "unknown option " + arg + "; the options are --electrodes FILE, --uv-per-count X, --overwrite and --help";
            return false;
        } else {
            files.push_back(arg);
        }
    }
    if (options.help) return true;
    if (files.size() != 2) {
        error = "takes an input IN.EOL and an output OUT.bdf, OUT.edf or OUT.gdf, not " + std::to_string(files.size()) +
                " file names";
        return false;
    }
    options.request.input = files[0];
    options.request.output = files[1];
    if (!FormatForPath(files[1])) {
        error = files[1] + ": the output's extension must be .bdf, .edf or .gdf";
        return false;
    }
    if (options.request.electrodeFile.empty()) options.request.electrodeFile = DefaultElectrodeFilePath(ExecutableDirectory());
    return true;
}

std::string Summary(const ExportRequest& request, const ExportSummary& summary) {
    std::ostringstream line;
    line << request.output << ": " << summary.channels << " channels, " << summary.samples << " samples, "
         << std::fixed << std::setprecision(3) << summary.seconds << " s, " << summary.annotations << " annotations";
    return line.str();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!Parse(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        return ReportUsageError(kProgram, error, std::cerr);
    }
    if (options.help) {
        std::cout << kHelp;
        return 0;
    }
    std::signal(SIGINT, Interrupt);
    std::signal(SIGTERM, Interrupt);
    const ExportRequest& request = options.request;
    const ExportResult result = ExportRecording(request, [](std::int64_t, std::int64_t) { return !interrupted; });
    switch (result.status) {
    case ExportStatus::Failed: std::cerr << kProgram << ": " << result.error << "\n"; return 1;
    case ExportStatus::Cancelled: std::cerr << kProgram << ": " << request.output << ": interrupted, not written\n"; return 1;
    case ExportStatus::Done: break;
    }
    std::cout << Summary(request, result.summary) << std::endl;
    for (const auto& [text, code] : result.summary.gdfCodes) std::cout << "  event code " << code << ": " << text << "\n";
    if (const std::string warning = ElectrodeLabelWarning(request.electrodeFile); !warning.empty()) {
        std::cerr << kProgram << ": warning: " << warning << "; the channels are named Ch1 to Ch16\n";
    }
    if (!result.summary.microvoltsPerCount) {
        std::cerr << kProgram << ": warning: no --uv-per-count and none beside the recording, so the values are raw counts (unit \"count\")\n";
    }
    if (!result.summary.startFromSidecar) {
        std::cerr << kProgram << ": " << request.input
                  << " has no sidecar with its start time: the start is the file's time minus its duration\n";
    }
    if (result.summary.trailingBytes > 0) {
        std::cerr << kProgram << ": " << request.input << " ends in a record cut short (" << result.summary.trailingBytes
                  << " bytes): its whole records were exported\n";
    }
    return 0;
}
