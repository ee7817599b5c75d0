// The server's connection handling, with the test thread standing in for the
// acquisition thread.

#include "acquisition/server/data_server.h"

#include <fcntl.h>
#include <sys/resource.h>

#include <QStringList>

#include "tests/acquisition/server/stream_client.h"

namespace {

const auto* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

constexpr int kPacketSize = 10;
constexpr std::size_t kPacketBytes = kPacketSize * sizeof(SampleRecord);

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// A started server and every status text it showed.
class StartedServer {
public:
    StartedServer() {
        QObject::connect(&server, &DataServer::statusChanged, [this](const QString& s) { statuses << s; });
        started = server.Start("127.0.0.1", 0);
        port = server.ListeningPort();
    }
    bool WaitForClient() {
        return WaitUntil([&] { return server.ClientConnected(); });
    }
    bool WaitForNoClient() {
        return WaitUntil([&] { return !server.ClientConnected(); });
    }
    void Send(int n) { server.SendPacket(NumberedPacket(n, kPacketSize)); }

    DataServer server;
    QStringList statuses;
    bool started = false;
    quint16 port = 0;
};

TEST(DataServerStart, ListensAndSaysSo) {
    StartedServer s;
    ASSERT_TRUE(s.started);
    EXPECT_NE(s.port, 0);
    EXPECT_EQ(s.statuses, QStringList{Text(DataServer::kListening)});
    EXPECT_EQ(s.server.Status(), Text(DataServer::kListening));
    EXPECT_FALSE(s.server.ClientConnected());
}

TEST(DataServerStart, SecondStartFailsAndFirstServerKeepsServing) {
    StartedServer s;
    ASSERT_TRUE(s.started);

    EXPECT_FALSE(s.server.Start("127.0.0.1", s.port));
    EXPECT_EQ(s.server.Status(), Text(DataServer::kCreateFailed));
    // Another program's server on the same port fails the same way.
    DataServer other;
    EXPECT_FALSE(other.Start("127.0.0.1", s.port));
    EXPECT_EQ(other.Status(), Text(DataServer::kCreateFailed));

    StreamClient client;
    ASSERT_TRUE(client.Connect(s.port));
    ASSERT_TRUE(s.WaitForClient());
    EXPECT_EQ(s.server.Status(), Text(DataServer::kConnected));
    s.Send(1);
    ASSERT_TRUE(client.WaitForBytes(kPacketBytes));
    ExpectConsecutivePackets(client.ReceivedRecords(), kPacketSize);
}

TEST(DataServerStart, AddressThatIsNoAddressFailsToCreate) {
    DataServer server;
    EXPECT_FALSE(DataServer::IsValidListenAddress("not an address"));
    EXPECT_FALSE(server.Start("not an address", 0));
    EXPECT_EQ(server.Status(), Text(DataServer::kCreateFailed));
    EXPECT_TRUE(DataServer::IsValidListenAddress(""));
    EXPECT_TRUE(DataServer::IsValidListenAddress("::1"));
    EXPECT_TRUE(DataServer::IsValidListenAddress("localhost"));
}

// No socket can be had at all (the process is out of descriptors): the error
// box with its caption, and the pane keeps its text.
TEST(DataServerStart, SocketLayerFailureAsksForMessageBox) {
    DataServer server;
    QStringList messages;
    QObject::connect(&server, &DataServer::messageRequested,
                     [&](const QString& text, const QString& caption) { messages << text << caption; });

    const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit exhausted = saved;
    exhausted.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &exhausted), 0);
    const bool started = server.Start("127.0.0.1", 0);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

    EXPECT_FALSE(started);
    EXPECT_EQ(messages, (QStringList{Text(DataServer::kInitFailed), Text(DataServer::kInitFailedCaption)}));
    EXPECT_TRUE(server.Status().isEmpty());
}

TEST(DataServerClients, OneClientAtATimeAndTheNextStartsAtAPacket) {
    StartedServer s;
    ASSERT_TRUE(s.started);
    StreamClient first;
    ASSERT_TRUE(first.Connect(s.port));
    ASSERT_TRUE(s.WaitForClient());
    EXPECT_EQ(s.statuses, (QStringList{Text(DataServer::kListening), Text(DataServer::kConnected)}));

    s.Send(1);
    ASSERT_TRUE(first.WaitForBytes(kPacketBytes));

    StreamClient second;
    ASSERT_TRUE(second.Connect(s.port));
    for (int n = 2; n <= 4; ++n) {
        s.Send(n);
        ASSERT_TRUE(first.WaitForBytes(static_cast<std::size_t>(n) * kPacketBytes));
    }
    EXPECT_FALSE(second.HasPendingData());
    EXPECT_EQ(s.server.Status(), Text(DataServer::kConnected));
    EXPECT_EQ(first.Received().size(), 4 * kPacketBytes);
    EXPECT_EQ(ExpectConsecutivePackets(first.ReceivedRecords(), kPacketSize), 1);

    // The first client leaves: listening again, and the waiting one is taken.
    first.Close();
    ASSERT_TRUE(WaitUntil([&] { return s.statuses.size() >= 4; }));
    EXPECT_EQ(s.statuses.mid(2), (QStringList{Text(DataServer::kListening), Text(DataServer::kConnected)}));
    ASSERT_TRUE(s.WaitForClient());
    EXPECT_FALSE(second.HasPendingData());

    s.Send(5);
    s.Send(6);
    ASSERT_TRUE(second.WaitForBytes(2 * kPacketBytes));
    EXPECT_EQ(ExpectConsecutivePackets(second.ReceivedRecords(), kPacketSize), 5);
}

TEST(DataServerClients, WhatTheClientSendsChangesNothing) {
    StartedServer s;
    ASSERT_TRUE(s.started);
    StreamClient client;
    ASSERT_TRUE(client.Connect(s.port));
    ASSERT_TRUE(s.WaitForClient());

    // Far more than the socket buffers hold: it all goes through only if the
    // server reads and discards it.
    const std::vector<char> noise(4 * 1024 * 1024, 'x');
    std::size_t written = 0;
    int n = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const ssize_t sent =
                ::send(client.Fd(), noise.data() + written, noise.size() - written, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent > 0) written += static_cast<std::size_t>(sent);
            s.Send(n++);
            client.ReadAvailable();
            return written == noise.size();
        },
        20000));
    s.Send(n++);
    ASSERT_TRUE(client.WaitForBytes(static_cast<std::size_t>(n) * kPacketBytes));
    EXPECT_EQ(client.Received().size(), static_cast<std::size_t>(n) * kPacketBytes);
    EXPECT_EQ(ExpectConsecutivePackets(client.ReceivedRecords(), kPacketSize), 0);
    EXPECT_TRUE(s.server.ClientConnected());
    EXPECT_EQ(s.server.Status(), Text(DataServer::kConnected));
}

// A packet larger than the socket takes at once, and then no more packets (as
// after Stop): the client still gets all of it.
TEST(DataServerClients, BacklogGoesOutWithoutAnotherPacket) {
    constexpr int kLargePacket = 1000;
    StartedServer s;
    ASSERT_TRUE(s.started);
    StreamClient client;
    ASSERT_TRUE(client.Connect(s.port));
    ASSERT_TRUE(s.WaitForClient());

    s.server.SendPacket(NumberedPacket(3, kLargePacket));
    ASSERT_TRUE(client.WaitForBytes(kLargePacket * sizeof(SampleRecord)));
    EXPECT_EQ(ExpectConsecutivePackets(client.ReceivedRecords(), kLargePacket), 3);
    EXPECT_EQ(s.server.BacklogBytes(), 0u);
    EXPECT_TRUE(s.server.ClientConnected());
}

TEST(DataServerClients, NothingIsSentWithoutAClient) {
    StartedServer s;
    ASSERT_TRUE(s.started);
    s.Send(1);
    EXPECT_EQ(s.server.BacklogBytes(), 0u);

    StreamClient client;
    ASSERT_TRUE(client.Connect(s.port));
    ASSERT_TRUE(s.WaitForClient());
    EXPECT_FALSE(client.HasPendingData());
    s.Send(2);
    ASSERT_TRUE(client.WaitForBytes(kPacketBytes));
    EXPECT_EQ(ExpectConsecutivePackets(client.ReceivedRecords(), kPacketSize), 2);
}

}  // namespace
