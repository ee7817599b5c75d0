// The four programs as a user meets them on a machine without a display:
// --help and refused command lines, the same way everywhere.

#include <gtest/gtest.h>

#include "support/program_run.h"
#include "support/temp_dir.h"

namespace {

struct ProgramLines {
    int status = -1;
    QString out;
    QStringList errLines;
};

// Runs a program with no display at all.
ProgramLines RunWithoutDisplay(const QString& program, const QStringList& arguments) {
    auto environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    const ProgramRun run = RunProgram(program, arguments, environment);
    QString err = run.standardError;
    if (err.endsWith('\n')) err.chop(1);
    return {run.exitCode, run.standardOutput, err.isEmpty() ? QStringList() : err.split('\n')};
}

struct Program {
    const char* name;
    const char* path;
    QStringList someOptions;
};

const Program kPrograms[] = {
    {"vostrel", VOSTREL_PATH, {"--amplifier", "--port", "--record", "--overwrite", "--quit-after", "--geometry", "--lang"}},
    {"pallock", PALLOCK_PATH, {"--amplifier", "--scoring", "--lead", "--frequencies", "--quit-after", "--geometry", "--lang"}},
    {"scoring-stub", SCORING_STUB_PATH, {"--port", "--listen"}},
    {"amp-emulator", AMP_EMULATOR_PATH, {"--ssvep", "--hold"}},
};

TEST(ProgramCommandLines, HelpListsTheOptionsOnStandardOutputWithoutADisplay) {
    for (const Program& program : kPrograms) {
        for (const char* help : {"--help", "-h"}) {
            const ProgramLines run = RunWithoutDisplay(program.path, {help});
            EXPECT_EQ(run.status, 0) << program.name;
            EXPECT_TRUE(run.errLines.isEmpty()) << program.name << ": " << run.errLines.join('\n').toStdString();
            EXPECT_TRUE(run.out.startsWith(QStringLiteral("usage: %1 ").arg(program.name))) << run.out.toStdString();
            for (const QString& option : program.someOptions)
                EXPECT_TRUE(run.out.contains("\n  " + option + " ")) << program.name << " " << option.toStdString();
            EXPECT_TRUE(run.out.contains("accepted: ")) << program.name;
            EXPECT_TRUE(run.out.contains("default: ")) << program.name;
        }
    }
}

struct Refusal {
    int program;  // index into kPrograms
    QStringList arguments;
    QString says;  // part of the error line
};

TEST(ProgramCommandLines, ARefusalIsOneLineAndAHintOnStandardErrorWithStatus2) {
    TempDir dir;
    const QString existing = QString::fromStdString(dir.Write("taken.EOL", "x"));
    const QString missing = QString::fromStdString(dir.File("missing.EOL"));
    const Refusal refusals[] = {
        {0, {"--port", "x"}, "--port \"x\" is not accepted (accepted: 0 to 65535"},
        {0, {"--bogus"}, "unknown option \"--bogus\""},
        {0, {"--play", missing}, "--play: cannot read the header of " + missing},
        {0, {"--electrodes", missing}, "--electrodes: cannot read the electrode file " + missing},
        {0, {"--amplifier", "tape"}, "--amplifier: unknown amplifier \"tape\""},
        {0, {"--start", "--impedance"}, "exclude each other"},
        {0, {"--record", "x.EOL"}, "--record needs --start or --impedance"},
        {0, {"--start", "--record", existing}, "--record: " + existing + " already exists"},
        {0, {"--geometry", "big"}, "--geometry \"big\" is not accepted"},
        {0, {"--lang", "fr"}, "--lang \"fr\" is not accepted (accepted: en (English) or zh (Chinese))"},
        {1, {"--lead", "25"}, "--lead \"25\" is not accepted (accepted: 1 to 21, or an electrode label"},
        {1, {"--frequencies", "1,2"}, "--frequencies \"1,2\" is not accepted"},
        {1, {"--geometry", "10x10+0+0"}, "--geometry \"10x10+0+0\" is not accepted"},
        {1, {"--bogus"}, "unknown option \"--bogus\""},
        {1, {"--lang", "zh_CN"}, "--lang \"zh_CN\" is not accepted"},
        {2, {"--port"}, "--port needs a value N"},
        {2, {"--port", "65536"}, "--port \"65536\" is not accepted"},
        {2, {"-p"}, "unknown option \"-p\""},
        {3, {"--ssvep", "x"}, "--ssvep: bad SSVEP frequency \"x\""},
        {3, {"--hold", "0"}, "--hold: bad hold time \"0\""},
    };
    for (const Refusal& refusal : refusals) {
        const Program& program = kPrograms[refusal.program];
        const std::string what = std::string(program.name) + " " + refusal.arguments.join(' ').toStdString();
        const ProgramLines run = RunWithoutDisplay(program.path, refusal.arguments);
        EXPECT_EQ(run.status, 2) << what;
        EXPECT_TRUE(run.out.isEmpty()) << what;
        ASSERT_EQ(run.errLines.size(), 2) << what << ": " << run.errLines.join('\n').toStdString();
        EXPECT_TRUE(run.errLines[0].startsWith(QStringLiteral("%1: ").arg(program.name))) << what;
        EXPECT_TRUE(run.errLines[0].contains(refusal.says)) << what << ": " << run.errLines[0].toStdString();
        EXPECT_EQ(run.errLines[1], QStringLiteral("Try '%1 --help' for more information.").arg(program.name));
    }
}

}  // namespace
