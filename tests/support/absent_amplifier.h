#pragma once
// An amplifier that is never there: it cannot be opened, and reads deliver
// nothing. The engine always tells the amplifier its mode, so tests that play
// files still need one.

#include "acquisition/device/amplifier_device.h"

class AbsentAmplifier : public ModalAmplifier {
public:
    bool OpenDevice(int, int, int) override { return false; }
    void SetMode(AcquisitionMode) override {}
    std::string LastFailure() const override { return {}; }
    std::string Name() const override { return "amplifier"; }
    int ReadPacketWithChannel(std::span<std::int32_t>, int&) override { return 0; }
    void Close() override {}
    void CancelReads() override {}
    void ResumeReads() override {}
    DeviceHealth Health() const override { return {}; }
};
