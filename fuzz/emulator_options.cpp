// The amplifier choice of --amplifier with the emulator's options and faults,
// and amp-emulator's --ssvep, --hold and --faults.

#include <string_view>

#include "acquisition/usb/bridge_option.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    Require(MakeBridge(text, error) != nullptr || !error.empty());

    EmulatorOptions options;
    EmulatorFaults faults;
    if (ParseEmulatorOptions(text, options, faults, error)) Require(!options.ssvepFrequencies.empty());
    EmulatorFaults listed;
    if (ParseFaults(text, listed, error)) {
        for (const PeriodicFault* fault : {&listed.loseBytes, &listed.cutStart, &listed.cutEnd, &listed.loseFrames, &listed.pause, &listed.silence,
                                           &listed.vanish, &listed.noise, &listed.repeat, &listed.insert,
                                           &listed.flip}) {
            Require(fault->everyFrames >= 0 && fault->amount >= 0);
        }
        Require(listed.loseBytes.amount < 2086);
        // The emulator's line must be able to hold what a fault adds.
        Require(listed.noise.amount <= 2081 && listed.repeat.amount <= 5 && listed.insert.amount <= 10430);
        Require(listed.flip.amount <= 8);
    }
    std::vector<double> frequencies;
    if (ParseSsvepSchedule(text, frequencies, error)) Require(!frequencies.empty());
    double seconds = 0;
    if (ParseHoldSeconds(text, seconds, error)) Require(seconds > 0);
    return 0;
}
