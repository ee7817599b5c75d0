#include "acquisition/foreign/foreign_recording.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/foreign_files.h"
#include "support/temp_dir.h"

namespace {

std::string WriteFile(const TempDir& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    return dir.Write(name, std::string(bytes.begin(), bytes.end()));
}

// Each lying file is refused before libbiosig sees it, naming the file and
// the field. With FOREIGN_SEED_DIR set the files are also written there, as
// seeds for the fuzz target.
TEST(ForeignRecording, RefusesAHeaderThatLiesNamingTheField) {
    TempDir dir;
    const char* seeds = std::getenv("FOREIGN_SEED_DIR");
    for (const MalformedForeignFile& file : MalformedForeignFiles()) {
        SCOPED_TRACE(file.name);
        const std::string path = WriteFile(dir, std::string(file.name) + file.extension, file.bytes);
        if (seeds) std::filesystem::copy_file(path, std::string(seeds) + "/" + file.name);
        std::string error;
        EXPECT_EQ(ForeignRecording::Open(path, error), nullptr);
        EXPECT_TRUE(error.starts_with(path + ": " + file.field)) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(ForeignRecording, AcceptsWellFormedHeaders) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        ForeignFormat format;
        std::int64_t records;
        double rate;
    };
    const Case cases[] = {
        {"a.edf", EdfBytes({.recordsText = "3"}), ForeignFormat::Edf, 3, 4.0},
        {"b.bdf", EdfBytes({.bdf = true, .recordsText = "2", .durationText = "0.5"}), ForeignFormat::Bdf, 2, 8.0},
        {"unknown_records.edf", EdfBytes({.recordsText = "-1", .totalBytes = 768 + 3 * 16 + 5}), ForeignFormat::Edf, 3, 4.0},
        // libbiosig reads a count of 0 as unknown as well.
        {"zero_records.edf", EdfBytes({.recordsText = "0", .totalBytes = 768 + 3 * 16 + 5}), ForeignFormat::Edf, 3, 4.0},
        {"c.gdf", GdfBytes({.records = 5, .events = 0}), ForeignFormat::Gdf2, 5, 4.0},
        {"d.gdf", GdfBytes({.version = 1, .records = 2, .durationNumerator = 1, .durationDenominator = 64}),
         ForeignFormat::Gdf1, 2, 256.0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = WriteFile(dir, c.name, c.bytes);
        if (const char* seeds = std::getenv("FOREIGN_SEED_DIR")) std::filesystem::copy_file(path, std::string(seeds) + "/" + c.name);
        ForeignLayout layout;
        std::string error;
        ASSERT_TRUE(CheckForeignFile(path, layout, error)) << error;
        EXPECT_EQ(layout.format, c.format);
        EXPECT_EQ(layout.records, c.records);
        EXPECT_EQ(layout.samplesPerRecord / layout.recordSeconds, c.rate);
    }
}

TEST(ForeignRecording, ReadsTheChannelsSamplesAndRateOfAnEdf) {
    TempDir dir;
    std::vector<std::uint8_t> bytes = EdfBytes({.recordsText = "2"});
    // Digital −32768…32767 is −1000…1000 uV: a digital value of 0 is about 0.015 uV.
    for (std::size_t i = 768; i < bytes.size(); ++i) bytes[i] = 0;
    bytes[768] = 0xff;
    bytes[769] = 0x7f;  // the first sample of Ch1 at the top of the range
    const std::string path = WriteFile(dir, "r.edf", bytes);
    std::string error;
    const auto recording = ForeignRecording::Open(path, error);
    ASSERT_NE(recording, nullptr) << error;
    EXPECT_EQ(recording->SampleRate(), 4.0);
    ASSERT_EQ(recording->Channels().size(), 2u);
    EXPECT_EQ(recording->Channels()[1].label, "Ch2");
    EXPECT_EQ(recording->Channels()[0].unit, "uV");
    EXPECT_DOUBLE_EQ(recording->Channels()[0].unitScale, 1e-6);
    Eigen::MatrixXd samples;
    const int chosen[] = {1, 0};
    ASSERT_TRUE(recording->ReadSamples(chosen, samples, error)) << error;
    ASSERT_EQ(samples.rows(), 8);
    ASSERT_EQ(samples.cols(), 2);
    EXPECT_NEAR(samples(0, 1), 1000.0, 1e-9);
    EXPECT_NEAR(samples(1, 1), 0.0153, 1e-3);
    EXPECT_NEAR(samples(0, 0), 0.0153, 1e-3);
}

TEST(ForeignRecording, TellsEventChannelsByTheirLabels) {
    for (const char* label : {"Status", " TRIGGER ", "EDF Annotations", "event"}) EXPECT_TRUE(IsEventChannelLabel(label)) << label;
    for (const char* label : {"Fp1", "O1", "Stat", ""}) EXPECT_FALSE(IsEventChannelLabel(label)) << label;
}

}  // namespace
