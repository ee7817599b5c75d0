#include "ssvep_detector.h"

#include <bit>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "signal_fixtures.h"
#include "support/temp_dir.h"

using namespace speller_test;

namespace {

// Feeds one whole window of a sinusoid on a slot; returns the window's result.
std::optional<SsvepResult> FeedSineWindow(SsvepDetector& detector, int slot, double hertz, double amplitude) {
    std::optional<SsvepResult> result;
    for (int p = 0; p < kPacketsPerWindow; ++p) {
        auto packet = SinePacket(slot, hertz, amplitude, static_cast<long>(p) * kRecordsPerPacket);
        auto r = detector.AddPacket(packet);
        if (p < kPacketsPerWindow - 1) {
            EXPECT_FALSE(r.has_value()) << "packet " << p;
        }
        if (r) result = r;
    }
    return result;
}

std::string ThreeDecimals(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", v);
    return text;
}

}  // namespace

TEST(SsvepDetector, ScaleAndDefaultBins) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(SsvepDetector::sampleScale), 0x3F20BBC8E025950Bull);
    EXPECT_DOUBLE_EQ(SsvepDetector::sampleScale, 1.276667317810304e-4);
    SsvepDetector detector;
    EXPECT_EQ(detector.TargetBins(), (std::array<int, 6>{20, 24, 22, 25, 23, 21}));
    EXPECT_EQ(detector.Lead(), 1);
    EXPECT_EQ(detector.Threshold(), 0.0);
}

TEST(SsvepDetector, SinusoidOnTargetBinGivesHalfItsAmplitude) {
    SsvepDetector detector;
    const double raw = 100000.0;
    const auto result = FeedSineWindow(detector, 0, 12.0, raw);
    ASSERT_TRUE(result.has_value());
    const double expected = raw * SsvepDetector::sampleScale / 2;
    EXPECT_EQ(result->stimulus, 2);
    EXPECT_NEAR(result->value, expected, 1e-4);
    EXPECT_EQ(result->resultLine, "No.2 Value:" + ThreeDecimals(expected));
    EXPECT_TRUE(result->decided);
    EXPECT_EQ(result->decisionText, "ID01CH002");
}

TEST(SsvepDetector, EachStimulusIsFoundOnItsOwnFrequency) {
    SsvepDetector detector;
    const auto frequencies = SsvepDetector::defaultFrequencies;
    for (int i = 0; i < 6; ++i) {
        const auto result = FeedSineWindow(detector, 0, frequencies[i], 50000.0);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->stimulus, i + 1) << frequencies[i] << " Hz";
        EXPECT_EQ(result->decisionText, "ID01CH00" + std::to_string(i + 1));
    }
}

TEST(SsvepDetector, LeadSelectsRecordSlot) {
    SsvepDetector detector;
    // Signal channel 8 travels in slot 10, read as lead 11.
    ASSERT_TRUE(detector.SetLead(11));
    auto result = FeedSineWindow(detector, 10, 11.5, 80000.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->stimulus, 5);
    // Lead 1 sees nothing of it: all values equal (zero), the lowest number wins.
    ASSERT_TRUE(detector.SetLead(1));
    result = FeedSineWindow(detector, 10, 11.5, 80000.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->stimulus, 1);
    EXPECT_EQ(result->resultLine, "No.1 Value:0.000");
    // The event slot is lead 21.
    ASSERT_TRUE(detector.SetLead(21));
    result = FeedSineWindow(detector, 20, 10.5, 80000.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->stimulus, 6);
}

TEST(SsvepDetector, LeadOutsideOneToTwentyOneIsRefused) {
    SsvepDetector detector;
    ASSERT_TRUE(detector.SetLead(7));
    EXPECT_FALSE(detector.SetLead(0));
    EXPECT_FALSE(detector.SetLead(22));
    EXPECT_FALSE(detector.SetLead(-3));
    EXPECT_EQ(detector.Lead(), 7);
}

TEST(SsvepDetector, AllZeroLeadReportsStimulusOneAndSendsNothing) {
    SsvepDetector detector;
    ASSERT_TRUE(detector.SetLead(9));  // an always-zero slot of the record
    for (int window = 0; window < 2; ++window) {
        const auto result = FeedSineWindow(detector, 0, 12.0, 100000.0);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->stimulus, 1);
        EXPECT_EQ(result->value, 0.0);
        EXPECT_EQ(result->resultLine, "No.1 Value:0.000");
        EXPECT_FALSE(result->decided);
        EXPECT_TRUE(result->decisionText.empty());
    }
}

TEST(SsvepDetector, OnlyValuesAboveTheThresholdAreDecided) {
    SsvepDetector detector;
    const auto first = FeedSineWindow(detector, 0, 12.5, 60000.0);
    ASSERT_TRUE(first && first->decided);

    detector.SetThreshold(first->value);  // the same window again gives the same value, bit for bit
    const auto equal = FeedSineWindow(detector, 0, 12.5, 60000.0);
    ASSERT_TRUE(equal);
    EXPECT_EQ(equal->value, first->value);
    EXPECT_FALSE(equal->decided);
    EXPECT_TRUE(equal->decisionText.empty());
    EXPECT_EQ(equal->resultLine, first->resultLine);  // still shown

    detector.SetThreshold(std::nextafter(first->value, 0.0));
    const auto above = FeedSineWindow(detector, 0, 12.5, 60000.0);
    ASSERT_TRUE(above);
    EXPECT_TRUE(above->decided);
    EXPECT_EQ(above->decisionText, "ID01CH004");
}

TEST(SsvepDetector, FrequenciesOnOneBinAlwaysGiveTheLowerNumber) {
    SsvepDetector detector;
    // Stimuli 2 and 4 both snap to bin 24; 5 and 6 both to bin 21.
    ASSERT_TRUE(detector.Retune({10.0, 12.0, 11.0, 12.2, 10.4, 10.6}));
    EXPECT_EQ(detector.TargetBins()[1], detector.TargetBins()[3]);
    auto result = FeedSineWindow(detector, 0, 12.0, 70000.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->stimulus, 2);
    result = FeedSineWindow(detector, 0, 10.5, 70000.0);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->stimulus, 5);
}

TEST(SsvepDetector, RetuneSnapsToHalfHertzBins) {
    SsvepDetector detector;
    ASSERT_TRUE(detector.Retune({10.2, 12.2, 10.25, 12.3, 10.74, 11.75}));
    EXPECT_EQ(detector.TargetBins(), (std::array<int, 6>{20, 24, 21, 25, 21, 24}));
    EXPECT_EQ(detector.AnalysedFrequencies(), (SsvepDetector::Frequencies{10.0, 12.0, 10.5, 12.5, 10.5, 12.0}));
}

TEST(SsvepDetector, RetuneRefusesBinsOutOfRangeAndKeepsItsBins) {
    SsvepDetector detector;
    ASSERT_TRUE(detector.Retune({0.25, 999.7, 11, 12.5, 11.5, 10.5}));  // bins 1 and 1999: the extremes
    const auto kept = detector.TargetBins();
    EXPECT_EQ(kept[0], 1);
    EXPECT_EQ(kept[1], 1999);
    for (double bad : {0.2, 0.0, -3.0, 999.75, 5000.0, std::nan("")}) {
        EXPECT_FALSE(detector.Retune({10, 12, 11, 12.5, bad, 10.5})) << bad;
        EXPECT_EQ(detector.TargetBins(), kept);
    }
    EXPECT_FALSE(SsvepDetector::BinFor(std::numeric_limits<double>::infinity()));
}

TEST(SsvepDetector, OneResultPerFiftyPackets) {
    SsvepDetector detector;
    int results = 0;
    for (int p = 1; p <= 150; ++p) {
        const auto packet = SinePacket(0, 12.0, 1000.0, static_cast<long>(p) * kRecordsPerPacket);
        const auto result = detector.AddPacket(packet);
        EXPECT_EQ(result.has_value(), p % 50 == 0) << "packet " << p;
        results += result.has_value();
        EXPECT_EQ(detector.PacketIndex(), p % 50);
    }
    EXPECT_EQ(results, 3);
}

TEST(SsvepDetector, ShortPacketIsIgnored) {
    SsvepDetector detector;
    const std::vector<std::int32_t> shortPacket(kPacketValues - 1, 7);
    EXPECT_FALSE(detector.AddPacket(shortPacket));
    EXPECT_EQ(detector.PacketIndex(), 0);
}

// Qt programs take the user's locale at start-up; the result line keeps its
// decimal point under a locale that writes decimal commas.
TEST(SsvepDetector, ResultLineKeepsItsDecimalPointUnderACommaLocale) {
    TempDir dir;
    const std::string source = dir.Write("comma.src",
                                         "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"\"\n"
                                         "grouping -1\nEND LC_NUMERIC\n");
    const std::string command =
        "localedef -c -i '" + source + "' -f UTF-8 '" + dir.File("comma.UTF-8") + "' >/dev/null 2>&1";
    (void)std::system(command.c_str());  // warns, and so fails, about the categories it lacks
    ::setenv("LOCPATH", dir.File("").c_str(), 1);
    const bool comma = std::setlocale(LC_NUMERIC, "comma.UTF-8") != nullptr;
    ::unsetenv("LOCPATH");
    if (!comma) GTEST_SKIP() << "no locale compiler here";

    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    const std::string probeText = probe;

    SsvepDetector detector;
    const auto result = FeedSineWindow(detector, 0, 12.0, 100000.0);
    std::setlocale(LC_NUMERIC, "C");
    ASSERT_EQ(probeText, "1,5") << "the locale writes decimal commas";
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->resultLine, "No.2 Value:" + ThreeDecimals(result->value));
}
