// The vostrel program as a script drives it: options in, recording and exit
// status out.

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <cstring>

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
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.File("config")));
#if defined(__SANITIZE_THREAD__)
    // Qt's libraries are not instrumented: the threads of its own pools (raster
    // painting, image conversion) synchronise where ThreadSanitizer cannot see.
    // The program's cross-thread code is checked in-process, without this.
    const auto suppressions = dir.Write("qt.supp", "race:libQt6Core.so.6\nrace:libQt6Gui.so.6\nrace:libQt6Widgets.so.6\n");
    environment.insert("TSAN_OPTIONS", environment.value("TSAN_OPTIONS") + " suppressions=" +
                                           QString::fromStdString(suppressions));
#endif
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
    };
    const QString tty = QString::fromStdString(silent.slavePath);
    const QString folder = QString::fromStdString(dir.File("")).chopped(1);
    for (const FailingRun& run : runs) {
        QStringList arguments = run.arguments;
        arguments.replaceInStrings("TTY", tty).replaceInStrings("DIR", folder);
        const ProgramRun result = RunVostrel(dir, arguments);
        EXPECT_EQ(result.exitCode, run.status) << run.name << ": " << result.standardError.toStdString();
        const QString line = QString::fromUtf8(run.line).replace("TTY", tty).replace("DIR", folder);
        if (!line.isEmpty()) EXPECT_TRUE(result.standardError.contains(line + "\n")) << result.standardError.toStdString();
        else EXPECT_FALSE(result.standardError.contains("vostrel: ")) << result.standardError.toStdString();
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

}  // namespace
