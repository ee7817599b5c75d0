// The server fed by a real acquisition thread, and by senders that never stop
// while clients stall, come and go.

#include "acquisition/server/data_server.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "acquisition/engine/acquisition_engine.h"
#include "tests/acquisition/server/stream_client.h"
#include "tests/support/temp_dir.h"
#include "tests/support/absent_amplifier.h"

namespace {

const auto* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// Passes packets on to the server and notes the size of every send.
class SendLog : public PacketStream {
public:
    explicit SendLog(DataServer& server) : server_(server) {}
    bool ClientConnected() const override { return server_.ClientConnected(); }
    void SendPacket(std::span<const SampleRecord> records) override {
        {
            const std::lock_guard lock(mutex_);
            sizes_.push_back(RecordBytes(records).size());
        }
        server_.SendPacket(records);
    }
    std::vector<std::size_t> Sizes() const {
        const std::lock_guard lock(mutex_);
        return sizes_;
    }

private:
    DataServer& server_;
    mutable std::mutex mutex_;
    std::vector<std::size_t> sizes_;
};

// 17 values per sample, every value different, over 25 packets of 10.
std::vector<std::int32_t> PlaybackValues() {
    std::vector<std::int32_t> values(250 * 17);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<std::int32_t>(i * 7919 % 100003) - 50000;
    return values;
}

TEST(ServerStream, ClientGetsExactlyWhatIsRecorded) {
    TempDir dir;
    const auto values = PlaybackValues();
    const std::string playbackPath = WriteSampleFile(dir, "play.eol", values);
    const std::string recordingPath = dir.File("recorded.eol");

    DataServer server;
    ASSERT_TRUE(server.Start("127.0.0.1", 0));
    SendLog log(server);
    FilePlaybackSource playback;
    AbsentAmplifier amplifier;
    AcquisitionEngine engine(playback, amplifier, EnginePorts{.stream = &log});
    AcquisitionSettings settings;
    settings.source = SignalSource::Playback;
    settings.packetSize = 10;
    settings.sampleRate = 1000;
    settings.simulatedDataPath = playbackPath;
    engine.ApplySettings(settings);

    // Connected while acquisition is stopped: nothing comes.
    StreamClient client;
    ASSERT_TRUE(client.Connect(server.ListeningPort()));
    ASSERT_TRUE(WaitUntil([&] { return server.ClientConnected(); }));
    EXPECT_FALSE(client.HasPendingData());
    EXPECT_TRUE(log.Sizes().empty());

    ASSERT_TRUE(engine.OpenRecording(recordingPath));
    engine.StartWaveform();
    ASSERT_TRUE(engine.Running());
    // More than one pass over the file, so the playback's wrap is in the stream.
    ASSERT_TRUE(client.WaitForBytes(40 * 840));
    engine.StopAcquisition();

    const std::vector<unsigned char> file = ReadAllBytes(recordingPath);
    ASSERT_GT(file.size(), 200u);
    const std::vector<unsigned char> samples(file.begin() + 200, file.end());
    ASSERT_TRUE(client.WaitForBytes(samples.size()));
    client.ReadAvailable();
    EXPECT_EQ(client.Received(), samples);

    const std::vector<std::size_t> sizes = log.Sizes();
    EXPECT_EQ(sizes.size() * 840, samples.size());
    for (std::size_t size : sizes) EXPECT_EQ(size, 840u);
    for (const SampleRecord& record : client.ReceivedRecords()) {
        EXPECT_EQ(record.slots[8] | record.slots[9] | record.slots[18] | record.slots[19], 0);
    }
}

constexpr int kPacketSize = 40;
constexpr std::size_t kPacketBytes = kPacketSize * sizeof(SampleRecord);

// A stand-in acquisition thread: numbered packets as fast as SendPacket
// returns, noting the largest backlog it ever saw.
class Sender {
public:
    explicit Sender(DataServer& server, int packets = -1, int packetSize = kPacketSize)
        : server_(server), packets_(packets), packetSize_(packetSize) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Sender() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool Finished() const { return finished_; }
    int Sent() const { return sent_; }
    std::size_t LargestBacklog() const { return largestBacklog_; }

private:
    void Run() {
        for (int n = 0; !stop_ && n != packets_; ++n) {
            server_.SendPacket(NumberedPacket(n, packetSize_));
            largestBacklog_ = std::max<std::size_t>(largestBacklog_, server_.BacklogBytes());
            sent_ = n + 1;
            if (packets_ < 0) std::this_thread::yield();
        }
        finished_ = true;
    }

    DataServer& server_;
    const int packets_;
    const int packetSize_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> sent_{0};
    std::atomic<std::size_t> largestBacklog_{0};
    std::thread thread_;
};

// A client that reads nothing for the stream of many seconds: every send
// returns at once, the backlog stays within a second of data, the client is
// dropped after whole records only, and the next client is served.
TEST(ServerStream, StalledClientIsDroppedWithoutHoldingTheSender) {
    DataServer server;
    ASSERT_TRUE(server.Start("127.0.0.1", 0));
    QStringList statuses;
    QObject::connect(&server, &DataServer::statusChanged, [&](const QString& s) { statuses << s; });

    StreamClient stalled;
    ASSERT_TRUE(stalled.Connect(server.ListeningPort()));
    ASSERT_TRUE(WaitUntil([&] { return server.ClientConnected(); }));

    // 5000 packets of 40 are 200 seconds of stream at the default rate.
    Sender sender(server, 5000);
    ASSERT_TRUE(WaitUntil([&] { return sender.Finished() && !server.ClientConnected(); }, 30000));
    sender.Stop();
    EXPECT_EQ(sender.Sent(), 5000);
    EXPECT_EQ(statuses, (QStringList{Text(DataServer::kConnected), Text(DataServer::kListening)}));
    EXPECT_LE(sender.LargestBacklog(), 1000 * sizeof(SampleRecord) + kPacketBytes);
    EXPECT_EQ(server.BacklogBytes(), 0u);

    ASSERT_TRUE(stalled.WaitForEnd());
    EXPECT_FALSE(stalled.WasReset());
    EXPECT_GT(stalled.Received().size(), 0u);
    EXPECT_EQ(stalled.Received().size() % sizeof(SampleRecord), 0u);
    EXPECT_EQ(ExpectConsecutivePackets(stalled.ReceivedRecords(), kPacketSize), 0);

    StreamClient next;
    ASSERT_TRUE(next.Connect(server.ListeningPort()));
    ASSERT_TRUE(WaitUntil([&] { return server.ClientConnected(); }));
    server.SendPacket(NumberedPacket(7000, kPacketSize));
    ASSERT_TRUE(next.WaitForBytes(kPacketBytes));
    EXPECT_EQ(ExpectConsecutivePackets(next.ReceivedRecords(), kPacketSize), 7000);
}

// What a stalled client ends up with is what its own kernel took and what
// ours still held for it when it was dropped: the stall limit is measured on
// our kernel's queue, whatever the kernel made of the buffer size we asked.
TEST(ServerStream, StalledClientGetsNoMoreThanItsBufferAndTheStallLimit) {
    for (const int rate : {250, 1000}) {
        SCOPED_TRACE(rate);
        DataServer server;
        server.SetSampleRate(rate);
        ASSERT_TRUE(server.Start("127.0.0.1", 0));
        StreamClient stalled;
        ASSERT_TRUE(stalled.Connect(server.ListeningPort(), 4096));
        ASSERT_TRUE(WaitUntil([&] { return server.ClientConnected(); }));

        Sender sender(server, 1000);
        ASSERT_TRUE(WaitUntil([&] { return sender.Finished() && !server.ClientConnected(); }, 30000));
        ASSERT_TRUE(stalled.WaitForEnd());
        const std::size_t stallLimit =
            static_cast<std::size_t>(rate) * sizeof(SampleRecord) * DataServer::kStallQueueMs / 1000;
        EXPECT_LE(stalled.Received().size(), stalled.ReceiveBufferBytes() + stallLimit + kPacketBytes);
        EXPECT_EQ(ExpectConsecutivePackets(stalled.ReceivedRecords(), kPacketSize), 0);
    }
}

// Packets larger than what the socket takes in one piece are sent in part;
// the client that is dropped then still gets whole records only. A rate of
// 500 makes one second of data half of such a packet.
TEST(ServerStream, DropAfterAPartlySentPacketEndsOnARecord) {
    constexpr int kLargePacket = 1000;
    DataServer server;
    server.SetSampleRate(500);
    ASSERT_TRUE(server.Start("127.0.0.1", 0));
    StreamClient stalled;
    ASSERT_TRUE(stalled.Connect(server.ListeningPort()));
    ASSERT_TRUE(WaitUntil([&] { return server.ClientConnected(); }));

    Sender sender(server, 50, kLargePacket);
    ASSERT_TRUE(WaitUntil([&] { return sender.Finished() && !server.ClientConnected(); }, 30000));
    EXPECT_LE(sender.LargestBacklog(), (500 + kLargePacket) * sizeof(SampleRecord));
    ASSERT_TRUE(stalled.WaitForEnd());
    EXPECT_FALSE(stalled.WasReset());
    EXPECT_EQ(stalled.Received().size() % sizeof(SampleRecord), 0u);
    EXPECT_EQ(ExpectConsecutivePackets(stalled.ReceivedRecords(), kLargePacket), 0);
}

// Clients connect, read a little, stall or vanish while packets never stop:
// each client's stream starts at a packet and holds whole records in order.
TEST(ServerStream, ClientsComingAndGoingWhileSending) {
    DataServer server;
    ASSERT_TRUE(server.Start("127.0.0.1", 0));
    Sender sender(server);

    for (int round = 0; round < 24; ++round) {
        StreamClient client;
        ASSERT_TRUE(client.Connect(server.ListeningPort()));
        switch (round % 3) {
            case 0:  // gone before it is even accepted, or just after
                client.Close();
                break;
            case 1:  // reads a few packets, then leaves
                ASSERT_TRUE(WaitUntil([&] { return server.ClientConnected(); }));
                ASSERT_TRUE(client.WaitForBytes(3 * kPacketBytes));
                ExpectConsecutivePackets(client.ReceivedRecords(), kPacketSize);
                client.Close();
                break;
            case 2:  // stalls until dropped, then reads what it was given
                ASSERT_TRUE(WaitUntil([&] { return server.ClientConnected(); }));
                ASSERT_TRUE(WaitUntil([&] { return !server.ClientConnected(); }, 30000));
                ASSERT_TRUE(client.WaitForEnd());
                EXPECT_EQ(client.Received().size() % sizeof(SampleRecord), 0u);
                ExpectConsecutivePackets(client.ReceivedRecords(), kPacketSize);
                break;
        }
        ASSERT_TRUE(WaitUntil([&] { return !server.ClientConnected(); }));
    }
    sender.Stop();
    EXPECT_EQ(server.Status(), Text(DataServer::kListening));
}

}  // namespace
