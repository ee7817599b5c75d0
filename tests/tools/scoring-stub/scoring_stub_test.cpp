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
    }
    bool Connect(QTcpSocket& socket) {
        socket.connectToHost(QHostAddress::LocalHost, stub.Port());
        return socket.waitForConnected(kWaitMs);
    }
    bool WaitForCommands(qsizetype count) {
        return QTest::qWaitFor([&] { return commands.size() >= count; }, kWaitMs);
    }

    QList<QByteArray> commands;
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

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
