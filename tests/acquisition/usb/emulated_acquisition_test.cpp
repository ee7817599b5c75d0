// The acquisition engine reading the in-process amplifier emulator through the
// USB amplifier, as `vostrel --amplifier emulator` runs it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <sstream>
#include <thread>

#include "acquisition/engine/acquisition_engine.h"
#include "acquisition/usb/emulated_bridge.h"
#include "acquisition/usb/usb_amplifier.h"
#include "support/message_recorder.h"
#include "support/temp_dir.h"

namespace {
constexpr int P = 40;
constexpr int C = 17;
constexpr auto kPatience = std::chrono::seconds(30);  // only a broken build waits this long

class RecordingWave : public WaveView {
public:
    static constexpr std::size_t kKept = 400;

    void SetUp(int, int, int, std::span<const ChannelRecord>) override {}
    void SetChannelFlags(std::span<const int>) override {}
    void ResetTimeLabels() override {}
    void SetRecordingPen(bool) override {}
    void AddPacket(std::span<const double> samples, std::chrono::steady_clock::time_point) override {
        {
            std::lock_guard lock(mutex_);
            if (packets_.size() < kKept) packets_.emplace_back(samples.begin(), samples.end());
            ++count_;
        }
        wake_.notify_all();
    }
    bool WaitForPackets(std::size_t n) {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, kPatience, [&] { return count_ >= n; });
    }
    std::vector<std::vector<double>> Packets() {
        std::lock_guard lock(mutex_);
        return packets_;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::vector<double>> packets_;
    std::size_t count_ = 0;
};

class RecordingImpedance : public ImpedanceView {
public:
    void SetUp(int, std::span<const ChannelRecord>) override {}
    void SetChannelFlags(std::span<const int>) override {}
    void ShowImpedances(std::span<const int> impedances) override {
        {
            std::lock_guard lock(mutex_);
            last_.assign(impedances.begin(), impedances.end());
            ++count_;
        }
        wake_.notify_all();
    }
    bool WaitForUpdates(std::size_t n) {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, kPatience, [&] { return count_ >= n; });
    }
    std::vector<int> Last() {
        std::lock_guard lock(mutex_);
        return last_;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<int> last_;
    std::size_t count_ = 0;
};

class EmulatedAcquisition : public ::testing::Test {
protected:
    explicit EmulatedAcquisition(std::unique_ptr<EmulatorClock> clock = std::make_unique<ManualClock>()) {
        EmulatorOptions options;
        options.ssvepFrequencies = {12.0, 15.0};
        options.holdSeconds = 2.0;
        auto owned = std::make_unique<EmulatedBridge>(options, EmulatorFaults{}, std::move(clock));
        bridge = owned.get();
        amplifier = std::make_unique<UsbAmplifier>(std::move(owned), diagnostics);
        engine = std::make_unique<AcquisitionEngine>(playback, *amplifier,
                                                     EnginePorts{nullptr, &wave, &impedance, nullptr});
    }

    double RmsPixels(const std::vector<std::vector<double>>& packets, std::size_t from, int c) {
        double sum = 0;
        std::size_t n = 0;
        for (std::size_t i = from; i < packets.size(); ++i) {
            for (int s = 0; s < P; ++s, ++n) sum += packets[i][static_cast<std::size_t>(s * C + c)] * packets[i][static_cast<std::size_t>(s * C + c)];
        }
        return std::sqrt(sum / static_cast<double>(n));
    }

    std::ostringstream diagnostics;
    RecordingWave wave;
    RecordingImpedance impedance;
    FilePlaybackSource playback;
    EmulatedBridge* bridge = nullptr;
    std::unique_ptr<UsbAmplifier> amplifier;
    std::unique_ptr<AcquisitionEngine> engine;
};

TEST_F(EmulatedAcquisition, WaveformModeShowsCleanedScaledSignalsWithEvents) {
    engine->StartWaveform();
    ASSERT_TRUE(engine->Running());
    EXPECT_EQ(bridge->Mode(), 0);
    ASSERT_TRUE(wave.WaitForPackets(RecordingWave::kKept));
    engine->StopAcquisition();
    EXPECT_FALSE(engine->Running());
    EXPECT_EQ(bridge->Mode(), AmplifierEmulator::kNotStreaming);  // the stop command arrived
    EXPECT_THAT(diagnostics.str(), ::testing::StartsWith("connect \nrecievedEEG\n握手成功\nconnect \n"));

    const auto packets = wave.Packets();
    ASSERT_EQ(packets.size(), RecordingWave::kKept);
    // The first packets are in order: events at 3 s and 6 s, unscaled.
    EXPECT_EQ(packets[75][C - 1], 2);  // 3 s into a 2 s schedule: the second frequency
    EXPECT_EQ(packets[150][C - 1], 2);
    EXPECT_EQ(packets[74][C - 1], 0);
    // Once the canceller has settled (it takes a few seconds), a few to a few
    // tens of pixels; O1 carries alpha and the SSVEP on top.
    constexpr std::size_t kSettled = 250;
    for (int c = 0; c < 16; ++c) {
        EXPECT_GT(RmsPixels(packets, kSettled, c), 4.0) << c;
        EXPECT_LT(RmsPixels(packets, kSettled, c), 30.0) << c;
    }
    EXPECT_GT(RmsPixels(packets, kSettled, 8), 1.3 * RmsPixels(packets, kSettled, 0));

    // A second start continues where the first stopped.
    engine->StartWaveform();
    EXPECT_EQ(bridge->Mode(), 0);
    ASSERT_TRUE(wave.WaitForPackets(RecordingWave::kKept + 50));
    engine->StopAcquisition();
    EXPECT_EQ(bridge->Mode(), AmplifierEmulator::kNotStreaming);
}

TEST_F(EmulatedAcquisition, ImpedanceModeMapsEveryLead) {
    engine->StartImpedance();
    ASSERT_TRUE(engine->Running());
    EXPECT_EQ(bridge->Mode(), 1);
    ASSERT_TRUE(impedance.WaitForUpdates(16 * 25 + 1));
    engine->StopAcquisition();
    const auto z = impedance.Last();
    ASSERT_EQ(z.size(), static_cast<std::size_t>(C));
    for (int c = 0; c < 16; ++c) {
        const int expected = AmplifierEmulator::ImpedanceOf(c);
        EXPECT_NEAR(z[static_cast<std::size_t>(c)], expected, 2 + expected / 20) << c;
    }
    EXPECT_EQ(z[16], AcquisitionEngine::kDefaultImpedance);  // the event channel is never measured
}

TEST_F(EmulatedAcquisition, ImpedanceCommandSwitchesTheRunningEngine) {
    engine->StartWaveform();
    ASSERT_TRUE(wave.WaitForPackets(25));
    engine->StartImpedance();
    EXPECT_EQ(bridge->Mode(), 1);
    ASSERT_TRUE(impedance.WaitForUpdates(25));
    engine->StopAcquisition();
    EXPECT_FALSE(engine->Running());
    EXPECT_EQ(bridge->Mode(), AmplifierEmulator::kNotStreaming);
}

class RealTimeAcquisition : public EmulatedAcquisition {
protected:
    RealTimeAcquisition() : EmulatedAcquisition(std::make_unique<SteadyClock>()) {}
};

TEST_F(RealTimeAcquisition, FramesArriveInRealTime) {
    engine->StartWaveform();
    ASSERT_TRUE(wave.WaitForPackets(10));
    engine->StopAcquisition();
    EXPECT_FALSE(engine->Running());
}

TEST_F(RealTimeAcquisition, StopWakesAReadThatWaitsForASilentAmplifier) {
    ASSERT_TRUE(engine->InitialiseAcquisition());
    bridge->SetSilent(true);
    engine->StartWaveform();
    const auto patience = std::chrono::steady_clock::now() + kPatience;
    while (!bridge->ReadWaiting() && std::chrono::steady_clock::now() < patience) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(bridge->ReadWaiting());

    const auto before = std::chrono::steady_clock::now();
    engine->StopAcquisition();
    const auto stopTook = std::chrono::steady_clock::now() - before;
    EXPECT_FALSE(engine->Running());
    EXPECT_FALSE(bridge->ReadWaiting());
    // The read would have waited 3000 ms; Stop did not wait for it.
    EXPECT_LT(stopTook, std::chrono::milliseconds(UsbAmplifier::kFrameTimeoutMs / 2));

    // The amplifier answers again: acquisition starts afresh.
    bridge->SetSilent(false);
    engine->StartWaveform();
    EXPECT_TRUE(wave.WaitForPackets(3));
    engine->StopAcquisition();
}

// What the server would send: every packet's records.
class CapturedStream : public PacketStream {
public:
    bool ClientConnected() const override { return true; }
    void SendPacket(std::span<const SampleRecord> records) override {
        const auto bytes = RecordBytes(records);
        std::lock_guard lock(mutex_);
        packets_.emplace_back(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    std::vector<std::string> Packets() {
        std::lock_guard lock(mutex_);
        return packets_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> packets_;
};

// The USB amplifier on the in-process emulator, with faults on the line, and
// the engine that reads it.
class FaultyAcquisition {
public:
    FaultyAcquisition(const char* faultList, EnginePorts ports) {
        EmulatorFaults faults;
        std::string error;
        if (!ParseFaults(faultList, faults, error)) ADD_FAILURE() << error;
        auto owned = std::make_unique<EmulatedBridge>(EmulatorOptions{}, faults);
        bridge = owned.get();
        amplifier = std::make_unique<UsbAmplifier>(std::move(owned), diagnostics);
        engine = std::make_unique<AcquisitionEngine>(playback, *amplifier, ports);
    }

    std::ostringstream diagnostics;
    FilePlaybackSource playback;
    EmulatedBridge* bridge = nullptr;
    std::unique_ptr<UsbAmplifier> amplifier;
    std::unique_ptr<AcquisitionEngine> engine;
};

// The impedance command arrives while the amplifier stalls in the middle of
// a frame for longer than a command waits for the bridge, again and again.
// The read gives way and goes on with what it had: every packet recorded or
// streamed is one the amplifier sent, and none is lost.
TEST(EmulatedFaults, ModeCommandsDuringStalledFramesCorruptNothing) {
    CapturedStream stream;
    FaultyAcquisition link("pause=300/0.2", EnginePorts{nullptr, nullptr, nullptr, &stream});
    AcquisitionEngine& engine = *link.engine;
    std::mutex mutex;
    std::set<std::string> made;  // the records of every frame the amplifier made
    link.bridge->WatchFrames([&](std::span<const std::uint8_t, amp::kFrameBytes> frame, bool) {
        std::vector<std::int32_t> packet(P * C);
        amp::DecodeFrame(frame, P, C, packet);
        std::vector<SampleRecord> records(P);
        BuildRecords(packet, P, C, records);
        const auto bytes = RecordBytes(records);
        std::lock_guard lock(mutex);
        made.emplace(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    });

    engine.StartWaveform();
    for (int i = 0; i < 24; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(110));
        if (i % 2 == 0) engine.StartImpedance();
        else engine.StartWaveform();
    }
    engine.StopAcquisition();

    const auto packets = stream.Packets();
    ASSERT_GT(packets.size(), 40u);
    int corrupted = 0;
    {
        std::lock_guard lock(mutex);
        for (const std::string& packet : packets) corrupted += made.count(packet) == 0 ? 1 : 0;
    }
    EXPECT_EQ(corrupted, 0) << "of " << packets.size();
    EXPECT_EQ(link.amplifier->Health().lostFrames, 0u) << link.diagnostics.str();
    EXPECT_GT(link.bridge->Counts().pauses, 10u);
}

// The adapter is pulled in the middle of a recording and comes back: the user
// is told once, the engine never stops, the device is reopened and the same
// file goes on; the frames missed are counted. Stop works while it is gone.
TEST(EmulatedFaults, AVanishedAmplifierIsReopenedAndTheRecordingGoesOn) {
    MessageRecorder host;
    FaultyAcquisition link("vanish=1/2", EnginePorts{&host, nullptr, nullptr, nullptr});
    AcquisitionEngine& engine = *link.engine;
    UsbAmplifier& amplifier = *link.amplifier;
    EmulatedBridge* bridge = link.bridge;
    std::ostringstream& diagnostics = link.diagnostics;
    TempDir dir;
    const std::string path = dir.File("x.EOL");

    engine.StartWaveform();
    ASSERT_TRUE(engine.OpenRecording(path));
    std::vector<LinkState> states;
    const auto poll = [&](auto until) {
        while (!until()) {
            const LinkState state = engine.PollHealth().state;
            if (states.empty() || states.back() != state) states.push_back(state);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    const auto patience = std::chrono::steady_clock::now() + kPatience;
    // Gone at 2 s, back at 3 s; then acquiring again, into the same file.
    poll([&] {
        return (bridge->Counts().vanishes == 1 && amplifier.Health().state == LinkState::Acquiring) ||
               std::chrono::steady_clock::now() > patience;
    });
    const std::uint64_t packetsBack = engine.PacketsDelivered();
    poll([&] { return engine.PacketsDelivered() > packetsBack + 5 || std::chrono::steady_clock::now() > patience; });
    EXPECT_THAT(states, ::testing::ElementsAre(LinkState::Connecting, LinkState::Acquiring, LinkState::Disconnected,
                                               LinkState::Connecting, LinkState::Acquiring));
    EXPECT_THAT(host.Messages(), ::testing::ElementsAre("放大器连接断开"));
    EXPECT_TRUE(engine.Recording());

    // Frames made while the adapter was gone, and the one before that
    // nothing vouched for, are the frames lost.
    const std::uint64_t lost = amplifier.Health().lostFrames;
    EXPECT_EQ(lost, bridge->Counts().framesLost) << diagnostics.str();
    EXPECT_GE(lost, 25u);
    // Gone again: Stop ends the run all the same.
    poll([&] {
        return amplifier.Health().state == LinkState::Disconnected || std::chrono::steady_clock::now() > patience;
    });
    engine.StopAcquisition();
    EXPECT_FALSE(engine.Running());
    const auto bytes = ReadAllBytes(path).size();
    EXPECT_EQ((bytes - 200) / (P * 84), engine.PacketsDelivered());
    EXPECT_EQ((bytes - 200) % (P * 84), 0u);
    EXPECT_THAT(diagnostics.str(), ::testing::HasSubstr("amplifier: reconnected\n"));
}

}  // namespace
