#include "acquisition/engine/acquisition_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <set>
#include <sys/resource.h>
#include <csignal>
#include <functional>
#include <thread>

#include "support/foreign_files.h"
#include "support/piece_recorder.h"
#include "support/scripted_amplifier.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

// Waits on a condition that another thread makes true; never a fixed sleep.
class Signal {
public:
    template <class F>
    void Change(F&& f) {
        {
            std::lock_guard lock(mutex_);
            f();
        }
        changed_.notify_all();
    }
    template <class Pred>
    bool WaitUntil(Pred&& pred, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, pred);
    }
    std::mutex& Mutex() { return mutex_; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

struct FakeHost : EngineHost {
    std::vector<std::string> messages;
    std::mutex mutex;
    void ShowMessage(const std::string& text) override {
        std::lock_guard lock(mutex);
        messages.push_back(text);
    }
    std::vector<std::string> Messages() {
        std::lock_guard lock(mutex);
        return messages;
    }
};

struct FakeWave : WaveView {
    Signal signal;
    int setUps = 0;
    int lastSetUpPacketSize = 0, lastSetUpChannels = 0;
    std::vector<std::vector<double>> packets;
    std::vector<bool> pens;
    std::vector<int> flags;
    void SetUp(int p, int c, int, std::span<const ChannelRecord> records) override {
        ++setUps;
        lastSetUpPacketSize = p;
        lastSetUpChannels = c;
        EXPECT_EQ(records.size(), static_cast<std::size_t>(c));
    }
    void SetChannelFlags(std::span<const int> shown) override { flags.assign(shown.begin(), shown.end()); }
    void ResetTimeLabels() override {}
    void AddPacket(std::span<const double> samples, std::chrono::steady_clock::time_point) override {
        signal.Change([&] { packets.emplace_back(samples.begin(), samples.end()); });
    }
    void SetRecordingPen(bool on) override {
        if (beforePen) beforePen(on);
        signal.Change([&] { pens.push_back(on); });
    }
    std::function<void(bool)> beforePen;
    std::size_t Count() {
        std::lock_guard lock(signal.Mutex());
        return packets.size();
    }
};

struct FakeImpedance : ImpedanceView {
    Signal signal;
    std::vector<std::vector<int>> shown;
    void SetUp(int, std::span<const ChannelRecord>) override {}
    void SetChannelFlags(std::span<const int>) override {}
    void ShowImpedances(std::span<const int> impedances) override {
        signal.Change([&] { shown.emplace_back(impedances.begin(), impedances.end()); });
    }
};

struct FakeStream : PacketStream {
    Signal signal;
    std::atomic<bool> connected{true};
    std::vector<unsigned char> bytes;
    int sends = 0;
    bool ClientConnected() const override { return connected; }
    void SendPacket(std::span<const SampleRecord> records) override {
        const auto raw = RecordBytes(records);
        signal.Change([&] {
            ++sends;
            for (std::byte b : raw) bytes.push_back(std::to_integer<unsigned char>(b));
        });
    }
};

std::vector<std::int32_t> CountingPacket(int packetSize, int channelCount, int start) {
    std::vector<std::int32_t> v(static_cast<std::size_t>(packetSize * channelCount));
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = start + static_cast<int>(i);
    return v;
}

class EngineTest : public ::testing::Test {
protected:
    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    FakeHost host;
    FakeWave wave;
    FakeImpedance impedance;
    FakeStream stream;
    AcquisitionEngine engine{playback, amplifier, EnginePorts{&host, &wave, &impedance, &stream}};

    void WaitForPackets(std::size_t n) {
        ASSERT_TRUE(wave.signal.WaitUntil([&] { return wave.packets.size() >= n; }));
    }
    void WaitForSends(int n) {
        ASSERT_TRUE(stream.signal.WaitUntil([&] { return stream.sends >= n; }));
    }
    // The thread has begun its n-th read: it is done with every packet before.
    void WaitForReads(int n) {
        ASSERT_TRUE(amplifier.WaitForRead(n));
    }
};

TEST_F(EngineTest, FailedOpenShowsMessageAndTheNextStartRetries) {
    amplifier.openSucceeds = false;
    amplifier.openFailure = "/dev/ttyUSB0 (Permission denied)";
    engine.StartWaveform();
    EXPECT_THAT(host.Messages(), ElementsAre("放大器打开失败: /dev/ttyUSB0 (Permission denied)"));
    EXPECT_FALSE(engine.Initialised());
    EXPECT_FALSE(engine.Running());
    EXPECT_TRUE(amplifier.Modes().empty());

    amplifier.openSucceeds = true;
    engine.StartWaveform();
    EXPECT_EQ(amplifier.Opens(), 2);
    EXPECT_TRUE(engine.Initialised());
    EXPECT_TRUE(engine.Running());
}

TEST_F(EngineTest, FirstStartInitialisesWithDefaults) {
    EXPECT_TRUE(engine.StartWaveform());
    const AcquisitionSettings& settings = engine.Settings();
    EXPECT_EQ(settings.packetSize, 40);
    EXPECT_EQ(settings.channelCount, 17);
    EXPECT_EQ(settings.sampleRate, 1000);
    EXPECT_EQ(settings.source, SignalSource::Amplifier);
    std::uint64_t bits;
    std::memcpy(&bits, &settings.scale, sizeof bits);
    EXPECT_EQ(bits, 0x3F4818A5934CF958ull);
    EXPECT_EQ(engine.CurrentDevice(), &amplifier);
    EXPECT_EQ(wave.flags, std::vector<int>(17, 1));
    ASSERT_EQ(engine.ChannelRecords().size(), 17u);
    EXPECT_STREQ(engine.ChannelRecords()[0].label, "Fp1") << "the default montage beside the executable";
    EXPECT_STREQ(engine.ChannelRecords()[16].label, "Event");
    EXPECT_EQ(wave.setUps, 1);
    EXPECT_THAT(amplifier.Modes(), ElementsAre(0));
    EXPECT_TRUE(engine.Running());
    EXPECT_EQ(engine.Mode(), AcquisitionMode::Waveform);
    EXPECT_EQ(engine.IdlePipeline(), nullptr) << "the thread's own while it runs";
    EXPECT_FALSE(engine.CanStart());
    EXPECT_TRUE(engine.CanStop());
    engine.StopAcquisition();
    ASSERT_NE(engine.IdlePipeline(), nullptr);
    EXPECT_THAT(engine.IdlePipeline()->Impedances(), ::testing::ElementsAreArray(std::vector<int>(17, 2550000)));
}

TEST_F(EngineTest, SecondStartAfterStopDoesNotReinitialise) {
    engine.StartWaveform();
    engine.StopAcquisition();
    engine.StartWaveform();
    EXPECT_EQ(amplifier.Opens(), 1);
    EXPECT_EQ(wave.setUps, 1);
    EXPECT_THAT(amplifier.Modes(), ElementsAre(0, 0));
    EXPECT_TRUE(engine.Running());
}

TEST_F(EngineTest, StopWithoutThreadDoesNothing) {
    engine.StopAcquisition();
    EXPECT_EQ(amplifier.Closes(), 0);
    engine.StartWaveform();
    engine.StopAcquisition();
    engine.StopAcquisition();
    EXPECT_EQ(amplifier.Closes(), 1);
}

TEST_F(EngineTest, StopEndsABlockedReadPromptly) {
    engine.StartWaveform();
    ASSERT_TRUE(amplifier.WaitUntilReading());
    const auto before = std::chrono::steady_clock::now();
    engine.StopAcquisition();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, 400ms);
    EXPECT_FALSE(engine.Running());
    EXPECT_EQ(amplifier.Closes(), 1);
    EXPECT_FALSE(amplifier.Cancelled()) << "the next start must be able to read";
    EXPECT_TRUE(engine.CanStart());
}

TEST_F(EngineTest, ImpedanceCommandWhileRunningSwitchesWithoutASecondThread) {
    engine.StartWaveform();
    amplifier.Push(CountingPacket(40, 17, 0));
    WaitForPackets(1);
    EXPECT_TRUE(engine.StartImpedance());
    EXPECT_EQ(engine.Mode(), AcquisitionMode::Impedance);
    EXPECT_THAT(amplifier.Modes(), ElementsAre(0, 1));
    amplifier.Push(CountingPacket(40, 17, 0), 3);
    ASSERT_TRUE(impedance.signal.WaitUntil([&] { return impedance.shown.size() == 1; }));
    engine.StartWaveform();  // and back
    amplifier.Push(CountingPacket(40, 17, 0));
    WaitForPackets(2);
    engine.StopAcquisition();
    EXPECT_EQ(amplifier.ReaderThreads(), 1u);
    EXPECT_EQ(amplifier.MaxReadersInside(), 1);
    EXPECT_EQ(amplifier.Opens(), 1);
}

TEST_F(EngineTest, ImpedanceCommandTogglesAndStartLeavesTheMap) {
    enum class Step { Toggle, Start, Stop };
    constexpr auto kWaves = AcquisitionMode::Waveform;
    constexpr auto kMap = AcquisitionMode::Impedance;
    struct Case {
        Step step;
        bool running;
        AcquisitionMode mode;
        bool startEnabled;  // Start leads back to the waveforms
        int modeSent;       // the amplifier's last mode command
    };
    const Case cases[] = {
        {Step::Toggle, true, kMap, true, 1},     // from stopped: impedances
        {Step::Toggle, true, kWaves, false, 0},  // and back
        {Step::Toggle, true, kMap, true, 1},
        {Step::Start, true, kWaves, false, 0},   // Start leaves the map too
        {Step::Toggle, true, kMap, true, 1},
        {Step::Stop, false, kMap, true, 1},
        {Step::Toggle, true, kMap, true, 1},     // stopped on the map: impedances again
        {Step::Stop, false, kMap, true, 1},
        {Step::Start, true, kWaves, false, 0},
    };
    int row = 0;
    for (const Case& c : cases) {
        switch (c.step) {
        case Step::Toggle: engine.ToggleImpedance(); break;
        case Step::Start: engine.StartWaveform(); break;
        case Step::Stop: engine.StopAcquisition(); break;
        }
        SCOPED_TRACE(row++);
        EXPECT_EQ(engine.Running(), c.running);
        EXPECT_EQ(engine.Mode(), c.mode);
        EXPECT_EQ(engine.CanStartWaveform(), c.startEnabled);
        EXPECT_FALSE(engine.CanStart() && c.running) << "settings stay closed while running";
        ASSERT_FALSE(amplifier.Modes().empty());
        EXPECT_EQ(amplifier.Modes().back(), c.modeSent);
    }
    engine.StopAcquisition();
    EXPECT_EQ(amplifier.Opens(), 1);
}

TEST_F(EngineTest, WaveformModeHandsTheConditionedScaledPacketToTheDisplay) {
    engine.StartWaveform();
    auto packet = CountingPacket(40, 17, 100);
    for (int t = 0; t < 40; ++t) packet[static_cast<std::size_t>(t * 17 + 16)] = t % 3;
    amplifier.Push(packet);
    WaitForPackets(1);
    engine.StopAcquisition();
    const auto& shown = wave.packets[0];
    ASSERT_EQ(shown.size(), 40u * 17u);
    for (int t = 0; t < 40; ++t) {
        for (int c = 0; c < 16; ++c) {
            const auto i = static_cast<std::size_t>(t * 17 + c);
            EXPECT_DOUBLE_EQ(shown[i], packet[i] * 0.00073536) << "first packet: weights are 0";
        }
        EXPECT_EQ(shown[static_cast<std::size_t>(t * 17 + 16)], t % 3) << "the event is never scaled";
    }
}

TEST_F(EngineTest, ImpedanceModeUpdatesOnlyTheMeasuredChannel) {
    EXPECT_TRUE(engine.StartImpedance());
    amplifier.Push(CountingPacket(40, 17, 0), 10);
    amplifier.Push(CountingPacket(40, 17, 0), -16);  // out of range: ignored
    amplifier.Push(CountingPacket(40, 17, 0), 17);
    amplifier.Push(CountingPacket(40, 17, 0), 2);
    ASSERT_TRUE(impedance.signal.WaitUntil([&] { return impedance.shown.size() == 2; }));
    WaitForReads(5);
    engine.StopAcquisition();
    EXPECT_EQ(stream.sends, 0) << "impedance frames are not EEG and are not streamed";
    std::vector<int> expected(17, 2550000);
    expected[10] = impedance.shown[0][10];
    EXPECT_EQ(impedance.shown[0], expected);
    EXPECT_NE(expected[10], 2550000);
    EXPECT_EQ(engine.IdlePipeline()->Impedances()[2], impedance.shown[1][2]);
    EXPECT_EQ(impedance.shown.size(), 2u);
    EXPECT_TRUE(wave.packets.empty()) << "no waveform drawing in impedance mode";
}

TEST_F(EngineTest, TheFileKeepsEveryFrameAndTheClientGetsTheWaveformFramesAsRecorded) {
    TempDir dir;
    engine.StartWaveform();
    ASSERT_TRUE(engine.OpenRecording(dir.File("r.EOL")));
    EXPECT_FALSE(engine.CanRecord());
    EXPECT_THAT(wave.pens, ElementsAre(true));
    amplifier.Push(CountingPacket(40, 17, 0));
    WaitForSends(1);
    engine.ToggleImpedance();
    amplifier.Push(CountingPacket(40, 17, 1000));
    WaitForReads(3);
    engine.ToggleImpedance();
    amplifier.Push(CountingPacket(40, 17, 2000));
    WaitForSends(2);
    engine.StopAcquisition();
    EXPECT_FALSE(engine.Recording());
    EXPECT_THAT(wave.pens, ElementsAre(true, false));
    EXPECT_THAT(amplifier.Modes(), ElementsAre(0, 1, 0));

    const auto file = ReadAllBytes(dir.File("r.EOL"));
    ASSERT_EQ(file.size(), 200u + 3u * 3360u);
    ASSERT_EQ(stream.bytes.size(), 2u * 3360u) << "the impedance frame is recorded, not streamed";
    EXPECT_TRUE(std::equal(stream.bytes.begin(), stream.bytes.begin() + 3360, file.begin() + 200));
    EXPECT_TRUE(std::equal(stream.bytes.begin() + 3360, stream.bytes.end(), file.begin() + 200 + 2 * 3360));
    SampleRecord first;
    std::memcpy(&first, file.data() + 200, sizeof first);
    EXPECT_EQ(first.slots[0], 0);
    EXPECT_EQ(first.slots[10], 8);
    EXPECT_EQ(first.slots[20], 16);
}

TEST_F(EngineTest, NoClientMeansNoSend) {
    stream.connected = false;
    engine.StartWaveform();
    amplifier.Push(CountingPacket(40, 17, 0));
    WaitForPackets(1);
    engine.StopAcquisition();
    EXPECT_EQ(stream.sends, 0);
}

TEST_F(EngineTest, RecordingStoppedBeforeItsFirstPacketIsHeaderOnly) {
    TempDir dir;
    engine.StartWaveform();
    ASSERT_TRUE(engine.OpenRecording(dir.File("empty.EOL")));
    engine.StopAcquisition();
    EXPECT_EQ(ReadAllBytes(dir.File("empty.EOL")).size(), 82u);
    EXPECT_FALSE(engine.Recording()) << "Stop closes the recording";
}

TEST_F(EngineTest, UnwritablePathIsToldAndChangesNothing) {
    TempDir dir;
    engine.StartWaveform();
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(engine.OpenRecording(dir.File("no-such-dir/x.EOL")));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("file error\n"), std::string::npos);
    EXPECT_FALSE(engine.Recording());
    EXPECT_TRUE(wave.pens.empty());
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"数据写入失败: " + dir.File("no-such-dir/x.EOL") +
                                                        " (No such file or directory)"});
    EXPECT_EQ(engine.Failures().recording, dir.File("no-such-dir/x.EOL") + " (No such file or directory)");
    EXPECT_TRUE(engine.CanRecord());
}

TEST_F(EngineTest, FileErrorLineReachesStandardOutputInOnePiece) {
    TempDir dir;
    engine.StartWaveform();
    PieceRecorder pieces;
    std::streambuf* const standardOutput = std::cout.rdbuf(&pieces);
    const bool opened = engine.OpenRecording(dir.File("no-such-dir/x.EOL"));
    std::cout.rdbuf(standardOutput);
    EXPECT_FALSE(opened);
    EXPECT_EQ(pieces.pieces, std::vector<std::string>{"file error\n"});
}

// Files may grow to limit bytes while it lives; writes past it fail (EFBIG).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit now = old_;
        now.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &now);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(EngineTest, FailedAppendEndsTheRecordingAndAcquisitionGoesOn) {
    TempDir dir;
    engine.StartWaveform();
    const FileSizeLimit limit(100);  // the header block ends at 82, the first record starts at 200
    ASSERT_TRUE(engine.OpenRecording(dir.File("full.EOL")));
    amplifier.Push(CountingPacket(40, 17, 0));
    ASSERT_TRUE(wave.signal.WaitUntil([&] { return wave.pens.size() == 2; }));
    amplifier.Push(CountingPacket(40, 17, 0));
    WaitForPackets(2);
    EXPECT_FALSE(engine.Recording());
    EXPECT_THAT(wave.pens, ElementsAre(true, false));
    EXPECT_THAT(host.Messages(), ElementsAre("数据写入失败"));
    EXPECT_TRUE(engine.Running());
    engine.StopAcquisition();
}

// A disk that takes the header block but not the first packet: the recording
// ends and the traces are blue again, even when that packet is finished while
// the command is still turning the pen black.
TEST_F(EngineTest, RecordingThatFailsAtOnceLeavesTheTracesBlue) {
    TempDir dir;
    engine.StartWaveform();
    ASSERT_TRUE(amplifier.WaitUntilReading());
    auto passPacket = [&] {
        const int before = amplifier.Reads();
        amplifier.Push(CountingPacket(40, 17, 0));
        // The thread is back for the next packet once this one went everywhere.
        ASSERT_TRUE(amplifier.WaitForRead(before + 1));
    };
    wave.beforePen = [&](bool on) {
        if (on) passPacket();
    };
    {
        const FileSizeLimit limit(100);  // the header block ends at 82, the first record starts at 200
        engine.OpenRecording(dir.File("full.EOL"));
        wave.beforePen = nullptr;
        passPacket();
    }
    EXPECT_FALSE(engine.Recording());
    ASSERT_FALSE(wave.pens.empty());
    EXPECT_FALSE(wave.pens.back()) << "no recording, so the traces must not be black";
    EXPECT_THAT(host.Messages(), ElementsAre("数据写入失败"));
    EXPECT_TRUE(engine.CanRecord());
    engine.StopAcquisition();
    EXPECT_EQ(ReadAllBytes(dir.File("full.EOL")).size(), 82u);
}

// Another program's recording shows under its own channels' names; the
// signal rows it has no channel for are named after no electrode.
TEST_F(EngineTest, AForeignRecordingPlaysUnderItsOwnLabels) {
    TempDir dir;
    const std::vector<std::uint8_t> bytes =
        EdfBytes({.signals = 3, .recordsText = "3", .durationText = "0.04", .samplesPerRecord = {"40", "40", "40"}});
    AcquisitionSettings settings;
    settings.source = SignalSource::Playback;
    settings.packetSize = 40;
    settings.channelCount = 21;
    settings.sampleRate = 1000;
    settings.simulatedDataPath = dir.Write("r.edf", std::string(bytes.begin(), bytes.end()));
    engine.ApplySettings(settings);
    engine.StartWaveform();
    engine.StopAcquisition();
    ASSERT_EQ(engine.CurrentDevice(), &playback);
    const std::span<const ChannelRecord> records = engine.ChannelRecords();
    ASSERT_EQ(records.size(), 17u);
    EXPECT_STREQ(records[0].label, "Ch1");
    EXPECT_STREQ(records[2].label, "Ch3");
    for (std::size_t row = 3; row < 16; ++row) EXPECT_STREQ(records[row].label, "") << row;
    EXPECT_STREQ(records[16].label, "Event") << "the event row keeps its name";
}

TEST_F(EngineTest, SettingsConfirmedBeforeStartAreKeptAndPlayTheChosenFile) {
    TempDir dir;
    std::vector<std::int32_t> values(21 * 10 * 4);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<std::int32_t>(i);
    AcquisitionSettings settings;
    settings.source = SignalSource::Playback;
    settings.packetSize = 10;
    settings.channelCount = 21;
    settings.sampleRate = 1000000;
    settings.simulatedDataPath = WriteSampleFile(dir, "play.EOL", values);
    engine.ApplySettings(settings);
    EXPECT_EQ(engine.ChannelRecords().size(), 17u) << "the zero slots are not rows";
    EXPECT_EQ(engine.IdlePipeline()->Impedances().size(), 21u);

    engine.StartWaveform();
    EXPECT_EQ(engine.CurrentDevice(), &playback);
    EXPECT_EQ(engine.Settings().channelCount, 21);
    EXPECT_EQ(wave.lastSetUpChannels, 17);
    EXPECT_EQ(wave.flags, std::vector<int>(17, 1));
    EXPECT_THAT(amplifier.Modes(), ElementsAre(0)) << "the mode command goes to the amplifier whatever plays";
    WaitForSends(3);
    engine.StopAcquisition();
    // A 21-value packet is already records: the stream carries the file's bytes.
    ASSERT_GE(stream.bytes.size(), 3u * 840u);
    const auto* raw = reinterpret_cast<const unsigned char*>(values.data());
    EXPECT_TRUE(std::equal(stream.bytes.begin(), stream.bytes.begin() + 3 * 840, raw));
    EXPECT_EQ(playback.FilePath(), settings.simulatedDataPath);
}

TEST_F(EngineTest, SettingsAfterStartReinitialiseSoBuffersAndDisplaysAgree) {
    engine.StartWaveform();
    engine.StopAcquisition();
    AcquisitionSettings settings;
    settings.packetSize = 20;
    settings.channelCount = 9;
    engine.ApplySettings(settings);
    EXPECT_FALSE(engine.Initialised());
    EXPECT_EQ(engine.IdlePipeline()->Impedances().size(), 9u);
    EXPECT_EQ(engine.IdlePipeline()->Canceller().Weights().size(), 18u);
    engine.StartImpedance();
    EXPECT_EQ(amplifier.Opens(), 2);
    EXPECT_EQ(wave.setUps, 2);
    EXPECT_EQ(wave.lastSetUpPacketSize, 20);
    amplifier.Push(CountingPacket(20, 9, 0), 10);  // channel 10 does not exist with 9 channels
    amplifier.Push(CountingPacket(20, 9, 0), 8);
    ASSERT_TRUE(impedance.signal.WaitUntil([&] { return impedance.shown.size() == 1; }));
    engine.StopAcquisition();
    EXPECT_EQ(impedance.shown[0].size(), 9u);
    EXPECT_NE(impedance.shown[0][8], 2550000);
}

TEST_F(EngineTest, PlaybackFileThatCannotBeOpenedStopsTheStart) {
    AcquisitionSettings settings;
    settings.source = SignalSource::Playback;
    settings.simulatedDataPath = "/nonexistent/x.EOL";
    engine.ApplySettings(settings);
    engine.StartWaveform();
    EXPECT_THAT(host.Messages(), ElementsAre("数据文件打开失败: /nonexistent/x.EOL (No such file or directory)"));
    EXPECT_FALSE(engine.Running());
    EXPECT_FALSE(engine.Initialised());
}

TEST_F(EngineTest, ElectrodeFileThatCannotBeReadIsReported) {
    engine.SetDefaultElectrodeFile("/nonexistent/kestrom.dll");
    engine.StartWaveform();
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_NE(host.Messages()[0].find("/nonexistent/kestrom.dll"), std::string::npos);
    EXPECT_TRUE(engine.Running()) << "acquisition starts with empty labels";
    EXPECT_STREQ(engine.ChannelRecords()[0].label, "");
}

// Live packets (17 values) and the playback of their recording (21 slots)
// show the same rows under the same electrodes; other layouts show in order.
struct MontageCase {
    int channelCount;
    std::vector<int> columns;  // the packet column each row shows
};

class EngineMontage : public EngineTest, public ::testing::WithParamInterface<MontageCase> {};

TEST_P(EngineMontage, RowsShowTheirElectrodesColumnsInWavesAndImpedances) {
    const MontageCase& c = GetParam();
    AcquisitionSettings settings;
    settings.channelCount = c.channelCount;
    settings.packetSize = 2;
    engine.ApplySettings(settings);
    const auto rows = c.columns.size();
    ASSERT_EQ(engine.ChannelRecords().size(), rows);
    EXPECT_STREQ(engine.ChannelRecords()[rows - 1].label, rows == 17 ? "Event" : "O2");

    engine.StartWaveform();
    EXPECT_EQ(wave.lastSetUpChannels, static_cast<int>(rows));
    amplifier.Push(CountingPacket(2, c.channelCount, 0));
    WaitForPackets(1);
    const std::vector<double> first = wave.packets[0];
    ASSERT_EQ(first.size(), 2 * rows);
    for (std::size_t r = 0; r < rows; ++r) {
        const double raw = c.columns[r] + c.channelCount;  // the second sample
        EXPECT_DOUBLE_EQ(first[rows + r], r + 1 == rows ? raw : raw * settings.scale) << "row " << r;
    }

    engine.StartImpedance();
    const int measured = c.columns[8];  // the row of O1
    amplifier.Push(CountingPacket(2, c.channelCount, 0), measured);
    ASSERT_TRUE(impedance.signal.WaitUntil([&] { return !impedance.shown.empty(); }));
    engine.StopAcquisition();
    ASSERT_EQ(impedance.shown[0].size(), rows);
    for (std::size_t r = 0; r < rows; ++r) {
        EXPECT_EQ(impedance.shown[0][r] != AcquisitionEngine::kDefaultImpedance, r == 8) << "row " << r;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, EngineMontage,
    ::testing::Values(MontageCase{17, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
                      MontageCase{21, {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17, 20}},
                      MontageCase{10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}));

TEST(DefaultElectrodeFile, IsBesideTheProgramElseWhereThePackageInstallsIt) {
    struct Case {
        bool beside, installed;
        const char* expected;  // under the temporary root
    };
    for (const Case& c : {Case{true, false, "bin/kestrom.dll"}, Case{false, true, "share/vostrel/kestrom.dll"},
                          Case{true, true, "bin/kestrom.dll"}, Case{false, false, "bin/kestrom.dll"}}) {
        TempDir root;
        std::filesystem::create_directories(root.File("bin"));
        std::filesystem::create_directories(root.File("share/vostrel"));
        if (c.beside) root.Write("bin/kestrom.dll", "1 0 0 Fp1\n");
        if (c.installed) root.Write("share/vostrel/kestrom.dll", "1 0 0 Fp1\n");
        EXPECT_EQ(DefaultElectrodeFilePath(root.File("bin/")), root.File(c.expected)) << c.beside << c.installed;
    }
}

TEST_F(EngineTest, DestroyingTheEngineStopsTheThread) {
    auto local = std::make_unique<AcquisitionEngine>(playback, amplifier, EnginePorts{&host, &wave, &impedance, &stream});
    local->StartWaveform();
    local.reset();
    EXPECT_EQ(amplifier.Closes(), 1);
}

}  // namespace
