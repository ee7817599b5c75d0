#include "acquisition/usb/emulator_faults.h"

#include <cmath>

#include "acquisition/usb/amplifier_emulator.h"
#include "common/command_line.h"

namespace {
constexpr double kFramesPerSecond = 1000.0 / AmplifierEmulator::kFrameIntervalMs;
constexpr double kMaxSeconds = 24.0 * 3600.0;

int Frames(double seconds) { return static_cast<int>(std::lround(seconds * kFramesPerSecond)); }

struct FaultKind {
    std::string_view key;
    PeriodicFault EmulatorFaults::*fault;
    double minAmount;
    double maxAmount;
    bool amountInSeconds;
    const char* amountText;
    int unitsOffset = 0;  // added to the amount as stored (flip: bit 0 is stored as 1)
};

constexpr FaultKind kKinds[] = {
    {"lose-bytes", &EmulatorFaults::loseBytes, 1, 2085, false, "bytes from 1 to 2085"},
    {"cut-start", &EmulatorFaults::cutStart, 1, 2085, false, "bytes from 1 to 2085"},
    {"cut-end", &EmulatorFaults::cutEnd, 1, 2085, false, "bytes from 1 to 2085"},
    {"lose-frames", &EmulatorFaults::loseFrames, 1, 100000, false, "frames from 1"},
    {"pause", &EmulatorFaults::pause, 1, 60000, false, "milliseconds from 1 to 60000"},
    {"silence", &EmulatorFaults::silence, 0, kMaxSeconds, true, "seconds above 0"},
    {"vanish", &EmulatorFaults::vanish, 0, kMaxSeconds, true, "seconds above 0"},
    {"noise", &EmulatorFaults::noise, 52, 2081, false, "bytes from 52 to 2081"},
    {"repeat", &EmulatorFaults::repeat, 1, 5, false, "copies from 1 to 5"},
    {"insert", &EmulatorFaults::insert, 1, 10430, false, "bytes from 1 to 10430"},
    {"flip", &EmulatorFaults::flip, 0, 7, false, "the counter's bit, 0 to 7", 1},
};

const FaultKind* FindKind(std::string_view key) {
    for (const FaultKind& kind : kKinds) {
        if (kind.key == key) return &kind;
    }
    return nullptr;
}
}  // namespace

std::string FaultNames() {
    std::string names;
    for (const FaultKind& kind : kKinds) names += std::string(kind.key) + ", ";
    return names + "until";
}

bool IsFaultKey(std::string_view key) { return key == "until" || FindKind(key) != nullptr; }

bool ParseFault(std::string_view key, std::string_view value, EmulatorFaults& faults, std::string& error) {
    if (key == "until") {
        double seconds = 0;
        if (!ReadFiniteNumber(value, seconds) || seconds <= 0 || seconds > kMaxSeconds) {
            error = "fault until=" + std::string(value) + ": give seconds above 0";
            return false;
        }
        const auto until = static_cast<std::uint64_t>(Frames(seconds));
        for (const FaultKind& kind : kKinds) (faults.*(kind.fault)).untilFrame = until;
        return true;
    }
    const FaultKind* kind = FindKind(key);
    if (!kind) {
        error = "unknown fault \"" + std::string(key) + "\" (known: " + FaultNames() + ")";
        return false;
    }
    const auto slash = value.find('/');
    double amount = 0;
    double every = 0;
    const bool parsed = slash != std::string_view::npos && ReadFiniteNumber(value.substr(0, slash), amount) &&
                        ReadFiniteNumber(value.substr(slash + 1), every);
    // Ranges first: only numbers within them are converted to whole units.
    const bool inRange = parsed && amount >= kind->minAmount && amount <= kind->maxAmount &&
                         (kind->amountInSeconds ? amount > 0 : amount == std::floor(amount));
    const int amountUnits =
        !inRange ? 0 : kind->amountInSeconds ? Frames(amount) : static_cast<int>(amount) + kind->unitsOffset;
    if (amountUnits < 1) {
        error = "fault " + std::string(key) + "=" + std::string(value) + ": give AMOUNT/SECONDS, AMOUNT in " +
                kind->amountText;
        return false;
    }
    const int everyFrames = every > 0 && every <= kMaxSeconds ? Frames(every) : 0;
    if (everyFrames < 1 || (kind->amountInSeconds && amountUnits >= everyFrames)) {
        error = "fault " + std::string(key) + "=" + std::string(value) +
                ": give how often in seconds, at least one frame (0.04) and longer than the fault";
        return false;
    }
    PeriodicFault& fault = faults.*(kind->fault);
    fault.amount = amountUnits;
    fault.everyFrames = everyFrames;
    return true;
}

bool ParseFaults(std::string_view text, EmulatorFaults& faults, std::string& error) {
    EmulatorFaults parsed = faults;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        const auto equals = item.find('=');
        if (equals == std::string_view::npos) {
            error = "fault \"" + std::string(item) + "\" needs a value, as lose-bytes=3/2";
            return false;
        }
        if (!ParseFault(item.substr(0, equals), item.substr(equals + 1), parsed, error)) return false;
    }
    faults = parsed;
    return true;
}

std::string DescribeCounts(const FaultCounts& counts) {
    return "frames made " + std::to_string(counts.framesMade) + ", lost to faults " +
           std::to_string(counts.framesLost) + ", dropped unread " + std::to_string(counts.framesDropped) +
           ", pauses " + std::to_string(counts.pauses) + ", vanishes " + std::to_string(counts.vanishes) +
           ", repeated " + std::to_string(counts.framesRepeated) + ", bytes inserted " +
           std::to_string(counts.bytesInserted) + ", counters flipped " + std::to_string(counts.countersFlipped);
}
