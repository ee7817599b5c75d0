// ssvep-eval as a user runs it on recordings that lie in their header: each
// ends at once with status 1 and one line naming the file and the field,
// never a crash, a hang or gigabytes asked for.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "support/foreign_files.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

namespace {

std::vector<MalformedForeignFile> MalformedEolFiles() {
    std::vector<std::uint8_t> header(200, 0);
    const auto withBlock = [&](double channels, double rate) {
        std::vector<std::uint8_t> bytes = header;
        const double block[4] = {channels, rate, 40, 0.00073536};
        std::memcpy(bytes.data() + 50, block, sizeof block);
        return bytes;
    };
    std::vector<MalformedForeignFile> files;
    files.push_back({"eol_header_cut_short", ".eol", std::vector<std::uint8_t>(60, 0), "no EOL header"});
    files.push_back({"eol_17_channels", ".eol", withBlock(17, 1000), "is not an EOL recording"});
    files.push_back({"eol_no_rate", ".eol", withBlock(21, 0), "is not an EOL recording"});
    files.push_back({"eol_nan_rate", ".eol", withBlock(21, std::nan("")), "is not an EOL recording"});
    return files;
}

TEST(SsvepEvalProgram, RefusesEachLyingFileInOneLineWithStatusOne) {
    TempDir dir;
    std::vector<MalformedForeignFile> files = MalformedForeignFiles();
    for (MalformedForeignFile& eol : MalformedEolFiles()) files.push_back(std::move(eol));
    for (const MalformedForeignFile& file : files) {
        SCOPED_TRACE(file.name);
        const std::string path = dir.Write(std::string(file.name) + file.extension, std::string(file.bytes.begin(), file.bytes.end()));
        const auto started = std::chrono::steady_clock::now();
        const ProgramRun run = RunProgram(QStringLiteral(SSVEP_EVAL_EXECUTABLE), {QString::fromStdString(path), "--events", "1=10,2=12"},
                                          QProcessEnvironment::systemEnvironment());
        const auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const std::string err = run.standardError.toStdString();
        EXPECT_EQ(run.exitCode, 1) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find(path), std::string::npos) << err;
        EXPECT_NE(err.find(file.field), std::string::npos) << err;
        EXPECT_TRUE(run.standardOutput.isEmpty()) << run.standardOutput.toStdString();
        RecordProperty(file.name, std::to_string(took));
    }
}

}  // namespace
