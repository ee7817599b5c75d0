// The serial backend against the amplifier emulator on a pseudo-terminal: the
// real tty code path, with the emulator served on a thread of its own.

#include "tools/amp-emulator/pty_amplifier.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "acquisition/engine/signal_conditioning.h"
#include "acquisition/usb/serial_bridge.h"
#include "acquisition/usb/usb_amplifier.h"

namespace {
constexpr int P = AmplifierEmulator::kPacketSize;
constexpr int C = AmplifierEmulator::kValuesPerSample;

class PtyAmplifierTest : public ::testing::Test {
protected:
    PtyAmplifierTest() : server(Options()) {}

    static EmulatorOptions Options() {
        EmulatorOptions options;
        options.ssvepFrequencies = {9.0, 13.0};
        options.holdSeconds = 0.5;
        return options;
    }

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.Open(error)) << error;
        serving = std::thread([this] { server.Serve(stop); });
        amplifier = std::make_unique<UsbAmplifier>(std::make_unique<SerialBridge>(server.SlavePath()), out);
    }
    void TearDown() override {
        stop = true;
        if (serving.joinable()) serving.join();
    }

    PtyAmplifier server;
    std::atomic<bool> stop{false};
    std::thread serving;
    std::ostringstream out;
    std::unique_ptr<UsbAmplifier> amplifier;
};

TEST_F(PtyAmplifierTest, SerialBridgeTalksToTheEmulatorOnATty) {
    ASSERT_TRUE(amplifier->OpenDevice(P, C, 1000));
    EXPECT_EQ(out.str(), "connect \nrecievedEEG\n握手成功\n");

    // Waveform mode: the frames decode to exactly what the emulator generated.
    amplifier->SetMode(0);
    AmplifierEmulator reference(Options());
    const auto mode0 = amp::ModeCommand(0);
    reference.Receive(mode0);
    std::array<std::uint8_t, amp::kFrameBytes> frame{};
    std::vector<std::int32_t> expected(P * C), packet(P * C);
    for (int i = 0; i < 25; ++i) {
        int channel = -99;
        ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1) << "frame " << i;
        reference.NextFrame(frame, expected);
        ASSERT_EQ(packet, expected) << "frame " << i;
        EXPECT_EQ(amplifier->LastCounter(), i);
        EXPECT_EQ(channel, 0);
    }
    amplifier->Close();

    // Impedance mode: the measured channel moves one step a second, and the
    // test signal is on it.
    amplifier->SetMode(1);
    int previous = -1;
    int moves = 0;
    for (int i = 0; i < 35; ++i) {
        int channel = -99;
        ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1) << "frame " << i;
        ASSERT_GE(channel, 0);
        ASSERT_LT(channel, 16);
        if (previous >= 0 && channel != previous) {
            EXPECT_EQ(channel, (previous + 1) % 16);
            ++moves;
        }
        previous = channel;
        const int z = EstimateImpedance(packet, P, C, channel).stored;
        EXPECT_NEAR(z, AmplifierEmulator::ImpedanceOf(channel), 2 + AmplifierEmulator::ImpedanceOf(channel) / 20);
    }
    EXPECT_EQ(moves, 1);  // 35 frames of 40 ms span exactly one change of channel
    amplifier->Close();
}

TEST_F(PtyAmplifierTest, StopWakesAFrameReadOnTheTty) {
    ASSERT_TRUE(amplifier->OpenDevice(P, C, 1000));
    // No mode command: no frame is coming.
    int result = -1;
    std::thread reader([&] {
        int channel = 0;
        std::vector<std::int32_t> packet(P * C);
        result = amplifier->ReadPacketWithChannel(packet, channel);
    });
    amplifier->CancelReads();
    reader.join();
    EXPECT_EQ(result, 0);
    amplifier->ResumeReads();

    // The next stream starts clean even though reads were cut off.
    amplifier->SetMode(0);
    AmplifierEmulator reference(Options());
    const auto mode0 = amp::ModeCommand(0);
    reference.Receive(mode0);
    std::array<std::uint8_t, amp::kFrameBytes> frame{};
    std::vector<std::int32_t> expected(P * C), packet(P * C);
    int channel = 0;
    ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1);
    reference.NextFrame(frame, expected);
    EXPECT_EQ(packet, expected);
    amplifier->Close();
}

}  // namespace
