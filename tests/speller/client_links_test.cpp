#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "link_socket.h"
#include "pallock_dlg.h"
#include "stream_bytes.h"

using namespace speller_test;

namespace {

constexpr int kWaitMs = 10000;

template <typename Predicate>
bool WaitFor(Predicate predicate) {
    return QTest::qWaitFor(predicate, kWaitMs);
}

// A local server standing in for the acquisition program or the scoring system.
class LocalServer {
public:
    LocalServer() { EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0)); }
    quint16 Port() const { return server.serverPort(); }
    // Waits for the next accepted connection.
    QTcpSocket* Accept() {
        if (!server.hasPendingConnections() && !server.waitForNewConnection(kWaitMs)) return nullptr;
        QTcpSocket* socket = server.nextPendingConnection();
        return socket;
    }
    QTcpServer server;
};

// A port on which nothing listens: one that was just free.
quint16 RefusingPort() {
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    return probe.serverPort();
}

class ClientLinksTest : public testing::Test {
protected:
    ClientLinksTest() { dialog.SetMessageSink([this](const QString& text) { messages << text; }); }
    void Type(int id, const QString& text) { qobject_cast<QLineEdit*>(dialog.Control(id))->setText(text); }
    QStringList StatusLines() const { return dialog.StatusLog().split("\r\n", Qt::SkipEmptyParts); }
    bool WaitForStatus(const QString& line, int count = 1) {
        return WaitFor([&] { return StatusLines().count(line) >= count; });
    }
    // Connects the scoring link to a local server; returns the accepted end.
    QTcpSocket* ConnectScoring(LocalServer& server) {
        Type(1009, QString::number(server.Port()));
        dialog.RunCommand(CPallockDlg::IDC_CONNECT_SCORING);
        EXPECT_TRUE(WaitForStatus("连接评分系统成功!"));
        return server.Accept();
    }
    QTcpSocket* ConnectAmplifier(LocalServer& server) {
        Type(1003, QString::number(server.Port()));
        dialog.RunCommand(CPallockDlg::IDC_CONNECT_AMPLIFIER);
        EXPECT_TRUE(WaitFor([&] { return dialog.AmplifierConnected(); }));
        return server.Accept();
    }
    static QByteArray ReadExactly(QTcpSocket* socket, qsizetype count) {
        EXPECT_TRUE(WaitFor([&] { return socket->bytesAvailable() >= count; }));
        return socket->read(count);
    }

    CPallockDlg dialog;
    QStringList messages;
};

TEST_F(ClientLinksTest, RefusedConnectIsLoggedAndALaterPressRetries) {
    Type(1003, QString::number(RefusingPort()));
    dialog.RunCommand(CPallockDlg::IDC_CONNECT_AMPLIFIER);
    ASSERT_TRUE(WaitForStatus("连接放大器失败!"));
    EXPECT_FALSE(dialog.AmplifierConnected());

    LocalServer server;
    Type(1003, QString::number(server.Port()));  // the port on screen at the press is the one used
    dialog.RunCommand(CPallockDlg::IDC_CONNECT_AMPLIFIER);
    ASSERT_TRUE(WaitForStatus("连接放大器成功!"));
    EXPECT_TRUE(dialog.AmplifierConnected());
    EXPECT_NE(server.Accept(), nullptr);
    EXPECT_EQ(StatusLines(), (QStringList{"连接放大器失败!", "连接放大器成功!"}));
    EXPECT_TRUE(messages.isEmpty());
}

// Uses up every free file descriptor for the life of the object.
class DescriptorExhaustion {
public:
    DescriptorExhaustion() {
        getrlimit(RLIMIT_NOFILE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 1024);  // keeps the number opened small
        setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) held.push_back(fd);
    }
    ~DescriptorExhaustion() {
        for (int fd : held) ::close(fd);
        setrlimit(RLIMIT_NOFILE, &saved);
    }

private:
    rlimit saved{};
    std::vector<int> held;
};

TEST_F(ClientLinksTest, NoSocketToBeHadShowsTheCreationMessage) {
    // A first attempt beforehand: sanitizer builds check object types with
    // the help of a pipe the first time a type is met, which needs descriptors.
    Type(1009, QString::number(RefusingPort()));
    dialog.RunCommand(CPallockDlg::IDC_CONNECT_SCORING);
    ASSERT_TRUE(WaitForStatus("连接评分系统失败!"));
    const QString statusBefore = dialog.StatusLog();

    LocalServer server;
    Type(1003, QString::number(server.Port()));
    {
        DescriptorExhaustion exhaustion;
        dialog.RunCommand(CPallockDlg::IDC_CONNECT_AMPLIFIER);
        ASSERT_TRUE(WaitFor([&] { return !messages.isEmpty(); }));
    }
    EXPECT_EQ(messages, QStringList{"放大器客户端创建失败!"});
    EXPECT_EQ(dialog.StatusLog(), statusBefore);
    EXPECT_FALSE(dialog.AmplifierConnected());
    dialog.RunCommand(CPallockDlg::IDC_CONNECT_AMPLIFIER);  // with descriptors back, it connects
    EXPECT_TRUE(WaitForStatus("连接放大器成功!"));
}

TEST_F(ClientLinksTest, SecondPressAfterSuccessDoesNothing) {
    LocalServer server;
    ConnectScoring(server);
    const QString before = dialog.StatusLog();
    dialog.RunCommand(CPallockDlg::IDC_CONNECT_SCORING);
    QTest::qWait(100);  // nothing should happen; there is no event to wait for
    EXPECT_EQ(dialog.StatusLog(), before);
    EXPECT_FALSE(server.server.hasPendingConnections());
    EXPECT_TRUE(dialog.ScoringConnected());
}

TEST_F(ClientLinksTest, SendCommandSendsNineBytesAndLogsTheWholeText) {
    LocalServer server;
    QTcpSocket* scoring = ConnectScoring(server);
    ASSERT_NE(scoring, nullptr);

    dialog.RunCommand(CPallockDlg::IDC_SEND_COMMAND);
    EXPECT_EQ(ReadExactly(scoring, 9), "ID01CH001");
    EXPECT_EQ(StatusLines().last(), "ID01CH001");

    Type(1005, "ID01CH0045678");
    dialog.RunCommand(CPallockDlg::IDC_SEND_COMMAND);
    EXPECT_EQ(StatusLines().last(), "ID01CH0045678");
    // A short text goes out padded with zero bytes. Had the long text sent
    // more than 9 bytes, these 18 would not match.
    Type(1005, "AB");
    dialog.RunCommand(CPallockDlg::IDC_SEND_COMMAND);
    EXPECT_EQ(ReadExactly(scoring, 18), QByteArray("ID01CH004AB\0\0\0\0\0\0\0", 18));
    EXPECT_EQ(StatusLines().last(), "AB");
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ClientLinksTest, UnconnectedSendShowsTheMessageAndSendsNothing) {
    LocalServer server;
    Type(1009, QString::number(server.Port()));
    dialog.RunCommand(CPallockDlg::IDC_SEND_COMMAND);
    EXPECT_EQ(messages, QStringList{"尚未连接评分系统"});
    EXPECT_TRUE(dialog.StatusLog().isEmpty());
    EXPECT_FALSE(server.server.hasPendingConnections());
    dialog.SendDecision("ID01CH003");  // decisions are dropped silently
    EXPECT_TRUE(dialog.StatusLog().isEmpty());
}

TEST_F(ClientLinksTest, ClosingWhileConnectedAsksFirst) {
    int asked = 0;
    bool answer = false;
    dialog.SetCloseQuestion([&] {
        ++asked;
        return answer;
    });
    LocalServer server;
    ConnectScoring(server);
    EXPECT_FALSE(dialog.close());
    answer = true;
    EXPECT_TRUE(dialog.close());
    EXPECT_EQ(asked, 2);

    CPallockDlg unconnected;
    unconnected.SetCloseQuestion([&] { return ++asked, false; });
    EXPECT_TRUE(unconnected.close());
    EXPECT_EQ(asked, 2);
}

TEST_F(ClientLinksTest, FarEndCloseLetsTheButtonConnectAgain) {
    LocalServer amplifierServer;
    LocalServer scoringServer;
    QTcpSocket* amplifier = ConnectAmplifier(amplifierServer);
    QTcpSocket* scoring = ConnectScoring(scoringServer);
    ASSERT_TRUE(amplifier && scoring);

    amplifier->close();
    ASSERT_TRUE(WaitForStatus("放大器连接断开!"));
    EXPECT_FALSE(dialog.AmplifierConnected());
    scoring->close();
    ASSERT_TRUE(WaitForStatus("评分系统连接断开!"));
    EXPECT_FALSE(dialog.ScoringConnected());

    dialog.RunCommand(CPallockDlg::IDC_CONNECT_AMPLIFIER);
    ASSERT_TRUE(WaitForStatus("连接放大器成功!", 2));
    dialog.RunCommand(CPallockDlg::IDC_CONNECT_SCORING);
    ASSERT_TRUE(WaitForStatus("连接评分系统成功!", 2));
    QTcpSocket* scoringAgain = scoringServer.Accept();
    ASSERT_NE(scoringAgain, nullptr);
    dialog.RunCommand(CPallockDlg::IDC_SEND_COMMAND);
    EXPECT_EQ(ReadExactly(scoringAgain, 9), "ID01CH001");
}

TEST_F(ClientLinksTest, StreamedWindowGivesAResultAndSendsTheDecision) {
    LocalServer amplifierServer;
    LocalServer scoringServer;
    QTcpSocket* amplifier = ConnectAmplifier(amplifierServer);
    QTcpSocket* scoring = ConnectScoring(scoringServer);
    ASSERT_TRUE(amplifier && scoring);

    const QByteArray window = SineStreamBytes(12.0);
    // Odd pieces: a packet's bytes never line up with the writes.
    for (qsizetype at = 0; at < window.size(); at += 997) amplifier->write(window.mid(at, 997));

    ASSERT_TRUE(WaitFor([&] { return !dialog.ResultLog().isEmpty(); }));
    EXPECT_EQ(dialog.ResultLog(), "No.2 Value:6.383\r\n");
    EXPECT_EQ(ReadExactly(scoring, 9), "ID01CH002");
    EXPECT_EQ(StatusLines().last(), "ID01CH002");
}

// Vostrel stopped and started three times in a row: each time Pallock says
// the loss once, tries every second, and decides again on a fresh window
// without a click. A connected stream that brings nothing is said once.
TEST_F(ClientLinksTest, AStreamThatGoesAwayAndComesBackIsReadAgainWithoutAClick) {
    LocalServer stream;
    const quint16 port = stream.Port();
    QTcpSocket* far = ConnectAmplifier(stream);
    ASSERT_NE(far, nullptr);
    const QString retrying = QString("每秒重连放大器 127.0.0.1:%1").arg(port);
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        // Half a window of another frequency, then Vostrel goes away.
        far->write(SineStreamBytes(10.0, kPacketsPerWindow / 2));
        ASSERT_TRUE(far->waitForBytesWritten(kWaitMs));
        stream.server.close();
        far->close();
        ASSERT_TRUE(WaitForStatus("放大器连接断开!", round));
        EXPECT_EQ(StatusLines().count(retrying), round) << "said once per loss";
        EXPECT_TRUE(dialog.AmplifierRecovering());
        QTest::qWait(1500);  // a refused retry or two, quietly
        EXPECT_EQ(StatusLines().count(retrying), round);

        ASSERT_TRUE(stream.server.listen(QHostAddress::LocalHost, port));
        // The retries come from the event loop, which a blocking wait would hold up.
        ASSERT_TRUE(WaitFor([&] { return stream.server.hasPendingConnections(); }));
        far = stream.server.nextPendingConnection();
        ASSERT_TRUE(WaitForStatus("连接放大器成功!", round + 1));
        if (round == 1) {
            // Connected, and nothing comes: said once.
            ASSERT_TRUE(WaitForStatus("无数据"));
            QTest::qWait(500);
            EXPECT_EQ(StatusLines().count("无数据"), 1);
        }
        // A whole window after the gap decides alone: the half window before
        // the loss is not part of it.
        far->write(SineStreamBytes(12.0));
        ASSERT_TRUE(WaitFor([&] { return dialog.ResultLog().count("\r\n") == round; }));
        EXPECT_TRUE(dialog.ResultLog().endsWith("No.2 Value:6.383\r\n")) << dialog.ResultLog().toStdString();
    }
    EXPECT_EQ(dialog.ResultLog(), QString("No.2 Value:6.383\r\n").repeated(3));
    EXPECT_TRUE(messages.isEmpty());

    // Disconnect ends the retries.
    stream.server.close();
    far->close();
    ASSERT_TRUE(WaitForStatus("放大器连接断开!", 4));
    dialog.RunCommand(CPallockDlg::IDM_DISCONNECT_AMPLIFIER);
    EXPECT_FALSE(dialog.AmplifierRecovering());
    ASSERT_TRUE(stream.server.listen(QHostAddress::LocalHost, port));
    QTest::qWait(1500);
    EXPECT_FALSE(stream.server.hasPendingConnections()) << "no retry after Disconnect";
    EXPECT_FALSE(dialog.AmplifierConnected());
}

// A silence in the stream, as while Vostrel measures impedances, is said once
// and the records after it start a fresh window.
TEST_F(ClientLinksTest, RecordsAfterASilenceStartAFreshWindow) {
    LocalServer stream;
    QTcpSocket* far = ConnectAmplifier(stream);
    ASSERT_NE(far, nullptr);
    far->write(SineStreamBytes(10.0, kPacketsPerWindow / 2));
    ASSERT_TRUE(WaitForStatus("无数据"));
    far->write(SineStreamBytes(12.0));
    ASSERT_TRUE(WaitFor([&] { return !dialog.ResultLog().isEmpty(); }));
    EXPECT_EQ(dialog.ResultLog(), "No.2 Value:6.383\r\n");
    EXPECT_TRUE(dialog.AmplifierConnected()) << "the link stays";
}

// The packet reader on its own: whole packets, in order, whatever the pieces.
class PacketReaderTest : public testing::Test {
protected:
    void SetUp() override {
        link.SetPacketHandler([this](std::span<const std::int32_t> packet) {
            received.emplace_back(packet.begin(), packet.end());
        });
        QSignalSpy finished(&link, &LinkSocket::connectFinished);
        link.ConnectTo("127.0.0.1", server.Port(), std::chrono::milliseconds(kWaitMs));
        ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
        ASSERT_EQ(finished[0][0].value<LinkSocket::ConnectOutcome>(), LinkSocket::ConnectOutcome::Connected);
        far = server.Accept();
        ASSERT_NE(far, nullptr);
    }
    static std::vector<std::int32_t> NumberedPacket(int n) {
        std::vector<std::int32_t> values(kPacketValues);
        for (int i = 0; i < kPacketValues; ++i) values[i] = n * 100000 - i * 3;  // negatives too
        return values;
    }

    LocalServer server;
    LinkSocket link;
    QTcpSocket* far = nullptr;
    std::vector<std::vector<std::int32_t>> received;
};

TEST_F(PacketReaderTest, APacketInPiecesIsHandedOverOnceWhenComplete) {
    const QByteArray bytes = PacketBytes(NumberedPacket(1));
    far->write(bytes.left(1));
    ASSERT_TRUE(WaitFor([&] { return link.PartialPacketBytes() == 1; }));
    far->write(bytes.mid(1, 3357));
    ASSERT_TRUE(WaitFor([&] { return link.PartialPacketBytes() == 3358; }));
    EXPECT_TRUE(received.empty());
    far->write(bytes.mid(3358));
    ASSERT_TRUE(WaitFor([&] { return received.size() == 1; }));
    EXPECT_EQ(received[0], NumberedPacket(1));
    EXPECT_EQ(link.PartialPacketBytes(), 0);
}

TEST_F(PacketReaderTest, MergedPacketsAreHandedOverOneAfterAnother) {
    QByteArray bytes;
    for (int n = 1; n <= 5; ++n) bytes += PacketBytes(NumberedPacket(n));
    far->write(bytes.left(2 * 3360 + 5));  // two whole packets and the start of a third together
    ASSERT_TRUE(WaitFor([&] { return link.PartialPacketBytes() == 5; }));
    EXPECT_EQ(received.size(), 2u);
    far->write(bytes.mid(2 * 3360 + 5));
    ASSERT_TRUE(WaitFor([&] { return received.size() == 5; }));
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(received[n - 1], NumberedPacket(n)) << "packet " << n;
}

TEST_F(PacketReaderTest, CloseDropsAnIncompletePacket) {
    QSignalSpy closed(&link, &LinkSocket::farEndClosed);
    QByteArray bytes = PacketBytes(NumberedPacket(1)) + PacketBytes(NumberedPacket(2)).left(100);
    far->write(bytes);
    far->disconnectFromHost();
    ASSERT_TRUE(WaitFor([&] { return closed.count() == 1; }));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], NumberedPacket(1));
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(link.PartialPacketBytes(), 0);
}

TEST(LinkSocket, ConnectToAClosedPortFails) {
    LinkSocket link;
    QSignalSpy finished(&link, &LinkSocket::connectFinished);
    link.ConnectTo("127.0.0.1", RefusingPort(), std::chrono::milliseconds(kWaitMs));
    EXPECT_TRUE(link.IsConnecting());
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    EXPECT_EQ(finished[0][0].value<LinkSocket::ConnectOutcome>(), LinkSocket::ConnectOutcome::Failed);
    EXPECT_FALSE(link.IsConnected());
    EXPECT_FALSE(link.IsConnecting());
    link.Send("ID01CH001");  // nothing to send on; must not crash
}

}  // namespace

namespace {

// A loopback listener that never accepts and whose queue is full, so that a
// further connect gets no answer at all (its handshake is dropped).
class SilentListener {
public:
    SilentListener() {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 0) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port = ntohs(address.sin_port);
        // Fill the accept queue; a blocking connect returns once queued.
        for (int i = 0; i < 2; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            fillers.push_back(fd);
        }
        pollfd polls[2] = {{fillers[0], POLLOUT, 0}, {fillers[1], POLLOUT, 0}};
        ::poll(polls, 2, kWaitMs);
    }
    ~SilentListener() {
        for (int fd : fillers) ::close(fd);
        if (listener >= 0) ::close(listener);
    }
    int listener = -1;
    quint16 port = 0;
    std::vector<int> fillers;
};

}  // namespace

TEST(LinkSocket, ConnectWithoutAnswerFailsAtItsLimitWhileTheLoopRuns) {
    SilentListener silent;
    ASSERT_NE(silent.port, 0);
    LinkSocket link;
    QSignalSpy finished(&link, &LinkSocket::connectFinished);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    link.ConnectTo("127.0.0.1", silent.port, std::chrono::milliseconds(300));
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    EXPECT_EQ(finished[0][0].value<LinkSocket::ConnectOutcome>(), LinkSocket::ConnectOutcome::Failed);
    EXPECT_GT(ticks, 0);  // the window's loop kept running meanwhile
    EXPECT_FALSE(link.IsConnected());
}
