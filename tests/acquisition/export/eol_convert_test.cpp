// eol-convert as a script runs it: exit status, summary and messages.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/eol_recording.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

namespace {

struct ConvertCase {
    const char* name;
    QStringList arguments;  // IN stands for a recording of 2000 samples with one event, OUT for the output
    int status;
    const char* out;  // expected in standard output
    const char* err;  // expected in standard error
    // What is at OUT.bdf before the run: nothing, a file, or a link to a file
    // that does not exist (target.bdf).
    enum class Prior { None, File, DanglingLink } prior = Prior::None;
};

class EolConvert : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(EolConvert, ExitStatusAndMessages) {
    const ConvertCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.File("in.EOL");
    std::vector<SampleRecord> records(2000);
    records[500].slots[20] = 4;
    ASSERT_TRUE(WriteEolRecording(in, 1000, 40, 0.00073536, {records}));

    const std::string output = dir.File("out.bdf");
    const std::string target = dir.File("target.bdf");
    if (c.prior == ConvertCase::Prior::File) std::ofstream(output) << "earlier";
    if (c.prior == ConvertCase::Prior::DanglingLink) std::filesystem::create_symlink(target, output);

    QStringList arguments;
    for (QString a : c.arguments) arguments << a.replace("IN", QString::fromStdString(in)).replace("OUT", QString::fromStdString(dir.File("out")));
    const ProgramRun ran = RunProgram(QStringLiteral(EOL_CONVERT), arguments, QProcessEnvironment::systemEnvironment());
    const std::string out = ran.standardOutput.toStdString();
    const std::string err = ran.standardError.toStdString();
    EXPECT_EQ(ran.exitCode, c.status) << err;
    EXPECT_NE(out.find(c.out), std::string::npos) << out;
    EXPECT_NE(err.find(c.err), std::string::npos) << err;
    if (c.status != 0) {
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), c.status == 2 ? 2 : 1) << err;
        EXPECT_EQ(err.ends_with("Try 'eol-convert --help' for more information.\n"), c.status == 2) << err;
    }
    // Never written through a link, and an earlier file is kept unless replaced.
    EXPECT_FALSE(std::filesystem::exists(target));
    if (c.prior == ConvertCase::Prior::File) {
        EXPECT_EQ(std::filesystem::file_size(output) == 7, c.status != 0);
    }
    if (c.prior == ConvertCase::Prior::DanglingLink) {
        EXPECT_EQ(std::filesystem::is_symlink(output), c.status != 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EolConvert,
    ::testing::Values(
        ConvertCase{"microvolts", {"IN", "OUT.bdf", "--uv-per-count", "0.0224"}, 0,
                    "out.bdf: 16 channels, 2000 samples, 2.000 s, 1 annotations\n", ""},
        ConvertCase{"counts_warn", {"IN", "OUT.edf"}, 0, "16 channels", "warning: no --uv-per-count"},
        ConvertCase{"guessed_start_said", {"IN", "OUT.gdf", "--uv-per-count", "1"}, 0, "1 annotations",
                    "has no sidecar with its start time: the start is the file's time minus its duration"},
        ConvertCase{"help", {"--help"}, 0, "--uv-per-count X", ""},
        ConvertCase{"unknown_option", {"IN", "OUT.gdf", "--fast"}, 2, "", "unknown option --fast; the options are"},
        ConvertCase{"bad_factor", {"IN", "OUT.gdf", "--uv-per-count", "-1"}, 2, "", "takes a number above 0"},
        ConvertCase{"no_output", {"IN"}, 2, "", "takes an input IN.EOL and an output"},
        ConvertCase{"bad_extension", {"IN", "OUT.csv"}, 2, "", "must be .bdf, .edf or .gdf"},
        ConvertCase{"missing_input", {"OUT.EOL", "OUT.gdf"}, 1, "", "out.EOL: No such file or directory"},
        ConvertCase{"unwritable", {"IN", "/nonexistent/x.bdf"}, 1, "", "/nonexistent/x.bdf: No such file or directory"},
        ConvertCase{"existing_refused", {"IN", "OUT.bdf"}, 1, "", "out.bdf: already exists; add --overwrite", ConvertCase::Prior::File},
        ConvertCase{"existing_overwritten", {"IN", "OUT.bdf", "--overwrite"}, 0, "16 channels", "", ConvertCase::Prior::File},
        ConvertCase{"link_refused", {"IN", "OUT.bdf"}, 1, "", "out.bdf: already exists", ConvertCase::Prior::DanglingLink},
        ConvertCase{"link_replaced_not_followed", {"IN", "OUT.bdf", "--overwrite"}, 0, "16 channels", "",
                    ConvertCase::Prior::DanglingLink}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
