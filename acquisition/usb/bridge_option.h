#pragma once
// The bridge that the command line asks for:
//   serial             the first USB serial port the kernel shows
//   serial:DEVICE      that tty (a pseudo-terminal of amp-emulator, say)
//   emulator[:OPTIONS] the in-process amplifier emulator; OPTIONS are
//                      comma-separated: ssvep=F1/F2/... (Hz), hold=SECONDS and
//                      the faults of emulator_faults.h (lose-bytes=3/2, ...)
// An empty option means serial.

#include <memory>
#include <string>
#include <string_view>

#include "acquisition/usb/amplifier_emulator.h"
#include "acquisition/usb/emulator_faults.h"
#include "acquisition/usb/usb_bridge.h"

// nullptr, with error saying why, when option is not one of the above.
std::unique_ptr<UsbBridge> MakeBridge(std::string_view option, std::string& error);

// Parses "ssvep=10/12/11,hold=4,pause=200/5" (every part may be left out)
// into options and faults.
bool ParseEmulatorOptions(std::string_view text, EmulatorOptions& options, EmulatorFaults& faults,
                          std::string& error);
// The two parts on their own, as amp-emulator's --ssvep and --hold take them.
bool ParseSsvepSchedule(std::string_view text, std::vector<double>& frequencies, std::string& error);
bool ParseHoldSeconds(std::string_view text, double& seconds, std::string& error);
