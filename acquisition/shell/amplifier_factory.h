#pragma once
// The one place that decides which amplifier the program drives.

#include <memory>
#include <string>

#include "acquisition/device/amplifier_device.h"

// The USB amplifier behind the bridge that the --amplifier option names
// ("serial[:DEVICE]" or "emulator[:OPTIONS]"; empty is serial). Null, with the
// reason in error, for an option it cannot use. A missing amplifier is not an
// error here: it shows when acquisition starts.
std::unique_ptr<ModalAmplifier> MakeAmplifier(const std::string& amplifierOption, std::string& error);
