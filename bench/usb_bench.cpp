// What one 2086-byte amplifier frame costs the host: the decoding alone, and a
// whole ReadPacketWithChannel (lock, timeouts saved and restored, bridge read,
// verification of the frame's place in the stream, decoding) from a bridge
// that always has frames ready. Real time allows
// 40 ms per frame at the defaults. Also what the emulator spends building one.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <sstream>
#include <vector>

#include "acquisition/usb/amplifier_emulator.h"
#include "acquisition/usb/amplifier_protocol.h"
#include "acquisition/usb/usb_amplifier.h"

namespace {
constexpr int P = AmplifierEmulator::kPacketSize;
constexpr int C = AmplifierEmulator::kValuesPerSample;

std::array<std::uint8_t, amp::kFrameBytes> EmulatedFrame() {
    AmplifierEmulator emulator;
    const auto mode = amp::ModeCommand(0);
    emulator.Receive(mode);
    std::array<std::uint8_t, amp::kFrameBytes> frame{};
    emulator.NextFrame(frame);
    return frame;
}

// An endless stream of the same frame with its counter stepping, always ready.
class ReadyBridge final : public UsbBridge {
public:
    explicit ReadyBridge(std::array<std::uint8_t, amp::kFrameBytes> frame) : frame_(frame) {}
    Status GetNumDevices(int& count) override {
        count = 1;
        return kSuccess;
    }
    Status GetProductString(int, std::span<char> buffer, int) override {
        buffer[0] = '\0';
        return kSuccess;
    }
    Status Open(int, Handle& handle) override {
        handle = 1;
        return kSuccess;
    }
    Status Read(Handle, std::span<std::uint8_t> buffer, int& received) override {
        for (std::uint8_t& byte : buffer) {
            const std::size_t at = position_ % frame_.size();
            byte = at == amp::kCounterByte ? static_cast<std::uint8_t>(position_ / frame_.size()) : frame_[at];
            ++position_;
        }
        received = static_cast<int>(buffer.size());
        return kSuccess;
    }
    Status Write(Handle, std::span<const std::uint8_t> bytes, int& written) override {
        written = static_cast<int>(bytes.size());
        return kSuccess;
    }
    Status SetTimeouts(int r, int w) override {
        r_ = r;
        w_ = w;
        return kSuccess;
    }
    Status GetTimeouts(int& r, int& w) override {
        r = r_;
        w = w_;
        return kSuccess;
    }
    Status SetBaudRate(Handle, int) override { return kSuccess; }
    void CancelReads() override {}
    void ResumeReads() override {}
    std::string DeviceName() const override { return "ready"; }
    std::string LastError() const override { return {}; }

private:
    std::array<std::uint8_t, amp::kFrameBytes> frame_;
    std::uint64_t position_ = 0;
    int r_ = 0;
    int w_ = 0;
};

void DecodeFrame(benchmark::State& state) {
    const auto frame = EmulatedFrame();
    std::vector<std::int32_t> packet(P * C);
    for (auto _ : state) {
        amp::DecodeFrame(frame, P, C, packet);
        benchmark::DoNotOptimize(packet.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DecodeFrame);

void ReadPacketWithChannel(benchmark::State& state) {
    std::ostringstream diagnostics;
    UsbAmplifier amplifier(std::make_unique<ReadyBridge>(EmulatedFrame()), diagnostics);
    amplifier.OpenDevice(P, C, 1000);
    amplifier.SetMode(AcquisitionMode::Waveform);
    std::vector<std::int32_t> packet(P * C);
    int channel = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(amplifier.ReadPacketWithChannel(packet, channel));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ReadPacketWithChannel);

void EmulatorBuildsFrame(benchmark::State& state) {
    AmplifierEmulator emulator;
    const auto mode = amp::ModeCommand(0);
    emulator.Receive(mode);
    std::array<std::uint8_t, amp::kFrameBytes> frame{};
    for (auto _ : state) {
        emulator.NextFrame(frame);
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(EmulatorBuildsFrame);

}  // namespace
