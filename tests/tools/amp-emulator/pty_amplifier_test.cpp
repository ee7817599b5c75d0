// The serial backend against the amplifier emulator on a pseudo-terminal: the
// real tty code path, with the emulator served on a thread of its own.

#include "tools/amp-emulator/pty_amplifier.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "acquisition/engine/signal_conditioning.h"
#include "acquisition/usb/serial_bridge.h"
#include "acquisition/usb/usb_amplifier.h"
#include "support/temp_dir.h"

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

    // What the served emulator sends once told mode 0, packet by packet, as
    // the host should decode it.
    class ReferenceStream {
    public:
        ReferenceStream() { emulator_.Receive(amp::ModeCommand(0)); }
        const std::vector<std::int32_t>& Next() {
            emulator_.NextFrame(frame_, expected_);
            return expected_;
        }

    private:
        AmplifierEmulator emulator_{Options()};
        std::array<std::uint8_t, amp::kFrameBytes> frame_{};
        std::vector<std::int32_t> expected_ = std::vector<std::int32_t>(P * C);
    };

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
    amplifier->SetMode(AcquisitionMode::Waveform);
    ReferenceStream reference;
    std::vector<std::int32_t> packet(P * C);
    for (int i = 0; i < 25; ++i) {
        int channel = -99;
        ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1) << "frame " << i;
        ASSERT_EQ(packet, reference.Next()) << "frame " << i;
        EXPECT_EQ(amplifier->LastCounter(), i);
        EXPECT_EQ(channel, 0);
    }
    amplifier->Close();

    // Impedance mode: the measured channel moves one step a second, and the
    // test signal is on it.
    amplifier->SetMode(AcquisitionMode::Impedance);
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
    amplifier->SetMode(AcquisitionMode::Waveform);
    ReferenceStream reference;
    std::vector<std::int32_t> packet(P * C);
    int channel = 0;
    ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1);
    EXPECT_EQ(packet, reference.Next());
    amplifier->Close();
}

// The real serial path through every fault the line can show. Whatever the
// fault, each packet the host delivers is one the emulator made, whole and in
// order, and the host counts exactly the frames missing from what it
// delivered. Once the host knows the frame's constant bytes (half a second
// in), those are exactly the frames not sent whole, and, when the adapter
// vanished, the one before, which nothing came after to vouch for.
struct FaultRun {
    const char* name;
    const char* faults;
    int packets;  // delivered before the run ends
    bool cuts;    // the fault keeps frames from going out whole
};

class PtyFaults : public ::testing::TestWithParam<FaultRun> {};

TEST_P(PtyFaults, DeliveredPacketsAreGenuineAndTheLostAreCounted) {
    const FaultRun& run = GetParam();
    EmulatorFaults faults;
    std::string error;
    ASSERT_TRUE(ParseFaults(run.faults, faults, error)) << error;
    TempDir dir;
    PtyAmplifier server(EmulatorOptions{}, faults, dir.File("amp"));

    // What the emulator made, in order: each frame's packet and its fate.
    std::mutex mutex;
    std::map<std::vector<std::int32_t>, std::size_t> madeAt;
    std::vector<bool> sentWhole;
    server.WatchFrames([&](std::span<const std::uint8_t, amp::kFrameBytes> frame, bool sent) {
        std::vector<std::int32_t> values(P * C);
        amp::DecodeFrame(frame, P, C, values);
        std::lock_guard lock(mutex);
        madeAt.emplace(std::move(values), sentWhole.size());
        sentWhole.push_back(sent);
    });
    ASSERT_TRUE(server.Open(error)) << error;
    std::atomic<bool> stop{false};
    std::thread serving([&] { server.Serve(stop); });

    std::ostringstream out;
    UsbAmplifier amplifier(std::make_unique<SerialBridge>(server.HostPath()), out);
    ASSERT_TRUE(amplifier.OpenDevice(P, C, 1000));
    amplifier.SetMode(AcquisitionMode::Waveform);
    std::vector<std::size_t> delivered;
    // The first frame made once frames were proven by their own bytes.
    std::size_t learnt = std::numeric_limits<std::size_t>::max();
    std::vector<std::int32_t> packet(P * C);
    const auto patience = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (static_cast<int>(delivered.size()) < run.packets && std::chrono::steady_clock::now() < patience) {
        int channel = 0;
        if (amplifier.ReadPacketWithChannel(packet, channel) != 1) continue;
        std::lock_guard lock(mutex);
        const auto found = madeAt.find(packet);
        ASSERT_NE(found, madeAt.end()) << "packet " << delivered.size() << " is not a frame the emulator made";
        ASSERT_TRUE(delivered.empty() || found->second > delivered.back()) << "out of order";
        delivered.push_back(found->second);
        if (amplifier.Health().framesProvenAlone) learnt = std::min(learnt, found->second);
    }
    amplifier.Close();
    stop = true;
    serving.join();
    ASSERT_EQ(static_cast<int>(delivered.size()), run.packets) << out.str();

    ASSERT_LT(learnt, delivered.back()) << "the constant bytes were never learned";
    std::uint64_t missing = 0;
    std::uint64_t missingLater = 0;
    std::uint64_t cutLater = 0;
    for (std::size_t i = delivered.front(), next = 0; i <= delivered.back(); ++i) {
        if (next < delivered.size() && delivered[next] == i) {
            EXPECT_TRUE(sentWhole[i]) << "frame " << i << " was cut, yet delivered";
            ++next;
            continue;
        }
        ++missing;
        if (i >= learnt) ++missingLater;
        if (i >= learnt && !sentWhole[i]) ++cutLater;
    }
    EXPECT_EQ(amplifier.Health().lostFrames, missing) << out.str();
    EXPECT_LE(missingLater - cutLater, server.Counts().vanishes) << "frames sent whole went missing";
    EXPECT_EQ(cutLater > 0, run.cuts) << "cut " << cutLater;
    // Every copy of a frame delivered once frames are proven alone is
    // dropped as a repeat; the last frame's copies may come after the run.
    const auto copiesMade = [&](std::size_t from, std::size_t to) {
        std::uint64_t copies = 0;
        for (std::size_t i = from; i < to; ++i) {
            const bool spoilt = faults.loseBytes.Due(i + 1) || faults.cutStart.Due(i + 1) ||
                                faults.cutEnd.Due(i + 1) || faults.noise.Due(i + 1);  // never sent again
            if (faults.repeat.Due(i + 1) && !spoilt) copies += static_cast<std::uint64_t>(faults.repeat.amount);
        }
        return copies;
    };
    EXPECT_GE(amplifier.Health().repeatedFrames, copiesMade(learnt, delivered.back()));
    EXPECT_LE(amplifier.Health().repeatedFrames, copiesMade(0, delivered.back() + 1));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PtyFaults,
    ::testing::Values(FaultRun{"bytes", "lose-bytes=3/0.4", 60, true},
                      FaultRun{"frames", "lose-frames=2/0.4", 60, true},
                      FaultRun{"pause", "pause=300/0.4", 60, false},
                      FaultRun{"silence", "silence=0.5/1.2", 60, true},
                      FaultRun{"mixed", "lose-bytes=700/0.52,lose-frames=1/0.36,pause=150/0.28", 80, true},
                      FaultRun{"vanish", "vanish=1/2", 60, true},
                      FaultRun{"noise", "noise=500/0.4", 60, true},
                      FaultRun{"repeat", "repeat=1/0.28", 60, false},
                      FaultRun{"insert", "insert=2086/0.36,insert=5000/0.6", 60, false},
                      FaultRun{"flip", "flip=7/0.4", 60, false},
                      FaultRun{"cuts", "cut-start=5/0.52,cut-end=700/0.68,lose-bytes=2085/0.8", 60, true},
                      FaultRun{"all", "noise=52/0.52,repeat=2/0.36,insert=3/0.28,flip=0/0.44,lose-bytes=1/0.6", 80, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
