// The stream carries EEG only: while the amplifier measures impedances, a
// connected client receives nothing and stays connected, the recording keeps
// every frame, and records flow again when the waveforms come back.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <vector>

#include "acquisition/shell/command_texts.h"
#include "acquisition/shell/vostrel_view.h"
#include "common/unique_fd.h"
#include "support/scripted_amplifier.h"
#include "support/temp_dir.h"

namespace {

constexpr int kPacketSize = 40;
constexpr std::size_t kPacketBytes = kPacketSize * sizeof(SampleRecord);

// A loopback reader of the stream, as Pallock is one.
class LoopbackReader {
public:
    bool Connect(quint16 port) {
        fd_ = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return fd_.Get() >= 0 && ::connect(fd_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    // Takes what has arrived; false once the server has closed the connection.
    bool Read() {
        char chunk[16384];
        for (;;) {
            const ssize_t got = ::recv(fd_.Get(), chunk, sizeof chunk, MSG_DONTWAIT);
            if (got > 0) {
                bytes_.insert(bytes_.end(), chunk, chunk + got);
                continue;
            }
            return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
        }
    }
    // The packet number of each whole packet received (slot 0 of its first record).
    std::vector<int> Packets() const {
        std::vector<int> numbers;
        for (std::size_t at = 0; at + kPacketBytes <= bytes_.size(); at += kPacketBytes) {
            SampleRecord first;
            std::memcpy(&first, bytes_.data() + at, sizeof first);
            numbers.push_back(first.slots[0] / 100000);
        }
        return numbers;
    }
    std::size_t Bytes() const { return bytes_.size(); }

private:
    UniqueFd fd_;
    std::vector<char> bytes_;
};

std::vector<int> Range(int from, int to) {
    std::vector<int> numbers;
    for (int n = from; n < to; ++n) numbers.push_back(n);
    return numbers;
}

TEST(ImpedanceStream, NoRecordsReachTheClientWhileImpedancesAreMeasuredAndTheFileKeepsEveryFrame) {
    TempDir dir;
    FilePlaybackSource playback;
    ScriptedAmplifier amplifier;
    CVostrelView view(playback, amplifier);
    ASSERT_TRUE(view.Server().Start(QStringLiteral("127.0.0.1"), 0));
    LoopbackReader client;
    ASSERT_TRUE(client.Connect(view.Server().ListeningPort()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.Server().clientConnected == 1; }));

    CommandTable& commands = view.Commands();
    QAction* impedance = commands.Action(command::kImpedance);
    ASSERT_TRUE(commands.Trigger(command::kStart));
    ASSERT_TRUE(view.SaveData().RecordTo(dir.File("r.EOL")));
    int reads = 1;
    // Waveforms, impedances, waveforms again: five packets each.
    const struct {
        int command;
        bool mapShown;
        std::vector<int> packetsAtClient;  // all received so far
    } phases[] = {
        {0, false, Range(0, 5)},
        {command::kImpedance, true, Range(0, 5)},
        {command::kImpedance, false, [] {
             auto both = Range(0, 5);
             for (int n : Range(10, 15)) both.push_back(n);
             return both;
         }()},
    };
    for (const auto& phase : phases) {
        SCOPED_TRACE(phase.mapShown ? "impedances" : "waveforms");
        if (phase.command != 0) {
            ASSERT_TRUE(commands.Trigger(phase.command));
        }
        view.Commands().UpdateEnabled();
        EXPECT_EQ(view.ImpedanceWindow()->isVisibleTo(&view), phase.mapShown);
        EXPECT_EQ(view.WaveWindow()->isVisibleTo(&view), !phase.mapShown);
        EXPECT_EQ(impedance->isChecked(), phase.mapShown) << "the button shows the mode";
        EXPECT_EQ(commands.IsEnabled(command::kStart), phase.mapShown) << "Start leads back to the waveforms";
        amplifier.Release(5);
        reads += 5;
        ASSERT_TRUE(amplifier.WaitForRead(reads));
        const std::size_t expected = phase.packetsAtClient.size() * kPacketBytes;
        // Whatever was due has come once the expected bytes are here and
        // nothing more follows for a while.
        ASSERT_TRUE(QTest::qWaitFor([&] { return client.Read() && client.Bytes() >= expected; }));
        QTest::qWait(60);
        ASSERT_TRUE(client.Read()) << "the client stays connected";
        EXPECT_EQ(client.Packets(), phase.packetsAtClient);
        EXPECT_EQ(client.Bytes(), expected);
        EXPECT_EQ(view.Server().clientConnected, 1);
    }
    ASSERT_TRUE(commands.Trigger(command::kStop));

    const auto file = ReadAllBytes(dir.File("r.EOL"));
    ASSERT_EQ(file.size(), 200u + 15u * kPacketBytes) << "the recording holds every frame";
    for (int n = 0; n < 15; ++n) {
        SampleRecord first;
        std::memcpy(&first, file.data() + 200 + static_cast<std::size_t>(n) * kPacketBytes, sizeof first);
        EXPECT_EQ(first.slots[0] / 100000, n);
    }
}

}  // namespace
