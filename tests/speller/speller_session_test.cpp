// The speller session end to end without a window, on a core application:
// a stand-in stream server and a stand-in scoring system on loopback.

#include <cstring>
#include <vector>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include "stream_bytes.h"
#include "speller_session.h"

using namespace speller_test;

namespace {

constexpr int kWaitMs = 10000;

struct Event {
    SpellerLink link;
    SessionEvent event;
    bool operator==(const Event&) const = default;
};

QTcpSocket* Accept(QTcpServer& server) {
    return server.waitForNewConnection(kWaitMs) || server.hasPendingConnections() ? server.nextPendingConnection()
                                                                                   : nullptr;
}

QByteArray ReadExactly(QTcpSocket* socket, qsizetype count) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return socket->bytesAvailable() >= count; }, kWaitMs));
    return socket->read(count);
}

TEST(SpellerSession, DecidesOnTheStreamAndSendsToTheScoringSystemWithoutAWindow) {
    QTcpServer stream;
    QTcpServer scoring;
    ASSERT_TRUE(stream.listen(QHostAddress::LocalHost, 0));
    ASSERT_TRUE(scoring.listen(QHostAddress::LocalHost, 0));

    SpellerSession session;
    std::vector<Event> events;
    QStringList decisions;
    QStringList results;
    QObject::connect(&session, &SpellerSession::linkEvent,
                     [&](SpellerLink link, SessionEvent event) { events.push_back({link, event}); });
    QObject::connect(&session, &SpellerSession::decisionSent, [&](const QString& text) { decisions << text; });
    QObject::connect(&session, &SpellerSession::resultReady, [&](const QString& line) { results << line; });

    PallockFields fields;
    fields.amplifierPort = stream.serverPort();
    fields.scoringPort = scoring.serverPort();
    session.Start(fields);
    EXPECT_FALSE(session.SendCommand("ID01CH001")) << "nothing goes out unconnected";
    session.SendDecision("ID01CH003");
    EXPECT_TRUE(decisions.isEmpty());

    for (SpellerLink link : {SpellerLink::Amplifier, SpellerLink::Scoring}) {
        ASSERT_TRUE(session.ConnectWouldStart(link));
        session.Connect(link);
        ASSERT_FALSE(session.ConnectWouldStart(link)) << "a second press does nothing while connecting";
    }
    QTcpSocket* far = Accept(stream);
    QTcpSocket* scorer = Accept(scoring);
    ASSERT_TRUE(far && scorer);
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 2; }, kWaitMs));
    EXPECT_EQ(session.Failure(SpellerLink::Amplifier), "");

    // A window of 12 Hz on lead 1: stimulus 2, its result and its decision.
    const QByteArray window = SineStreamBytes(12.0);
    far->write(window.left(5000));
    far->write(window.mid(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !results.isEmpty(); }, kWaitMs));
    EXPECT_EQ(results, QStringList{"No.2 Value:6.383"});
    EXPECT_EQ(decisions, QStringList{"ID01CH002"});
    EXPECT_EQ(session.Figures().decisions, 1);
    EXPECT_EQ(ReadExactly(scorer, 9), "ID01CH002");

    // Commands one after another go out whole, apart and in order, padded or cut to nine bytes.
    EXPECT_TRUE(session.SendCommand("ID01CH005"));
    EXPECT_TRUE(session.SendCommand("AB"));
    EXPECT_TRUE(session.SendCommand("ID01CH0045678"));
    EXPECT_EQ(ReadExactly(scorer, 27), QByteArray("ID01CH005AB\0\0\0\0\0\0\0ID01CH004", 27));

    // The stream's far end goes away: said once, then retried until the user disconnects.
    far->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.Recovering(SpellerLink::Amplifier); }, kWaitMs));
    EXPECT_EQ(events, (std::vector<Event>{{SpellerLink::Amplifier, SessionEvent::Connected},
                                          {SpellerLink::Scoring, SessionEvent::Connected},
                                          {SpellerLink::Amplifier, SessionEvent::Dropped}}));
    EXPECT_EQ(session.Address(SpellerLink::Amplifier), QString("127.0.0.1:%1").arg(stream.serverPort()));
    session.Disconnect(SpellerLink::Amplifier);
    EXPECT_FALSE(session.Recovering(SpellerLink::Amplifier));
    EXPECT_FALSE(session.Active(SpellerLink::Amplifier));
    EXPECT_TRUE(session.Connected(SpellerLink::Scoring));
}

}  // namespace

int main(int argc, char* argv[]) {
    // A core application: the session needs no window system.
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
