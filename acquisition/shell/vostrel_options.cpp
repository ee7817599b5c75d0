#include "acquisition/shell/vostrel_options.h"

#include "acquisition/server/data_server.h"

#include <charconv>
#include <cmath>

const char* const kVostrelUsage =
    "usage: vostrel [--amplifier serial[:DEVICE]|emulator[:OPTIONS]] [--play FILE.EOL]\n"
    "               [--electrodes FILE] [--serve] [--listen ADDRESS] [--port N]\n"
    "               [--start | --impedance] [--record FILE.EOL] [--quit-after SECONDS]\n";

namespace {

bool ParseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool ParseSeconds(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty() && std::isfinite(value) && value >= 0.0;
}

}  // namespace

bool ParseVostrelOptions(const std::vector<std::string>& args, VostrelOptions& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        // The value of an option that takes one.
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = name + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string text;
        if (name == "--amplifier") {
            // Which amplifiers exist is MakeAmplifier's to say.
            if (!value(options.amplifier)) return false;
        } else if (name == "--play") {
            if (!value(options.playFile)) return false;
        } else if (name == "--electrodes") {
            if (!value(options.electrodeFile)) return false;
        } else if (name == "--serve") {
            options.serve = true;
        } else if (name == "--listen") {
            if (!value(options.listenAddress)) return false;
            if (!DataServer::IsValidListenAddress(QString::fromStdString(options.listenAddress))) {
                error = "--listen takes a numeric IPv4 or IPv6 address, or localhost";
                return false;
            }
        } else if (name == "--port") {
            int port = 0;
            if (!value(text)) return false;
            if (!ParseInt(text, port) || port < 0 || port > 65535) {
                error = "--port takes a number from 0 to 65535";
                return false;
            }
            options.port = port;
        } else if (name == "--start" || name == "--impedance") {
            const auto mode = name == "--start" ? VostrelOptions::StartMode::Waveform
                                                : VostrelOptions::StartMode::Impedance;
            if (options.start != VostrelOptions::StartMode::None && options.start != mode) {
                error = "--start and --impedance exclude each other";
                return false;
            }
            options.start = mode;
        } else if (name == "--record") {
            if (!value(options.recordFile)) return false;
        } else if (name == "--quit-after") {
            double seconds = 0.0;
            if (!value(text)) return false;
            if (!ParseSeconds(text, seconds)) {
                error = "--quit-after takes a number of seconds";
                return false;
            }
            options.quitAfterSeconds = seconds;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    if (!options.recordFile.empty() && options.start == VostrelOptions::StartMode::None) {
        error = "--record needs --start or --impedance";
        return false;
    }
    return true;
}
