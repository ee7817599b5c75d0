#include "scoring_stub.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 10000;

class ScoringStubTest : public testing::Test {
protected:
    ScoringStubTest() : stub([this](const QByteArray& command) { commands << command; }) {
        EXPECT_TRUE(stub.Listen(QHostAddress::LocalHost, 0));
        stub.OnDrop([this](const QString& peer) { dropped << peer; });
    }
    bool Connect(QTcpSocket& socket) {
        socket.connectToHost(QHostAddress::LocalHost, stub.Port());
        return socket.waitForConnected(kWaitMs);
    }
    bool WaitForCommands(qsizetype count) {
        return QTest::qWaitFor([&] { return commands.size() >= count; }, kWaitMs);
    }

    QList<QByteArray> commands;
    QStringList dropped;
    ScoringStub stub;
};

TEST_F(ScoringStubTest, CutsTheStreamIntoNineByteCommands) {
    QTcpSocket client;
    ASSERT_TRUE(Connect(client));
    client.write("ID01CH");
    client.flush();
    client.write("002ID01CH005AB");
    client.write(QByteArray(7, '\0'));  // a padded short command completes
    ASSERT_TRUE(WaitForCommands(3));
    EXPECT_EQ(commands, (QList<QByteArray>{"ID01CH002", "ID01CH005", QByteArray("AB\0\0\0\0\0\0\0", 9)}));
    EXPECT_EQ(CommandLine(commands[2]), "AB");
    EXPECT_EQ(CommandLine(commands[0]), "ID01CH002");
}

TEST_F(ScoringStubTest, ServesOneClientAtATime) {
    auto first = std::make_unique<QTcpSocket>();
    ASSERT_TRUE(Connect(*first));
    first->write("ID01CH001");
    ASSERT_TRUE(WaitForCommands(1));

    QTcpSocket second;
    ASSERT_TRUE(Connect(second));  // waits in the queue
    second.write("ID01CH002");
    first->write("ID01CH003");
    ASSERT_TRUE(WaitForCommands(2));
    EXPECT_EQ(commands[1], "ID01CH003");

    first->disconnectFromHost();
    ASSERT_TRUE(WaitForCommands(3));
    EXPECT_EQ(commands[2], "ID01CH002");
}

TEST(CommandLine, EscapesWhatIsNotPrintable) {
    const struct {
        QByteArray command;
        QByteArray line;
    } cases[] = {
        {"ID01CH002", "ID01CH002"},
        {QByteArray("12\nFAKE12", 9), "12\\x0aFAKE12"},
        {QByteArray("\x1b[2J\x1b]0;x", 9), "\\x1b[2J\\x1b]0;x"},
        {QByteArray("a\\b\x7f\xff\xc3\xa9", 8), "a\\x5cb\\x7f\\xff\\xc3\\xa9"},
        {QByteArray("AB\0\rCDEFG", 9), "AB"},
        {QByteArray("\r\0\0\0\0\0\0\0\0", 9), "\\x0d"},
    };
    for (const auto& c : cases) EXPECT_EQ(CommandLine(c.command), c.line) << c.command.toHex().toStdString();
}

TEST_F(ScoringStubTest, KeepsABurstOfAFewCommandsAndDropsAFlood) {
    QTcpSocket burst;
    ASSERT_TRUE(Connect(burst));
    burst.write(QByteArray("ID01CH001ID01CH002ID01CH003ID01CH004"));
    ASSERT_TRUE(WaitForCommands(4));
    EXPECT_TRUE(dropped.isEmpty());
    burst.disconnectFromHost();

    QTcpSocket flood;
    ASSERT_TRUE(Connect(flood));
    const QByteArray block(64 * 1024, 'X');
    // Bounded: the stub drops the client long before this is all sent.
    for (int i = 0; i < 64 && flood.state() == QAbstractSocket::ConnectedState; ++i) {
        flood.write(block);
        flood.waitForBytesWritten(100);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dropped.isEmpty(); }, kWaitMs));
    // At most the burst's worth of the flood came through as commands.
    EXPECT_LE(commands.size(), 4 + ScoringStub::burstCommands);
    EXPECT_TRUE(flood.state() == QAbstractSocket::UnconnectedState ||
                flood.waitForDisconnected(kWaitMs));

    // The slot is free again for a well-behaved client.
    QTcpSocket next;
    ASSERT_TRUE(Connect(next));
    next.write("ID01CH005");
    ASSERT_TRUE(WaitForCommands(5));
    EXPECT_EQ(commands.back(), "ID01CH005");
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
