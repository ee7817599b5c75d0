#pragma once
// The amplifier emulator behind the bridge interface, in the same process: a
// handshake is answered at once, a mode command starts one frame per 40 ms of
// the clock, the stop command ends them. Frames not read yet wait in the
// bridge as they would in a real one, up to about a second's worth. Faults,
// when asked for, are injected on the line (see emulator_faults.h); while the
// adapter has vanished, opening fails and reads fail as on a pulled adapter.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "acquisition/usb/emulator_clock.h"
#include "acquisition/usb/emulator_line.h"
#include "acquisition/usb/usb_bridge.h"

class EmulatedBridge final : public UsbBridge {
public:
    static constexpr Handle kHandle = 1;
    static constexpr const char* kProductString = "Amplifier emulator";

    explicit EmulatedBridge(EmulatorOptions options = {}, EmulatorFaults faults = {},
                            std::unique_ptr<EmulatorClock> clock = std::make_unique<SteadyClock>());

    Status GetNumDevices(int& count) override;
    Status GetProductString(int deviceIndex, std::span<char> buffer, int option) override;
    Status Open(int deviceIndex, Handle& handle) override;
    Status Read(Handle handle, std::span<std::uint8_t> buffer, int& bytesReceived) override;
    Status Write(Handle handle, std::span<const std::uint8_t> bytes, int& bytesWritten) override;
    Status SetTimeouts(int readTimeoutMs, int writeTimeoutMs) override;
    Status GetTimeouts(int& readTimeoutMs, int& writeTimeoutMs) override;
    Status SetBaudRate(Handle handle, int baudRate) override;
    void CancelReads() override;
    void ResumeReads() override;
    std::string DeviceName() const override { return "放大器仿真器"; }
    std::string LastError() const override;

    // A silent amplifier takes commands and answers nothing, like one that is
    // switched off behind a live bridge.
    void SetSilent(bool silent);
    // True while a Read waits for bytes.
    bool ReadWaiting() const;
    int Mode() const;
    FaultCounts Counts() const;
    void WatchFrames(EmulatorLine::FrameWatcher watcher);

private:
    // Brings the line up to now; a vanished adapter drops the open handle.
    void Advance();
    bool ValidHandle(Handle handle) const { return open_ && handle == kHandle; }

    std::unique_ptr<EmulatorClock> clock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    EmulatorLine line_;
    bool open_ = false;
    bool silent_ = false;
    bool cancelled_ = false;
    bool readWaiting_ = false;
    unsigned changes_ = 0;  // bumped by whatever a waiting read should look at again
    BridgeTimeouts timeouts_;
};
