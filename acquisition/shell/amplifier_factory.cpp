#include "acquisition/shell/amplifier_factory.h"

#include "acquisition/usb/bridge_option.h"
#include "acquisition/usb/usb_amplifier.h"

std::unique_ptr<ModalAmplifier> MakeAmplifier(const std::string& amplifierOption, std::string& error) {
    auto bridge = MakeBridge(amplifierOption, error);
    if (!bridge) return nullptr;
    return std::make_unique<UsbAmplifier>(std::move(bridge));
}
