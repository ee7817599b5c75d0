// A recording as a user makes one: acquiring from the emulator, markers from
// the keys and the marker port, Ctrl+R on and off; then its exports read by
// MNE-Python, before and after the file's time changes. And a Vostrel killed
// while recording leaves a recording that exports.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "acquisition/export/eol_export.h"
#include "acquisition/recording/recording_sidecar.h"
#include "acquisition/shell/amplifier_factory.h"
#include "acquisition/shell/command_texts.h"
#include "acquisition/shell/main_frame.h"
#include "acquisition/shell/qt_application.h"
#include "acquisition/shell/vostrel_view.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

QT_APPLICATION_FOR_TESTS;

// Under the thread sanitizer: the window's painting hands images to Qt's own
// pooled threads, which synchronise inside uninstrumented Qt libraries. The
// engine's threads are checked by their own tests.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n";
}

namespace {

constexpr double kMicrovoltsPerCount = 0.0224;
constexpr const char* kSystemPython = "/usr/bin/python3";
constexpr int kMneMissing = 3;

// Waits, running the event loop, until done() or the time is up.
template <class Done>
bool WaitFor(Done done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

void SendLine(quint16 port, const QByteArray& line) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(socket.waitForConnected(3000));
    socket.write(line);
    ASSERT_TRUE(socket.waitForBytesWritten(3000));
    // Until the server has read it: the marker is made on the UI thread.
    QTest::qWait(100);
}

std::vector<SidecarEvent> EventsOf(const std::string& recording, MarkerSource source) {
    std::string error;
    const auto sidecar = ReadSidecar(recording, error);
    std::vector<SidecarEvent> events;
    if (!sidecar) return events;
    for (const SidecarEvent& e : sidecar->events) {
        if (e.source == source) events.push_back(e);
    }
    return events;
}

std::vector<std::string> Values(const std::vector<SidecarEvent>& events) {
    std::vector<std::string> values;
    for (const SidecarEvent& e : events) values.push_back(e.value);
    return values;
}

std::vector<std::string> ExportAll(const TempDir& dir, const std::string& recording, const std::string& stem) {
    std::vector<std::string> outputs;
    for (const char* extension : {".bdf", ".edf", ".gdf"}) {
        ExportRequest request{recording, dir.File(stem + extension), {}, std::nullopt};
        request.electrodeFile = DefaultElectrodeFilePath(ExecutableDirectory());
        const ExportResult result = ExportRecording(request);
        EXPECT_EQ(result.status, ExportStatus::Done) << result.error;
        EXPECT_TRUE(result.summary.startFromSidecar) << extension;
        EXPECT_EQ(result.summary.microvoltsPerCount, kMicrovoltsPerCount) << extension;
        outputs.push_back(request.output);
    }
    return outputs;
}

// MNE-Python's verdict on the exports; skips the test without MNE-Python.
int CheckWithMne(const std::string& recording, const std::vector<std::string>& exports, std::string& said) {
    QStringList arguments{QStringLiteral(MNE_CHECK_SCRIPT), QString::fromStdString(recording)};
    for (const std::string& e : exports) arguments << QString::fromStdString(e);
    QProcess python;
    python.setProcessChannelMode(QProcess::MergedChannels);
    python.start(kSystemPython, arguments);
    if (!python.waitForStarted(10000)) return kMneMissing;
    python.waitForFinished(120000);
    said = python.readAll().toStdString();
    return python.exitStatus() == QProcess::NormalExit ? python.exitCode() : -1;
}

TEST(RecordingInterop, MarkersOfEverySourceReachMneInEveryExportWithTheTrueStart) {
    TempDir dir;
    const std::string recording = dir.File("take.EOL");
    std::string why;
    auto amplifier = MakeAmplifier("emulator", why);
    ASSERT_TRUE(amplifier) << why;
    FilePlaybackSource playback;
    CMainFrame frame(playback, *amplifier);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    CVostrelView& view = *frame.View();
    view.Engine().SetMicrovoltsPerCount(kMicrovoltsPerCount);
    ASSERT_TRUE(view.Markers().Server().Listen(QString(), 0));
    const quint16 port = view.Markers().Server().Port();

    ASSERT_TRUE(view.Commands().Trigger(command::kStart));
    ASSERT_TRUE(view.SaveData().RecordTo(recording));
    QTest::qWait(1500);
    QTest::keyClick(&frame, Qt::Key_3);
    QTest::qWait(1500);
    SendLine(port, "eyes closed\n");
    QTest::qWait(1500);
    ASSERT_TRUE(view.Commands().Trigger(command::kMarker1));  // the toolbar's button
    SendLine(port, "42\r\n");
    QTest::qWait(1500);
    QTest::keyClick(&frame, Qt::Key_9);
    QTest::qWait(4000);

    // Ctrl+R ends the recording and acquisition goes on.
    QTest::keyClick(&frame, Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(view.Engine().Recording());
    EXPECT_TRUE(view.Engine().Running());
    EXPECT_TRUE(frame.Pane(0)->text().startsWith(QStringLiteral("存储结束: take.EOL 00:00:")))
        << frame.Pane(0)->text().toStdString();
    QTest::keyClick(&frame, Qt::Key_5);  // not recording: drawn, written nowhere
    ASSERT_TRUE(view.Commands().Trigger(command::kStop));

    EXPECT_EQ(Values(EventsOf(recording, MarkerSource::Key)), (std::vector<std::string>{"3", "1", "9"}));
    EXPECT_EQ(Values(EventsOf(recording, MarkerSource::Network)), (std::vector<std::string>{"eyes closed", "42"}));
    EXPECT_FALSE(EventsOf(recording, MarkerSource::Amplifier).empty());

    std::string said;
    const int verdict = CheckWithMne(recording, ExportAll(dir, recording, "take"), said);
    if (verdict == kMneMissing) GTEST_SKIP() << "MNE-Python is not installed: " << said;
    EXPECT_EQ(verdict, 0) << said;

    // A copied or touched recording keeps its start.
    const timespec times[2] = {{1577872800, 0}, {1577872800, 0}};  // 2020-01-01 10:00 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, recording.c_str(), times, 0), 0);
    EXPECT_EQ(CheckWithMne(recording, ExportAll(dir, recording, "touched"), said), 0) << said;
}

TEST(RecordingInterop, GarbageOnTheMarkerPortDropsTheClientNotTheAcquisition) {
    std::string why;
    auto amplifier = MakeAmplifier("emulator", why);
    ASSERT_TRUE(amplifier) << why;
    FilePlaybackSource playback;
    CMainFrame frame(playback, *amplifier);
    CVostrelView& view = *frame.View();
    ASSERT_TRUE(view.Markers().Server().Listen(QString(), 0));
    ASSERT_TRUE(view.Commands().Trigger(command::kStart));

    const QByteArray garbage[] = {QByteArray("\x01\x02\n", 3), QByteArray(1000, 'x'), QByteArray("\xff\xfe\n", 3)};
    for (const QByteArray& bytes : garbage) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, view.Markers().Server().Port());
        ASSERT_TRUE(socket.waitForConnected(3000));
        socket.write(bytes);
        EXPECT_TRUE(WaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5000))
            << bytes.left(8).toHex().toStdString();
    }
    const std::uint64_t before = view.Engine().PacketsDelivered();
    EXPECT_TRUE(WaitFor([&] { return view.Engine().PacketsDelivered() > before + 5; }, 5000));
    EXPECT_TRUE(view.Engine().Running());
    view.Commands().Trigger(command::kStop);
}

TEST(RecordingInterop, KilledWhileRecordingLeavesARecordingThatExports) {
    TempDir dir;
    const std::string recording = dir.File("killed.EOL");
    QProcess vostrel;
    vostrel.setProcessEnvironment(QtProgramEnvironment(dir.File("")));
    vostrel.start(QStringLiteral(VOSTREL_EXECUTABLE),
                  {"--amplifier", "emulator", "--start", "--uv-per-count", QString::number(kMicrovoltsPerCount),
                   "--record", QString::fromStdString(recording), "--quit-after", "60"});
    ASSERT_TRUE(vostrel.waitForStarted(10000));
    std::string error;
    EXPECT_TRUE(WaitFor(
        [&] {
            const auto sidecar = ReadSidecar(recording, error);
            return sidecar && sidecar->start && ::access(recording.c_str(), R_OK) == 0;
        },
        20000));
    QTest::qWait(1500);
    ::kill(static_cast<pid_t>(vostrel.processId()), SIGKILL);
    vostrel.waitForFinished(10000);

    EolHeader header;
    ASSERT_TRUE(ReadEolHeader(recording, header));
    EXPECT_EQ(header.sampleRate, 1000);
    const auto sidecar = ReadSidecar(recording, error);
    ASSERT_TRUE(sidecar) << error;
    EXPECT_TRUE(sidecar->start.has_value());
    EXPECT_EQ(sidecar->microvoltsPerCount, kMicrovoltsPerCount);
    std::string said;
    const int verdict = CheckWithMne(recording, ExportAll(dir, recording, "killed"), said);
    if (verdict == kMneMissing) GTEST_SKIP() << "MNE-Python is not installed: " << said;
    EXPECT_EQ(verdict, 0) << said;
}

}  // namespace
