#include "acquisition/recording/eol_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>
#include <sys/resource.h>
#include <csignal>

#include "support/eol_recording.h"
#include "support/temp_dir.h"

namespace {

std::string HeaderFileWithDoubles(const TempDir& dir, const std::string& name, double c, double r, double p, double s) {
    std::string bytes(200, '\0');
    const double block[4] = {c, r, p, s};
    std::memcpy(bytes.data() + 50, block, sizeof block);
    return dir.Write(name, bytes);
}

TEST(EolFile, DefaultRecordingHeaderIsBitExactAndOnly82BytesLong) {
    TempDir dir;
    const auto path = dir.File("a.EOL");
    ASSERT_TRUE(WriteEolRecording(path, 1000, 40, 0.00073536));

    const auto bytes = ReadAllBytes(path);
    ASSERT_EQ(bytes.size(), 82u) << "seeking to 200 must not lengthen the file";
    for (int i = 0; i < 50; ++i) EXPECT_EQ(bytes[static_cast<std::size_t>(i)], 0) << i;
    const unsigned char expected[32] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x35, 0x40,  //
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x8F, 0x40,  //
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x44, 0x40,  //
                                        0x58, 0xF9, 0x4C, 0x93, 0xA5, 0x18, 0x48, 0x3F};
    EXPECT_EQ(std::memcmp(bytes.data() + 50, expected, 32), 0);
}

TEST(EolFile, AppendsStartAtOffset200AndFollowEachOther) {
    TempDir dir;
    const auto path = dir.File("b.EOL");
    std::vector<std::vector<SampleRecord>> packets(3, std::vector<SampleRecord>(40));
    for (int k = 0; k < 3; ++k) {
        for (auto& r : packets[static_cast<std::size_t>(k)]) r.slots[20] = k + 1;
    }
    ASSERT_TRUE(WriteEolRecording(path, 1000, 40, 0.00073536, packets));
    const auto bytes = ReadAllBytes(path);
    ASSERT_EQ(bytes.size(), 200u + 3u * 3360u);
    for (int i = 82; i < 200; ++i) EXPECT_EQ(bytes[static_cast<std::size_t>(i)], 0);
    EXPECT_EQ(bytes[200 + 80], 1);
    EXPECT_EQ(bytes[200 + 3360 + 80], 2);
    EXPECT_EQ(bytes[200 + 2 * 3360 + 39 * 84 + 80], 3);
}

TEST(EolFile, CreateTruncatesAnExistingFileAndFailsOnAnUnwritablePath) {
    TempDir dir;
    const auto path = dir.Write("old.EOL", std::string(5000, 'x'));
    EolFile file;
    ASSERT_TRUE(file.Create(path));
    file.Close();
    EXPECT_EQ(ReadAllBytes(path).size(), 0u);
    EXPECT_FALSE(file.Create(dir.File("missing-dir/x.EOL")));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Append(std::vector<SampleRecord>(1)));
}

// What Create does with what is already at the path, per mode. A link is
// never followed, so a link's target is never created nor truncated.
TEST(EolFile, CreateOverWhatIsThere) {
    enum class There { Nothing, File, LinkToFile, DanglingLink };
    struct Case {
        There there;
        ExistingFile existing;
        bool created;
    };
    const Case cases[] = {
        {There::Nothing, ExistingFile::Refuse, true},        {There::Nothing, ExistingFile::Replace, true},
        {There::File, ExistingFile::Refuse, false},          {There::File, ExistingFile::Replace, true},
        {There::LinkToFile, ExistingFile::Refuse, false},    {There::LinkToFile, ExistingFile::Replace, false},
        {There::DanglingLink, ExistingFile::Refuse, false},  {There::DanglingLink, ExistingFile::Replace, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.there) * 2 + static_cast<int>(c.existing));
        TempDir dir;
        const std::string path = dir.File("r.EOL");
        const std::string target = dir.File("target");
        if (c.there == There::File) dir.Write("r.EOL", "earlier");
        if (c.there == There::LinkToFile) dir.Write("target", "earlier");
        if (c.there == There::LinkToFile || c.there == There::DanglingLink) std::filesystem::create_symlink(target, path);
        EolFile file;
        EXPECT_EQ(file.Create(path, c.existing), c.created);
        file.Close();
        if (c.there == There::LinkToFile) {
            EXPECT_EQ(ReadAllBytes(target).size(), 7u);
        }
        if (c.there == There::DanglingLink) {
            EXPECT_FALSE(std::filesystem::exists(target));
        }
        if (c.there == There::File) {
            EXPECT_EQ(ReadAllBytes(path).size(), c.created ? 0u : 7u);
        }
    }
}

TEST(EolFile, FailedAppendLeavesOnlyWholePackets) {
    TempDir dir;
    const auto path = dir.File("full.EOL");
    EolFile file;
    ASSERT_TRUE(file.Create(path));
    ASSERT_TRUE(file.WriteHeader(1000, 40, 0.00073536));
    std::vector<SampleRecord> packet(40);
    ASSERT_TRUE(file.Append(packet));

    // A file size limit in the middle of the next packet stands in for a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 200 + 3360 + 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool appended = file.Append(packet);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_FALSE(appended);
    // With room again, the next packet follows the last whole one.
    packet.front().slots[0] = 7;
    ASSERT_TRUE(file.Append(packet));
    file.Close();
    const auto bytes = ReadAllBytes(path);
    ASSERT_EQ(bytes.size(), 200u + 2 * 3360u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[200 + 3360]), 7u);
}

TEST(EolHeaderReader, ImportsWhatTheWriterWrote) {
    TempDir dir;
    const auto path = dir.File("c.EOL");
    ASSERT_TRUE(WriteEolRecording(path, 500, 20, 0.125));
    EolHeader header;
    ASSERT_TRUE(ReadEolHeader(path, header));
    EXPECT_EQ(header.channelCount, 21);
    EXPECT_EQ(header.sampleRate, 500);
    EXPECT_EQ(header.packetSize, 20);
    EXPECT_EQ(header.scale, 0.125);
}

TEST(EolHeaderReader, TruncatesTowardZeroAndCopiesTheScaleBitForBit) {
    TempDir dir;
    double oddScale;
    const std::uint64_t bits = 0x3F4818A5934CF958ull;
    std::memcpy(&oddScale, &bits, sizeof bits);
    const auto path = HeaderFileWithDoubles(dir, "d.EOL", 21.9, 999.9, -1.5, oddScale);
    EolHeader header;
    ASSERT_TRUE(ReadEolHeader(path, header));
    EXPECT_EQ(header.channelCount, 21);
    EXPECT_EQ(header.sampleRate, 999);
    EXPECT_EQ(header.packetSize, -1);
    std::uint64_t readBits;
    std::memcpy(&readBits, &header.scale, sizeof readBits);
    EXPECT_EQ(readBits, bits);
}

TEST(EolHeaderReader, ForeignValuesNeverYieldUndefinedIntegers) {
    TempDir dir;
    const auto path = HeaderFileWithDoubles(dir, "e.EOL", std::nan(""), 1e300, -1e300, 0.0);
    EolHeader header;
    ASSERT_TRUE(ReadEolHeader(path, header));
    EXPECT_EQ(header.channelCount, 0);
    EXPECT_EQ(header.sampleRate, 2147483647);
    EXPECT_EQ(header.packetSize, -2147483647 - 1);
}

TEST(EolHeaderReader, ShortOrMissingFilesFailWithoutTouchingTheOutput) {
    TempDir dir;
    const EolHeader sentinel{7, 8, 9, 1.5};
    for (const std::string& path :
         {dir.Write("short.EOL", std::string(81, '\x01')), dir.Write("empty.EOL", ""), dir.File("none.EOL")}) {
        EolHeader header = sentinel;
        EXPECT_FALSE(ReadEolHeader(path, header)) << path;
        EXPECT_EQ(header.channelCount, 7);
        EXPECT_EQ(header.sampleRate, 8);
        EXPECT_EQ(header.packetSize, 9);
        EXPECT_EQ(header.scale, 1.5);
    }
    EolHeader header;
    EXPECT_TRUE(ReadEolHeader(dir.Write("exact.EOL", std::string(82, '\0')), header));
}

}  // namespace

namespace {

TEST(EolReader, ReadsWholeRecordsInChunksAndReportsACutLastRecord) {
    TempDir dir;
    const auto path = dir.File("r.EOL");
    std::vector<SampleRecord> records(10);
    for (int i = 0; i < 10; ++i) records[static_cast<std::size_t>(i)].slots[0] = i;
    ASSERT_TRUE(WriteEolRecording(path, 500, 20, 0.5, {records}));
    std::ofstream(path, std::ios::binary | std::ios::app) << std::string(30, '\x7f');

    EolReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, error)) << error;
    EXPECT_EQ(reader.Header().sampleRate, 500);
    EXPECT_EQ(reader.RecordCount(), 10);
    EXPECT_EQ(reader.TrailingBytes(), 30);
    std::vector<SampleRecord> chunk(4);
    std::vector<int> seen;
    while (const std::size_t n = reader.Read(chunk)) {
        for (std::size_t i = 0; i < n; ++i) seen.push_back(chunk[i].slots[0]);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    ASSERT_TRUE(reader.Seek(8));
    EXPECT_EQ(reader.Read(chunk), 2u);
    EXPECT_EQ(chunk[0].slots[0], 8);
}

TEST(EolReader, RefusesWhatIsNoRecording) {
    TempDir dir;
    for (const std::string& path : {dir.Write("short.EOL", std::string(40, '\0')), std::string("/dev/zero"),
                                    dir.File("none.EOL")}) {
        EolReader reader;
        std::string error;
        EXPECT_FALSE(reader.Open(path, error)) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
}

}  // namespace

TEST(EventOnsets, ChangesToANonZeroValueAcrossChunks) {
    std::vector<SampleRecord> records(7);
    const std::int32_t slot[] = {0, 5, 5, 0, 7, 9, 9};
    for (int r = 0; r < 7; ++r) records[r].slots[SampleRecord::kEventSlot] = slot[r];
    std::vector<std::pair<std::int64_t, std::int32_t>> onsets;
    EventOnsets scan;
    const auto keep = [&](std::int64_t record, std::int32_t code) { onsets.emplace_back(record, code); };
    scan.Scan(std::span(records).first(2), 100, keep);
    scan.Scan(std::span(records).subspan(2), 102, keep);
    const std::vector<std::pair<std::int64_t, std::int32_t>> expected{{101, 5}, {104, 7}, {105, 9}};
    EXPECT_EQ(onsets, expected);
}
