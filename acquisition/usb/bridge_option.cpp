#include "acquisition/usb/bridge_option.h"

#include <cmath>

#include "acquisition/usb/emulated_bridge.h"
#include "acquisition/usb/serial_bridge.h"
#include "common/command_line.h"

namespace {
constexpr double kMaxFrequencyHz = AmplifierEmulator::kSampleRate / 2.0;
constexpr double kMaxHoldSeconds = 24.0 * 3600.0;

// Splits off the text before the first separator; text keeps the rest.
std::string_view NextField(std::string_view& text, char separator) {
    const auto at = text.find(separator);
    const std::string_view field = text.substr(0, at);
    text = at == std::string_view::npos ? std::string_view{} : text.substr(at + 1);
    return field;
}
}  // namespace

bool ParseSsvepSchedule(std::string_view text, std::vector<double>& frequencies, std::string& error) {
    std::vector<double> parsed;
    if (text.empty()) {
        error = "ssvep needs at least one frequency, as F1/F2/...";
        return false;
    }
    while (true) {
        const bool last = text.find('/') == std::string_view::npos;
        const std::string_view field = NextField(text, '/');
        double hz = 0;
        if (!ReadFiniteNumber(field, hz) || hz <= 0 || hz >= kMaxFrequencyHz) {
            error = "bad SSVEP frequency \"" + std::string(field) + "\": give Hz above 0 and below 500";
            return false;
        }
        parsed.push_back(hz);
        if (last) break;
    }
    frequencies = std::move(parsed);
    return true;
}

bool ParseHoldSeconds(std::string_view text, double& seconds, std::string& error) {
    double value = 0;
    if (!ReadFiniteNumber(text, value) || value <= 0 || value > kMaxHoldSeconds) {
        error = "bad hold time \"" + std::string(text) + "\": give seconds above 0";
        return false;
    }
    seconds = value;
    return true;
}

bool ParseEmulatorOptions(std::string_view text, EmulatorOptions& options, EmulatorFaults& faults,
                          std::string& error) {
    EmulatorOptions parsed = options;
    EmulatorFaults parsedFaults = faults;
    while (!text.empty()) {
        const std::string_view item = NextField(text, ',');
        const auto equals = item.find('=');
        const std::string_view key = item.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? std::string_view{} : item.substr(equals + 1);
        if (equals == std::string_view::npos) {
            error = "emulator option \"" + std::string(item) +
                    "\" needs a value (ssvep=F1/F2/..., hold=SECONDS or a fault as lose-bytes=3/2)";
            return false;
        }
        if (key == "ssvep") {
            if (!ParseSsvepSchedule(value, parsed.ssvepFrequencies, error)) return false;
        } else if (key == "hold") {
            if (!ParseHoldSeconds(value, parsed.holdSeconds, error)) return false;
        } else if (IsFaultKey(key)) {
            if (!ParseFault(key, value, parsedFaults, error)) return false;
        } else {
            error = "unknown emulator option \"" + std::string(key) +
                    "\" (known: ssvep, hold, " + FaultNames() + ")";
            return false;
        }
    }
    options = std::move(parsed);
    faults = parsedFaults;
    return true;
}

std::unique_ptr<UsbBridge> MakeBridge(std::string_view option, std::string& error) {
    const auto colon = option.find(':');
    const std::string_view kind = option.substr(0, colon);
    const bool hasArgument = colon != std::string_view::npos;
    const std::string_view argument = hasArgument ? option.substr(colon + 1) : std::string_view{};

    if (kind.empty() && !hasArgument) return std::make_unique<SerialBridge>();
    if (kind == "serial") {
        if (!hasArgument) return std::make_unique<SerialBridge>();
        if (argument.empty()) {
            error = "serial: needs a device path, as serial:/dev/ttyUSB0";
            return nullptr;
        }
        return std::make_unique<SerialBridge>(std::string(argument));
    }
    if (kind == "emulator") {
        EmulatorOptions options;
        EmulatorFaults faults;
        if (!ParseEmulatorOptions(argument, options, faults, error)) return nullptr;
        return std::make_unique<EmulatedBridge>(std::move(options), faults);
    }
    error = "unknown amplifier \"" + std::string(option) +
            "\": use serial[:DEVICE] or emulator[:ssvep=F1/F2/...,hold=SECONDS,FAULT=N/SECONDS...]";
    return nullptr;
}
