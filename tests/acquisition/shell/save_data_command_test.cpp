#include "acquisition/shell/save_data_command.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "support/message_recorder.h"
#include "support/scripted_amplifier.h"
#include "support/temp_dir.h"

namespace {

constexpr double kDefaultScale = 0.00073536;
constexpr std::size_t kPacketBytes = 40 * 84;

std::optional<std::string> Cancelled(QWidget*) { return std::nullopt; }

class Recording : public ::testing::Test {
protected:
    Recording() : engine(playback, amplifier, EnginePorts{.host = &host, .wave = &pen}) {}

    void StartAcquiring() {
        engine.StartWaveform();
        ASSERT_TRUE(engine.Running());
    }
    // Lets k packets through and waits until the thread is done with them,
    // which it is once it has begun the read after them.
    void Deliver(int k) {
        amplifier.Release(k);
        readsBegun_ += k;
        ASSERT_TRUE(amplifier.WaitForRead(readsBegun_));
    }
    SaveDataCommand CommandChoosing(const std::string& path) {
        return SaveDataCommand(engine, [path](QWidget*) { return std::optional<std::string>(path); });
    }

    TempDir dir;
    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    MessageRecorder host;
    PenRecorder pen;
    AcquisitionEngine engine;

private:
    int readsBegun_ = 1;  // the thread begins its first read as soon as it runs
};

TEST_F(Recording, IsOfferedOnlyWhileAcquiringWithoutARecording) {
    const auto path = dir.File("a.EOL");
    SaveDataCommand save = CommandChoosing(path);
    EXPECT_FALSE(save.IsEnabled());
    EXPECT_FALSE(save.Run(nullptr));
    EXPECT_FALSE(std::filesystem::exists(path));

    StartAcquiring();
    EXPECT_TRUE(save.IsEnabled());
    ASSERT_TRUE(save.Run(nullptr));
    EXPECT_FALSE(save.IsEnabled());
    EXPECT_TRUE(pen.black);

    engine.StopAcquisition();
    EXPECT_FALSE(save.IsEnabled());
    EXPECT_FALSE(pen.black);
    EXPECT_FALSE(engine.Recording());
}

TEST_F(Recording, StoppedBeforeItsFirstPacketHoldsTheHeaderBlockOnly) {
    StartAcquiring();
    const auto path = dir.File("empty.EOL");
    ASSERT_TRUE(CommandChoosing(path).Run(nullptr));
    engine.StopAcquisition();

    const auto bytes = ReadAllBytes(path);
    ASSERT_EQ(bytes.size(), 82u);
    double block[4];
    std::memcpy(block, bytes.data() + 50, sizeof block);
    EXPECT_EQ(block[0], 21.0);
    EXPECT_EQ(block[1], 1000.0);
    EXPECT_EQ(block[2], 40.0);
    EXPECT_EQ(block[3], kDefaultScale);
}

TEST_F(Recording, HoldsEveryPacketReadAfterTheDialogAsTheDeviceDeliveredIt) {
    StartAcquiring();
    Deliver(2);  // before the recording: not stored
    const auto path = dir.File("three.EOL");
    ASSERT_TRUE(CommandChoosing(path).Run(nullptr));
    Deliver(3);
    engine.StopAcquisition();

    const auto bytes = ReadAllBytes(path);
    ASSERT_EQ(bytes.size(), 200u + 3 * kPacketBytes);
    for (int k = 0; k < 3; ++k) {
        for (int s = 0; s < 40; ++s) {
            SampleRecord record;
            std::memcpy(&record, bytes.data() + 200 + (k * 40 + s) * 84, sizeof record);
            const int packet = k + 2;
            for (int c = 0; c < 16; ++c) {
                EXPECT_EQ(record.slots[SampleRecord::kSignalSlots[c]], ScriptedAmplifier::Value(packet, s, c));
            }
            EXPECT_EQ(record.slots[20], ScriptedAmplifier::Value(packet, s, 16));
            for (int unused : {8, 9, 18, 19}) EXPECT_EQ(record.slots[unused], 0);
        }
    }
}

TEST_F(Recording, ReplacesAnExistingFile) {
    const auto path = dir.Write("old.EOL", std::string(10000, 'x'));
    StartAcquiring();
    ASSERT_TRUE(CommandChoosing(path).Run(nullptr));
    engine.StopAcquisition();
    const auto bytes = ReadAllBytes(path);
    ASSERT_EQ(bytes.size(), 82u);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 'x'), 0);
}

TEST_F(Recording, ACancelledDialogChangesNothing) {
    StartAcquiring();
    SaveDataCommand save(engine, Cancelled);
    EXPECT_FALSE(save.Run(nullptr));
    EXPECT_TRUE(save.IsEnabled());
    EXPECT_FALSE(engine.Recording());
    EXPECT_FALSE(pen.black);
}

TEST_F(Recording, AnUnwritablePathIsToldAndKeepsTheTracesBlue) {
    StartAcquiring();
    SaveDataCommand save = CommandChoosing(dir.File("no-such-dir/x.EOL"));
    ::testing::internal::CaptureStdout();
    const bool started = save.Run(nullptr);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(started);
    EXPECT_EQ(out, "file error\n");
    EXPECT_FALSE(engine.Recording());
    EXPECT_FALSE(pen.black);
    EXPECT_TRUE(save.IsEnabled());
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"数据写入失败: " + dir.File("no-such-dir/x.EOL") +
                                                        " (No such file or directory)"});
}

TEST_F(Recording, AFailedAppendEndsTheRecordingWithWholePacketsOnlyAndAcquisitionGoesOn) {
    StartAcquiring();
    const auto path = dir.File("full.EOL");
    ASSERT_TRUE(CommandChoosing(path).Run(nullptr));
    Deliver(2);

    // A file size limit inside the third packet stands in for a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 200 + 2 * kPacketBytes + 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    ::testing::internal::CaptureStdout();
    amplifier.Release(1);
    // The command is offered again the moment the recording has ended; a new
    // recording begun then must not meet the old one's close or pen.
    while (engine.Recording()) std::this_thread::yield();
    const auto next = dir.File("next.EOL");
    const bool restarted = CommandChoosing(next).Run(nullptr);
    ASSERT_TRUE(amplifier.WaitForRead(4));
    const std::string out = ::testing::internal::GetCapturedStdout();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_EQ(out, "file error\n");
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"数据写入失败"});
    EXPECT_EQ(ReadAllBytes(path).size(), 200u + 2 * kPacketBytes);

    // Acquisition went on, and so does the new recording.
    ASSERT_TRUE(restarted);
    EXPECT_TRUE(engine.Running());
    EXPECT_TRUE(pen.black);
    amplifier.Release(1);
    ASSERT_TRUE(amplifier.WaitForRead(5));
    engine.StopAcquisition();
    EXPECT_FALSE(pen.black);
    EXPECT_EQ(ReadAllBytes(next).size(), 200u + kPacketBytes);
    EXPECT_EQ(ReadAllBytes(path).size(), 200u + 2 * kPacketBytes);
}

}  // namespace
