#include "acquisition/usb/usb_amplifier.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <chrono>
#include <sstream>
#include <thread>

#include "acquisition/usb/amplifier_protocol.h"
#include "fake_bridge.h"
#include "support/piece_recorder.h"

namespace {
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;

constexpr int P = 40;
constexpr int C = 17;
constexpr std::int32_t kUntouched = 0x5EADBEEF;

Bytes Frame(std::uint8_t channelByte = 0x20, std::uint8_t counter = 0) {
    Bytes frame(amp::kFrameBytes, 0);
    frame[2] = channelByte;
    frame[4] = counter;
    return frame;
}

void PutValue(Bytes& frame, int s, int k, std::array<std::uint8_t, 3> bytes) {
    const std::size_t at = 5 + 52 * static_cast<std::size_t>(s) + 4 + 3 * static_cast<std::size_t>(k);
    std::copy(bytes.begin(), bytes.end(), frame.begin() + static_cast<std::ptrdiff_t>(at));
}

void PutEvent(Bytes& frame, int s, std::uint8_t event) { frame[5 + 52 * static_cast<std::size_t>(s)] = event; }

// A frame whose first value is its own counter and whose other values vary,
// so that a frame decoded out of place shows.
Bytes NumberedFrame(int n) {
    Bytes frame = Frame(0x20, static_cast<std::uint8_t>(n));
    for (int s = 0; s < P; ++s) {
        for (int k = 0; k < C - 1; ++k) {
            const auto noise = static_cast<int>((static_cast<unsigned>(n * 7919 + s * 131 + k * 17) * 2654435761u) >> 8);
            const int v = s == 0 && k == 0 ? n % 256 : noise;
            PutValue(frame, s, k, {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                                   static_cast<std::uint8_t>(v)});
        }
    }
    return frame;
}

Bytes Reply(std::uint8_t result) { return {'E', 'E', 'G', 0x00, result}; }

class UsbAmplifierTest : public ::testing::Test {
protected:
    UsbAmplifierTest() { Renew(); }

    // A fresh amplifier on a fresh line, for a table's next case.
    void Renew() {
        auto fake = std::make_unique<FakeBridge>();
        bridge = fake.get();
        amplifier = std::make_unique<UsbAmplifier>(std::move(fake), out);
        out.str("");
    }

    void Open() {
        bridge->QueueRead(Reply(0xFF));
        ASSERT_TRUE(amplifier->OpenDevice(P, C, 1000));
        amplifier->SetMode(AcquisitionMode::Waveform);
        bridge->ClearCalls();
        out.str("");
    }

    // What the amplifier asked of the bridge; how it keeps the bridge's
    // timeouts is its own affair (see the timeout tests).
    std::vector<std::string> CallsBesideTimeouts() const {
        std::vector<std::string> calls = bridge->Calls();
        std::erase_if(calls, [](const std::string& call) { return call.find("Timeouts") != std::string::npos; });
        return calls;
    }

    // Frames first..first+count-1 with stepping counters, each changed by edit.
    void QueueFrames(int first, int count, const std::function<void(Bytes&, int)>& edit = {}) {
        for (int n = first; n < first + count; ++n) {
            Bytes frame = Frame(0x20, static_cast<std::uint8_t>(n));
            if (edit) edit(frame, n);
            bridge->QueueRead(frame);
        }
    }

    std::vector<std::int32_t> packet = std::vector<std::int32_t>(P * C, kUntouched);
    std::ostringstream out;
    FakeBridge* bridge = nullptr;
    std::unique_ptr<UsbAmplifier> amplifier;
};

TEST(AmplifierProtocol, CommandsCarryTheirExactBytes) {
    EXPECT_THAT(amp::HandshakeCommand(), ElementsAre(0xF0, 0x0F, 0x01, 0x00, 0x37, 0x58, 0x58));
    EXPECT_THAT(amp::ModeCommand(0), ElementsAre(0xF0, 0x0F, 0x01, 0x01, 0xFF, 0x58, 0x58));
    EXPECT_THAT(amp::ModeCommand(1), ElementsAre(0xF0, 0x0F, 0x01, 0x01, 0xFE, 0x58, 0x58));
    EXPECT_THAT(amp::ModeCommand(2), ElementsAre(0xF0, 0x0F, 0x01, 0x01, 0xFD, 0x58, 0x58));
    EXPECT_THAT(amp::ModeCommand(3), ElementsAre(0xF0, 0x0F, 0x01, 0x01, 0xFC, 0x58, 0x58));
    EXPECT_THAT(amp::StopCommand(), ElementsAre(0xF0, 0x0F, 0x01, 0x01, 0x00, 0x58, 0x58));
}

TEST(AmplifierProtocol, SettingsMustFitTheFrame) {
    EXPECT_EQ(amp::FrameBytesNeeded(40, 17), 2085);
    EXPECT_TRUE(amp::SettingsFitFrame(40, 17));
    EXPECT_FALSE(amp::SettingsFitFrame(41, 17));
    EXPECT_FALSE(amp::SettingsFitFrame(40, 18));
    EXPECT_FALSE(amp::SettingsFitFrame(0, 17));
    EXPECT_FALSE(amp::SettingsFitFrame(40, 0));
    EXPECT_FALSE(amp::SettingsFitFrame(1 << 30, 1 << 30));
    EXPECT_EQ(amp::MaxChannelsFor(40), 17);
    EXPECT_EQ(amp::MaxChannelsFor(20), 34);
    EXPECT_EQ(amp::MaxChannelsFor(1000), 0);
    EXPECT_EQ(amp::MaxChannelsFor(0), 0);
}

TEST_F(UsbAmplifierTest, OpenDeviceRunsTheOpenSequenceAndReportsTheHandshake) {
    bridge->QueueRead(Reply(0xFF));
    EXPECT_TRUE(amplifier->OpenDevice(P, C, 1000));
    EXPECT_THAT(CallsBesideTimeouts(),
                ElementsAre("GetNumDevices", "GetProductString 0 256 0", "GetProductString 1 256 0", "Open 0",
                            "SetBaudRate 42 921600", "Write 42", "Read 42"));
    EXPECT_THAT(bridge->Writes(), ElementsAre(ElementsAre(0xF0, 0x0F, 0x01, 0x00, 0x37, 0x58, 0x58)));
    EXPECT_THAT(bridge->readLengths, ElementsAre(5));
    EXPECT_EQ(out.str(), "connect \nrecievedEEG\n握手成功\n");
    EXPECT_EQ(amplifier->DeviceHandle(), 42);
}

TEST_F(UsbAmplifierTest, HandshakeOutcomesOnlyShowOnStandardOutput) {
    bridge->QueueRead(Reply(0x00));
    EXPECT_TRUE(amplifier->OpenDevice(P, C, 1000));
    EXPECT_EQ(out.str(), "connect \nrecievedEEG\n握手失败\n");

    out.str("");
    bridge->QueueRead(Reply(0x12));
    EXPECT_TRUE(amplifier->OpenDevice(P, C, 1000));
    EXPECT_EQ(out.str(), "connect \nrecievedEEG\n");

    out.str("");  // no reply at all
    EXPECT_TRUE(amplifier->OpenDevice(P, C, 1000));
    EXPECT_EQ(out.str(), "connect \n");

    out.str("");
    bridge->writeStatus = UsbBridge::kWriteError;
    EXPECT_TRUE(amplifier->OpenDevice(P, C, 1000));
    EXPECT_EQ(out.str(), "");
}

TEST_F(UsbAmplifierTest, OpenDeviceFailsOnlyWhenTheBaudRateCannotBeSet) {
    bridge->baudStatus = UsbBridge::kInvalidBaudRate;
    bridge->QueueRead(Reply(0xFF));
    EXPECT_FALSE(amplifier->OpenDevice(P, C, 1000));
    EXPECT_EQ(out.str(), "connect \nrecievedEEG\n握手成功\n");

    bridge->baudStatus = UsbBridge::kSuccess;
    bridge->openStatus = UsbBridge::kDeviceNotFound;
    bridge->ClearCalls();
    EXPECT_FALSE(amplifier->OpenDevice(P, C, 1000));
    EXPECT_FALSE(amplifier->DeviceHandle().has_value());
    EXPECT_TRUE(bridge->Writes().empty());
}

TEST_F(UsbAmplifierTest, SettingsThatWouldDecodePastTheFrameAreRefused) {
    EXPECT_FALSE(amplifier->OpenDevice(41, C, 1000));
    EXPECT_FALSE(amplifier->OpenDevice(P, 18, 1000));
    EXPECT_FALSE(amplifier->OpenDevice(0, C, 1000));
    EXPECT_TRUE(bridge->Calls().empty());
    amplifier->Close();
    EXPECT_TRUE(bridge->Writes().empty());
}

TEST_F(UsbAmplifierTest, AFailedOpenNamesTheDeviceAndTheReason) {
    struct Case {
        int packetSize, channelCount;
        UsbBridge::Status open, baud;
        std::string failure;
    };
    const Case cases[] = {
        {P, 21, UsbBridge::kSuccess, UsbBridge::kSuccess,
         "fake (导联数 21 超出放大器的数据帧：数据包大小 40 时最多 17 导联)"},
        {1000, C, UsbBridge::kSuccess, UsbBridge::kSuccess, "fake (数据包大小 1000 超出放大器的数据帧)"},
        {P, C, UsbBridge::kDeviceNotFound, UsbBridge::kSuccess, "fake (unplugged)"},
        {P, C, UsbBridge::kSuccess, UsbBridge::kInvalidBaudRate, "fake (无法设置波特率 921600)"},
        {P, C, UsbBridge::kSuccess, UsbBridge::kSuccess, ""},
    };
    for (const Case& c : cases) {
        bridge->openStatus = c.open;
        bridge->baudStatus = c.baud;
        EXPECT_EQ(amplifier->OpenDevice(c.packetSize, c.channelCount, 1000), c.failure.empty());
        EXPECT_EQ(amplifier->LastFailure(), c.failure);
    }
}

TEST_F(UsbAmplifierTest, CloseBeforeOpenDeviceSendsNothing) {
    amplifier->Close();
    amplifier->SetMode(AcquisitionMode::Waveform);
    EXPECT_TRUE(bridge->Calls().empty());
    int channel = 5;
    EXPECT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 0);
    EXPECT_EQ(channel, 5);
}

TEST_F(UsbAmplifierTest, ModeAndStopCommandsAndTheirLines) {
    bridge->QueueRead(Reply(0xFF));
    ASSERT_TRUE(amplifier->OpenDevice(P, C, 1000));
    bridge->ClearCalls();
    out.str("");
    for (const AcquisitionMode mode : {AcquisitionMode::Waveform, AcquisitionMode::Impedance}) {
        amplifier->SetMode(mode);
        amplifier->Close();
    }
    EXPECT_THAT(bridge->Writes(), ElementsAre(ElementsAre(0xF0, 0x0F, 0x01, 0x01, 0xFF, 0x58, 0x58),
                                              ElementsAre(0xF0, 0x0F, 0x01, 0x01, 0x00, 0x58, 0x58),
                                              ElementsAre(0xF0, 0x0F, 0x01, 0x01, 0xFE, 0x58, 0x58),
                                              ElementsAre(0xF0, 0x0F, 0x01, 0x01, 0x00, 0x58, 0x58)));
    EXPECT_EQ(out.str(), "connect \nconnect \n");  // Close prints nothing

    out.str("");
    bridge->writeStatus = UsbBridge::kWriteError;
    amplifier->SetMode(AcquisitionMode::Waveform);
    EXPECT_EQ(out.str(), "");
}

// The acquisition thread writes its own lines at the same time (impedances);
// each of ours must reach standard output whole.
TEST(UsbAmplifierLines, EachLineReachesTheOutputInOnePiece) {
    auto fake = std::make_unique<FakeBridge>();
    FakeBridge* bridge = fake.get();
    PieceRecorder pieces;
    std::ostream out(&pieces);
    UsbAmplifier amplifier(std::move(fake), out);
    bridge->QueueRead(Reply(0xFF));
    ASSERT_TRUE(amplifier.OpenDevice(P, C, 1000));
    amplifier.SetMode(AcquisitionMode::Impedance);
    EXPECT_EQ(pieces.pieces, (std::vector<std::string>{"connect \n", "recievedEEG\n", "握手成功\n", "connect \n"}));
}

// The timeouts belong to the bridge as a whole: whoever else uses it finds
// the ones it set, whatever the amplifier did in between, a failed read
// included.
TEST_F(UsbAmplifierTest, EveryOperationLeavesTheBridgeWithItsOwnersTimeouts) {
    struct Step {
        const char* name;
        std::function<void()> run;
    };
    int channel = 0;
    std::array<std::uint8_t, 7> bytes{};
    int count = 0;
    const Step steps[] = {
        {"open", [&] { bridge->QueueRead(Reply(0xFF)); ASSERT_TRUE(amplifier->OpenDevice(P, C, 1000)); }},
        {"mode", [&] { amplifier->SetMode(AcquisitionMode::Waveform); }},
        {"frame", [&] { QueueFrames(0, 5); EXPECT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1); }},
        {"mode while streaming", [&] { amplifier->SetMode(AcquisitionMode::Impedance); }},
        {"reads until one times out", [&] { while (amplifier->ReadPacketWithChannel(packet, channel) == 1) {} }},
        {"bytes read", [&] { EXPECT_FALSE(amplifier->ReadBytes(bytes, count, 10)); }},
        {"bytes written", [&] { EXPECT_TRUE(amplifier->WriteBytes(bytes, count, 10)); }},
        {"stop", [&] { amplifier->Close(); }},
    };
    int owner = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        ++owner;
        ASSERT_EQ(bridge->SetTimeouts(100 + owner, 200 + owner), UsbBridge::kSuccess);
        step.run();
        int read = 0;
        int write = 0;
        ASSERT_EQ(bridge->GetTimeouts(read, write), UsbBridge::kSuccess);
        EXPECT_EQ(read, 100 + owner);
        EXPECT_EQ(write, 200 + owner);
    }
}

// However short the owner's timeouts, the handshake command has 1000 ms to
// go out and its reply 3000 ms to come. A reply that comes too late, or not
// at all, only leaves its lines out: a slow amplifier is no device failure.
// A line that fails says why.
TEST_F(UsbAmplifierTest, TheHandshakeWaitsAsLongAsAllowedAndNoLonger) {
    constexpr int kNever = -1;
    struct Case {
        const char* name;
        int commandTakesMs;
        int replyAfterMs;
        UsbBridge::Status replyStatus;
        const char* out;
        const char* failure;
    };
    const Case cases[] = {
        {"prompt", 0, 0, UsbBridge::kSuccess, "connect \nrecievedEEG\n握手成功\n", ""},
        {"command slow", 1000, 0, UsbBridge::kSuccess, "connect \nrecievedEEG\n握手成功\n", ""},
        {"command too slow", 1001, kNever, UsbBridge::kSuccess, "", ""},
        {"reply late", 0, 3000, UsbBridge::kSuccess, "connect \nrecievedEEG\n握手成功\n", ""},
        {"reply too late", 0, 3001, UsbBridge::kSuccess, "connect \n", ""},
        {"no reply", 0, kNever, UsbBridge::kSuccess, "connect \n", ""},
        {"line failed", 0, 0, UsbBridge::kReadError, "connect \n", "fake (unplugged)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Renew();
        ASSERT_EQ(bridge->SetTimeouts(1, 1), UsbBridge::kSuccess);
        bridge->writeTakesMs = c.commandTakesMs;
        if (c.replyAfterMs != kNever) bridge->QueueLateRead(Reply(0xFF), c.replyAfterMs, c.replyStatus);
        EXPECT_TRUE(amplifier->OpenDevice(P, C, 1000));
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(amplifier->LastFailure(), c.failure);
    }
}

// A frame may take up to 3000 ms. One that comes later is not lost: the read
// that gave up delivers nothing and leaves the packet alone, and the next read
// delivers it. One that never comes is no device failure either.
TEST_F(UsbAmplifierTest, AFrameReadWaitsAsLongAsAllowedAndALateFrameComesNext) {
    constexpr int kNever = -1;
    struct Case {
        const char* name;
        int frameAfterMs;
        std::vector<int> delivered;  // by each read in turn
    };
    const Case cases[] = {
        {"prompt", 0, {1, 1}},
        {"late", 3000, {1, 1}},
        {"too late", 3001, {0, 1}},
        {"never", kNever, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Renew();
        Open();
        ASSERT_EQ(bridge->SetTimeouts(1, 1), UsbBridge::kSuccess);
        if (c.frameAfterMs != kNever) {
            bridge->QueueLateRead(Frame(0x20, 0), c.frameAfterMs);
            QueueFrames(1, 4);
        }
        for (const int delivered : c.delivered) {
            packet.assign(packet.size(), kUntouched);
            int channel = -99;
            EXPECT_EQ(amplifier->ReadPacketWithChannel(packet, channel), delivered);
            if (delivered == 0) {
                EXPECT_THAT(packet, ::testing::Each(kUntouched));
                EXPECT_EQ(channel, -99);
            }
        }
        EXPECT_EQ(amplifier->LastFailure(), "");
        EXPECT_NE(amplifier->Health().state, LinkState::Disconnected);
    }
}

TEST_F(UsbAmplifierTest, DecodesBigEndian24BitValuesEventsAndChannel) {
    Open();
    QueueFrames(9, 5, [](Bytes& frame, int n) {
        if (n == 9) {
            frame[2] = 0x2A;
            PutValue(frame, 0, 0, {0xFF, 0xFF, 0xFE});
            PutValue(frame, 0, 1, {0x00, 0x01, 0x00});
            PutValue(frame, 0, 2, {0x80, 0x00, 0x00});
            PutValue(frame, 0, 3, {0x7F, 0xFF, 0xFF});
            PutEvent(frame, 0, 0xC8);
        }
        if (n == 10) frame[2] = 0x10;
    });
    int channel = -99;
    ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1);
    EXPECT_EQ(packet[0], -2);
    EXPECT_EQ(packet[1], 256);
    EXPECT_EQ(packet[2], -8388608);
    EXPECT_EQ(packet[3], 8388607);
    EXPECT_EQ(packet[C - 1], 200);
    EXPECT_EQ(channel, 10);
    EXPECT_EQ(amplifier->LastCounter(), 9);
    EXPECT_EQ(amplifier->CounterSeen(), 1);

    ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1);
    EXPECT_EQ(channel, -16);
}

TEST_F(UsbAmplifierTest, PacketIsSampleMajorWithTheEventLast) {
    Open();
    QueueFrames(0, 5, [](Bytes& frame, int n) {
        if (n != 0) return;
        for (int s = 0; s < P; ++s) {
            for (int k = 0; k < C - 1; ++k) {
                const int v = 1000 * s + k;
                PutValue(frame, s, k, {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                                       static_cast<std::uint8_t>(v)});
            }
            PutEvent(frame, s, static_cast<std::uint8_t>(s + 1));
        }
        frame[2085] = 0x77;  // the one byte after the blocks is not interpreted
    });
    int channel = 0;
    ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1);
    for (int s = 0; s < P; ++s) {
        for (int k = 0; k < C - 1; ++k) EXPECT_EQ(packet[s * C + k], 1000 * s + k) << s << "," << k;
        EXPECT_EQ(packet[s * C + C - 1], s + 1);
    }
}

TEST_F(UsbAmplifierTest, SmallerSettingsDecodeOnlyTheirOwnBlocks) {
    bridge->QueueRead(Reply(0xFF));
    ASSERT_TRUE(amplifier->OpenDevice(4, 3, 100));
    amplifier->SetMode(AcquisitionMode::Waveform);
    // blocks of 3 × 3 + 1 = 10 bytes: sample 1, channel 1 is at 5 + 10 + 4 + 3
    QueueFrames(0, 5, [](Bytes& frame, int) {
        frame[5 + 10 + 4 + 3 + 2] = 7;
        frame[5 + 10] = 3;
    });
    std::vector<std::int32_t> small(4 * 3 + 1, kUntouched);
    int channel = 0;
    ASSERT_EQ(amplifier->ReadPacketWithChannel(small, channel), 1);
    EXPECT_EQ(small[1 * 3 + 1], 7);
    EXPECT_EQ(small[1 * 3 + 2], 3);
    EXPECT_EQ(small.back(), kUntouched);
}

TEST_F(UsbAmplifierTest, AStreamCutShortDeliversNothing) {
    Open();
    bridge->QueueRead(Bytes(2085, 0x11));  // less than a frame, then nothing
    int channel = 123;
    EXPECT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 0);
    EXPECT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 0);
    EXPECT_EQ(channel, 123);
    EXPECT_THAT(packet, ::testing::Each(kUntouched));
    EXPECT_EQ(amplifier->CounterSeen(), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(amplifier->Health().state, LinkState::Connecting);
}

TEST_F(UsbAmplifierTest, StaleBytesAreDiscardedBeforeANewStream) {
    Open();
    amplifier->Close();
    bridge->QueueRead(Bytes(700, 0x33));  // the rest of a frame cut short by Stop
    bridge->ClearCalls();
    amplifier->SetMode(AcquisitionMode::Waveform);
    const auto calls = bridge->Calls();
    const auto read = std::find(calls.begin(), calls.end(), "Read 42");
    const auto write = std::find(calls.begin(), calls.end(), "Write 42");
    ASSERT_NE(read, calls.end());
    EXPECT_LT(read, write);

    QueueFrames(0, 5, [](Bytes& frame, int) { frame[2] = 0x2B; });
    int channel = 0;
    ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1);
    EXPECT_EQ(channel, 11);
}

// The stream breaks in every way a serial line breaks it; every frame that
// comes out is one the amplifier sent, whole, and the rest are counted.
TEST_F(UsbAmplifierTest, LostBytesAndFramesNeverShiftADecodedFrame) {
    Open();
    Bytes stream;
    // Past the first second, when the bytes that never change are known.
    for (int n = 0; n < 70; ++n) {
        Bytes frame = NumberedFrame(n);
        if (n == 40) frame.erase(frame.begin() + 900, frame.begin() + 903);  // 3 bytes lost
        if (n == 50 || n == 51) continue;                                   // two frames lost
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    bridge->QueueRead(stream);
    std::vector<int> seen;
    int channel = 0;
    while (amplifier->ReadPacketWithChannel(packet, channel) == 1) {
        ASSERT_EQ(packet[0], amplifier->LastCounter()) << "a frame decoded out of place";
        seen.push_back(amplifier->LastCounter());
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 40), 0);
    EXPECT_EQ(seen.size(), 70u - 3u);  // proven by its own bytes, the last waits for nothing
    EXPECT_EQ(amplifier->Health().lostFrames, 3u);
    EXPECT_EQ(amplifier->Health().state, LinkState::Acquiring);
    EXPECT_THAT(out.str(), ::testing::HasSubstr("amplifier: frames lost: 1 (1 in all)\n"));
    EXPECT_THAT(out.str(), ::testing::HasSubstr("amplifier: frames lost: 2 (3 in all)\n"));
}

TEST_F(UsbAmplifierTest, AVanishedDeviceIsReopenedAndToldItsModeAgain) {
    Open();
    QueueFrames(0, 4);
    bridge->QueueRead({}, UsbBridge::kReadError);  // the adapter is pulled
    int channel = 0;
    int delivered = 0;
    while (amplifier->ReadPacketWithChannel(packet, channel) == 1) ++delivered;
    EXPECT_EQ(delivered, 2);
    EXPECT_EQ(amplifier->Health().state, LinkState::Disconnected);
    EXPECT_EQ(amplifier->LastFailure(), "fake (unplugged)");
    EXPECT_THAT(out.str(), ::testing::EndsWith("amplifier: connection lost: fake (unplugged)\n"));

    // Back: the next read reopens, handshakes, sends the mode, and goes on
    // where the amplifier's counter says; the frames in between are lost.
    bridge->ClearCalls();
    bridge->QueueRead(Reply(0xFF));
    QueueFrames(12, 5);
    ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1);
    EXPECT_EQ(amplifier->LastCounter(), 12);
    EXPECT_EQ(amplifier->Health().state, LinkState::Acquiring);
    // The jump is believed once the next frame follows it.
    ASSERT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1);
    EXPECT_EQ(amplifier->Health().lostFrames, 10u);  // 2 and 3 were never proven, 4 to 11 never came
    EXPECT_THAT(bridge->Calls(), ::testing::Contains("Open 0"));
    EXPECT_THAT(bridge->Writes(), ElementsAre(ElementsAreArray(amp::HandshakeCommand()),
                                              ElementsAreArray(amp::ModeCommand(0))));
    EXPECT_THAT(out.str(), ::testing::HasSubstr("amplifier: reconnected\n"));
}

TEST_F(UsbAmplifierTest, CancelledReadsReturnAtOnceInEveryState) {
    Open();
    bridge->QueueRead({}, UsbBridge::kReadError);
    int channel = 0;
    EXPECT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 0);
    ASSERT_EQ(amplifier->Health().state, LinkState::Disconnected);
    // Stop while the device is gone: no reconnection is tried.
    amplifier->CancelReads();
    bridge->ClearCalls();
    EXPECT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 0);
    EXPECT_TRUE(bridge->Calls().empty());
    amplifier->ResumeReads();
}

TEST_F(UsbAmplifierTest, CancelWakesAReadAndLetsTheStopCommandThrough) {
    Open();
    bridge->blockWhenEmpty = true;
    int result = -1;
    int channel = 77;
    std::thread reader([&] { result = amplifier->ReadPacketWithChannel(packet, channel); });
    bridge->WaitForWaitingRead();
    amplifier->CancelReads();
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(channel, 77);
    EXPECT_THAT(packet, ::testing::Each(kUntouched));

    // Cancelled reads stay cancelled until resumed.
    QueueFrames(0, 5);
    EXPECT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 0);
    amplifier->ResumeReads();
    amplifier->Close();
    EXPECT_THAT(bridge->Writes().back(), ElementsAre(0xF0, 0x0F, 0x01, 0x01, 0x00, 0x58, 0x58));
    EXPECT_EQ(amplifier->ReadPacketWithChannel(packet, channel), 1);
    EXPECT_FALSE(bridge->overlapped);
}

// The impedance command while a frame is half in: the read gives way to the
// mode command and then goes on with the bytes it had; nothing is lost or
// shifted.
TEST_F(UsbAmplifierTest, AModeCommandInTheMiddleOfAFrameLosesNothing) {
    Open();
    bridge->blockWhenEmpty = true;
    Bytes stream;
    for (int n = 0; n < 6; ++n) {
        const Bytes frame = NumberedFrame(n);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    const Bytes firstPart(stream.begin(), stream.begin() + 3000);
    const Bytes rest(stream.begin() + 3000, stream.end());
    bridge->QueueRead(firstPart);
    std::vector<int> counters;
    std::thread reader([&] {
        int channel = 0;
        for (int i = 0; i < 3; ++i) {
            if (amplifier->ReadPacketWithChannel(packet, channel) != 1) return;
            if (packet[0] != amplifier->LastCounter()) return;
            counters.push_back(amplifier->LastCounter());
        }
    });
    bridge->WaitForWaitingRead();  // the read has taken the first part and waits for more
    amplifier->SetMode(AcquisitionMode::Impedance);
    bridge->QueueRead(rest);
    reader.join();
    EXPECT_THAT(counters, ElementsAre(0, 1, 2));
    EXPECT_THAT(bridge->Writes().back(), ElementsAreArray(amp::ModeCommand(1)));
    EXPECT_EQ(amplifier->Health().lostFrames, 0u);
    EXPECT_FALSE(bridge->overlapped);
}

TEST_F(UsbAmplifierTest, ConcurrentReadsAndWritesNeverOverlapInTheBridge) {
    Open();
    QueueFrames(0, 203);
    std::thread reader([&] {
        std::vector<std::int32_t> own(P * C);
        int channel = 0;
        for (int i = 0; i < 200; ++i) amplifier->ReadPacketWithChannel(own, channel);
    });
    for (int i = 0; i < 200; ++i) amplifier->SetMode(i % 2 == 0 ? AcquisitionMode::Waveform : AcquisitionMode::Impedance);
    reader.join();
    EXPECT_FALSE(bridge->overlapped);
    EXPECT_EQ(bridge->readTimeoutMs, 777);
    EXPECT_EQ(bridge->writeTimeoutMs, 555);
}

}  // namespace
