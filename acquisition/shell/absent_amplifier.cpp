#include "acquisition/shell/absent_amplifier.h"

std::unique_ptr<ModalAmplifier> MakeAmplifier(const std::string& amplifierOption, std::string& error) {
    const std::string kind = amplifierOption.substr(0, amplifierOption.find(':'));
    if (!amplifierOption.empty() && kind != "serial" && kind != "emulator") {
        error = "unknown amplifier '" + amplifierOption + "' (serial[:DEVICE] or emulator[:OPTIONS])";
        return nullptr;
    }
    return std::make_unique<AbsentAmplifier>();
}
