// The files beside a recording: what is written, what is read back, and what
// a crash in the middle of a write leaves readable.

#include <gtest/gtest.h>

#include <fstream>

#include "acquisition/engine/recording_clock.h"
#include "acquisition/recording/recording_sidecar.h"
#include "support/temp_dir.h"

namespace {

struct PathCase {
    const char* recording;
    const char* json;
    const char* events;
};

TEST(RecordingSidecar, NamesItsFilesAfterTheRecording) {
    const PathCase cases[] = {
        {"/tmp/take1.EOL", "/tmp/take1.json", "/tmp/take1_events.tsv"},
        {"take1", "take1.json", "take1_events.tsv"},
        {"/data/a.b/take", "/data/a.b/take.json", "/data/a.b/take_events.tsv"},
        {"/data/.hidden", "/data/.hidden.json", "/data/.hidden_events.tsv"},
    };
    for (const PathCase& c : cases) {
        EXPECT_EQ(SidecarJsonPath(c.recording), c.json) << c.recording;
        EXPECT_EQ(SidecarEventsPath(c.recording), c.events) << c.recording;
    }
}

struct TimeCase {
    std::time_t seconds;
    long nanoseconds;
    long offset;
    const char* text;
};

TEST(RecordingSidecar, StartTimeIsIsoWithItsOffsetToTheMillisecondBothWays) {
    const TimeCase cases[] = {
        {1765130400, 123'456'789, 0, "2025-12-07T18:00:00.123+00:00"},
        {1765130400, 999'000'000, 3600, "2025-12-07T19:00:00.999+01:00"},
        {1765130400, 0, -(5 * 3600 + 30 * 60), "2025-12-07T12:30:00.000-05:30"},
    };
    for (const TimeCase& c : cases) {
        const WallTime wall{{c.seconds, c.nanoseconds}, c.offset};
        EXPECT_EQ(IsoTime(wall), c.text);
        const auto back = ParseIsoTime(c.text);
        ASSERT_TRUE(back) << c.text;
        EXPECT_EQ(back->time.tv_sec, c.seconds) << c.text;
        EXPECT_EQ(back->time.tv_nsec, c.nanoseconds / 1'000'000 * 1'000'000) << c.text;
        EXPECT_EQ(back->utcOffsetSeconds, c.offset) << c.text;
    }
    for (const char* bad : {"", "2025-12-07", "2025-12-07T18:00:00+00:00", "2025-13-07T18:00:00.000+00:00",
                            "2025-12-07T18:00:00.000+00:00 trailing"}) {
        EXPECT_FALSE(ParseIsoTime(bad)) << bad;
    }
}

TEST(RecordingSidecar, WhatIsWrittenWhileRecordingReadsBackAtEveryStep) {
    TempDir dir;
    const std::string recording = dir.File("take.EOL");
    RecordingSidecar sidecar;
    std::string error;
    ASSERT_TRUE(sidecar.Open(recording, SidecarInfo{1000, 40, {"Fp1", "", "Event"}, 0.0224, "amplifier x", "Vostrel", "0.1"},
                             error))
        << error;
    auto read = ReadSidecar(recording, error);
    ASSERT_TRUE(read) << error;
    EXPECT_FALSE(read->start);  // no record yet
    EXPECT_EQ(read->microvoltsPerCount, 0.0224);
    EXPECT_EQ(read->sampleRate, 1000);
    EXPECT_TRUE(read->events.empty());

    const WallTime start{{1765130400, 250'000'000}, 0};
    EXPECT_TRUE(sidecar.SetStart(start));
    EXPECT_TRUE(sidecar.AddEvent({1.5, 0.0, "3", MarkerSource::Key}));
    EXPECT_TRUE(sidecar.AddEvent({2.25, 0.0, "eyes\tclosed", MarkerSource::Network}));
    EXPECT_TRUE(sidecar.AddEvent({3.0, 0.0, "17", MarkerSource::Amplifier}));
    EXPECT_TRUE(sidecar.SetFramesLost(4));
    read = ReadSidecar(recording, error);
    ASSERT_TRUE(read && read->start);
    EXPECT_EQ(read->start->time.tv_sec, start.time.tv_sec);
    EXPECT_EQ(read->start->time.tv_nsec, start.time.tv_nsec);
    ASSERT_EQ(read->events.size(), 3u);
    EXPECT_EQ(read->events[1].value, "eyes closed");
    EXPECT_EQ(read->events[1].source, MarkerSource::Network);
    EXPECT_DOUBLE_EQ(read->events[1].onsetSeconds, 2.25);
    EXPECT_EQ(read->events[2].source, MarkerSource::Amplifier);

    // A crash in the middle of a line: the whole lines still read.
    std::ofstream(SidecarEventsPath(recording), std::ios::app) << "4.0\t0.000\tcut sh";
    read = ReadSidecar(recording, error);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->events.size(), 3u);
}

TEST(RecordingSidecar, ReadingRefusesWhatIsNotOne) {
    TempDir dir;
    const std::string recording = dir.File("r.EOL");
    std::string error;
    EXPECT_FALSE(ReadSidecar(recording, error));  // none
    const char* notOurs[] = {"", "[1,2]", "{\"StartTime\": ", "\xff\xfe"};
    for (const char* text : notOurs) {
        dir.Write("r.json", text);
        EXPECT_FALSE(ReadSidecar(recording, error)) << text;
    }
    dir.Write("r.json", R"({"StartTime": "noon", "MicrovoltsPerCount": -1})");
    const auto odd = ReadSidecar(recording, error);
    ASSERT_TRUE(odd);
    EXPECT_FALSE(odd->start);
    EXPECT_FALSE(odd->microvoltsPerCount);
}

TEST(RecordingClock, StampsTheFirstRecordAndCountsEventOnsetsWithoutLosingOrder) {
    RecordingClock clock;
    clock.Reset(1000, 40);
    EXPECT_FALSE(clock.FirstRecordTime());
    EXPECT_EQ(clock.OnsetNow(), 0.0);
    std::vector<SampleRecord> packet(40);
    packet[5].slots[SampleRecord::kEventSlot] = 7;
    packet[6].slots[SampleRecord::kEventSlot] = 7;  // held, one onset
    packet[39].slots[SampleRecord::kEventSlot] = 2;
    timespec before{};
    clock_gettime(CLOCK_REALTIME, &before);
    clock.PacketRecorded(packet);
    ASSERT_TRUE(clock.FirstRecordTime());
    EXPECT_LE(clock.FirstRecordTime()->tv_sec, before.tv_sec);  // a packet's duration earlier
    clock.PacketRecorded(packet);
    EXPECT_EQ(clock.Records(), 80);
    // Between packets: past the records, at most one packet on.
    EXPECT_GE(clock.OnsetNow(), 0.080);
    EXPECT_LE(clock.OnsetNow(), 0.120);

    std::vector<std::pair<std::int64_t, std::int32_t>> onsets;
    clock.TakeOnsets([&](const RecordingClock::Onset& o) { onsets.emplace_back(o.record, o.code); });
    const std::vector<std::pair<std::int64_t, std::int32_t>> expected{{5, 7}, {39, 2}, {45, 7}, {79, 2}};
    EXPECT_EQ(onsets, expected);
    onsets.clear();
    clock.TakeOnsets([&](const RecordingClock::Onset& o) { onsets.emplace_back(o.record, o.code); });
    EXPECT_TRUE(onsets.empty());
}

TEST(RecordingClock, AFullRingDropsOnsetsAndCountsThem) {
    RecordingClock clock;
    clock.Reset(1000, 2);
    std::vector<SampleRecord> packet(2);
    packet[0].slots[SampleRecord::kEventSlot] = 1;
    for (std::size_t i = 0; i < RecordingClock::kOnsetCapacity + 10; ++i) clock.PacketRecorded(packet);
    EXPECT_EQ(clock.DroppedOnsets(), 10u);
    std::size_t taken = 0;
    clock.TakeOnsets([&](const RecordingClock::Onset&) { ++taken; });
    EXPECT_EQ(taken, RecordingClock::kOnsetCapacity);
}

}  // namespace
