// The vostrel program as a script drives it: options in, recording and exit
// status out.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTcpSocket>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

#include "acquisition/recording/eol_file.h"
#include "support/program_run.h"
#include "support/pty.h"
#include "support/temp_dir.h"

namespace {

constexpr int kPackets = 30;
constexpr std::size_t kPacketBytes = 40 * 84;

// A recording of kPackets packets whose first slot counts the samples.
std::string WritePlayFile(const TempDir& dir) {
    const auto path = dir.File("play.EOL");
    EolFile file;
    EXPECT_TRUE(file.Create(path));
    EXPECT_TRUE(file.WriteHeader(1000, 40, 0.00073536));
    std::vector<SampleRecord> packet(40);
    for (int p = 0; p < kPackets; ++p) {
        for (int s = 0; s < 40; ++s) {
            packet[s].slots[0] = p * 40 + s;
            packet[s].slots[5] = 7000 - s;
            packet[s].slots[20] = s == 0 ? 3 : 0;
        }
        EXPECT_TRUE(file.Append(packet));
    }
    return path;
}

ProgramRun RunVostrel(const TempDir& dir, const QStringList& arguments) {
    const auto environment = QtProgramEnvironment(dir.File(""));
    return RunProgram(QStringLiteral(VOSTREL_EXECUTABLE), arguments, environment);
}

TEST(VostrelProgram, RecordsAPlayedFileAndQuits) {
    TempDir dir;
    const auto play = WritePlayFile(dir);
    const auto record = dir.File("x.EOL");
    const ProgramRun run = RunVostrel(dir, {"--play", QString::fromStdString(play), "--start", "--record",
                                     QString::fromStdString(record), "--quit-after", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();

    const auto recorded = ReadAllBytes(record);
    const auto source = ReadAllBytes(play);
    ASSERT_GE(recorded.size(), 82u);
    // The header is the played file's.
    EXPECT_EQ(std::memcmp(recorded.data() + 50, source.data() + 50, 32), 0);
    if (recorded.size() == 82u) return;  // stopped before the first packet
    ASSERT_EQ((recorded.size() - 200) % kPacketBytes, 0u);

    // Whole packets, each as the file held it; playback starts over before
    // the last packet, so it runs through kPackets - 1 of them.
    const std::size_t count = (recorded.size() - 200) / kPacketBytes;
    std::int32_t first = 0;
    std::memcpy(&first, recorded.data() + 200, sizeof first);
    ASSERT_EQ(first % 40, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t from = (static_cast<std::size_t>(first / 40) + i) % (kPackets - 1);
        EXPECT_EQ(std::memcmp(recorded.data() + 200 + i * kPacketBytes, source.data() + 200 + from * kPacketBytes,
                              kPacketBytes),
                  0)
            << "packet " << i;
    }
}

struct FailingRun {
    const char* name;
    QStringList arguments;  // "TTY" and "DIR" stand for the silent tty and a scratch folder
    int status;
    const char* line;
};

TEST(VostrelProgram, ScriptedRunsTellWhatFailedInTheirStatusAndOneLine) {
    TempDir dir;
    const Pty silent;  // takes commands and never answers, like a switched-off amplifier
    ASSERT_FALSE(silent.slavePath.empty());
    const FailingRun runs[] = {
        {"no device", {"--amplifier", "serial:/dev/ttyUSB-none", "--start", "--quit-after", "1"}, 3,
         "vostrel: cannot open the amplifier /dev/ttyUSB-none (No such file or directory)"},
        // The handshake alone waits 3 s for its answer.
        {"silent device", {"--amplifier", "serial:TTY", "--start", "--quit-after", "4"}, 3,
         "vostrel: the amplifier TTY delivered no frame"},
        {"unwritable recording",
         {"--amplifier", "emulator", "--start", "--record", "DIR/none/x.EOL", "--quit-after", "1"}, 4,
         "vostrel: cannot record to DIR/none/x.EOL (No such file or directory)"},
        {"clean", {"--amplifier", "emulator", "--start", "--record", "DIR/x.EOL", "--quit-after", "1"}, 0, ""},
        // A link planted where the recording goes never leads it elsewhere.
        {"dangling link", {"--amplifier", "emulator", "--start", "--record", "DIR/link.EOL", "--quit-after", "1"}, 2,
         "vostrel: --record: DIR/link.EOL already exists; add --overwrite to replace it"},
        {"dangling link overwritten",
         {"--amplifier", "emulator", "--start", "--record", "DIR/link.EOL", "--overwrite", "--quit-after", "1"}, 4,
         "vostrel: cannot record to DIR/link.EOL (Too many levels of symbolic links)"},
    };
    std::filesystem::create_symlink(dir.File("target.EOL"), dir.File("link.EOL"));
    const QString tty = QString::fromStdString(silent.slavePath);
    const QString folder = QString::fromStdString(dir.File("")).chopped(1);
    for (const FailingRun& run : runs) {
        QStringList arguments = run.arguments;
        arguments.replaceInStrings("TTY", tty).replaceInStrings("DIR", folder);
        const ProgramRun result = RunVostrel(dir, arguments);
        EXPECT_EQ(result.exitCode, run.status) << run.name << ": " << result.standardError.toStdString();
        const QString line = QString::fromUtf8(run.line).replace("TTY", tty).replace("DIR", folder);
        if (!line.isEmpty()) {
            EXPECT_TRUE(result.standardError.contains(line + "\n")) << result.standardError.toStdString();
        } else {
            EXPECT_FALSE(result.standardError.contains("vostrel: ")) << result.standardError.toStdString();
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("target.EOL")));
}

// Polls until done() holds, for at most ms milliseconds.
template <class Done>
bool WaitUntil(Done done, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Ended by its session, by Ctrl+C or by kill, Vostrel stops as Stop does: the
// amplifier (amp-emulator on a pseudo-terminal) is told to stop, the recording
// holds whole packets, and the status is 0.
TEST(VostrelProgram, StopsAsStopDoesOnTermIntAndHup) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signalNumber));
        TempDir dir;
        QProcess emulator;
        emulator.start(QStringLiteral(AMP_EMULATOR_EXECUTABLE), {});
        ASSERT_TRUE(emulator.waitForReadyRead(10000));
        const QString tty = QString::fromUtf8(emulator.readLine()).trimmed();
        ASSERT_FALSE(tty.isEmpty());

        const std::string record = dir.File("r.EOL");
        QProcess vostrel;
        vostrel.setProcessEnvironment(QtProgramEnvironment(dir.File("")));
        vostrel.start(QStringLiteral(VOSTREL_EXECUTABLE),
                      {"--amplifier", "serial:" + tty, "--start", "--record", QString::fromStdString(record)});
        const auto recorded = [&] {
            std::error_code ignored;
            return std::filesystem::file_size(record, ignored);
        };
        ASSERT_TRUE(WaitUntil([&] { return recorded() != static_cast<std::uintmax_t>(-1) && recorded() >= 200 + 5 * kPacketBytes; }, 15000))
            << vostrel.readAllStandardError().toStdString();

        ::kill(static_cast<pid_t>(vostrel.processId()), signalNumber);
        ASSERT_TRUE(vostrel.waitForFinished(10000));
        EXPECT_EQ(vostrel.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(vostrel.exitCode(), 0) << vostrel.readAllStandardError().toStdString();
        QByteArray said;
        EXPECT_TRUE(WaitUntil([&] {
            emulator.waitForReadyRead(50);
            said += emulator.readAllStandardOutput();
            return said.contains("amp-emulator: stop command");
        }, 5000)) << said.toStdString();
        EXPECT_EQ((recorded() - 200) % kPacketBytes, 0u) << recorded();

        emulator.terminate();
        EXPECT_TRUE(emulator.waitForFinished(10000));
    }
}

TEST(VostrelProgram, AnnouncesTheChosenPortAndRecordsOverAFileWhenTold) {
    TempDir dir;
    const auto record = dir.Write("taken.EOL", "an older file");
    const ProgramRun run = RunVostrel(dir, {"--amplifier", "emulator", "--serve", "--port", "0", "--start", "--record",
                                            QString::fromStdString(record), "--overwrite", "--quit-after", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    const QRegularExpression announced(QStringLiteral("^listening on port ([0-9]+)$"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = announced.match(run.standardOutput);
    ASSERT_TRUE(match.hasMatch()) << run.standardOutput.toStdString();
    EXPECT_GT(match.captured(1).toInt(), 0);
    // A recording replaced the older file: a header, then whole packets if any arrived.
    const auto recorded = ReadAllBytes(record);
    const bool headerOnly = recorded.size() == 82u;
    EXPECT_TRUE(headerOnly || (recorded.size() >= 200u && (recorded.size() - 200) % kPacketBytes == 0))
        << recorded.size();
}

// The records Vostrel streams while it plays path: the first `count` that a
// client connected after the start receives.
std::vector<SampleRecord> StreamedRecords(const TempDir& dir, const std::string& path, std::size_t count) {
    QProcess vostrel;
    vostrel.setProcessEnvironment(QtProgramEnvironment(dir.File("")));
    vostrel.start(QStringLiteral(VOSTREL_EXECUTABLE),
                  {"--play", QString::fromStdString(path), "--serve", "--port", "0", "--start", "--quit-after", "30"});
    QByteArray said;
    const QRegularExpression announced(QStringLiteral("listening on port ([0-9]+)"));
    QRegularExpressionMatch match;
    EXPECT_TRUE(WaitUntil([&] {
        vostrel.waitForReadyRead(50);
        said += vostrel.readAllStandardOutput();
        match = announced.match(QString::fromUtf8(said));
        return match.hasMatch();
    }, 15000)) << said.toStdString() << vostrel.readAllStandardError().toStdString();
    std::vector<SampleRecord> records(count);
    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(match.captured(1).toInt()));
    const std::size_t wanted = count * sizeof(SampleRecord);
    QByteArray bytes;
    EXPECT_TRUE(client.waitForConnected(5000));
    EXPECT_TRUE(WaitUntil([&] {
        client.waitForReadyRead(50);
        bytes += client.readAll();
        return static_cast<std::size_t>(bytes.size()) >= wanted;
    }, 20000)) << bytes.size();
    std::memcpy(records.data(), bytes.constData(), std::min<std::size_t>(wanted, static_cast<std::size_t>(bytes.size())));
    ::kill(static_cast<pid_t>(vostrel.processId()), SIGTERM);
    EXPECT_TRUE(vostrel.waitForFinished(10000));
    return records;
}

// A BDF+ exported from an EOL recording plays the EOL's own counts and events:
// the stream of one and of the other hold the same records.
TEST(VostrelProgram, PlaysAnExportedBdfAsTheRecordingItCameFrom) {
    TempDir dir;
    const std::string eol = dir.File("source.EOL");
    {
        EolFile file;
        ASSERT_TRUE(file.Create(eol));
        ASSERT_TRUE(file.WriteHeader(1000, 40, 0.00073536));
        std::vector<SampleRecord> records(2000);
        for (std::size_t s = 0; s < records.size(); ++s) {
            for (int k = 0; k < 16; ++k)
                records[s].slots[SampleRecord::kSignalSlots[k]] = static_cast<std::int32_t>((s * 7919 + k * 104729) % 4000000) - 2000000;
            records[s].slots[0] = static_cast<std::int32_t>(s);  // tells where a stream is in the file
            records[s].slots[SampleRecord::kEventSlot] = s % 250 == 3 ? 5 : 0;
        }
        ASSERT_TRUE(file.Append(records));
    }
    const std::string bdf = dir.File("export.bdf");
    const ProgramRun converted = RunProgram(QStringLiteral(EOL_CONVERT_EXECUTABLE),
                                            {QString::fromStdString(eol), QString::fromStdString(bdf)},
                                            QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(converted.exitCode, 0) << converted.standardError.toStdString();

    const std::vector<SampleRecord> fromEol = StreamedRecords(dir, eol, 1500);
    const std::vector<SampleRecord> fromBdf = StreamedRecords(dir, bdf, 1500);
    // Each stream begins where its client came in; slot 0 says where that is.
    const auto at = [](const std::vector<SampleRecord>& stream, std::int32_t sample) {
        return std::find_if(stream.begin(), stream.end(), [&](const SampleRecord& r) { return r.slots[0] == sample; });
    };
    const std::int32_t first = std::max(fromEol.front().slots[0], fromBdf.front().slots[0]);
    auto e = at(fromEol, first);
    auto b = at(fromBdf, first);
    ASSERT_NE(e, fromEol.end());
    ASSERT_NE(b, fromBdf.end());
    int compared = 0;
    for (; e != fromEol.end() && b != fromBdf.end(); ++e, ++b, ++compared)
        ASSERT_EQ(std::memcmp(&*e, &*b, sizeof(SampleRecord)), 0) << "sample " << e->slots[0];
    EXPECT_GT(compared, 1000);
}

}  // namespace
