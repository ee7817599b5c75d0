// Pallock, the scoring stub and a stand-in stream server, as separate
// programs talking over loopback, with ports chosen at run time.

#include <cstring>

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include "stream_bytes.h"

using namespace speller_test;

namespace {

constexpr int kWaitMs = 20000;

class ChildProcess {
public:
    explicit ChildProcess(const QString& program, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        // Only read by thread-sanitizer builds; Qt's pooled painting threads are not ours.
        environment.insert("TSAN_OPTIONS", environment.value("TSAN_OPTIONS") + " suppressions=" QT_THREADS_TSAN_SUPP);
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
    }
    ~ChildProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(kWaitMs);
        }
    }
    // Waits until standard output (or error) holds the text.
    bool WaitForOutput(const QByteArray& text) { return Wait(text, QProcess::StandardOutput, out); }
    bool WaitForError(const QByteArray& text) { return Wait(text, QProcess::StandardError, err); }
    bool WaitForExit() {
        return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kWaitMs);
    }

    QProcess process;
    QByteArray out;
    QByteArray err;

private:
    bool Wait(const QByteArray& text, QProcess::ProcessChannel channel, QByteArray& buffer) {
        return QTest::qWaitFor(
            [&] {
                process.setReadChannel(channel);
                buffer += process.readAll();
                return buffer.contains(text);
            },
            kWaitMs);
    }
};

quint16 StubPort(ChildProcess& stub) {
    if (!stub.WaitForError("\n")) return 0;
    const auto match = QRegularExpression("listening on port (\\d+)").match(QString::fromUtf8(stub.err));
    return match.hasMatch() ? static_cast<quint16>(match.captured(1).toUInt()) : 0;
}

TEST(EndToEnd, TwelveHertzOnLeadOneReachesTheScoringSystemAsStimulusTwo) {
    ChildProcess stub(SCORING_STUB_PATH, {"--port", "0"});
    const quint16 scoringPort = StubPort(stub);
    ASSERT_NE(scoringPort, 0) << stub.err.toStdString();

    QTcpServer stream;
    ASSERT_TRUE(stream.listen(QHostAddress::LocalHost, 0));

    ChildProcess pallock(PALLOCK_PATH, {"--amplifier", QString("127.0.0.1:%1").arg(stream.serverPort()), "--scoring",
                                        QString("127.0.0.1:%1").arg(scoringPort), "--connect", "--verbose",
                                        "--quit-after", "120"});
    ASSERT_TRUE(stream.waitForNewConnection(kWaitMs));
    QTcpSocket* client = stream.nextPendingConnection();
    ASSERT_TRUE(pallock.WaitForOutput("连接放大器成功!"));
    ASSERT_TRUE(pallock.WaitForOutput("连接评分系统成功!"));

    const QByteArray window = SineStreamBytes(12.0);
    client->write(window.left(5000));
    client->write(window.mid(5000));
    ASSERT_TRUE(pallock.WaitForOutput("No.2 Value:6.383\n")) << pallock.out.toStdString();
    ASSERT_TRUE(stub.WaitForOutput("ID01CH002\n")) << stub.out.toStdString();
    EXPECT_EQ(stub.out, "ID01CH002\n");
    EXPECT_TRUE(pallock.out.contains("ID01CH002\n"));  // the decision also goes to the status log

    client->close();
    EXPECT_TRUE(pallock.WaitForOutput("放大器连接断开!"));
}

TEST(EndToEnd, QuitAfterEndsPallockOnItsOwn) {
    ChildProcess pallock(PALLOCK_PATH, {"--quit-after", "0.1"});
    ASSERT_TRUE(pallock.WaitForExit());
    EXPECT_EQ(pallock.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(pallock.process.exitCode(), 0);
}

// A scripted run whose links were asked for and not made ends with status 5,
// one line for each link that names it and its address.
TEST(EndToEnd, AScriptedRunWithoutItsLinksEndsWithStatusFive) {
    ChildProcess stub(SCORING_STUB_PATH, {"--port", "0"});
    const quint16 scoringPort = StubPort(stub);
    ASSERT_NE(scoringPort, 0) << stub.err.toStdString();
    QTcpServer closed;  // a port that was free a moment ago, and nobody listens on now
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 streamPort = closed.serverPort();
    closed.close();

    ChildProcess pallock(PALLOCK_PATH, {"--amplifier", QString("127.0.0.1:%1").arg(streamPort), "--scoring",
                                        QString("127.0.0.1:%1").arg(scoringPort), "--connect", "--quit-after", "1"});
    ASSERT_TRUE(pallock.WaitForExit());
    pallock.err += pallock.process.readAllStandardError();
    EXPECT_EQ(pallock.process.exitCode(), 5) << pallock.err.toStdString();
    EXPECT_TRUE(pallock.err.contains(
        QString("pallock: cannot reach the acquisition program's stream at 127.0.0.1:%1 (").arg(streamPort).toUtf8()))
        << pallock.err.toStdString();
    EXPECT_FALSE(pallock.err.contains("scoring system")) << "the scoring link was made";
}

}  // namespace
