#pragma once
// The amplifier the program uses while no USB amplifier driver is built in: it
// behaves as an amplifier that is not attached, so opening it always fails.

#include <memory>
#include <string>

#include "acquisition/engine/engine_ports.h"

class AbsentAmplifier : public ModalAmplifier {
public:
    bool OpenDevice(int, int, int) override { return false; }
    void SetMode(int) override {}
};

// The one place that decides which amplifier the program drives, from the
// --amplifier option ("serial[:DEVICE]" or "emulator[:OPTIONS]"; empty is
// serial). Null, with the reason in error, for an option it cannot use.
std::unique_ptr<ModalAmplifier> MakeAmplifier(const std::string& amplifierOption, std::string& error);
