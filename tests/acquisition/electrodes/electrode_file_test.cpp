#include "acquisition/electrodes/electrode_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <vector>

#include "support/temp_dir.h"

namespace {

ChannelRecord Parse(std::string_view line) {
    ChannelRecord r;
    ParseElectrodeLine(line, r);
    return r;
}

TEST(ElectrodeLine, Fp1WithSpacesOrTabsOrTrailingBlanks) {
    for (std::string_view line : {"1 -18 .511 Fp1", "1\t-18\t.511\tFp1", "  1  -18 .511 Fp1  ", "1 -18 0.511 Fp1\t"}) {
        const ChannelRecord r = Parse(line);
        EXPECT_EQ(r.number, 1) << line;
        EXPECT_EQ(r.angle, -18) << line;
        EXPECT_EQ(r.radius, 0.511f) << line;
        EXPECT_STREQ(r.label, "Fp1") << line;
        EXPECT_NEAR(r.x, 0.485990, 1e-6) << line;
        EXPECT_NEAR(r.y, -0.157908, 1e-6) << line;
    }
}

TEST(ElectrodeLine, MinusSignAnywhereInTheAngle) {
    EXPECT_EQ(Parse("1 -18 .5 A").angle, -18);
    EXPECT_EQ(Parse("1 1-8 .5 A").angle, -18);
    EXPECT_EQ(Parse("1 18- .5 A").angle, -18);
}

TEST(ElectrodeLine, OtherCharactersCountAsDigitsAndUnfinishedFieldsAreNotStored) {
    EXPECT_EQ(Parse("1a 0 .5 A").number, 1 * 10 + ('a' - 48));
    ChannelRecord r;
    r.radius = 9.0f;
    ParseElectrodeLine("3 45 .25", r);  // no blank after the radius
    EXPECT_EQ(r.angle, 45);
    EXPECT_EQ(r.radius, 9.0f);
}

TEST(ElectrodeLine, LongLabelsAreCutAndAlwaysTerminated) {
    const ChannelRecord r = Parse("1 0 .5 ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(std::strlen(r.label), 19u);
    EXPECT_EQ(std::string(r.label), "ABCDEFGHIJKLMNOPQRS");
}

TEST(ElectrodeFile, FillsRecordsInOrderWithCrLfOrLf) {
    TempDir dir;
    const auto path = dir.Write("a.loc", "1 -18 .511 Fp1\r\n2 18 .511 Fp2\n\n4 0 .2 Cz");
    std::vector<ChannelRecord> records(5);
    std::strcpy(records[4].label, "keep");
    ASSERT_EQ(ReadElectrodeLocations(records, path), 4);
    EXPECT_STREQ(records[0].label, "Fp1");
    EXPECT_STREQ(records[1].label, "Fp2");
    EXPECT_STREQ(records[2].label, "") << "an empty line fills a record";
    EXPECT_STREQ(records[3].label, "Cz");
    EXPECT_STREQ(records[4].label, "keep") << "records beyond the file are left alone";
}

TEST(ElectrodeFile, ReadsNoMoreLinesThanRecords) {
    TempDir dir;
    const auto path = dir.Write("b.loc", "1 0 .5 A\n2 90 .5 B\n3 -90 .5 C\n");
    std::vector<ChannelRecord> records(2);
    EXPECT_EQ(ReadElectrodeLocations(records, path), 2);
}

TEST(ElectrodeFile, SingleElectrodeAtAngleZeroGivesANotANumberColumn) {
    TempDir dir;
    std::vector<ChannelRecord> records(1);
    ASSERT_EQ(ReadElectrodeLocations(records, dir.Write("c.loc", "1 0 .25 Cz\n")), 1);
    EXPECT_DOUBLE_EQ(records[0].mapY, -0.5);
    EXPECT_TRUE(std::isnan(records[0].mapX));
}

TEST(ElectrodeFile, TwoElectrodesAtPlusAndMinusNinety) {
    TempDir dir;
    std::vector<ChannelRecord> records(2);
    ASSERT_EQ(ReadElectrodeLocations(records, dir.Write("d.loc", "1 90 .5 R\n2 -90 .5 L\n")), 2);
    EXPECT_DOUBLE_EQ(records[0].mapX, 0.5);
    EXPECT_DOUBLE_EQ(records[1].mapX, -0.5);
    EXPECT_LT(records[0].x, 0.0f);
    EXPECT_NEAR(records[0].x, -5.6e-9, 1e-9);
    EXPECT_EQ(records[0].x, records[1].x);
    EXPECT_DOUBLE_EQ(records[0].mapY, 0.5);
    EXPECT_DOUBLE_EQ(records[1].mapY, 0.5);
}

TEST(ElectrodeFile, MissingOrEmptyFileReadsNothingAndSaysWhy) {
    TempDir dir;
    std::vector<ChannelRecord> records(2);
    std::strcpy(records[0].label, "keep");
    std::string error;
    EXPECT_EQ(ReadElectrodeLocations(records, dir.File("none.loc"), &error), 0);
    EXPECT_NE(error.find("none.loc"), std::string::npos);
    EXPECT_STREQ(records[0].label, "keep");
    error.clear();
    EXPECT_EQ(ReadElectrodeLocations(records, dir.Write("empty.loc", ""), &error), 0);
    EXPECT_TRUE(error.empty());
    // A path that opens but cannot be read is a failure with its cause, not an exception.
    EXPECT_EQ(ReadElectrodeLocations(records, dir.File(""), &error), 0);
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    EXPECT_STREQ(records[0].label, "keep");
}

}  // namespace

namespace {

TEST(ElectrodeFile, RefusesDevicesFifosAndOversizedFilesWithTheCause) {
    TempDir dir;
    const std::string fifo = dir.File("pipe.loc");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string large = dir.Write("large.loc", std::string(kMaxElectrodeFileBytes + 1, '1'));
    for (const auto& [path, cause] : {std::pair{std::string("/dev/zero"), "not a regular file"},
                                      std::pair{fifo, "not a regular file"},
                                      std::pair{large, "larger than 1048576 bytes"}}) {
        std::vector<ChannelRecord> records(17);
        std::string error;
        EXPECT_EQ(ReadElectrodeLocations(records, path, &error), 0) << path;
        EXPECT_NE(error.find(cause), std::string::npos) << error;
    }
}

}  // namespace

struct LabelWarningCase {
    const char* contents;
    const char* warning;  // after "FILE"; empty: none
};

TEST(ElectrodeFile, AFileThatGivesNoLabelIsNamedWithItsFirstLine) {
    const LabelWarningCase cases[] = {
        {"1 -18 0.511 Fp1\n", ""},
        {"junk\n1 -18 0.511 Fp1\n", ""},
        {"\n\njunk line\nmore junk\n", ":3: no electrode label in \"junk line\" (expected: number angle radius label)"},
        {"1 2 3\r\n", ":1: no electrode label in \"1 2 3\" (expected: number angle radius label)"},
        {"\n\n", ": no line gives an electrode label"},
    };
    TempDir dir;
    for (const LabelWarningCase& c : cases) {
        const std::string path = dir.Write("e.loc", c.contents);
        const std::string expected = *c.warning ? path + c.warning : "";
        EXPECT_EQ(ElectrodeLabelWarning(path), expected) << c.contents;
    }
    EXPECT_EQ(ElectrodeLabelWarning(dir.File("missing.loc")), "");  // its readers say so
}
