// The detector with several leads, other methods and other stream rates.

#include "ssvep_detector.h"

#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>

#include <gtest/gtest.h>

namespace {

constexpr int kSlots = SsvepDetector::slotsPerRecord;
constexpr int kRecords = SsvepDetector::samplesPerPacket;

// Packets of a stream at `rate` with a sinusoid of raw amplitude 50000 on the
// given record slots, each with its own phase.
class SineStream {
public:
    SineStream(double rate, double hertz, std::vector<int> slots) : rate(rate), hertz(hertz), slots(std::move(slots)) {}
    std::vector<std::int32_t> Next() {
        std::vector<std::int32_t> packet(SsvepDetector::valuesPerPacket, 0);
        for (int r = 0; r < kRecords; ++r, ++sample)
            for (std::size_t j = 0; j < slots.size(); ++j)
                packet[r * kSlots + slots[j]] = static_cast<std::int32_t>(
                    std::lround(50000 * std::sin(2 * std::numbers::pi * hertz * sample / rate + j)));
        return packet;
    }
    // Feeds packets until one completes a window.
    SsvepResult Window(SsvepDetector& detector) {
        for (;;)
            if (auto result = detector.AddPacket(Next())) return *result;
    }

private:
    double rate;
    double hertz;
    std::vector<int> slots;
    long sample = 0;
};

TEST(SsvepDetectorRate, WindowsAreTwoSecondsOfRecordsWhateverThePacketSize) {
    struct Case {
        int rate;
        std::vector<int> completingPackets;  // 1-based, among the first 52
    };
    std::vector<int> everyPacket(52);
    std::iota(everyPacket.begin(), everyPacket.end(), 1);
    const std::vector<Case> cases = {{1000, {50}}, {500, {25, 50}}, {256, {13, 26, 39, 52}}, {20, everyPacket}};
    for (const auto& c : cases) {
        SsvepDetector detector;
        ASSERT_TRUE(detector.SetSampleRate(c.rate));
        EXPECT_EQ(detector.WindowRecords(), 2 * c.rate);
        SineStream stream(c.rate, 12.0, {0});
        std::vector<int> completing;
        for (int p = 1; p <= 52; ++p)
            if (detector.AddPacket(stream.Next())) completing.push_back(p);
        EXPECT_EQ(completing, c.completingPackets) << c.rate;
    }
}

TEST(SsvepDetectorRate, RefusesRatesOutsideTheRangeOrWithoutTheBins) {
    SsvepDetector detector;
    EXPECT_FALSE(detector.SetSampleRate(19));
    EXPECT_FALSE(detector.SetSampleRate(20001));
    ASSERT_TRUE(detector.Retune({10, 12, 11, 12.5, 11.5, 600}));  // bin 1200
    EXPECT_FALSE(detector.SetSampleRate(256));                   // its last bin is 511
    EXPECT_EQ(detector.SampleRate(), 1000);
    EXPECT_EQ(detector.WindowRecords(), 2000);
}

TEST(SsvepDetectorLeads, OneToTwentyOneDistinctLeads) {
    const std::vector<std::pair<std::vector<int>, bool>> cases = {
        {{1}, true},      {{11, 12}, true}, {{21, 1, 2}, true},   {{}, false},
        {{0}, false},     {{22}, false},    {{3, 4, 3}, false},   {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}, true}};
    for (const auto& [leads, valid] : cases) {
        SsvepDetector detector;
        EXPECT_EQ(detector.SetLeads(leads), valid) << leads.size();
        EXPECT_EQ(detector.Leads(), valid ? leads : std::vector<int>{1});
    }
}

TEST(SsvepDetectorMethods, SeveralLeadsAtAnotherRate) {
    struct Case {
        SsvepMethod method;
        int stimulus;
    };
    // 17 Hz on leads 2 and 3; lead 1, which fft reads, is silent.
    for (const auto& [method, stimulus] : {Case{SsvepMethod::Fft, 1}, Case{SsvepMethod::Cca, 3}, Case{SsvepMethod::Fbcca, 3}}) {
        SsvepDetector detector;
        ASSERT_TRUE(detector.SetSampleRate(256));
        ASSERT_TRUE(detector.Retune({13, 21, 17, 14, 19, 23}));
        ASSERT_TRUE(detector.SetLeads(std::vector<int>{1, 2, 3}));
        detector.SetMethod(method);
        SineStream stream(256, 17.0, {1, 2});
        const SsvepResult result = stream.Window(detector);
        EXPECT_EQ(result.stimulus, stimulus) << MethodName(method);
        if (method == SsvepMethod::Cca) {
            EXPECT_NEAR(result.value, 1.0, 1e-6);
            EXPECT_EQ(result.resultLine, "No.3 Value:1.000");
        }
    }
}

TEST(SsvepDetectorMethods, AMethodChangedInAWindowAnalysesThatWindow) {
    SsvepDetector reference;
    reference.SetMethod(SsvepMethod::Cca);
    SineStream referenceStream(1000, 12.0, {0});
    const SsvepResult expected = referenceStream.Window(reference);

    SsvepDetector detector;
    SineStream stream(1000, 12.0, {0});
    for (int p = 0; p < 25; ++p) ASSERT_FALSE(detector.AddPacket(stream.Next()));
    detector.SetMethod(SsvepMethod::Cca);
    const SsvepResult result = stream.Window(detector);
    EXPECT_EQ(result.value, expected.value);
    EXPECT_EQ(result.stimulus, 2);
}

TEST(SsvepDetectorMethods, OnlyFftSnapsTheFrequencies) {
    SsvepDetector detector;
    ASSERT_TRUE(detector.Retune({10.2, 12.3, 11, 12.5, 11.5, 10.5}));
    EXPECT_EQ(detector.AnalysedFrequencies()[1], 12.5);
    detector.SetMethod(SsvepMethod::Fbcca);
    EXPECT_EQ(detector.AnalysedFrequencies()[0], 10.2);
    EXPECT_EQ(detector.AnalysedFrequencies()[1], 12.3);
    EXPECT_EQ(detector.TargetBins()[1], 25);
}

// A 12 Hz square wave of 20000 in a congruential sequence on lead 3: the value
// the single-bin detector gave before the other methods came, bit for bit.
TEST(SsvepDetectorMethods, FftValueIsUnchangedBitForBit) {
    SsvepDetector detector;
    ASSERT_TRUE(detector.SetLead(3));
    std::uint32_t state = 1;
    std::optional<SsvepResult> result;
    for (int p = 0; p < SsvepDetector::packetsPerWindow; ++p) {
        std::vector<std::int32_t> packet(SsvepDetector::valuesPerPacket, 0);
        for (int r = 0; r < kRecords; ++r) {
            state = state * 1664525u + 1013904223u;
            const double cycles = (p * kRecords + r) * 12 / 1000.0;
            packet[r * kSlots + 2] = static_cast<std::int32_t>(state >> 16) - 32768 +
                                     (cycles - static_cast<int>(cycles) < 0.5 ? 20000 : -20000);
        }
        result = detector.AddPacket(packet);
    }
    ASSERT_TRUE(result);
    EXPECT_EQ(result->stimulus, 2);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(result->value), 0x3ff9710c1f398dfcull);
}

}  // namespace
