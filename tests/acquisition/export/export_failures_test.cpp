// What the export does with recordings and paths it cannot use, with a
// cancel, and with a recording cut short: a clear reason, and no file left
// half written or overwritten.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "acquisition/export/eol_export.h"
#include "acquisition/export/export_job.h"
#include "support/eol_recording.h"
#include "support/temp_dir.h"

namespace {

std::string WriteRecording(const TempDir& dir, const std::string& name, int records, int sampleRate = 1000) {
    std::vector<SampleRecord> samples(static_cast<std::size_t>(records));
    for (int s = 0; s < records; ++s) {
        samples[s].slots[0] = s;
        samples[s].slots[20] = s % 10 == 3 ? 7 : 0;
    }
    const std::string path = dir.File(name);
    EXPECT_TRUE(WriteEolRecording(path, sampleRate, 40, 0.00073536, {samples}));
    return path;
}

struct FailureCase {
    const char* name;
    // Makes the request in dir; the output, if it exists, holds "earlier".
    std::function<ExportRequest(const TempDir& dir)> request;
    ExportStatus status;
    const char* reason;  // in the error, after the file's name
};

class ExportFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ExportFailures, NameTheFileAndTheReasonAndLeaveNothingBehind) {
    const FailureCase& c = GetParam();
    TempDir dir;
    const ExportRequest request = c.request(dir);
    const bool existed = std::filesystem::exists(request.output);
    const auto before = existed ? ReadAllBytes(request.output) : std::vector<unsigned char>{};
    const ExportResult result = ExportRecording(request, [](std::int64_t done, std::int64_t) { return done < 4096; });
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.error.find(c.reason), std::string::npos) << result.error;
    EXPECT_EQ(std::filesystem::exists(request.output), existed);
    if (existed) {
        EXPECT_EQ(ReadAllBytes(request.output), before) << "an earlier file was overwritten";
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.File(""))) {
        EXPECT_NE(entry.path().extension(), ".part") << "a half-written output was left";
    }
}

ExportRequest Request(const TempDir& dir, const std::string& input, const std::string& output) {
    return {input, dir.File(output), KESTROM_LOC, std::nullopt};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportFailures,
    ::testing::Values(
        FailureCase{"missing_input", [](const TempDir& d) { return Request(d, d.File("none.EOL"), "o.bdf"); },
                    ExportStatus::Failed, "none.EOL: No such file or directory"},
        FailureCase{"not_a_recording",
                    [](const TempDir& d) { return Request(d, d.Write("x.EOL", std::string(300, '\1')), "o.bdf"); },
                    ExportStatus::Failed, "x.EOL: not an EOL recording"},
        FailureCase{"no_whole_record",
                    [](const TempDir& d) { return Request(d, WriteRecording(d, "e.EOL", 0), "o.edf"); },
                    ExportStatus::Failed, "e.EOL: no whole record"},
        FailureCase{"output_is_the_input",
                    [](const TempDir& d) {
                        WriteRecording(d, "same.edf", 40);
                        d.Write("earlier", "");
                        return Request(d, d.File("same.edf"), "same.edf");
                    },
                    ExportStatus::Failed, "same.edf: is the recording itself"},
        FailureCase{"no_format", [](const TempDir& d) { return Request(d, WriteRecording(d, "r.EOL", 40), "o.txt"); },
                    ExportStatus::Failed, "o.txt: the extension names no format"},
        FailureCase{"missing_electrode_file",
                    [](const TempDir& d) {
                        ExportRequest r = Request(d, WriteRecording(d, "r.EOL", 40), "o.gdf");
                        r.electrodeFile = d.File("none.loc");
                        return r;
                    },
                    ExportStatus::Failed, "none.loc: No such file or directory"},
        FailureCase{"rate_edf_cannot_state",
                    [](const TempDir& d) { return Request(d, WriteRecording(d, "r.EOL", 40, 999), "o.edf"); },
                    ExportStatus::Failed, "o.edf: a sample rate of 999 cannot be stated"},
        FailureCase{"existing_output_without_overwrite",
                    [](const TempDir& d) {
                        d.Write("o.bdf", "earlier");
                        return Request(d, WriteRecording(d, "r.EOL", 40), "o.bdf");
                    },
                    ExportStatus::Failed, "o.bdf: already exists; add --overwrite to replace it"},
        FailureCase{"cancelled_over_an_earlier_file",
                    [](const TempDir& d) {
                        d.Write("o.bdf", "earlier");
                        ExportRequest r = Request(d, WriteRecording(d, "r.EOL", 5000), "o.bdf");
                        r.overwrite = true;  // replacing it is allowed, but the cancel comes first
                        return r;
                    },
                    ExportStatus::Cancelled, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Export, RecordingCutShortExportsItsWholeRecords) {
    TempDir dir;
    const std::string input = WriteRecording(dir, "cut.EOL", 80);
    { std::ofstream(input, std::ios::app | std::ios::binary) << std::string(30, '\0'); }
    const ExportResult result = ExportRecording(Request(dir, input, "cut.gdf"));
    ASSERT_EQ(result.status, ExportStatus::Done) << result.error;
    EXPECT_EQ(result.summary.samples, 80);
    EXPECT_EQ(result.summary.trailingBytes, 30);
    EXPECT_EQ(result.summary.annotations, 8);
    EXPECT_DOUBLE_EQ(result.summary.seconds, 0.08);
}

TEST(Export, JobRunsOffTheCallingThreadToTheEnd) {
    TempDir dir;
    ExportJob job(Request(dir, WriteRecording(dir, "r.EOL", 9000), "r.edf"));
    const ExportResult& result = job.Wait();
    EXPECT_TRUE(job.Finished());
    EXPECT_EQ(result.status, ExportStatus::Done) << result.error;
    EXPECT_DOUBLE_EQ(job.Fraction(), 1.0);
    EXPECT_TRUE(std::filesystem::exists(dir.File("r.edf")));
}

}  // namespace
