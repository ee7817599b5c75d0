#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <future>
#include <numeric>
#include <vector>

#include "acquisition/engine/file_playback_source.h"
#include "support/foreign_files.h"
#include "support/temp_dir.h"

namespace {

// Sample rate so high that a packet lasts 40 µs: the tests that use it are
// about what is read, not when.
constexpr int kNoPacing = 1000000;

std::vector<std::int32_t> Records(int count) {
    // Record r (1-based) holds r in every slot, so a slot names its record.
    std::vector<std::int32_t> values(static_cast<std::size_t>(count) * 21);
    for (int r = 0; r < count; ++r)
        std::fill_n(values.begin() + static_cast<std::ptrdiff_t>(r) * 21, 21, r + 1);
    return values;
}

struct Player {
    FilePlaybackSource source;
    std::vector<std::int32_t> packet = std::vector<std::int32_t>(40 * 21, -1);

    int FirstRecord() const { return packet.front(); }
    int LastRecord() const { return packet.back(); }
    int Read() {
        int channel = -1;
        EXPECT_EQ(source.ReadPacketWithChannel(packet, channel), 1);
        EXPECT_EQ(channel, 10);
        return FirstRecord();
    }
};

// Time that moves only when a source waits for a deadline or a test says so.
class ManualClock final : public PacingClock {
public:
    TimePoint Now() const override { return now; }
    bool WaitUntil(ReadGate& gate, TimePoint deadline) override {
        if (gate.IsCancelled()) return false;
        now = std::max(now, deadline);
        return true;
    }
    TimePoint now{std::chrono::hours(1)};
};

using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

struct PacingCase {
    int packetSize, sampleRate;
    friend std::ostream& operator<<(std::ostream& out, const PacingCase& c) {
        return out << c.packetSize << " samples at " << c.sampleRate << "/s";
    }
};

class PlaybackPacing : public testing::TestWithParam<PacingCase> {};

// Ten minutes of playback with up to one packet length of work after every
// read: the records come out at exactly the file's rate, the work never adds
// up to drift.
TEST_P(PlaybackPacing, TenMinutesEndOnTimeWhateverTheWork) {
    const auto [packetSize, rate] = GetParam();
    TempDir dir;
    ManualClock clock;
    FilePlaybackSource source(clock);
    ASSERT_EQ(source.OpenFile(packetSize, 21, rate, WriteSampleFile(dir, "ten.EOL", Records(4 * packetSize))), 1);
    std::vector<std::int32_t> packet(static_cast<std::size_t>(packetSize) * 21);
    const nanoseconds packetLength(1'000'000'000LL * packetSize / rate);
    std::uint32_t noise = 1;
    const auto start = clock.now;
    const long long packets = 600LL * rate / packetSize;
    for (long long n = 1; n <= packets; ++n) {
        int channel = 0;
        ASSERT_EQ(source.ReadPacketWithChannel(packet, channel), 1);
        const auto due = start + nanoseconds(n * packetSize * 1'000'000'000LL / rate);
        ASSERT_EQ(clock.now, due) << "packet " << n;
        noise = noise * 1664525u + 1013904223u;
        clock.now += packetLength * (noise % 1000) / 1000;  // the thread's work on it
    }
    EXPECT_LT(clock.now - start - std::chrono::minutes(10), packetLength);
}

INSTANTIATE_TEST_SUITE_P(Settings, PlaybackPacing,
                         testing::Values(PacingCase{40, 1000}, PacingCase{40, 4000}, PacingCase{160, 4000},
                                         PacingCase{40, 3000}, PacingCase{12, 1000}, PacingCase{40, 20000}));

TEST(PacketSchedule, LateReadsCatchUpAndAStallStartsAfresh) {
    PacketSchedule schedule;
    schedule.SetRate(40, 1000);
    const PacketSchedule::TimePoint t0{std::chrono::hours(1)};
    EXPECT_EQ(schedule.Next(t0), t0 + milliseconds(40)) << "the first packet after one packet length";
    // 300 ms late: the packets it owes are due at once, the schedule holds.
    EXPECT_EQ(schedule.Next(t0 + milliseconds(340)), t0 + milliseconds(80));
    EXPECT_EQ(schedule.Next(t0 + milliseconds(341)), t0 + milliseconds(120));
    // Five seconds of standstill are not rushed out: the run starts again now.
    const auto resumed = t0 + std::chrono::seconds(5);
    EXPECT_EQ(schedule.Next(resumed), resumed);
    EXPECT_EQ(schedule.Next(resumed), resumed + milliseconds(40));
    // A new run (Start after Stop) begins one packet length after its first read.
    schedule.Restart();
    const auto later = t0 + std::chrono::seconds(60);
    EXPECT_EQ(schedule.Next(later), later + milliseconds(40));
    // Settings that cannot pace deliver at once, without dividing by zero.
    schedule.SetRate(40, 0);
    EXPECT_EQ(schedule.Next(later), later);
}

TEST(FileSources, RestartedReadsPaceFromTheirFirstRead) {
    TempDir dir;
    ManualClock clock;
    FilePlaybackSource source(clock);
    ASSERT_EQ(source.OpenFile(40, 21, 1000, WriteSampleFile(dir, "run.EOL", Records(400))), 1);
    std::vector<std::int32_t> packet(40 * 21);
    int channel = 0;
    const auto start = clock.now;
    source.ReadPacketWithChannel(packet, channel);
    source.ReadPacketWithChannel(packet, channel);
    EXPECT_EQ(clock.now, start + milliseconds(80));
    source.CancelReads();  // Stop
    EXPECT_EQ(source.ReadPacketWithChannel(packet, channel), 0);
    clock.now += std::chrono::minutes(3);
    source.ResumeReads();  // Start
    const auto restart = clock.now;
    source.ReadPacketWithChannel(packet, channel);
    EXPECT_EQ(clock.now, restart + milliseconds(40));
}

TEST(FilePlayback, ExactPacketCountRewindsWhenOnePacketRemains) {
    TempDir dir;
    const auto path = WriteSampleFile(dir, "k25.EOL", Records(1000));  // 25 whole packets
    Player p;
    ASSERT_EQ(p.source.OpenFile(40, 21, kNoPacing, path), 1);
    for (int read = 1; read <= 24; ++read) {
        EXPECT_EQ(p.Read(), (read - 1) * 40 + 1) << "read " << read;
        EXPECT_EQ(p.LastRecord(), read * 40);
    }
    EXPECT_EQ(p.Read(), 1) << "records 961 to 1000 are never played";
    EXPECT_EQ(p.LastRecord(), 40);
}

TEST(FilePlayback, PartialPacketIsNeverPlayed) {
    TempDir dir;
    const auto path = WriteSampleFile(dir, "k25p.EOL", Records(1010));
    Player p;
    ASSERT_EQ(p.source.OpenFile(40, 21, kNoPacing, path), 1);
    for (int read = 1; read <= 24; ++read) p.Read();
    EXPECT_EQ(p.Read(), 961);
    EXPECT_EQ(p.LastRecord(), 1000);
    EXPECT_EQ(p.Read(), 1);
}

TEST(FilePlayback, SinglePacketLoops) {
    TempDir dir;
    {
        Player p;
        ASSERT_EQ(p.source.OpenFile(40, 21, kNoPacing, WriteSampleFile(dir, "one.EOL", Records(40))), 1);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(p.Read(), 1);
    }
}

// Playback never invents samples: a recording with less than one packet is
// refused, naming it and saying why, and delivers nothing.
TEST(FilePlayback, RefusesLessThanOnePacket) {
    TempDir dir;
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"ten.EOL", std::string(200, '\0') + std::string(10 * 84, '\1')},
        {"header.EOL", std::string(200, '\0')},
        {"short-header.EOL", std::string(60, '\0')},
        {"almost.EOL", std::string(200 + 40 * 84 - 1, '\1')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Player p;
        const std::string path = dir.Write(c.name, c.bytes);
        EXPECT_EQ(p.source.OpenFile(40, 21, kNoPacing, path), 0);
        EXPECT_EQ(p.source.OpenFailure().rfind(path + " (less than one packet of samples: ", 0), 0u) << p.source.OpenFailure();
        int channel = 0;
        EXPECT_EQ(p.source.ReadPacketWithChannel(p.packet, channel), 0);
        EXPECT_EQ(p.FirstRecord(), -1);
    }
}

TEST(FilePlayback, ReadsAreCutByTheEngineSettingsNotTheHeader) {
    TempDir dir;
    std::vector<std::int32_t> values(17 * 20);
    std::iota(values.begin(), values.end(), 0);
    FilePlaybackSource source;
    ASSERT_EQ(source.OpenFile(10, 17, kNoPacing, WriteSampleFile(dir, "raw.EOL", values)), 1);
    std::vector<std::int32_t> packet(170);
    int channel = 0;
    source.ReadPacketWithChannel(packet, channel);
    EXPECT_EQ(packet[0], 0);
    EXPECT_EQ(packet[169], 169);
}

TEST(FilePlayback, UnopenedFileDeliversNoPacketAndReopeningStartsOver) {
    TempDir dir;
    FilePlaybackSource source;
    std::vector<std::int32_t> packet(40 * 21, 5);
    int channel = 0;
    EXPECT_EQ(source.ReadPacketWithChannel(packet, channel), 0);
    EXPECT_EQ(source.OpenFile(40, 21, kNoPacing, dir.File("missing.EOL")), 0);
    EXPECT_EQ(source.ReadPacketWithChannel(packet, channel), 0);
    EXPECT_EQ(packet[0], 5);

    const auto path = WriteSampleFile(dir, "k3.EOL", Records(120));
    ASSERT_EQ(source.OpenFile(40, 21, kNoPacing, path), 1);
    source.ReadPacketWithChannel(packet, channel);
    source.Close();  // the file stays open across Stop
    source.ReadPacketWithChannel(packet, channel);
    EXPECT_EQ(packet[0], 41);
    ASSERT_EQ(source.OpenFile(40, 21, kNoPacing, path), 1);
    source.ReadPacketWithChannel(packet, channel);
    EXPECT_EQ(packet[0], 1);
}

TEST(FileSources, CancelWakesAPacedReadAndHoldsUntilResumed) {
    TempDir dir;
    FilePlaybackSource source;
    // 40 samples at 1 sample per second: a 40 s sleep unless cancelled.
    ASSERT_EQ(source.OpenFile(40, 21, 1, WriteSampleFile(dir, "slow.EOL", Records(200))), 1);
    std::vector<std::int32_t> packet(40 * 21, -1);
    auto read = std::async(std::launch::async, [&] {
        int channel = 0;
        return source.ReadPacketWithChannel(packet, channel);
    });
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    source.CancelReads();
    ASSERT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(read.get(), 0);
    EXPECT_EQ(packet[0], -1) << "a cancelled read touches nothing";
    int channel = 0;
    EXPECT_EQ(source.ReadPacketWithChannel(packet, channel), 0) << "reads stay cancelled until resumed";
    source.ResumeReads();
    ASSERT_EQ(source.OpenFile(40, 21, kNoPacing, dir.File("slow.EOL")), 1);
    EXPECT_EQ(source.ReadPacketWithChannel(packet, channel), 1);
    EXPECT_EQ(packet[0], 1);
}

}  // namespace

namespace {

TEST(ForeignPlayback, EventCodesFromNumbersTypesAndTexts) {
    const std::vector<ForeignEvent> events = {
        {.sample = 0, .type = 1, .text = "4"},         {.sample = 1, .type = 2, .text = "eyes closed"},
        {.sample = 2, .type = 0x800B, .text = "cue"},  {.sample = 3, .type = 3, .text = "1"},
        {.sample = 4, .type = 2, .text = "eyes closed"}, {.sample = 5, .type = 4, .text = "artefact"},
        {.sample = 6, .type = 5, .text = "-7"},
    };
    std::vector<std::pair<std::int32_t, std::string>> named;
    // Texts get codes from 1 up past those taken by numbers (1, 4): 2, then 3.
    EXPECT_EQ(ForeignEventCodes(events, named), (std::vector<std::int32_t>{4, 2, 0x800B, 1, 2, 3, -7}));
    EXPECT_EQ(named, (std::vector<std::pair<std::int32_t, std::string>>{{2, "eyes closed"}, {3, "artefact"}}));
}

TEST(ForeignPlayback, PacketsOfAbout40MillisecondsInWholeFours) {
    const std::pair<int, int> cases[] = {{1000, 40}, {256, 12}, {250, 12}, {5, 4}, {8, 4}, {4000, 160}, {512, 20}};
    for (const auto& [rate, packet] : cases) EXPECT_EQ(PlaybackPacketSize(rate), packet) << rate;
}

// An EDF at 1000 samples per second plays in record layout: its signals in
// the signal slots, in counts of 0.01 uV, under its own labels.
TEST(ForeignPlayback, AnEdfPlaysInRecordLayoutAtItsRate) {
    TempDir dir;
    const int signals = 3;
    std::vector<std::uint8_t> bytes = EdfBytes({.signals = signals, .recordsText = "3", .durationText = "0.04",
                                                .samplesPerRecord = {"40", "40", "40"}});
    // Digital value d of a -1000..1000 uV channel over -32768..32767 is
    // (d + 0.5) × 2000 / 65535 uV.
    const std::size_t header = 256 * (signals + 1);
    for (std::size_t i = header; i < bytes.size(); i += 2) {
        bytes[i] = 100;
        bytes[i + 1] = 0;
    }
    const std::string path = dir.Write("r.edf", std::string(bytes.begin(), bytes.end()));
    EolHeader header_;
    std::string error;
    ASSERT_TRUE(ReadPlaybackHeader(path, header_, error)) << error;
    EXPECT_EQ(header_.channelCount, 21);
    EXPECT_EQ(header_.sampleRate, 1000);
    EXPECT_EQ(header_.packetSize, 40);

    Player p;
    ASSERT_EQ(p.source.OpenFile(40, 21, kNoPacing, path), 1) << p.source.OpenFailure();
    EXPECT_EQ(p.source.Labels(), (std::vector<std::string>{"Ch1", "Ch2", "Ch3"}));
    p.Read();
    const auto counts = static_cast<std::int32_t>(std::lround(100.5 * 2000.0 / 65535.0 * 100.0));
    for (int s = 0; s < 40; ++s) {
        for (int slot : {0, 1, 2}) EXPECT_EQ(p.packet[static_cast<std::size_t>(s * 21 + slot)], counts);
        for (int slot = 3; slot < 21; ++slot) EXPECT_EQ(p.packet[static_cast<std::size_t>(s * 21 + slot)], 0);
    }
}

}  // namespace
